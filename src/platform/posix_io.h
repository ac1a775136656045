// Small POSIX helpers shared by the file system sources of the platform layer (not for other layers).
#pragma once

#include <cstddef>
#include <string>

namespace plat::io {

// write() until everything is written; EINTR is retried. False with errno set on failure.
bool WriteAll(int fd, const char* data, std::size_t size);

// The folder that holds a native path ("." for a bare name); a final '/' belongs to the path.
std::string FolderOf(const std::string& native);
// fsync of the folder that holds `native`, so that a name just made or changed there survives a power cut.
// Best effort: the name is there for the running system either way.
void SyncFolderOf(const std::string& native);

}  // namespace plat::io
