// Every version of a library's cards, kept in a bare git repository of its own under the user's data folder
// (${XDG_DATA_HOME:-~/.local/share}/korvane/history/), outside the library, so that a sync tool neither
// carries it nor fights over it. The repository is plain git: `git log` and `git show` read it, and it can be
// copied elsewhere. One branch, one commit per event; the commit's author says who made the change
// ("本程序", "其他程序", "恢复"). There is no work tree and no index: each commit rebuilds only the trees on
// the way to the paths it changes, so a save costs the same in a library of ten cards or of 100,000.
//
// Paths inside the store are the card's path below the library root as the file system names it (UTF-8,
// '/'). Two programs writing one store meet at the branch update, which only moves from the commit a writer
// started from; the loser builds its commit again on the new one.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct git_repository;

namespace history {

enum class Who { Program, Other, Restore };
// "本程序" / "其他程序" / "恢复" (UTF-8): the author of a commit and what the window shows.
const char* WhoLabel(Who who);

struct Version {
    std::string id;    // the commit, 40 hex digits
    long long time = 0;  // seconds since the epoch
    long long size = -1;  // bytes of the card; -1 for a delete
    Who who = Who::Other;
    std::string path;  // the card's path in the store at that version (a card moved since had another)
    std::string blob;  // the text's object, 40 hex digits; empty for a delete
    bool Deleted() const { return size < 0; }
};

// A card whose last version is a delete: where it stood, when it went, and the text it had last.
struct DeletedCard {
    std::string path, id, blob;
    long long time = 0;
    Who who = Who::Other;
};

// One change seen on disk: the text a card now has, or none when it is gone.
struct Change {
    std::string path;
    std::optional<std::string> bytes;
};

class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // The store of the library whose root folder is `nativeRoot`, created when missing. A folder there that
    // is no readable repository is set aside (renamed, never deleted) and a new store begun: its versions
    // stay readable with git, and the cards go on getting versions. False with `error` (UTF-8) when no
    // store can be had.
    bool Open(const std::string& nativeRoot, std::string& error);
    // Opens the repository at `folder` itself (tests, benchmarks).
    bool OpenAt(const std::string& folder, std::string& error);
    bool IsOpen() const { return repo_ != nullptr; }
    const std::string& Folder() const { return folder_; }
    // Set aside on the last Open (its new name), else empty.
    const std::string& SetAside() const { return setAside_; }

    // A save by the program: `replaced` is the text the file held just before (none for a new file); when
    // the store does not have it yet (another program wrote it unseen) it is kept first, as theirs. A new
    // file saved from the card at `from` (the title or class changed) takes that card's versions with it.
    bool Saved(const std::string& path, const std::optional<std::string>& replaced, std::string_view written,
               Who who, std::string& error, const std::string& from = {});
    // Changes seen on disk, as one commit. A card gone from one place while a card of the same text appears
    // at another is a move: its versions follow it.
    bool Apply(const std::vector<Change>& changes, std::string& error);
    // The first history of a whole library: every card in one commit. `text` reads a card (false: skipped);
    // `progress(done, total)` returns false to stop, and then nothing is committed. A card that got a
    // version meanwhile (a save while this ran) keeps it.
    bool Import(const std::vector<std::string>& paths,
                const std::function<bool(const std::string&, std::string&)>& text,
                const std::function<bool(int, int)>& progress, std::string& error);
    // True when the store has no commit yet.
    bool Empty() const;

    // The versions of the card at `path`, newest first, following it back through moves.
    std::vector<Version> Versions(const std::string& path, std::string& error) const;
    // The text of one of them; `id` may be a prefix of the commit (at least 4 digits).
    bool Text(const std::string& path, const std::string& id, std::string& bytes, std::string& error) const;
    bool BlobText(const std::string& blob, std::string& bytes, std::string& error) const;
    // The cards the store has directly in `folder` ("" for the library root), by their paths.
    std::vector<std::string> Files(const std::string& folder) const;
    // The cards the store has seen go and not come back (a card moved elsewhere is no delete), newest first.
    std::vector<DeletedCard> Deleted(std::string& error) const;

    // The folder of the store for a library root (native), below the history home; empty with `error`
    // when the user has no data folder (no HOME).
    static std::string FolderFor(const std::string& nativeRoot, std::string& error);

private:
    struct Edit;
    bool Commit(const std::vector<Edit>& edits, Who who, const std::string& message, std::string& error);
    bool Init(const std::string& folder, std::string& error);

    git_repository* repo_ = nullptr;
    std::string folder_;
    std::string setAside_;
};

}  // namespace history
