// The library as the window's tree shows it: the tree control's items and the entry list behind them, built
// together by one walk of the library folder and always in the same order. The list holds one entry per class
// folder and per card file, closed by an end entry; it ties an item to its card file and is what 上一则 and
// 下一则 walk. The current entry is the one the form's card was opened from, or the class the user stopped
// on. The tree widget stays the window's; this object fills and empties it and keeps its selection on the
// entries. Changes seen on disk are applied to both in place, each entry in its sorted place among its
// siblings, so the list stays the order a new scan would give. Entries live in blocks and never move: a
// pointer to one stays valid until its entry is removed, or the next scan or Free. The scan and lookups are in
// library_tree.cpp, the changes seen on disk in library_tree_apply.cpp.
#pragma once

#include <QList>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

class QTreeWidget;
class QTreeWidgetItem;
namespace plat {
class FolderWatch;
}

// One entry of the list: a class, a card, or the end entry.
struct DatumNode {
    std::string path;       // "d" class, "?" end entry, else the card file's path on the library root
    std::string founddate;  // the card's founddate as last read into the form
    std::string label;      // folder name, or file name up to the first ".datum."
    QTreeWidgetItem* item = nullptr;
    DatumNode* next = nullptr;
    DatumNode* prev = nullptr;

    bool IsClass() const { return path == "d"; }
    bool IsEnd() const { return path == "?"; }
    bool IsCard() const { return !IsClass() && !IsEnd(); }
};

class LibraryTree {
public:
    explicit LibraryTree(QTreeWidget* view);
    ~LibraryTree();
    LibraryTree(const LibraryTree&) = delete;
    LibraryTree& operator=(const LibraryTree&) = delete;

    // Replaces the tree and the list with the library folder `root` (ending with '\'). False when the folder
    // cannot be listed, with the reason in `error`. Afterwards the current entry is the end entry.
    bool Scan(const std::string& root, std::string& error);
    // Empties the tree, then the list (the items show their entries' labels): no entry, no current entry.
    void Free();

    const DatumNode* First() const { return first_; }  // none before a scan
    const DatumNode* Current() const { return current_; }
    const DatumNode* End() const;  // the end entry; none before a scan
    const DatumNode* FindByItem(const QTreeWidgetItem* item) const;  // none for an item of no entry
    const DatumNode* FindByPath(const std::string& path) const;      // card entries only

    // Where 上一则 (back) or 下一则 goes from the current entry: the nearest card that way or, when only
    // classes lie between it and the end of the list, the last of them; none when there is nowhere to go.
    const DatumNode* StepFrom(bool back) const;

    void SetCurrent(const DatumNode* node) {
        current_ = Own(node);
        displaced_.clear();
    }
    // Selects the entry's item, unfolding its classes and scrolling it into view; the end entry or none
    // clears the selection.
    void Select(const DatumNode* node);
    void MakeCurrent(const DatumNode* node) {
        SetCurrent(node);
        Select(node);
    }
    void SetFounddate(const DatumNode* node, const std::string& stamp);

    // The library root of the last scan ("" before one).
    const std::string& Root() const { return root_; }
    // Scans the library again, keeping the current entry, the selection and the unfolded classes where they
    // still exist. False as Scan.
    bool Rescan(std::string& error);

    // Makes the tree show what is on disk now at `name` in `folder` (an internal path on the root, ending
    // with
    // ''; an empty name: every name in that folder): an entry added in its sorted place (a class with all
    // that lies below it), removed with all below it, or left as it is. Applying what the tree already shows
    // changes nothing. `replaced`: a class of that name is stale even where one still stands. The current
    // entry and the selection move to a neighbour when theirs goes. The paths the search index must look at
    // again are added to `touched`: the card, every card of a class added, a class removed. A current card
    // that comes back (removed, then written again, as some sync tools replace a file) is current again, and
    // selected again when the selection had moved with it.
    void Apply(const std::string& folder, const std::string& name, bool replaced,
               std::vector<std::string>& touched);
    // Around a run of Apply: the row at the top of the view stays there.
    void BeginChanges();
    void EndChanges();
    // Removes every entry but the end entry (the library folder went away).
    void Empty();

