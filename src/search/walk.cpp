#include "search/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>

namespace search {
namespace {

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

std::uint64_t HashName(std::string_view s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
    return h;
}

std::uint64_t CardSig(std::string_view name, std::int64_t size, std::int64_t mtime) {
    return Mix(HashName(name) ^ Mix(static_cast<std::uint64_t>(size) * 0x9E3779B97F4A7C15ULL) ^
               Mix(static_cast<std::uint64_t>(mtime) + 0x632BE59BD9B4E019ULL));
}

bool IsClassFolder(int dirFd, const char* name) {
    if (name[0] == '.' || (name[0] == '_' && name[1] == ' ' && name[2] == '_')) return false;
    struct stat st;
    // A link is never a class (it could loop), nor a folder its owner may not write.
    return fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR);
}

// Lists one folder: its cards into `f` (signature and count always, the cards themselves when `keep`), its
// class folders into `subs`.
void ListOne(int fd, Folder& f, bool keep, std::vector<std::string>* subs) {
    f.cards.clear();
    f.count = 0;
    std::uint64_t sum = 0;
    alignas(8) char buf[32768];
    for (;;) {
        const ssize_t got = getdents64(fd, buf, sizeof buf);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (ssize_t pos = 0; pos < got;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(buf + pos);
            pos += e->d_reclen;
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            const unsigned char type = e->d_type;
            if ((type == DT_DIR || type == DT_UNKNOWN || type == DT_LNK) && IsClassFolder(fd, name)) {
                if (subs) subs->emplace_back(name);
                continue;
            }
            if (!IsCardName(name)) continue;
            struct stat st;
            if (fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
            const auto size = static_cast<std::int64_t>(st.st_size);
            const auto mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            sum += CardSig(name, size, mtime);
            ++f.count;
            if (keep) f.cards.push_back({name, size, mtime});
        }
    }
    // A sum, so that the order the file system lists the cards in does not matter.
    f.signature = sum + Mix(static_cast<std::uint64_t>(f.count) + 1);
}

// A folder listed, with the names of its class folders in the order they were met.
struct Listed {
    Folder folder;
    std::vector<std::string> subs;
};

// A folder to list: opened from its parent's descriptor (never through a link), which stays open until the
// last of its class folders is.
struct Dir {
    int fd;
    explicit Dir(int f) : fd(f) {}
    ~Dir() { close(fd); }
};
struct Job {
    std::shared_ptr<Dir> parent;
    std::string name, rel;
};

// Lists every folder below `root` on every core: the stats of the cards are most of a walk's time, and each
// folder's are independent of the others'. The result is the same as one walk in depth-first order.
void Walk(int rootFd, std::vector<Folder>& out, bool keep) {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<Job> jobs;
    int working = 0;
    std::unordered_map<std::string, Listed> listed;
    jobs.push_back({std::make_shared<Dir>(dup(rootFd)), ".", ""});
    auto work = [&] {
        std::unique_lock<std::mutex> lock(mu);
        for (;;) {
            cv.wait(lock, [&] { return !jobs.empty() || working == 0; });
            if (jobs.empty()) return;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            ++working;
            lock.unlock();
            const int fd = openat(job.parent->fd, job.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            job.parent.reset();
            Listed l;
            if (fd >= 0) {
                // A folder that cannot be listed holds no cards, as in the tree.
                l.folder.rel = job.rel;
                ListOne(fd, l.folder, keep, &l.subs);
            }
            auto self = fd >= 0 ? std::make_shared<Dir>(fd) : nullptr;
            lock.lock();
            if (self) {
                for (const std::string& s : l.subs) jobs.push_back({self, s, job.rel.empty() ? s : job.rel + "/" + s});
                listed.emplace(job.rel, std::move(l));
            }
            --working;
            cv.notify_all();
        }
    };
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < cores; ++i) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();

    // Depth first, each folder's classes in the order it lists them.
    std::vector<std::string> stack{""};
    while (!stack.empty()) {
        auto it = listed.find(stack.back());
        stack.pop_back();
        if (it == listed.end()) continue;
        for (auto s = it->second.subs.rbegin(); s != it->second.subs.rend(); ++s)
            stack.push_back(it->first.empty() ? *s : it->first + "/" + *s);
        out.push_back(std::move(it->second.folder));
    }
}

}  // namespace

bool IsCardName(std::string_view name) { return name.find(".datum.") != std::string_view::npos; }

bool WalkLibrary(const std::string& nativeRoot, std::vector<Folder>& out, bool keepCards) {
    out.clear();
    const int fd = open(nativeRoot.empty() ? "." : nativeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    Walk(fd, out, keepCards);
    close(fd);
    return true;
}

bool ListFolder(const std::string& nativeRoot, Folder& folder) {
    const std::string path = nativeRoot + folder.rel;
    const int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    ListOne(fd, folder, true, nullptr);
    close(fd);
    return true;
}

}  // namespace search
