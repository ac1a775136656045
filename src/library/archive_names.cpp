// Names, paths and the registry entry around a backup or a restore.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "library/archive.h"
#include "library/archive_io.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

using plat::Gbk;

namespace archiving {
namespace detail {

std::string NativeFolder(const std::string& internal) {
    std::string native = plat::ToNative(internal);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return native;
}

std::string ParentOf(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

std::string BaseOf(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string Reason(int err) {
    switch (err) {
        case ENOSPC:
        case EDQUOT: return Gbk("磁盘空间不足");
        case EACCES:
        case EPERM: return Gbk("没有权限");
        case EROFS: return Gbk("磁盘是只读的");
        case ENOENT: return Gbk("不存在");
        case EIO: return Gbk("读写错误");
        case EISDIR: return Gbk("是一个目录");
        case ENAMETOOLONG: return Gbk("路径太长");
        default: return plat::Utf8ToGbk(std::strerror(err));
    }
}

mode_t CurrentUmask() {
    FILE* f = fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (!f) return mask;
    char line[256];
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "Umask: %o", &mask) == 1) break;
    fclose(f);
    return static_cast<mode_t>(mask);
}

void SyncFolder(const std::string& native) {
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

std::string TemporaryTemplate(const std::string& targetNative) {
    return ParentOf(targetNative) + "/." + BaseOf(targetNative) + "-XXXXXX";
}

bool ClaimTemporary(int fd, const std::string& path) {
    // A clean-up that ran between the creation and the lock may have taken it for a left-over: then the name
    // no longer leads to this file.
    struct stat mine, named;
    return flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &mine) == 0 && lstat(path.c_str(), &named) == 0 &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

void RemoveStaleTemporaries(const std::string& targetNative) {
    const std::string folder = ParentOf(targetNative), prefix = "." + BaseOf(targetNative) + "-";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (!std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        // Never through a link, only what this user made, and only when no writer holds it.
        const int fd = openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) &&
            flock(fd, LOCK_EX | LOCK_NB) == 0)
            stale.push_back(folder + "/" + name);
        close(fd);
    }
    closedir(dir);
    std::error_code ec;
    for (const std::string& path : stale) std::filesystem::remove_all(path, ec);
}

std::string RealFolder(const std::string& native) {
    char* real = realpath(native.c_str(), nullptr);
    std::string out = real ? real : "";
    free(real);
    return out;
}

bool IsInside(const std::string& folder, const std::string& root) {
    return !folder.empty() && !root.empty() &&
           (root == "/" || folder == root || folder.compare(0, root.size() + 1, root + "/") == 0);
}

std::string ShownName(const std::string& utf8) { return plat::Abbreviate(plat::Utf8ToGbk(utf8)); }

}  // namespace detail

std::string NameFromArchive(const std::string& archivePath) {
    // The last component, found character by character: a GBK trail byte may equal '\'.
    std::size_t start = 0;
    for (std::size_t i = 0; i < archivePath.size(); i += plat::CharLen(archivePath, i))
        if (archivePath[i] == '\\' || archivePath[i] == '/') start = i + 1;
    std::string name = archivePath.substr(start);
    if (name.size() > 4 && plat::EqualsIgnoreAsciiCase(name.substr(name.size() - 4), ".zip"))
        name.resize(name.size() - 4);
    // "-yyyymmdd" is what a backup appends; a name that is nothing else keeps it.
    if (name.size() > 9 && name[name.size() - 9] == '-') {
        bool date = true;
        for (std::size_t i = name.size() - 8; i < name.size(); ++i)
            date = date && std::isdigit(static_cast<unsigned char>(name[i]));
        if (date) name.resize(name.size() - 9);
    }
    return name;
}

std::string DefaultArchiveName(const std::string& libraryName) {
    return libraryName + "-" + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString() + ".zip";
}

bool RegistryHasRoom(std::string& error) {
    LibraryRegistry reg;
    if (!ReadRegistry(reg, error)) return false;
    if (reg.count < kMaxLibraries) return true;
    error = Gbk("资料库列表已满(最多 50 个)，不能再恢复资料库!");
    return false;
}

bool OutsideLibraries(const LibraryRegistry& reg, const std::string& targetDir, std::string& error) {
    using namespace detail;
    // The target may not exist yet: then its parent's real path and its own name.
    const std::string target = NativeFolder(targetDir);
    std::string real = RealFolder(target);
    if (real.empty()) {
        const std::string parent = RealFolder(ParentOf(target));
        if (parent.empty()) return true;  // the restore itself says the folder is missing
        real = (parent == "/" ? "" : parent) + "/" + BaseOf(target);
    }
    for (int i = 0; i < reg.count; ++i) {
        if (!IsInside(real, RealFolder(NativeFolder(reg.entries[i].path)))) continue;
        error = Gbk("目录 ") + plat::Abbreviate(targetDir) + Gbk(" 位于资料库 ") + reg.entries[i].name +
                Gbk(" 之中，不能恢复到那里");
        return false;
    }
    return true;
}

bool Register(const DatumLibEntry& entry, std::string& error) {
    LibraryRegistry reg;
    if (!ReadRegistry(reg, error)) return false;
    if (reg.count >= kMaxLibraries) {
        error = Gbk("资料库列表已满(最多 50 个)，不能再恢复资料库!");
        return false;
    }
    reg.entries[reg.count++] = entry;
    return WriteRegistry(reg, error);
}

}  // namespace archiving
