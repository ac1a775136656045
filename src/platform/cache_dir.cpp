#include "platform/cache_dir.h"

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

// A folder of the user's own, as lstat sees it: not a link, owned by this user. One the program made
// before folders were made private is made so now.
bool MakePrivate(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Gbk("不能建立缓存目录 ") + Utf8ToGbk(path) + ": " + SystemReason(errno);
        return false;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        error = Gbk("缓存目录 ") + Utf8ToGbk(path) + Gbk(" 不是本用户自己的目录（或是符号链接），不能使用");
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) {
        error = Gbk("不能把缓存目录 ") + Utf8ToGbk(path) + Gbk(" 设为私有: ") + SystemReason(errno);
        return false;
    }
    return true;
}

}  // namespace

std::string PrivateCacheFolder(std::string& error, std::string_view sub) {
    // A relative XDG_CACHE_HOME is to be ignored, as the base directory rules say.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (xdg && xdg[0] == '/') base = xdg;
    else if (home && home[0] == '/') base = std::string(home) + "/.cache";
    else {
        error = Gbk("找不到缓存目录: HOME 和 XDG_CACHE_HOME 都没有设置");
        return {};
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    // The cache home may be a link the user made (to another disk); what it leads to must still be a
    // folder whose entries only this user (or root) can rename: else korvane's folder could be swapped.
    struct stat st;
    errno = 0;
    if (!MakeFolders(base) || ::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = Gbk("不能建立缓存目录 ") + Utf8ToGbk(base) + ": " + SystemReason(errno ? errno : ENOTDIR);
        return {};
    }
    const bool othersMayRename = (st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0;
    if ((st.st_uid != ::geteuid() && st.st_uid != 0) || othersMayRename) {
        error = Gbk("缓存目录 ") + Utf8ToGbk(base) + Gbk(" 别的用户也能改动，不能使用");
        return {};
    }
    std::string folder = base + "/korvane";
    if (!MakePrivate(folder, error)) return {};
    if (!sub.empty()) {
        folder += '/';
        folder += sub;
        if (!MakePrivate(folder, error)) return {};
    }
    return folder;
}

}  // namespace plat
