// Registering a library folder that already exists (one another machine or a sync tool filled): nothing in
// the folder is written or copied; only the registry gains a line. Shared by the library manager's 添加 and
// korvane --add-library, so that both refuse and name things alike.
#pragma once

#include <string>

#include "library/registry.h"

namespace libadd {

enum class Verdict {
    Library,      // a library not registered yet: `name` is the folder's own name
    Registered,   // already in the registry: `name` is the name it is registered under
    NotLibrary,   // a folder without _ _SETS_ _ (or with nothing of a library in it)
    Missing,      // nothing is there, or it is not a folder
    Unreadable,   // _ _SETS_ _ is there but its class list cannot be read: `error` says why
};

struct Finding {
    Verdict verdict = Verdict::Missing;
    std::string name;
    std::string error;
};

// The folder's last component (GBK, character-aware: a trail byte may equal '\'), trailing separators
// ignored.
std::string FolderName(const std::string& folder);

// What `folder` (internal path, with or without a final separator) is to `reg`. Two paths name the same
// library when they lead to the same real folder (links, "..", relative and absolute spellings).
Finding Examine(const LibraryRegistry& reg, const std::string& folder);

// The message a window or the command line shows for a finding that is not Library (GBK).
std::string Explain(const Finding& f, const std::string& folder);

// Adds (name, folder without its final separator) to the registry file at once. False with `error` when the
// registry cannot be read or written, is full, or already holds the folder, or when the name or the path holds
// a control character; the file is unchanged then.
bool AddToRegistry(const std::string& name, const std::string& folder, std::string& error);

}  // namespace libadd
