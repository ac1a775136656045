// The file-system calls one update makes below one folder, in the order they returned, for the crash replay.
// The test executable defines the C library's file functions itself; the dynamic linker then binds every
// caller in the process (our code, libarchive, libstdc++'s filesystem) to these, which record and pass on.
// Linked in rather than preloaded with LD_PRELOAD: the executable comes first in the linker's search, also
// before the sanitizers' runtime, whose interceptors these then call in turn, so the same recorder runs in
// the plain and in the sanitizer build (a preloaded library would have to come after that runtime).
#pragma once

#include <string>
#include <vector>

namespace crash {

struct Op {
    // Truncate: an open with O_TRUNC of a file that held bytes (made durable, like a write, by its fsync).
    enum Kind { Create, Mkdir, Write, Rename, Unlink, Fsync, SyncAll, Truncate };
    Op(Kind k, long long offset = 0, std::string bytes = {}) : kind(k), at(offset), data(std::move(bytes)) {}
    Kind kind;
    std::string path;  // below the recorded folder, '/' between components; Fsync: the file or folder synced
    std::string to;    // Rename: the new name
    long long at;      // Write: file offset
    std::string data;  // Write: the bytes written
};

// Starts recording calls on names below `root` (an absolute native folder); forgets any earlier record.
void StartRecording(const std::string& root);
std::vector<Op> StopRecording();

}  // namespace crash
