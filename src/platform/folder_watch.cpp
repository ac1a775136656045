#include "platform/folder_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace plat {

namespace {

// What changes a folder's listing or a card: entries created, removed, renamed in or out, files written and
// closed (an editor saving in place), attributes (a folder made read-only stops being a class); and the
// folder itself going away. Plain writes are left out: the close after them says the same once.
constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                  IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File times come from a clock that can lag the wall clock by a tick, and some file systems keep only
// seconds (FAT: two): a folder changed this long before the caller's listing is looked at again.
constexpr std::int64_t kClockSlackNs = 3'000'000'000;

std::atomic<bool> gHoldReading{false};
std::atomic<int> gWatchBudget{-1};

int AddWatch(int fd, const char* path, std::uint32_t mask) {
    if (gWatchBudget.load() == 0) {
        errno = ENOSPC;
        return -1;
    }
    const int wd = inotify_add_watch(fd, path, mask);
    if (wd >= 0 && gWatchBudget.load() > 0) --gWatchBudget;
    return wd;
}

std::int64_t MtimeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace

// One Start's worth of watching, owned by its thread: only that thread touches the maps.
struct FolderWatch::Session {
    int fd = -1;          // inotify
    int stopFd = -1;      // eventfd: Stop wakes the thread through it
    std::string absRoot;  // internal, absolute, ending with '\'
    std::int64_t since = 0;
    std::int64_t started = 0;
    std::unordered_map<int, std::string> relOf;  // watch -> folder from the root (internal, ending with '\')
    std::map<std::string, int> watchOf;  // the same the other way, in order: a folder's sub-tree is a range
    bool shortOfWatches = false;

    ~Session() {
        if (fd >= 0) close(fd);
        if (stopFd >= 0) close(stopFd);
    }
};

FolderWatch::FolderWatch(Filter filter) : filter_(std::move(filter)) {}

FolderWatch::~FolderWatch() { Stop(); }

std::int64_t FolderWatch::NowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void FolderWatch::HoldReading(bool hold) { gHoldReading = hold; }

void FolderWatch::FailWatchesAfter(int watches) { gWatchBudget = watches < 0 ? -1 : watches; }

void FolderWatch::Start(const std::string& root, std::int64_t sinceNs, std::function<void()> wake) {
    Stop();
    auto s = std::make_shared<Session>();
    s->since = sinceNs;
    s->started = NowNs();
    // The thread must not depend on the current folder, which file dialogs and tests change.
    if (IsAbsolute(root)) {
        s->absRoot = root;
    } else {
        const std::string cwd = GetCurrentDir();
        s->absRoot = cwd + (cwd.empty() || cwd.back() == '\\' ? "" : "\\") + root;
    }
    if (s->absRoot.empty() || s->absRoot.back() != '\\') s->absRoot += '\\';
    {
        std::lock_guard<std::mutex> lock(mu_);
        root_ = root;
        if (root_.empty() || root_.back() != '\\') root_ += '\\';
        queue_.clear();
        queued_.clear();
        trouble_ = Trouble::None;
        wake_ = std::move(wake);
        told_ = false;
        stats_ = {};
    }
    s->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    s->stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    session_ = s;
    thread_ = std::thread([this, s] { Run(s); });
}

void FolderWatch::Stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    if (write(session_->stopFd, &one, sizeof one) < 0) {
        // An eventfd write fails only on overflow of its counter, which one write cannot reach.
    }
    thread_.join();
    session_.reset();
    std::lock_guard<std::mutex> lock(mu_);
    wake_ = nullptr;
    queue_.clear();
    queued_.clear();
}

bool FolderWatch::Take(std::vector<Change>& out, std::size_t max) {
    out.clear();
    std::lock_guard<std::mutex> lock(mu_);
    while (!queue_.empty() && out.size() < max) {
        Change& c = queue_.front();
        queued_.erase(c.folder + '\0' + c.name);
        out.push_back(std::move(c));
        queue_.pop_front();
        ++frontSeq_;
    }
    // Trouble raised meanwhile was not told (told_ stood): the taker comes back for it.
    if (queue_.empty() && trouble_ == Trouble::None) told_ = false;
    return !queue_.empty() || trouble_ != Trouble::None;
}

FolderWatch::Trouble FolderWatch::TakeTrouble() {
    std::lock_guard<std::mutex> lock(mu_);
    const Trouble t = trouble_;
    trouble_ = Trouble::None;
    if (queue_.empty()) told_ = false;
    return t;
}

FolderWatch::Stats FolderWatch::GetStats() {
    std::lock_guard<std::mutex> lock(mu_);
    return stats_;
}

bool FolderWatch::Busy() {
    std::lock_guard<std::mutex> lock(mu_);
    return (thread_.joinable() && !stats_.ready) || told_ || !queue_.empty() || trouble_ != Trouble::None;
}

void FolderWatch::WaitReady() {
    std::unique_lock<std::mutex> lock(mu_);
    readyCv_.wait(lock, [this] { return stats_.ready || !thread_.joinable(); });
}

void FolderWatch::WakeLocked() {
    // Called with mu_ held; the wake only posts to the taker's thread and never calls back.
    if (told_ || !wake_) return;
    told_ = true;
    wake_();
}

void FolderWatch::Push(const std::string& rel, std::string name, bool replaced) {
    std::lock_guard<std::mutex> lock(mu_);
    std::string folder = root_ + rel;
    std::string key = folder + '\0' + name;
    auto it = queued_.find(key);
    if (it != queued_.end()) {
        queue_[it->second - frontSeq_].replaced |= replaced;
    } else {
        queued_.emplace(std::move(key), frontSeq_ + queue_.size());
        queue_.push_back({std::move(folder), std::move(name), replaced});
    }
    WakeLocked();
}

