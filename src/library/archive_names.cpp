// Names, paths and the registry entry around a backup or a restore.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <QDate>
#include <cctype>
#include <cerrno>
#include <cstring>

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
