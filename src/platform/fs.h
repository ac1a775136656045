// File system operations on internal paths (see path.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// Attribute bits as the card library layout understands them.
enum : unsigned {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
    kAttrReparse = 0x400,
};

// A folder counts as a plain directory (and so as a class, or a sub-tree to copy) only when it carries the
// directory bit and nothing else: a real directory, not a symbolic link, writable by its owner, and whose
// name does not begin with '.'. Symbolic links carry kAttrReparse, which also stops link loops.
inline bool IsPlainDirectory(unsigned attrs) { return attrs == kAttrDirectory; }

struct DirEntry {
    std::string name;  // GBK
    unsigned attrs = 0;
};

// Lists the entries of a folder (internal path, with or without a final '\'). "." and ".." are not
// reported; names that GBK cannot hold are skipped. Order is stable: by name as Unicode text with ASCII
// letters folded to upper case. False when the folder cannot be enumerated (missing, not a folder,
// unreadable); `out` is cleared either way.
bool ListDir(std::string_view dir, std::vector<DirEntry>& out);

// The order ListDir reports names in, for two native (UTF-8) names: negative, zero or positive.
int CompareNames(std::string_view a, std::string_view b);
// The attribute bits ListDir would report for this entry (internal path); 0 when nothing is there.
unsigned AttributesOf(std::string_view path);

bool CreateDir(std::string_view path);  // one level; fails when it exists or its parent does not
bool RemoveDir(std::string_view path);  // empty folder only
bool CopyFile(std::string_view src, std::string_view dst, bool failIfExists);  // a read-only target fails
bool DeleteFile(std::string_view path);
bool IsFile(std::string_view path);
bool IsDir(std::string_view path);
bool PathExists(std::string_view path);  // anything at all is there, readable or not
// A real folder (not a symbolic link) its owner may write: what counts as a class folder.
bool IsPlainDirectoryPath(std::string_view path);
// True when the folder holds a name that does not begin with '.', including names GBK cannot hold (which
// ListDir leaves out). False also when it cannot be listed.
bool FolderHoldsVisibleNames(std::string_view dir);

// What identifies one version of a file: another program that rewrites it changes its size or its
// modification time, one that renames another file over it changes the inode. The change time moves with
// every write too, but also with a rename of the file itself (the program's own save renames its temporary
// file), so it only tells whether a descriptor's file changed while it was read (SameWhileRead).
struct FileStamp {
    bool exists = false;
    long long size = 0;
    long long mtimeNs = 0;
    unsigned long long dev = 0, ino = 0;
    long long ctimeNs = 0;
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && size == o.size && mtimeNs == o.mtimeNs && dev == o.dev && ino == o.ino;
    }
    bool SameWhileRead(const FileStamp& o) const { return *this == o && ctimeNs == o.ctimeNs; }
};
FileStamp StampOf(std::string_view path);  // the file a link names, when it is one
FileStamp StampOfFd(int fd);
// The text of the symbolic link at `path`; none when it is no link.
std::optional<std::string> LinkText(std::string_view path);

// The system's reason for a failed file operation, short and in GBK, for the end of a message.
std::string SystemReason(int err);

// The process's current directory in internal form, without a final '\' ("\" for the root).
std::string GetCurrentDir();
bool SetCurrentDir(std::string_view path);

// Reads a file line by line: a line ends at LF or CR LF (not part of the line); a last line without a
// terminator is read too; lines are unlimited in length.
class LineReader {
public:
    LineReader();
    ~LineReader();
    LineReader(LineReader&&) noexcept;
    LineReader& operator=(LineReader&&) noexcept;
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // False when it cannot be opened for reading or is not a regular file (a folder, a pipe, a device).
    bool Open(std::string_view path);
    static LineReader FromString(std::string data);  // for in-memory text
    // Next line into `line`. At the end of the data returns false and `line` is empty.
    bool ReadLine(std::string& line);
    // Convenience for the format readers: a read at the end yields an empty line.
    std::string Next();
    // Everything not yet read, lines and line ends as they are; false when nothing was left.
    bool ReadRest(std::string& out);
    bool Failed() const;  // a read error happened
    // The file as it was when opened, from the descriptor; and whether it was still that when the last byte
    // was read (a write that lands during the read makes what was read no version of the file).
    FileStamp Stamp() const;
    bool ChangedWhileRead() const;
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Where the format writers put their bytes.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Write(std::string_view bytes) = 0;  // false once any write has failed
};

class StringSink : public Sink {
public:
    bool Write(std::string_view bytes) override {
        data.append(bytes);
        return true;
    }
    std::string data;
};

// Every rewrite of a file: bytes go to a temporary file in the same folder, which is flushed, fsync'd and
// renamed over the target on Commit. Until then (and after any failure) the target is untouched.
class AtomicFile : public Sink {
public:
    AtomicFile();
    ~AtomicFile() override;  // aborts when not committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Fails like "cannot open for writing": the folder is missing, the target is read-only or a folder, or
    // the temporary file cannot be created. errno tells why (EACCES for a read-only target).
    bool Open(std::string_view path);
    bool Write(std::string_view bytes) override;
    // Flush, fsync, rename over the target (keeping an existing target's permission bits), fsync the folder.
    // False when anything failed since Open; the temporary file is removed and the target left as it was,
    // and errno holds the first failure (for the system's own message). `written` gets the new file's stamp,
    // taken from the temporary file before the rename: whatever lands on the name after it is a change.
    bool Commit(FileStamp* written = nullptr);
    // Open for a file that must not exist yet: Commit never replaces one that arrived meanwhile, it fails
    // with EEXIST. A link is not followed.
    bool OpenNew(std::string_view path);
    // Open for a file the program keeps for itself: the name is replaced only when it is missing or a
    // regular file; a link, a pipe or a device there fails with EINVAL (nothing is written through it).
    bool OpenOwn(std::string_view path);
    void Abort();

private:
    bool OpenAs(std::string_view path, int kind);
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Test hooks for fault injection in AtomicFile: after `bytes` more bytes have been written, every further
// write (and the final fsync) fails with `err` (for example EIO or ENOSPC). A negative count switches it off.
namespace fault {
void FailWritesAfter(long long bytes, int err);
// Likewise for LineReader: after `bytes` more bytes have been read, reads fail with `err` (a failing disk).
void FailReadsAfter(long long bytes, int err);
// Runs `at` at the moments another program's write is hardest to notice: "read" when a LineReader has read
// its file's last byte, "renamed" when an AtomicFile has renamed its file onto the target. None: off.
void PauseAt(std::function<void(const char* where)> at);
void Paused(const char* where);  // called at those moments
void Clear();
}  // namespace fault

// One rename of a file or folder (native paths) that never replaces what stands at `to`: 0, or -1 with errno
// (EEXIST when something stands there).
int MoveNoReplace(const std::string& from, const std::string& to);

}  // namespace plat
