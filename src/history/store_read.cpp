// Reading a card's versions back: the branch walked from its last commit to its first, a version wherever
// the card's text object differs from the one before, the path followed back through every move.
#include <git2.h>

#include <strings.h>

#include <cstring>
#include <set>

#include "history/store.h"

namespace history {
namespace {

std::string Hex(const git_oid* oid) {
    char buf[GIT_OID_HEXSZ + 1];
    git_oid_tostr(buf, sizeof buf, oid);
    return buf;
}

// The path the card at `path` had before `commit`, from the commit's "Moved: old<TAB>new" lines.
std::string PathBefore(const git_commit* commit, const std::string& path) {
    const char* message = git_commit_message(commit);
    const std::string wanted = "\t" + path + "\n";
    for (const char* line = message; line && *line;) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end ? end + 1 : line + std::strlen(line));
        if (text.rfind("Moved: ", 0) == 0 && text.size() > wanted.size() &&
            text.compare(text.size() - wanted.size(), wanted.size(), wanted) == 0)
            return text.substr(7, text.size() - 7 - wanted.size());
        line = end ? end + 1 : nullptr;
    }
    return path;
}

Who WhoOf(const git_commit* commit) {
    const git_signature* author = git_commit_author(commit);
    if (author && std::strcmp(author->name, WhoLabel(Who::Program)) == 0) return Who::Program;
    if (author && std::strcmp(author->name, WhoLabel(Who::Restore)) == 0) return Who::Restore;
    return Who::Other;
}

// The text object at `path` in `commit`, null when there is none there.
bool BlobAt(const git_commit* commit, const std::string& path, git_oid& out) {
    git_tree* tree = nullptr;
    if (git_commit_tree(&tree, commit) != 0) return false;
    git_tree_entry* entry = nullptr;
    const bool found = git_tree_entry_bypath(&entry, tree, path.c_str()) == 0 &&
                       git_tree_entry_type(entry) == GIT_OBJECT_BLOB;
    if (found) git_oid_cpy(&out, git_tree_entry_id(entry));
    git_tree_entry_free(entry);
    git_tree_free(tree);
    return found;
}

}  // namespace

std::vector<Version> Store::Versions(const std::string& path, std::string& error) const {
    std::vector<Version> out;
    if (!repo_) {
        error = "历史库没有打开";
        return out;
    }
    git_oid id;
    git_commit* commit = nullptr;
    if (git_reference_name_to_id(&id, repo_, "refs/heads/main") != 0) return out;  // nothing recorded yet
    if (git_commit_lookup(&commit, repo_, &id) != 0) {
        error = "历史库中最后的版本读不出来";
        return out;
    }
    git_odb* odb = nullptr;
    git_repository_odb(&odb, repo_);
    std::string at = path;
    git_oid blob;
    bool has = BlobAt(commit, at, blob);
    while (commit) {
        git_commit* parent = nullptr;
        if (git_commit_parentcount(commit) > 0 && git_commit_parent(&parent, commit, 0) != 0) {
            error = "历史库中有读不出来的版本，更早的版本没有列出";
            git_commit_free(commit);
            break;
        }
        const std::string before = PathBefore(commit, at);
        git_oid parentBlob;
        const bool parentHas = parent && BlobAt(parent, before, parentBlob);
        if (has != parentHas || (has && !git_oid_equal(&blob, &parentBlob))) {
            Version v;
            v.id = Hex(git_commit_id(commit));
            v.time = static_cast<long long>(git_commit_time(commit));
            v.who = WhoOf(commit);
            v.path = at;
            if (has) {
                std::size_t size = 0;
                git_object_t type;
                v.size = odb && git_odb_read_header(&size, &type, odb, &blob) == 0 ? static_cast<long long>(size) : 0;
                v.blob = Hex(&blob);
            }
            out.push_back(std::move(v));
        }
        git_commit_free(commit);
        commit = parent;
        at = before;
        has = parentHas;
        if (has) git_oid_cpy(&blob, &parentBlob);
    }
    git_odb_free(odb);
    return out;
}

