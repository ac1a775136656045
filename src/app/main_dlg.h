// The main window: library box, card tree, card form. Its handlers live in one file per concern:
// main_dlg.cpp (construction, timer, painting, colours, wiring), main_load.cpp (load sequence, reloads,
// managers), main_scan.cpp (library scan and tree), main_styles.cpp (styles, view and browse buttons),
// main_editor.cpp (card form), main_bookmarks.cpp (index and bookmark buttons).
#pragma once

#include <QIcon>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/card_form.h"
#include "library/registry.h"
#include "platform/fs.h"
#include "store/xml_record_set.h"
#include "ui/body_edit.h"
#include "ui/dialog.h"

class CShowMsgDlg;
class CSearchDlg;
namespace search {
class Indexer;
}
class QTreeWidgetItem;
class QTreeWidget;
class QComboBox;
class QLineEdit;

// One entry of the scanned entry list: a class, a card, or the end entry.
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

// Storage of the entry list: nodes never move and come in blocks of many (a deque would allocate one
// block per four nodes).
class DatumNodeStore {
public:
    DatumNode& Add();  // a fresh node
    void Clear();

private:
    static constexpr std::size_t kBlock = 1024;
    std::vector<std::unique_ptr<DatumNode[]>> blocks_;
    std::size_t used_ = 0;  // nodes handed out
};

struct NamePath {
    std::string name;
    std::string path;
};

class CMainDlg : public CDialog {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The window's initialisation (icon, colours, progress strip, program directory, start-up timer)
    // without the modal loop, for driving the window from tests.
    void Initialise();
    // True once a library has been scanned into the window; handlers that work on a library do nothing
    // before that (a registry with no library).
    bool HasLibrary() const { return !m_libRoot.empty(); }

    // --- load sequence and reloads (main_load.cpp)
    void RunStartupLoad();
    int ReadLibraryList();
    int ReadClassList();
    int ReadSourceList();
    // The failure procedure: text in the strip, 1000 ms, strip hidden, "ERROR" box with prefix + last error,
    // then the window ends as button 1 does.
    void FailAndClose(const std::string& failureText, const std::string& prefix);
    void OnLibrarySelChange();
    void OnManageLibraries();
    void OnManageClasses();
    void OnManageSources();
    void OnManageStyles();

    // --- library scan and tree (main_scan.cpp)
    int ScanLibrary();
    int ScanFolder(const std::string& folder);
    int RescanLibrary();
    DatumNode* FindNodeByItem(QTreeWidgetItem* item) const;
    void FreeEntries();  // the tree's items, then the entry list
    void SelectEntryItem(DatumNode* node);  // selects its tree item; none clears the selection

    // --- styles and browser buttons (main_styles.cpp)
    int ScanStyles();
    void OnViewDatum();
    void OnOpenViewPage();
    void OnBrowseFileName();

    // --- card form (main_editor.cpp)
    int LoadDatum(const std::string& path);
    int SaveDatum(const std::string& fileName);
    void OnTreeDblClick();
    void OnPrevDatum();
    void OnNextDatum();
    void OnNameFieldKillFocus();
    void OnSave();
    // Writes the form to its file-name field; true when the card is on disk as the form shows it.
    bool SaveForm();
    // Before anything replaces the form's card or ends the program: with unsaved edits, asks whether to
    // save (Yes), discard (No) or stay (Cancel).
    enum class Leave { Stay, Go, Discard };
    Leave ConfirmLeaveForm();
    // Every way of opening a card into the form goes through here: the unsaved-edit question, then the
    // entry with that path becomes current and is selected, then the card is read. 1 when it was read.
    int OpenCardIntoForm(const std::string& path);
    DatumNode* FindNodeByPath(const std::string& path) const;
    const CardForm& Form() const { return m_form; }

