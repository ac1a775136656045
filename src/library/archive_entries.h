// The entries of a backup archive as the restore reads them: the reader, each entry's name and kind, and the
// checks made on all headers before anything is written.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/codec.h"

namespace archiving::detail {

// Longest entry name taken: room for the target folder in front of it within the system's path limit.
inline constexpr std::size_t kMaxEntryName = 3000;

struct Entry {
    std::string rel;  // UTF-8, '/' between components, no trailing '/'; "" for the archive's own top
    bool dir = false;
    long long size = 0;
    time_t mtime = 0;
    long mtimeNsec = 0;
    bool hasMtime = false;
};

class Reader {
public:
    ~Reader() {
        if (a_) archive_read_free(a_);
    }
    // Only archives whose central directory is intact are read: a ZIP cut short loses it, so a truncated
    // archive is refused as a whole instead of giving back the entries before the cut.
    bool Open(const std::string& native) {
        a_ = archive_read_new();
        archive_read_support_format_zip_seekable(a_);
        opened_ = archive_read_open_filename(a_, native.c_str(), 1 << 16) == ARCHIVE_OK;
        return opened_;
    }
    // Whether it holds entries only a password opens (libarchive can tell only once the archive is open).
    bool Encrypted() const { return opened_ && archive_read_has_encrypted_entries(a_) > 0; }
    archive* Handle() { return a_; }
    std::string Why() const {
        const char* s = archive_error_string(a_);
        return s ? plat::Utf8ToGbk(s) : std::string();
    }

private:
    archive* a_ = nullptr;
    bool opened_ = false;
};

// The next header. A warning (a name the locale cannot show) still gives the entry: its name is judged below.
inline bool Next(Reader& r, archive_entry*& e, int& rc) {
    rc = archive_read_next_header(r.Handle(), &e);
    return rc == ARCHIVE_OK || rc == ARCHIVE_WARN;
}

// The entry's name and kind, or the reason it is refused (GBK; the entry's name included).
bool Classify(archive_entry* e, Entry& out, std::string& error);
// A name that two entries claim, or a file that another entry treats as a folder, has no single meaning.
bool CheckConsistent(const std::vector<Entry>& entries, std::string& error);
// The library stands at the archive's top, or inside one folder that holds everything (as a desktop archive
// tool packs a folder). Returns that folder with a final '/', "" for the top; false when it is no library.
bool FindLibrary(const std::vector<Entry>& entries, std::string& prefix);
// Bytes the restored files take on disk at least: whole blocks, one per folder.
long long SpaceNeeded(const std::vector<Entry>& entries);

}  // namespace archiving::detail
