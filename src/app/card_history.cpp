#include "app/card_history.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <filesystem>
#include <fstream>

#include "history/place.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "search/walk.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

// A sync tool writes a card in pieces, or several times over: what stands this long after the last write
// is one version.
constexpr int kSettleMs = 2000;
constexpr int kPollMs = 250;
constexpr std::streamsize kMaxCard = 64 << 20;  // more than any card the program opens

// A regular file's bytes; false for anything else or what cannot be read.
bool ReadCard(const std::string& native, std::string& bytes) {
    struct stat st;
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxCard) return false;
    std::ifstream in(native, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string Why(const std::string& utf8) { return plat::Utf8ToGbk(utf8); }

}  // namespace

CardHistory::CardHistory(std::function<void(const std::string&)> notify,
                         std::function<void(const std::string&)> progress, QObject* parent)
    : QObject(parent), notify_(std::move(notify)), progress_(std::move(progress)) {
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    connect(settle_, &QTimer::timeout, this, [this] { RecordSeen(); });
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
}

CardHistory::~CardHistory() {
    // The window is going: what settles now is still recorded, but there is no strip to tell.
    notify_ = nullptr;
    progress_ = nullptr;
    StopWorker();
    RecordSeen();
}

void CardHistory::SetLibrary(const std::string& libRoot) {
    if (libRoot == libRoot_ && store_) return;
    RecordSeen();  // the changes of the library left belong to its store
    StopWorker();
    store_.reset();
    libRoot_ = libRoot;
    nativeRoot_ = history::Canonical(plat::ToNative(libRoot));
    std::string error;
    history::Store* store = Store(error);
    if (!store) {
        if (notify_) notify_(Gbk("资料卡的历史不能记录：") + Why(error));
        return;
    }
    if (!store->Empty()) return;
    stop_ = false;
    done_ = false;
    doneCards_ = 0;
    totalCards_ = 0;
    workerError_.clear();
    // Its own handle on the store: the window's goes on recording saves, and the two meet at the branch.
    worker_ = std::thread([this, root = nativeRoot_, folder = store->Folder()] {
        history::Store own;
        std::vector<search::Folder> folders;
        std::string error;
        if (own.OpenAt(folder, error) && search::WalkLibrary(root, folders, true)) {
            std::vector<std::string> paths;
            for (const search::Folder& f : folders)
                for (const search::CardFile& c : f.cards) paths.push_back(f.rel.empty() ? c.name : f.rel + "/" + c.name);
            totalCards_ = static_cast<int>(paths.size());
            own.Import(
                paths, [&root](const std::string& p, std::string& bytes) { return ReadCard(root + "/" + p, bytes); },
                [this](int done, int) {
                    doneCards_ = done;
                    return !stop_;
                },
                error);
        }
        workerError_ = error;
        done_ = true;
    });
    poll_->start(kPollMs);
}

void CardHistory::Poll() {
    if (!worker_.joinable()) {
        poll_->stop();
        return;
    }
    if (!done_) {
        if (progress_ && totalCards_ > 0)
            progress_(Gbk("正在建立资料库的历史：") + plat::FormatInt(doneCards_) + " / " +
                      plat::FormatInt(totalCards_));
        return;
    }
    worker_.join();
    Finished();
}

void CardHistory::Finished() {
    poll_->stop();
    if (!notify_ || stop_) return;
    if (!workerError_.empty())
        notify_(Gbk("资料库的历史没有建立：") + Why(workerError_));
    else if (totalCards_ > 0)
        notify_(Gbk("资料库的 ") + plat::FormatInt(totalCards_) + Gbk(" 张资料卡已记入历史"));
}

void CardHistory::StopWorker() {
    if (!worker_.joinable()) return;
    stop_ = true;
    worker_.join();
    poll_->stop();
}

void CardHistory::Flush() {
    if (worker_.joinable()) {
        worker_.join();
        Finished();
    }
    if (settle_->isActive()) settle_->stop();
    RecordSeen();
}

history::Store* CardHistory::Store(std::string& error) {
    if (nativeRoot_.empty()) {
        error = "没有打开的资料库";
        return nullptr;
    }
    if (!store_) {
        auto store = std::make_unique<history::Store>();
        if (!store->Open(nativeRoot_, error)) return nullptr;
        if (!store->SetAside().empty() && notify_)
            notify_(Gbk("资料卡的历史库已损坏，已改名为 ") + Why(store->SetAside()) + Gbk(" 留存，从现在起重新记录"));
        store_ = std::move(store);
    }
    return store_.get();
}

