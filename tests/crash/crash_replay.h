// Every state a power cut could leave one recorded update in, checked with the program's own readers.
//
// A crash point is any prefix of the recorded calls. Up to it, a call is durable when a later fsync made it
// so: written bytes by an fsync of their file, a name (create, mkdir, rename, unlink) by an fsync of its
// folder (both folders for a rename), anything by a syncfs. The other calls may be lost or, for
// a write, reach the disk cut at a 4 KB boundary, in any order (ext4 with data=ordered keeps no order among
// them that a program may count on). Per crash point the states explored are: all of them applied (what a
// killed process leaves), none of them, each one lost or cut alone, and each one applied alone; where the
// next call is an fsync or the update's end (the points with the most of them), also each pair lost or cut
// together whose later call is among the last kPairWindow. States that look the same to the readers are
// judged once.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crash/fs_recorder.h"

namespace crash {

inline constexpr size_t kPairWindow = 16;

// A folder's content: path below it -> the file's bytes, or nullopt for a folder.
using Tree = std::map<std::string, std::optional<std::string>>;
Tree Snapshot(const std::string& nativeRoot);

struct Tally {
    long explored = 0;  // crash states built
    long distinct = 0;  // of those, different to the readers
    long failing = 0;
    std::vector<std::string> firstFailures;  // what the reader found, and after which calls
};

// Replays `ops` over `before`. In each state the files `visible` admits are written to a fresh current
// folder, where `read` says what the program makes of them. That must be `old` or `neu`, and `neu` once every
// call was made (the update had reported success).
Tally Explore(const Tree& before, const std::vector<Op>& ops,
              const std::function<bool(const std::string&)>& visible,
              const std::function<std::string()>& read, const std::string& old, const std::string& neu);

std::string Describe(const Op& op);

}  // namespace crash