    // --- for the tree's own actions (library_tree_actions.cpp)
    // The folder a class entry stands for, or the folder that holds a card (internal, ending with '\').
    std::string FolderOfEntry(const DatumNode* node) const;
    // The card entries at any depth below a class entry.
    int CardsBelow(const DatumNode* node) const;
    // Apply for one card file or class folder (internal path, no final '\'): the tree shows it as it is now.
    void ApplyPath(const std::string& path, std::vector<std::string>& touched);
    // The entry of a class folder (internal path, with or without a final '\'); none when the tree has none.
    const DatumNode* FindClass(const std::string& folder) const;

    // A watch on the folders and names a scan takes: class folders, and card files (a writer's temporary file
    // is nothing, its rename onto the card is a change of the card).
    static std::unique_ptr<plat::FolderWatch> NewWatch();

    // A sync tool's copy of a card that changed on two machines at once (GBK file name): it is listed right
    // after the card it copies and marked "冲突".
    static bool IsConflictCopy(std::string_view name);

private:
    // Storage of the entry list: nodes never move and come in blocks of many (a deque would allocate one
    // block per four nodes); the nodes of removed entries are used again.
    class NodeStore {
    public:
        DatumNode& Add();  // a fresh node
        void Release(DatumNode* node);
        void Clear();

    private:
        static constexpr std::size_t kBlock = 1024;
        std::vector<std::unique_ptr<DatumNode[]>> blocks_;
        std::size_t used_ = 0;
        std::vector<DatumNode*> free_;
    };
    struct ScanLevel {
        std::vector<plat::DirEntry> entries;  // the folder's listing; names reuse their buffers
        QList<QTreeWidgetItem*> items;        // the folder's items, not yet in the tree
    };

    // Where a folder of the library stands in the tree.
    struct Place {
        bool found = false;
        QTreeWidgetItem* item = nullptr;  // the class's item; none for the root
        DatumNode* node = nullptr;        // the class's entry; none for the root
    };

    bool ScanFolder(const std::string& folder, std::string& error);
    DatumNode* Link(DatumNode* after);  // a fresh entry after `after` (none: at the head of the list)
    void ApplyName(const Place& place, const std::string& folder, const std::string& name, bool replaced,
                   std::vector<std::string>& touched);
    Place FindFolder(const std::string& folder) const;
    // The child of `parent` (none: the top level) with this name, or the index where it would go.
    int FindChild(QTreeWidgetItem* parent, const std::string& folder, const std::string& name,
                  bool& found) const;
    void Insert(const Place& place, const std::string& folder, const std::string& name, bool isClass,
                int index, std::vector<std::string>& touched);
    void Remove(DatumNode* node);
    DatumNode* LastBelow(
        DatumNode* node) const;  // the last entry of the node's sub-tree (itself when a card)
    std::string FolderOf(const QTreeWidgetItem* classItem) const;  // the class folder's path, ending with '\'
    // The list's own entry behind a pointer handed out above.
    DatumNode* Own(const DatumNode* node) const { return const_cast<DatumNode*>(node); }

    QTreeWidget* view_;
    NodeStore nodes_;
    std::string root_;
    DatumNode* first_ = nullptr;
    DatumNode* current_ = nullptr;
    DatumNode* tail_ = nullptr;              // the end entry
    DatumNode* cursor_ = nullptr;            // during a scan: the entry the next one follows; none: the head
    QTreeWidgetItem* scanParent_ = nullptr;  // during a scan: where new items go; none is the top level
    std::deque<ScanLevel> scanLevels_;       // one per depth, kept from folder to folder and scan to scan
    std::size_t scanDepth_ = 0;
    std::string displaced_;                // the current card's path, while its entry is gone
    const DatumNode* displacedTo_ = nullptr;  // the neighbour that became current then
    QTreeWidgetItem* anchor_ = nullptr;  // during changes: the row kept at the top of the view
    int anchorTop_ = 0;
};
