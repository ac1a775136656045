#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/fs.h"
#include "platform/path.h"
#include "platform/posix_io.h"

namespace plat {

namespace {

std::string Absolute(const std::string& native) {
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(native, ec);
    return ec ? native : abs.lexically_normal().string();
}

std::string Parent(const std::string& native) {
    const std::size_t slash = native.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

bool DeviceOf(const std::string& native, dev_t& dev) {
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return false;
    dev = st.st_dev;
    return true;
}

// A folder of ours that only we may open: made when missing, refused when it is a link or someone else's.
bool OwnFolder(const std::string& native, bool create) {
    if (create && mkdir(native.c_str(), 0700) == 0) {
        io::SyncFolderOf(native);
        return true;
    }
    struct stat st;
    return lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

bool MakeTrash(const std::string& trash) {
    return OwnFolder(trash, true) && OwnFolder(trash + "/files", true) && OwnFolder(trash + "/info", true);
}

std::string HomeData() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/') return x;
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? std::string(home) + "/.local/share" : std::string();
}

// The mount point of the file system that holds `native`: the last folder upwards on the same device.
std::string TopDirOf(const std::string& native, dev_t dev) {
    std::string top = Parent(native);
    for (;;) {
        if (top == "/") return top;
        const std::string up = Parent(top);
        dev_t upDev;
        if (!DeviceOf(up, upDev) || upDev != dev) return top;
        top = up;
    }
}

// Where `native` (absolute) goes, and the prefix its recorded path is relative to ("" for an absolute one).
std::string TrashFor(const std::string& native, std::string& relativeTo, bool create) {
    relativeTo.clear();
    dev_t dev;
    if (!DeviceOf(native, dev)) return {};
    const std::string data = HomeData();
    if (!data.empty()) {
        // The user's data folder may not exist yet; its nearest existing ancestor tells the file system.
        std::string probe = data;
        dev_t dataDev;
        while (!DeviceOf(probe, dataDev) && probe != "/") probe = Parent(probe);
        if (DeviceOf(probe, dataDev) && dataDev == dev) {
            std::error_code ec;
            if (create) std::filesystem::create_directories(data, ec);
            const std::string trash = data + "/Trash";
            if (!create || MakeTrash(trash)) return trash;
            return {};
        }
    }
    const std::string top = TopDirOf(native, dev);
    const std::string uid = std::to_string(getuid());
    const std::string shared = (top == "/" ? "" : top) + "/.Trash";
    struct stat st;
    // The administrator's shared trash counts only when it is a real sticky folder, as the desktop requires.
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        if (!create || MakeTrash(shared + "/" + uid)) {
            relativeTo = top;
            return shared + "/" + uid;
        }
    }
    const std::string own = (top == "/" ? "" : top) + "/.Trash-" + uid;
    if (!create || MakeTrash(own)) {
        relativeTo = top;
        return own;
    }
    return {};
}

// The recorded path: bytes other than the unreserved ones and '/' percent-encoded.
std::string Escape(const std::string& path) {
    std::string out;
    for (const unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
            c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string InfoText(const std::string& recorded) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + Escape(recorded) + "\nDeletionDate=" + when + "\n";
}

// Writes the record under a name nobody has (O_EXCL) and makes it durable; -1 with errno, else its fd closed.
bool WriteInfo(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = io::WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
    const int err = errno;
    close(fd);
    if (!ok) {
        unlink(path.c_str());
        errno = err;
        return false;
    }
    io::SyncFolderOf(path);
    return true;
}

}  // namespace

bool RenameNoReplace(std::string_view from, std::string_view to, int& err) {
    const std::string a = ToNative(from), b = ToNative(to);
    if (MoveNoReplace(a, b) != 0) {
        err = errno;
        return false;
    }
    io::SyncFolderOf(b);
    io::SyncFolderOf(a);
    return true;
}

std::string TrashFolderFor(std::string_view path) {
    std::string relativeTo;
    return TrashFor(Absolute(ToNative(path)), relativeTo, false);
}

TrashOutcome MoveToTrash(std::string_view path, TrashedItem& item, int& err) {
    std::string native = ToNative(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    native = Absolute(native);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) {
        err = errno;
        return TrashOutcome::Failed;
    }
    std::string relativeTo;
    errno = 0;
    const std::string trash = TrashFor(native, relativeTo, true);
    if (trash.empty()) {
        err = errno ? errno : EXDEV;
        return TrashOutcome::NoTrash;
    }
    const std::string recorded = relativeTo.empty() ? native : native.substr(relativeTo.size() + (relativeTo != "/"));
    const std::string text = InfoText(recorded);
    const std::string base = native.substr(native.find_last_of('/') + 1);
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string info = trash + "/info/" + name + ".trashinfo";
        const std::string file = trash + "/files/" + name;
        if (lstat(file.c_str(), &st) == 0) continue;  // a file left without its record keeps its name
        if (!WriteInfo(info, text)) {
            if (errno == EEXIST) continue;
            err = errno;
            return TrashOutcome::NoTrash;
        }
        if (MoveNoReplace(native, file) != 0) {
            err = errno;
            unlink(info.c_str());
            if (err == EEXIST) continue;
            return err == EXDEV ? TrashOutcome::NoTrash : TrashOutcome::Failed;
        }
        io::SyncFolderOf(file);
        io::SyncFolderOf(native);
        item = {native, file, info};
        return TrashOutcome::Done;
    }
    err = EEXIST;
    return TrashOutcome::NoTrash;
}

bool RestoreFromTrash(const TrashedItem& item, int& err) {
    struct stat st;
    if (lstat(item.file.c_str(), &st) != 0) {
        err = errno;
        return false;
    }
    if (MoveNoReplace(item.file, item.original) != 0) {
        err = errno;
        return false;
    }
    io::SyncFolderOf(item.original);
    io::SyncFolderOf(item.file);
    // The record goes after the thing is back: a crash in between leaves a record of nothing, which file
    // managers pass over.
    unlink(item.info.c_str());
    io::SyncFolderOf(item.info);
    return true;
}

}  // namespace plat
