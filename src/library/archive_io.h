// What the backup and the restore share: native path pieces, the reason of a failed system call in the
// user's words, and the polling of cancel and progress.
#pragma once

#include <sys/types.h>

#include <string>

#include "library/archive.h"

namespace archiving::detail {

// A native path without trailing '/' (the root stays "/"), from an internal folder path.
std::string NativeFolder(const std::string& internal);
// Parent folder and last component of a native path without trailing '/'.
std::string ParentOf(const std::string& native);
std::string BaseOf(const std::string& native);

// Why a system call failed, in the user's words (GBK); for errno `err`.
std::string Reason(int err);

// The process's umask, read without changing it (umask() would change it for every thread meanwhile).
mode_t CurrentUmask();

// fsync of a folder, so that a rename in it survives a power cut. Best effort.
void SyncFolder(const std::string& native);

inline bool Cancelled(const Control& c) { return c.cancel && c.cancel->load(std::memory_order_relaxed); }
inline void Tell(const Control& c, long long done, long long total) {
    if (c.progress) c.progress(done, total);
}

}  // namespace archiving::detail
