#include "render/view_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/cache_dir.h"
#include "platform/codec.h"

namespace fs = std::filesystem;

namespace render {

namespace {

constexpr char kPrefix[] = "card-";
constexpr char kSuffix[] = ".html";

bool IsPage(const std::string& name) {
    return name.size() > sizeof kPrefix + sizeof kSuffix - 2 && name.rfind(kPrefix, 0) == 0 &&
           name.compare(name.size() - (sizeof kSuffix - 1), sizeof kSuffix - 1, kSuffix) == 0;
}

// Only the program's own pages are candidates; anything else in the folder is left alone. Everything goes
// through the folder's descriptor and nothing follows a link: a link planted among the pages is removed as a
// name, never what it points to.
void Prune(int folder) {
    struct Found {
        struct timespec time;
        std::string name;
    };
    std::vector<Found> pages;
    DIR* dir = fdopendir(dup(folder));
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        struct stat st;
        if (!IsPage(e->d_name) || fstatat(folder, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        pages.push_back({st.st_mtim, e->d_name});
    }
    closedir(dir);
    if (pages.size() <= static_cast<std::size_t>(kKeptPages)) return;
    // Newest first; names carry the write time, so they order pages written within one clock tick.
    std::sort(pages.begin(), pages.end(), [](const Found& a, const Found& b) {
        if (a.time.tv_sec != b.time.tv_sec) return a.time.tv_sec > b.time.tv_sec;
        if (a.time.tv_nsec != b.time.tv_nsec) return a.time.tv_nsec > b.time.tv_nsec;
        return a.name > b.name;
    });
    for (std::size_t i = kKeptPages; i < pages.size(); ++i) unlinkat(folder, pages[i].name.c_str(), 0);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string ViewFolder() {
    // A relative XDG_CACHE_HOME is to be ignored, as the base directory rules say.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    fs::path base;
    if (cache && cache[0] == '/') {
        base = cache;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return std::string();
        base = fs::path(home) / ".cache";
    }
    return (base / "korvane" / "view").string();
}

std::string WriteViewPage(const std::string& html, std::string& error) {
    std::string folder;
    const int dirFd = plat::OpenPrivateCacheFolder(error, "view", folder);
    if (dirFd < 0) return std::string();
    const long long stamp = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    std::string name;
    int fd = -1;
    for (int n = 0; n < 1000 && fd < 0; ++n) {
        name = kPrefix + std::to_string(stamp) + "-" + std::to_string(getpid()) + "-" + std::to_string(n) +
               kSuffix;
        fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    bool ok = fd >= 0 && WriteAll(fd, html);
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (!ok) {
        if (fd >= 0) ::unlinkat(dirFd, name.c_str(), 0);
        ::close(dirFd);
        error = plat::Gbk("不能写入文件 ") + plat::Utf8ToGbk(folder + "/" + name);
        return std::string();
    }
    Prune(dirFd);
    ::close(dirFd);
    return folder + "/" + name;
}

}  // namespace render