    // --- search (main_search.cpp)
    void OnSearch();  // shows the search window (button 1023, Ctrl+F)
    // Selects the card's entry in the tree and opens it as a double-click on it does; true when it is on
    // the form then.
    bool OpenSearchResult(const std::string& path);
    search::Indexer& SearchIndex() { return *m_searchIndex; }
    CSearchDlg* SearchWindow() const { return m_searchDlg; }

    // --- index and bookmarks (main_bookmarks.cpp)
    void OnIndexManage();
    void OnBookmarkManage();
    void OnAddBookmark();

    // --- state (public so that tests can look at it)
    QIcon m_icon;
    XmlRecordSet m_xml;
    CShowMsgDlg* m_msg = nullptr;
    int m_startupDone = 0;
    std::string m_lastError;
    std::string m_libRoot;  // always ends with '\'
    std::string m_progDir;  // no final '\'
    std::string m_dtdPath;
    LibraryRegistry m_libs;  // entries and count; m_nCurLib is the library shown
    int m_nCurLib = -1;
    DatumNode* m_first = nullptr;
    DatumNode* m_current = nullptr;
    QTreeWidgetItem* m_scanParent = nullptr;  // null: top level
    std::array<NamePath, kMaxListSlots> m_classes;
    int m_nClasses = 0;
    std::array<std::string, kMaxListSlots> m_sources;
    int m_nSources = 0;
    std::deque<NamePath> m_styles;  // no fixed limit
private:
    CardForm m_form;  // the editing session; Form() is its read-only view
public:
    const std::string& m_loadedPath = m_form.LoadedPath();  // read-only, for tests
    // Told every progress text the window puts into the strip, in order (tests, diagnostics).
    std::function<void(const std::string&)> m_onProgress;

    // Controls, found by ID after construction.
    QComboBox* m_cbLibrary = nullptr;  // 1000
    QLineEdit* m_edPath = nullptr;     // 1002
    QTreeWidget* m_tree = nullptr;     // 1005
    QLineEdit* m_edFile = nullptr;     // 1008
    QLineEdit* m_edTitle = nullptr;    // 1009
    QComboBox* m_cbClass = nullptr;    // 1011
    QComboBox* m_cbSource = nullptr;   // 1013
    QComboBox* m_cbStyle = nullptr;    // 1015
    QLineEdit* m_edKeyword = nullptr;  // 1017
    CBodyEdit* m_edBody = nullptr;     // 1018

protected:
    bool OnInitDialog() override;
    void timerEvent(QTimerEvent* e) override;  // OnTimer
    bool eventFilter(QObject* watched, QEvent* e) override;
    void OnOK() override;      // button 1, Enter
    void OnCancel() override;  // Escape, the close box
    void OnDestroy();

private:
    void SetProgress(const std::string& text);  // the strip's text, told to m_onProgress too
    void ShowStrip();  // the strip over the window, drawn before the blocking work that follows
    bool LoadLibraryStages();   // scan, class list, source list of the library in m_nCurLib; false: ended
    bool SwitchToLibrary(int lib);  // rescan and the library's own class and source lists; false: ended
    bool ReloadNameLists();     // class and source boxes of m_libRoot, keeping the form's text; false: ended
    bool ReadNameLists();       // fills the class and source boxes from their lists; false: ended
    void AppendEndEntry();      // the current end entry becomes the found one; a fresh end entry follows

    std::unique_ptr<search::Indexer> m_searchIndex;  // keeps the current library's index up to date
    CSearchDlg* m_searchDlg = nullptr;
    DatumNodeStore m_nodes;
    struct ScanLevel {
        std::vector<plat::DirEntry> entries;  // the folder's listing; names reuse their buffers
        QList<QTreeWidgetItem*> items;        // the folder's items, not yet in the tree
    };
    std::deque<ScanLevel> m_scanLevels;  // one per depth, kept from folder to folder and scan to scan
    std::size_t m_scanDepth = 0;
    int m_timerId = 0;
    int m_exposeWaits = 0;  // start-up ticks spent waiting for the window to appear
    bool m_ending = false;  // the failure procedure is closing the window
};
