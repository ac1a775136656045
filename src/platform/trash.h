// The desktop's trash, laid out as every Linux file manager reads it: the user's own trash in
// $XDG_DATA_HOME/Trash for what lies on the same file system, else the volume's .Trash/$uid or .Trash-$uid.
// Each thing thrown away is a name in files/ with a .trashinfo in info/ that records where it stood and when,
// so the file manager lists it with its original place and restores it there. The record is made durable
// before the move and the move after it, so a power cut leaves the thing either where it was or in the trash
// with its record, never in the trash without one.
#pragma once

#include <string>
#include <string_view>

class QWidget;

namespace plat {

// What one move to the trash did, enough to take it back.
struct TrashedItem {
    std::string original;  // native absolute path it had
    std::string file;      // native path in the trash's files/ folder
    std::string info;      // native path of its .trashinfo
};

enum class TrashOutcome {
    Done,     // it is in the trash
    NoTrash,  // this file system has no trash that can be used (errno-style reason in `err`)
    Failed,   // the thing itself could not be moved (missing, no permission): nothing changed
};

// Moves the file or folder at `path` (internal) into the trash of its file system.
TrashOutcome MoveToTrash(std::string_view path, TrashedItem& item, int& err);

// Puts it back where it stood, by one rename that never replaces what stands there now (EEXIST), and drops
// its record. ENOENT when it is no longer in the trash (emptied, or restored by the file manager).
bool RestoreFromTrash(const TrashedItem& item, int& err);

// One rename of a file or folder (internal paths) that never replaces what stands at `to` (EEXIST then), made
// durable in both folders. False with the reason in `err`.
bool RenameNoReplace(std::string_view from, std::string_view to, int& err);

// The trash folder a file at `path` (internal) would go to ("" when none can be used); for tests and the
// file manager's view.
std::string TrashFolderFor(std::string_view path);

// Every delete the program makes: to the trash; where that cannot be used, only after the user agreed to
// delete for good (the question defaults to No). `what` names the thing in the question and the error.
// Errors are shown through the services seam.
enum class Discarded { Trashed, Deleted, Kept, Failed };
Discarded Discard(QWidget* parent, std::string_view path, const std::string& what, TrashedItem* item = nullptr);

}  // namespace plat
