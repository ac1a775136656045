// Where an export is written: a folder beside the target, swapped in whole when everything is written, so the
// target is never half an export. The target may be missing, an empty folder, or an earlier export (it holds
// the mark file this program leaves); anything else is someone's files and is refused. A staging folder left
// by a run that was killed is removed by the next run for the same target.
#pragma once

#include <string>

namespace exporting {

inline constexpr char kExportMark[] = ".korvane-export";

class StagedFolder {
public:
    StagedFolder() = default;
    ~StagedFolder();  // removes the staging folder unless committed
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;

    // target: native. libraryRoot: native; a target inside the library (often a synced folder) is refused,
    // as is one that holds the library. False with the reason (GBK) in `error`.
    bool Begin(const std::string& target, const std::string& libraryRoot, std::string& error);
    const std::string& Dir() const { return stage_; }  // native, no final '/'
    // Puts the staging folder in the target's place; an earlier export there is removed after the swap.
    bool Commit(std::string& error);

private:
    std::string target_, stage_;
    bool committed_ = false;
};

// Removes a folder tree this program wrote (no link is followed). False when something stays.
bool RemoveTree(const std::string& native);

}  // namespace exporting
