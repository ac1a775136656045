#include "history/store.h"

#include <git2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <ctime>
#include <thread>
#include <filesystem>
#include <map>

#include "history/tree_edit.h"

namespace history {
namespace {

constexpr char kBranch[] = "refs/heads/main";
constexpr int kAttempts = 8;
// A branch lock older than this was left by a program that ended while holding it: nobody holds one longer.
constexpr int kStaleLockSeconds = 60;

std::string LastError(const char* what) {
    const git_error* e = git_error_last();
    std::string text = what;
    if (e && e->message) text += std::string("：") + e->message;
    return text;
}

std::string Hex(const git_oid& oid) {
    char buf[GIT_OID_HEXSZ + 1];
    git_oid_tostr(buf, sizeof buf, &oid);
    return buf;
}

// A path in a commit message stays on its line.
std::string OneLine(std::string_view path) {
    std::string out;
    for (const char c : path) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    return out;
}

}  // namespace

const char* WhoLabel(Who who) {
    switch (who) {
        case Who::Program: return "本程序";
        case Who::Restore: return "恢复";
        case Who::Other: break;
    }
    return "其他程序";
}

struct Store::Edit {
    std::string path;
    std::optional<git_oid> blob;  // none: the path is removed
    bool ifMissing = false;       // only where the path has nothing yet
};

Store::Store() { git_libgit2_init(); }

Store::~Store() {
    git_repository_free(repo_);
    git_libgit2_shutdown();
}

std::string Store::FolderFor(const std::string& nativeRoot, std::string& error) {
    std::filesystem::path home;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        home = xdg;
    else if (user && user[0] == '/')
        home = std::filesystem::path(user) / ".local/share";
    else {
        error = "没有用户的数据文件夹（HOME 未设置）";
        return {};
    }
    std::error_code ec;
    std::filesystem::path root = std::filesystem::weakly_canonical(nativeRoot, ec);
    if (ec) root = std::filesystem::absolute(nativeRoot, ec);
    std::string key = root.string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    // The name says which library it is; the hash of the whole path keeps two libraries of one name apart.
    std::string name = std::filesystem::path(key).filename().string();
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '.') c = '_';
    if (name.empty()) name = "library";
    git_oid oid;
    git_odb_hash(&oid, key.data(), key.size(), GIT_OBJECT_BLOB);
    return (home / "korvane/history" / (name + "-" + Hex(oid).substr(0, 12) + ".git")).string();
}

bool Store::Open(const std::string& nativeRoot, std::string& error) {
    const std::string folder = FolderFor(nativeRoot, error);
    if (folder.empty()) return false;
    if (!OpenAt(folder, error)) return false;
    git_config* config = nullptr;
    if (git_repository_config(&config, repo_) == 0) {
        git_config_set_string(config, "korvane.library", nativeRoot.c_str());  // for whoever finds the folder
        git_config_free(config);
    }
    return true;
}

bool Store::OpenAt(const std::string& folder, std::string& error) {
    git_repository_free(repo_);
    repo_ = nullptr;
    setAside_.clear();
    folder_ = folder;
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) return Init(folder, error);
    if (git_repository_open_bare(&repo_, folder.c_str()) == 0) return true;
    // Damaged beyond opening: kept under another name for git's own repair tools, and begun afresh.
    const std::string aside = folder + ".damaged-" + std::to_string(std::time(nullptr));
    if (std::rename(folder.c_str(), aside.c_str()) != 0) {
        error = LastError("历史库打不开") + "，也不能改名：" + std::strerror(errno);
        return false;
    }
    setAside_ = aside;
    return Init(folder, error);
}

bool Store::Init(const std::string& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    ::chmod(std::filesystem::path(folder).parent_path().c_str(), 0700);
    git_repository_init_options opts = GIT_REPOSITORY_INIT_OPTIONS_INIT;
    opts.flags = GIT_REPOSITORY_INIT_BARE | GIT_REPOSITORY_INIT_MKPATH | GIT_REPOSITORY_INIT_NO_REINIT;
    opts.initial_head = "main";
    if (git_repository_init_ext(&repo_, folder.c_str(), &opts) != 0) {
        repo_ = nullptr;
        error = LastError("不能建立历史库 ") + folder;
        return false;
    }
    return true;
}