std::string CardHistory::InStore(const std::string& path) const {
    return path.empty() ? std::string() : history::InLibrary(nativeRoot_, plat::ToNative(path));
}

std::string CardHistory::OnDisk(const std::string& inStore) const { return nativeRoot_ + "/" + inStore; }

void CardHistory::BeforeSave(const std::string& path) {
    std::string bytes;
    replaced_.reset();
    if (ReadCard(plat::ToNative(path), bytes)) replaced_ = std::move(bytes);
}

void CardHistory::Saved(const std::string& path, std::string_view written, const std::string& from) {
    const std::optional<std::string> replaced = std::move(replaced_);
    replaced_.reset();
    const history::Who who = path == restored_ ? history::Who::Restore : history::Who::Program;
    restored_.clear();
    const std::string rel = InStore(path);
    if (rel.empty()) return;  // a card saved outside the library has no store
    std::string error;
    history::Store* store = Store(error);
    if (!store || !store->Saved(rel, replaced, written, who, error, from == path ? std::string() : InStore(from))) {
        if (notify_) notify_(Gbk("资料卡已保存，但这个版本没有记入历史：") + Why(error));
    }
}

void CardHistory::Seen(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    seen_.insert(paths.begin(), paths.end());
    settle_->start(kSettleMs);
}

void CardHistory::RecordSeen() {
    if (seen_.empty()) return;
    std::vector<history::Change> changes;
    std::string error;
    for (const std::string& path : seen_) {
        const std::string rel = InStore(path);
        std::error_code ec;
        if (rel.empty() && history::Canonical(plat::ToNative(path)) != nativeRoot_) continue;
        const std::string native = rel.empty() ? nativeRoot_ : OnDisk(rel);
        if (fs::is_directory(fs::symlink_status(native, ec))) {
            // A folder changed as a whole: each card in it now, and each the store has there and the disk not.
            std::set<std::string> here;
            for (const fs::directory_entry& e : fs::directory_iterator(native, ec)) {
                const std::string name = e.path().filename().string();
                std::string bytes;
                if (!search::IsCardName(name) || !ReadCard(e.path().string(), bytes)) continue;
                const std::string card = rel.empty() ? name : rel + "/" + name;
                here.insert(card);
                changes.push_back({card, std::move(bytes)});
            }
            if (history::Store* store = Store(error))
                for (const std::string& had : store->Files(rel))
                    if (!here.count(had)) changes.push_back({had, std::nullopt});
            continue;
        }
        if (rel.empty()) continue;
        history::Change change{rel, std::nullopt};
        std::string bytes;
        if (search::IsCardName(fs::path(rel).filename().string()) && ReadCard(native, bytes))
            change.bytes = std::move(bytes);
        else if (fs::exists(fs::symlink_status(native, ec)))
            continue;  // a class folder that still stands: its cards come one by one
        changes.push_back(std::move(change));
    }
    seen_.clear();
    history::Store* store = Store(error);
    if (!store || !store->Apply(changes, error)) {
        if (notify_) notify_(Gbk("其他程序的修改没有记入历史：") + Why(error));
    }
}

bool CardHistory::BringBack(const history::DeletedCard& card, std::string& error) {
    history::Store* store = Store(error);
    std::string bytes;
    if (!store || !store->BlobText(card.blob, bytes, error)) return false;
    const std::string native = OnDisk(card.path);
    std::error_code ec;
    fs::create_directories(fs::path(native).parent_path(), ec);
    // O_EXCL: whatever stands at that name now, a card or anything else, stays as it is.
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno == EEXIST ? "那里现在已有同名的文件 " + native + "，没有覆盖它" : plat::GbkToUtf8(plat::SystemReason(errno));
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const int err = errno;
    const bool ok = done == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        ::unlink(native.c_str());  // the half-written file is ours alone
        error = plat::GbkToUtf8(plat::SystemReason(err));
        return false;
    }
    if (!store->Saved(card.path, std::nullopt, bytes, history::Who::Restore, error) && notify_)
        notify_(Gbk("资料卡已恢复，但这个版本没有记入历史：") + Why(error));
    error.clear();
    return true;
}
