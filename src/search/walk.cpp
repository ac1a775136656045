#include "search/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

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

void Walk(int fd, const std::string& rel, std::vector<Folder>& out, bool keep) {
    const std::size_t mine = out.size();
    out.push_back({rel, 0, 0, {}});
    std::vector<std::string> subs;
    ListOne(fd, out[mine], keep, &subs);
    for (const std::string& s : subs) {
        const int sub = openat(fd, s.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;  // a folder that cannot be listed holds no cards, as in the tree
        Walk(sub, rel.empty() ? s : rel + "/" + s, out, keep);
        close(sub);
    }
}

}  // namespace

bool IsCardName(std::string_view name) { return name.find(".datum.") != std::string_view::npos; }

bool WalkLibrary(const std::string& nativeRoot, std::vector<Folder>& out, bool keepCards) {
    out.clear();
    const int fd = open(nativeRoot.empty() ? "." : nativeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    Walk(fd, "", out, keepCards);
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