bool Store::Empty() const {
    git_oid head;
    return !repo_ || git_reference_name_to_id(&head, repo_, kBranch) != 0;
}

bool Store::Commit(const std::vector<Edit>& edits, Who who, const std::string& message, std::string& error) {
    if (!repo_) {
        error = "历史库没有打开";
        return false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        git_oid headId;
        const bool hasHead = git_reference_name_to_id(&headId, repo_, kBranch) == 0;
        git_commit* head = nullptr;
        git_tree* base = nullptr;
        if (hasHead && (git_commit_lookup(&head, repo_, &headId) != 0 || git_commit_tree(&base, head) != 0)) {
            git_commit_free(head);
            error = LastError("历史库中最后的版本读不出来");
            return false;
        }
        TreeEdit tree;
        for (const Edit& e : edits) tree.Set(e.path, e.blob, e.ifMissing);
        git_oid treeId, commitId;
        git_tree* newTree = nullptr;
        git_signature* sig = nullptr;
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        bool ok = tree.Write(repo_, base, treeId, error) && git_tree_lookup(&newTree, repo_, &treeId) == 0 &&
                  git_signature_new(&sig, WhoLabel(who), "korvane@localhost", now,
                                    static_cast<int>(local.tm_gmtoff / 60)) == 0;
        const git_commit* parents[] = {head};
        ok = ok && git_commit_create(&commitId, repo_, nullptr, sig, sig, "UTF-8", message.c_str(), newTree,
                                     hasHead ? 1 : 0, parents) == 0;
        git_signature_free(sig);
        git_tree_free(newTree);
        git_tree_free(base);
        git_commit_free(head);
        if (!ok) {
            if (error.empty()) error = LastError("不能写入历史库");
            return false;
        }
        // The branch moves only from the commit this one was built on: a second program that moved it
        // meanwhile makes this one build again on top of it.
        git_reference* ref = nullptr;
        const int rc = hasHead ? git_reference_create_matching(&ref, repo_, kBranch, &commitId, 1, &headId, nullptr)
                               : git_reference_create(&ref, repo_, kBranch, &commitId, 0, nullptr);
        git_reference_free(ref);
        if (rc == 0) return true;
        if (rc == GIT_ELOCKED) {
            const std::string lock = folder_ + "/" + kBranch + ".lock";
            struct stat st;
            if (::stat(lock.c_str(), &st) == 0 && std::time(nullptr) - st.st_mtime > kStaleLockSeconds)
                ::unlink(lock.c_str());
            else if (attempt + 1 == kAttempts) {
                error = "历史库正被另一个程序锁住";
                return false;
            } else {
                // Another writer (this program's first history of the library, or a second program) holds
                // the branch for the moment of one update: a short wait lets it go, 28 ms at the most in all.
                std::this_thread::sleep_for(std::chrono::milliseconds(attempt + 1));
            }
        } else if (rc != GIT_EMODIFIED && rc != GIT_EEXISTS) {
            error = LastError("不能更新历史库");
            return false;
        }
    }
    error = "历史库正被另一个程序不断改写";
    return false;
}

bool Store::Saved(const std::string& path, const std::optional<std::string>& replaced, std::string_view written,
                  Who who, std::string& error, const std::string& from) {
    if (!repo_) {
        error = "历史库没有打开";
        return false;
    }
    git_oid now, before;
    if (git_blob_create_from_buffer(&now, repo_, written.data(), written.size()) != 0 ||
        (replaced && git_blob_create_from_buffer(&before, repo_, replaced->data(), replaced->size()) != 0)) {
        error = LastError("不能写入历史库");
        return false;
    }
    std::optional<std::string> last = LastBlob(repo_, path);
    if (replaced && last != Hex(before)) {
        if (!Commit({{path, before}}, Who::Other, "其他程序修改 " + OneLine(path), error)) return false;
        last = Hex(before);
    }
    if (last == Hex(now)) return true;  // the store has this text already
    std::string message = (who == Who::Restore ? "恢复 " : "保存 ") + OneLine(path);
    if (!replaced && !last && !from.empty() && from != path && LastBlob(repo_, from))
        message += "\n\nMoved: " + OneLine(from) + "\t" + OneLine(path) + "\n";
    return Commit({{path, now}}, who, message, error);
}

