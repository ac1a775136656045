// Small POSIX helpers shared by the file system sources of the platform layer (not for other layers).
#pragma once

#include <cstddef>

namespace plat::io {

// write() until everything is written; EINTR is retried. False with errno set on failure.
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace plat::io
