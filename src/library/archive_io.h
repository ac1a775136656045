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

// The work file or folder of a backup or restore sits beside its target as "." + name + "-XXXXXX" and holds
// a lock on itself while its writer lives, so that what a killed run left can be told from a run going on.
std::string TemporaryTemplate(const std::string& targetNative);
// Takes that lock on the just-made temporary `path` (open as `fd`); false when it is not ours any more.
bool ClaimTemporary(int fd, const std::string& path);
// Removes the temporaries of `targetNative` that no living writer holds (what killed runs left).
void RemoveStaleTemporaries(const std::string& targetNative);

// The real path of a folder (links and ".." settled), "" when it cannot be found.
std::string RealFolder(const std::string& native);
// True when real path `folder` is `root` or lies below it.
bool IsInside(const std::string& folder, const std::string& root);

// A path or an archive entry's name as a message shows it: GBK, cut when very long.
std::string ShownName(const std::string& utf8);

inline bool Cancelled(const Control& c) { return c.cancel && c.cancel->load(std::memory_order_relaxed); }
inline void Tell(const Control& c, long long done, long long total) {
    if (c.progress) c.progress(done, total);
}

}  // namespace archiving::detail
