// A library as one ZIP file and back: the whole folder tree with UTF-8 names, so that any archive tool lists
// the names the user sees. Both directions are all-or-nothing: the archive, or the restored folder, appears
// under its name only once every byte is written; a failure or a cancel leaves nothing behind.
// Paths are internal (GBK, '\'); messages are GBK. Safe to run off the GUI thread: no widgets, no services.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "library/registry.h"

namespace archiving {

struct Outcome {
    bool ok = false;
    bool cancelled = false;  // stopped at the user's request; nothing was left behind
    std::string error;       // GBK, the whole message for the user; empty on success and on cancel
    long long files = 0;     // regular files written
    long long bytes = 0;     // bytes of their content
    long long archiveBytes = 0;  // backup: size of the archive written
};

// Told after each entry: entries done and the total. Called on the working thread.
using Progress = std::function<void(long long done, long long total)>;

struct Control {
    const std::atomic<bool>* cancel = nullptr;  // polled between entries and between blocks of a file
    Progress progress;
};

// Whether a backup may be written to `archivePath`: Free, or Foreign when a file is there that is no ZIP
// archive (only the user may agree to lose it), or Refused when it must never be (inside the library, a
// folder, a device). `error` says why for the last two (GBK).
enum class ArchiveTarget { Free, Foreign, Refused };
ArchiveTarget CheckArchiveTarget(const std::string& libraryRoot, const std::string& archivePath,
                                 std::string& error);

// Writes everything below `libraryRoot` (ending in '\') into the ZIP `archivePath`, replacing a file of that
// name only when the new archive is complete; a symbolic link there is written through and stays a link. A
// Foreign target is replaced only with `replaceForeign`. The folder must be a library (it holds the class
// list); an entry that no archive could give back as it is (a link, a device, a name GBK cannot hold), or a
// file that changes while it is read, stops the backup with its name.
Outcome Backup(const std::string& libraryRoot, const std::string& archivePath, const Control& control = {},
               bool replaceForeign = false);

// Restores the ZIP `archivePath` into `targetDir` (ending in '\'), which must be missing or empty. Every
// entry is checked before anything is written; the library may stand at the archive's top or inside one
// folder. An existing empty folder stays the folder it was (its mode, owner and group); one that someone
// fills meanwhile is not merged into.
Outcome Restore(const std::string& archivePath, const std::string& targetDir, const Control& control = {});

// The library name a restore proposes for an archive: its file name without ".zip" and without the
// "-yyyymmdd" a backup adds (GBK).
std::string NameFromArchive(const std::string& archivePath);

// The archive name a backup proposes: "<name>-<yyyymmdd>.zip" for today's local date.
std::string DefaultArchiveName(const std::string& libraryName);

// Refuses (false, `error`) a restore into `targetDir` when that folder lies inside a library of `reg`.
bool OutsideLibraries(const LibraryRegistry& reg, const std::string& targetDir, std::string& error);

// Adds a restored library to the registry file at once. Fails (registry missing or unwritable, or full)
// with `error` set; the registry is unchanged then.
bool Register(const DatumLibEntry& entry, std::string& error);

// "资料库列表已满..." when the registry on disk holds 50 libraries; also reads it (false: `error` says why).
bool RegistryHasRoom(std::string& error);

}  // namespace archiving