bool Store::Apply(const std::vector<Change>& changes, std::string& error) {
    if (!repo_) {
        error = "历史库没有打开";
        return false;
    }
    git_object* head = nullptr;
    git_revparse_single(&head, repo_, "refs/heads/main^{tree}");
    const git_tree* tree = reinterpret_cast<git_tree*>(head);
    std::vector<Edit> edits;
    std::map<std::string, std::string> gone;  // text object -> the path it left
    std::vector<std::pair<std::string, std::string>> added;  // path, text object, for paths new to the store
    bool ok = true;
    for (const Change& c : changes) {
        git_tree_entry* entry = nullptr;
        if (tree) git_tree_entry_bypath(&entry, tree, c.path.c_str());
        const std::optional<std::string> before =
            entry ? std::optional<std::string>(Hex(*git_tree_entry_id(entry))) : std::nullopt;
        const bool folder = entry && git_tree_entry_type(entry) == GIT_OBJECT_TREE;
        if (c.bytes) {
            git_oid blob;
            ok = git_blob_create_from_buffer(&blob, repo_, c.bytes->data(), c.bytes->size()) == 0;
            if (ok && before != Hex(blob)) {
                edits.push_back({c.path, blob});
                if (!entry) added.emplace_back(c.path, Hex(blob));
            }
        } else if (entry) {
            edits.push_back({c.path, std::nullopt});
            if (!folder) {
                gone.emplace(*before, c.path);
            } else {
                // A class folder gone: each of its cards may have arrived elsewhere.
                git_tree* sub = nullptr;
                if (git_tree_lookup(&sub, repo_, git_tree_entry_id(entry)) == 0) {
                    std::pair<std::map<std::string, std::string>*, const std::string*> ctx{&gone, &c.path};
                    git_tree_walk(sub, GIT_TREEWALK_PRE, [](const char* root, const git_tree_entry* e, void* p) {
                        auto* x = static_cast<decltype(ctx)*>(p);
                        if (git_tree_entry_type(e) == GIT_OBJECT_BLOB)
                            x->first->emplace(Hex(*git_tree_entry_id(e)),
                                              *x->second + "/" + root + git_tree_entry_name(e));
                        return 0;
                    }, &ctx);
                    git_tree_free(sub);
                }
            }
        }
        git_tree_entry_free(entry);
        if (!ok) break;
    }
    git_object_free(head);
    if (!ok) {
        error = LastError("不能写入历史库");
        return false;
    }
    if (edits.empty()) return true;
    std::string moves;
    int moved = 0;
    for (const auto& [path, blob] : added) {
        const auto from = gone.find(blob);
        if (from == gone.end()) continue;
        moves += "Moved: " + OneLine(from->second) + "\t" + OneLine(path) + "\n";
        ++moved;
        gone.erase(from);
    }
    std::string subject;
    if (edits.size() == 1)
        subject = (edits[0].blob ? "其他程序修改 " : "删除 ") + OneLine(edits[0].path);
    else if (moved == 1 && edits.size() == 2)
        subject = "移动 " + OneLine(edits[0].path) + " -> " + OneLine(edits[1].path);
    else
        subject = "其他程序的 " + std::to_string(edits.size()) + " 处改动";
    return Commit(edits, Who::Other, subject + (moves.empty() ? "" : "\n\n" + moves), error);
}

bool Store::Import(const std::vector<std::string>& paths,
                   const std::function<bool(const std::string&, std::string&)>& text,
                   const std::function<bool(int, int)>& progress, std::string& error) {
    if (!repo_) {
        error = "历史库没有打开";
        return false;
    }
    std::vector<Edit> edits;
    edits.reserve(paths.size());
    const int total = static_cast<int>(paths.size());
    std::string bytes;
    for (int i = 0; i < total; ++i) {
        if (progress && !progress(i, total)) {
            error = "已停止";
            return false;
        }
        if (!text(paths[i], bytes)) continue;
        git_oid blob;
        if (git_blob_create_from_buffer(&blob, repo_, bytes.data(), bytes.size()) != 0) {
            error = LastError("不能写入历史库");
            return false;
        }
        edits.push_back({paths[i], blob, true});
    }
    if (progress) progress(total, total);
    return edits.empty() || Commit(edits, Who::Other, "资料库的第一个版本", error);
}

}  // namespace history