void FolderWatch::Raise(Trouble t) {
    std::lock_guard<std::mutex> lock(mu_);
    trouble_ = std::max(trouble_, t);
    WakeLocked();
}

void FolderWatch::AddTree(Session& s, const std::string& rel, bool sinceCheck) {
    const std::string abs = s.absRoot + rel;
    const std::string native = ToNative(abs);
    // Sub-folders are followed only as real folders: one replaced by a link after it was listed is not.
    const std::uint32_t mask = kEvents | (rel.empty() ? 0u : std::uint32_t{IN_DONT_FOLLOW});
    const int wd = s.fd < 0 ? -1 : AddWatch(s.fd, native.c_str(), mask);
    if (wd < 0) {
        if (errno == ENOSPC || errno == ENOMEM || s.fd < 0) {
            if (!s.shortOfWatches) Raise(Trouble::NoWatches);
            s.shortOfWatches = true;
        }
        return;  // otherwise it went away meanwhile; its parent's event says so
    }
    s.relOf[wd] = rel;
    s.watchOf[rel] = wd;
    struct stat st;
    if (sinceCheck && stat(native.c_str(), &st) == 0 && MtimeNs(st) >= s.since - kClockSlackNs)
        Push(rel, {}, false);

    std::vector<DirEntry> entries;
    if (!ListDir(abs, entries)) return;
    for (const DirEntry& e : entries)
        if (filter_.enter(e.name, e.attrs)) AddTree(s, rel + e.name + '\\', sinceCheck);
}

void FolderWatch::DropTree(Session& s, const std::string& rel) {
    // The folder and every folder below it: a range of the ordered map, as every name below begins with it.
    auto it = s.watchOf.lower_bound(rel);
    while (it != s.watchOf.end() && it->first.compare(0, rel.size(), rel) == 0) {
        inotify_rm_watch(s.fd, it->second);
        s.relOf.erase(it->second);
        it = s.watchOf.erase(it);
    }
}

void FolderWatch::Handle(Session& s, const char* buf, std::size_t len) {
    for (std::size_t pos = 0; pos < len;) {
        const auto* ev = reinterpret_cast<const struct inotify_event*>(buf + pos);
        pos += sizeof(struct inotify_event) + ev->len;
        if (ev->mask & IN_Q_OVERFLOW) {
            // Whatever was dropped may have been a folder created: watch everything again from scratch, then
            // tell the taker, who looks at the whole tree once.
            for (const auto& [wd, rel] : s.relOf) inotify_rm_watch(s.fd, wd);
            s.relOf.clear();
            s.watchOf.clear();
            AddTree(s, {}, false);
            Raise(Trouble::Overflow);
            return;  // what follows in the buffer is covered by that look
        }
        auto it = s.relOf.find(ev->wd);
        if (it == s.relOf.end()) continue;  // a watch dropped since
        const std::string rel = it->second;
        if (ev->mask & IN_IGNORED) {
            s.watchOf.erase(rel);
            s.relOf.erase(it);
            continue;
        }
        if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
            if (rel.empty()) Raise(Trouble::RootGone);
            continue;  // a sub-folder's own going is told by its parent's event
        }
        if (ev->len == 0) continue;
        std::string name;
        if (!TryUtf8ToGbk(ev->name, name)) continue;  // the tree cannot show a name GBK cannot hold
        if (!(ev->mask & IN_ISDIR)) {
            if (filter_.report(name)) Push(rel, std::move(name), false);
            continue;
        }
        const std::string sub = rel + name + '\\';
        const bool followed = s.watchOf.count(sub) != 0;
        if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
            DropTree(s, sub);
            Push(rel, std::move(name), true);
        } else if (ev->mask & (IN_CREATE | IN_MOVED_TO)) {
            // Watched before it is reported: whoever looks at it after the report sees what came before the
            // watch, and the watch tells what comes after.
            DropTree(s, sub);
            if (filter_.enter(name, AttributesOf(s.absRoot + sub))) AddTree(s, sub, false);
            Push(rel, std::move(name), true);
        } else if (filter_.enter(name, AttributesOf(s.absRoot + sub)) != followed) {
            // Made read-only or writable again, or turned into a link: it stops or starts being followed.
            if (followed)
                DropTree(s, sub);
            else
                AddTree(s, sub, false);
            Push(rel, std::move(name), true);
        }
    }
}

void FolderWatch::Run(std::shared_ptr<Session> s) {
    AddTree(*s, {}, true);  // without an inotify instance (max_user_instances) this raises NoWatches
    {
        std::lock_guard<std::mutex> lock(mu_);
        stats_.ready = true;
        stats_.folders = static_cast<int>(s->relOf.size());
        stats_.setupNs = NowNs() - s->started;
    }
    readyCv_.notify_all();

    alignas(struct inotify_event) char buf[64 * 1024];
    for (;;) {
        const bool hold = gHoldReading.load();
        struct pollfd fds[2] = {{s->stopFd, POLLIN, 0}, {s->fd, POLLIN, 0}};
        // Without events the thread sleeps here for good; only the test hook makes it look again.
        const int n = poll(fds, s->fd >= 0 && !hold ? 2 : 1, hold ? 10 : -1);
        if (n < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        // Looked at again: a hold set while the thread slept must stop it reading what woke it.
        if (gHoldReading.load() || n <= 0 || !(fds[1].revents & POLLIN)) continue;
        for (;;) {
            const ssize_t got = read(s->fd, buf, sizeof buf);
            if (got <= 0) break;  // EAGAIN: everything read
            Handle(*s, buf, static_cast<std::size_t>(got));
        }
        std::lock_guard<std::mutex> lock(mu_);
        stats_.folders = static_cast<int>(s->relOf.size());
    }
}

}  // namespace plat