bool Store::BlobText(const std::string& blob, std::string& bytes, std::string& error) const {
    git_oid id;
    git_blob* object = nullptr;
    if (!repo_ || git_oid_fromstr(&id, blob.c_str()) != 0 || git_blob_lookup(&object, repo_, &id) != 0) {
        error = "历史库中这个版本的内容读不出来";
        return false;
    }
    bytes.assign(static_cast<const char*>(git_blob_rawcontent(object)),
                 static_cast<std::size_t>(git_blob_rawsize(object)));
    git_blob_free(object);
    return true;
}

bool Store::Text(const std::string& path, const std::string& id, std::string& bytes, std::string& error) const {
    if (id.size() < 4 || id.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        error = "版本号应是至少 4 位的十六进制数: " + id;
        return false;
    }
    const std::vector<Version> versions = Versions(path, error);
    const Version* found = nullptr;
    for (const Version& v : versions) {
        if (v.id.compare(0, id.size(), id) != 0 && strncasecmp(v.id.c_str(), id.c_str(), id.size()) != 0) continue;
        if (found) {
            error = "有不止一个版本以 " + id + " 开头";
            return false;
        }
        found = &v;
    }
    if (!found) {
        if (error.empty()) error = "这张资料卡没有版本 " + id;
        return false;
    }
    if (found->Deleted()) {
        error = "版本 " + id + " 是这张资料卡被删除的记录，没有内容";
        return false;
    }
    return BlobText(found->blob, bytes, error);
}

std::vector<std::string> Store::Files(const std::string& folder) const {
    std::vector<std::string> out;
    git_object* tree = nullptr;
    const std::string revision = "refs/heads/main:" + folder;
    if (!repo_ || git_revparse_single(&tree, repo_, revision.c_str()) != 0) return out;
    if (git_object_type(tree) == GIT_OBJECT_TREE) {
        const git_tree* t = reinterpret_cast<git_tree*>(tree);
        for (std::size_t i = 0; i < git_tree_entrycount(t); ++i) {
            const git_tree_entry* e = git_tree_entry_byindex(t, i);
            if (git_tree_entry_type(e) == GIT_OBJECT_BLOB)
                out.push_back((folder.empty() ? "" : folder + "/") + git_tree_entry_name(e));
        }
    }
    git_object_free(tree);
    return out;
}

std::vector<DeletedCard> Store::Deleted(std::string& error) const {
    std::vector<DeletedCard> out;
    git_object* tip = nullptr;
    if (!repo_ || git_revparse_single(&tip, repo_, "refs/heads/main") != 0) return out;
    git_commit* commit = reinterpret_cast<git_commit*>(tip);
    git_tree* head = nullptr;
    git_commit_tree(&head, commit);
    std::set<std::string> listed;
    // Only the folders a commit changed are compared: identical subtrees are skipped whole.
    while (commit) {
        git_commit* parent = nullptr;
        if (git_commit_parentcount(commit) == 0 || git_commit_parent(&parent, commit, 0) != 0) {
            git_commit_free(commit);
            break;
        }
        git_tree *now = nullptr, *before = nullptr;
        git_diff* diff = nullptr;
        if (git_commit_tree(&now, commit) == 0 && git_commit_tree(&before, parent) == 0 &&
            git_diff_tree_to_tree(&diff, repo_, before, now, nullptr) == 0) {
            const std::string message = git_commit_message(commit);
            for (std::size_t i = 0; i < git_diff_num_deltas(diff); ++i) {
                const git_diff_delta* d = git_diff_get_delta(diff, i);
                if (d->status != GIT_DELTA_DELETED) continue;
                const std::string path = d->old_file.path;
                git_tree_entry* standing = nullptr;
                const bool stands = git_tree_entry_bypath(&standing, head, path.c_str()) == 0;
                git_tree_entry_free(standing);
                if (stands || message.find("Moved: " + path + "\t") != std::string::npos) continue;
                if (!listed.insert(path).second) continue;  // gone more than once: its last delete counts
                out.push_back({path, Hex(git_commit_id(commit)), Hex(&d->old_file.id),
                               static_cast<long long>(git_commit_time(commit)), WhoOf(commit)});
            }
        } else {
            error = "历史库中有读不出来的版本，更早删除的资料卡没有列出";
        }
        git_diff_free(diff);
        git_tree_free(now);
        git_tree_free(before);
        git_commit_free(commit);
        commit = parent;
        if (!error.empty()) {
            git_commit_free(commit);
            break;
        }
    }
    git_tree_free(head);
    return out;
}

}  // namespace history
