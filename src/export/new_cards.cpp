#include "export/new_cards.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

namespace exporting {
namespace {

mode_t Umask() {
    const mode_t m = umask(0);
    umask(m);
    return m;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

NewCards::~NewCards() {
    for (const Pending& p : pending_) unlink(p.tmp.c_str());
}

bool NewCards::Add(const std::string& folder, const std::string& stem, const std::string& bytes,
                   const std::string& source, int& err) {
    // No ".datum." in the name: the tree would take it for a card while it is being written.
    std::string tmp = folder + "/.korvane-import-XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return err = errno, false;
    fchmod(fd, 0666 & ~Umask());
    bool ok = true;
    for (std::size_t at = 0; ok && at < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) at += static_cast<std::size_t>(n);
    }
    if (!ok) err = errno ? errno : EIO;
    if (close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) {
        unlink(tmp.c_str());
        return false;
    }
    pending_.push_back({tmp, folder, stem, source});
    return true;
}

void NewCards::Flush(std::vector<Done>& done) {
    if (pending_.empty()) return;
    // One flush for the whole batch: the bytes are on the disk before any of them has a card's name.
    const int fd = open(pending_.front().folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = fd >= 0 && syncfs(fd) == 0;
    if (fd >= 0) close(fd);
    std::set<std::string> folders;
    for (const Pending& p : pending_) {
        Done d;
        d.source = p.source;
        if (!synced) {
            const int f = open(p.tmp.c_str(), O_RDONLY | O_CLOEXEC);
            if (f < 0 || fsync(f) != 0) d.err = errno ? errno : EIO;
            if (f >= 0) close(f);
        }
        for (int n = 1; d.err == 0; ++n) {
            const std::string name = p.folder + "/" + p.stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ".datum.xml";
            if (renameat2(AT_FDCWD, p.tmp.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
                d.card = name;
                break;
            }
            if (errno != EEXIST) d.err = errno;
        }
        if (d.card.empty()) unlink(p.tmp.c_str());
        folders.insert(p.folder);
        done.push_back(std::move(d));
    }
    pending_.clear();
    for (const std::string& f : folders) SyncFolder(f);
}

}  // namespace exporting
