#include "platform/cache_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/codec.h"
#include "platform/fs.h"

namespace plat {
namespace {

// Makes every missing folder of an absolute path, each 0700 (the base directory rules' mode).
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

// One folder of the cache, made if missing, as a descriptor: a real folder (not a link) of this user's,
// closed to everyone else (one the program made before folders were private is made so now). -1 otherwise.
int OpenOwnFolder(int parent, const std::string& name) {
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) return -1;
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
        ((st.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0))
        return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

}  // namespace

int OpenPrivateCacheFolder(std::string& error, std::string_view sub, std::string& path) {
    // A relative XDG_CACHE_HOME is to be ignored, as the base directory rules say.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (xdg && xdg[0] == '/') base = xdg;
    else if (home && home[0] == '/') base = std::string(home) + "/.cache";
    else {
        error = Gbk("找不到缓存目录: HOME 和 XDG_CACHE_HOME 都没有设置");
        return -1;
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    // The cache home may be a link the user made (to another disk); what it leads to must still be a
    // folder whose entries only this user (or root) can rename: else korvane's folder could be swapped.
    errno = 0;
    const int baseFd = MakeFolders(base) ? ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    struct stat st;
    if (baseFd < 0 || ::fstat(baseFd, &st) != 0) {
        error = Gbk("不能建立缓存目录 ") + Utf8ToGbk(base) + ": " + SystemReason(errno ? errno : ENOTDIR);
        if (baseFd >= 0) ::close(baseFd);
        return -1;
    }
    const bool othersMayRename = (st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0;
    if ((st.st_uid != ::geteuid() && st.st_uid != 0) || othersMayRename) {
        ::close(baseFd);
        error = Gbk("缓存目录 ") + Utf8ToGbk(base) + Gbk(" 别的用户也能改动，不能使用");
        return -1;
    }
    path = base + "/korvane";
    if (!sub.empty()) path += "/" + std::string(sub);
    int fd = baseFd;
    for (const std::string& name : {std::string("korvane"), std::string(sub)}) {
        if (name.empty()) continue;
        const int next = OpenOwnFolder(fd, name);
        ::close(fd);
        fd = next;
        if (fd < 0) {
            error = Gbk("不能使用缓存目录 ") + Utf8ToGbk(path) + Gbk(": 不能创建，或者不是本用户自己的目录(例如是符号链接)");
            return -1;
        }
    }
    return fd;
}

std::string PrivateCacheFolder(std::string& error, std::string_view sub) {
    std::string path;
    const int fd = OpenPrivateCacheFolder(error, sub, path);
    if (fd < 0) return {};
    ::close(fd);
    return path;
}

}  // namespace plat
