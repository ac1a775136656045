// The main window: library box, card tree, card form. It keeps the tables it loads (registry, classes,
// sources, styles) and wires the controls to the objects that own one concern each: the tree and its entry
// list (LibraryTree), the editing session (CardForm), the search index. Its handlers live in one file per
// concern: main_dlg.cpp (construction, timer, colours, wiring), main_load.cpp (load sequence, reloads,
// managers), main_scan.cpp (rescans), main_live.cpp (following the library on disk), main_styles.cpp (styles,
// view and browse buttons), main_editor.cpp (card form), main_bookmarks.cpp (index and bookmark buttons),
// main_search.cpp (the search window), main_actions.cpp and tree_menu.cpp (the tree's actions).
#pragma once

#include <QIcon>
#include <array>
#include <deque>
#include <memory>
#include <string>

#include "app/card_form.h"
#include "app/library_tree.h"
#include "library/registry.h"
#include "store/xml_record_set.h"
#include "ui/body_edit.h"
#include "ui/dialog.h"

class CShowMsgDlg;
class UndoList;
class CardHistory;
class CSearchDlg;
class QTimer;
namespace ui {
class SplitBar;
}
namespace plat {
class FolderWatch;
}
namespace search {
class Indexer;
}
class QTreeWidget;
class QComboBox;
class QLineEdit;
class QKeySequence;

struct NamePath {
    std::string name;
    std::string path;
};

class CMainDlg : public CDialog {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The window's initialisation (icon, colours, progress strip, program directory, start-up timer) and
    // the load sequence its timer runs, without the modal loop: tests and benchmarks run the window so.
    void Initialise();
    void RunStartupLoad();

    const QIcon& Icon() const { return m_icon; }
    // The editing session: which file the form holds and whether it has unsaved edits.
    const CardForm& Form() const { return m_form; }
    // The form's own read and write of a card file, without the questions and the tree around them (what the
    // benchmarks time). LoadDatum: 1 when read and shown, 0 after a box; SaveDatum: 1 when written.
    int LoadDatum(const std::string& path);
    // createNew: only where no file is, failing with errno EEXIST where one arrived.
    int SaveDatum(const std::string& fileName, bool createNew = false);
    // The watch has applied everything it saw so far (tests and benchmarks wait for it).
    bool DiskChangesPending() const;

    search::Indexer& SearchIndex() { return *m_searchIndex; }
    CSearchDlg* SearchWindow() const { return m_searchDlg; }
    CardHistory& History() { return *m_history; }

protected:
    bool OnInitDialog() override;
    void timerEvent(QTimerEvent* e) override;  // OnTimer
    bool eventFilter(QObject* watched, QEvent* e) override;
    void OnOK() override;      // button 1, Enter
    void OnCancel() override;  // Escape, the close box
    void done(int result) override;  // the window ends: where the user left it is kept
    void LayOut() override;
    QRect PlaceControl(const QRect& base, unsigned flags, QSize grown) const override;

private:
    void OnDestroy();
    void WireKeys();
    static QString Tip(const char* what, const QKeySequence& key);  // "what (key)"
    // True once a library has been scanned into the window; handlers that work on a library do nothing
    // before that (a registry with no library).
    bool HasLibrary() const { return !m_libRoot.empty(); }

    // --- load sequence and reloads (main_load.cpp)
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
    void SetProgress(const std::string& text);  // the strip's text
    void ShowStrip();  // the strip over the window, drawn before the blocking work that follows
    bool LoadLibraryStages();   // scan, class list, source list of the library in m_nCurLib; false: ended
    bool SwitchToLibrary(int lib);  // rescan and the library's own class and source lists; false: ended
    bool ReloadNameLists();     // class and source boxes of m_libRoot, keeping the form's text; false: ended
    bool ReadNameLists();       // fills the class and source boxes from their lists; false: ended
    void OnRescan();            // F5: the library read again; the form's card stays current

    // --- size, splitter, and the place kept between runs (main_layout.cpp)
    void SetUpLayout();
    int Split(QSize size) const;  // where the tree ends, in pixels right of its template edge, at `size`
    void RestorePlace();
    void RestoreSearchPlace();

    // --- library scan (main_scan.cpp)
    int ScanLibrary();    // the tree of m_libRoot, and the search index and the watch follow it
    int RescanLibrary();  // the same with the strip shown; a failure ends the window

    // --- following the library on disk (main_live.cpp)
    // Watches m_libRoot from now on; what changed since `sinceNs` (when its scan began) is reported too.
    void StartWatch(long long sinceNs);
    void OnDiskChanges();  // applies one batch of what the watch saw; more follow in later turns
    void OnWatchTrouble(int trouble);
    // The form's own file changed or went since it was loaded: reload it quietly or tell the user.
    void CheckFormFile();
    void Notify(const std::string& text);  // the strip shows `text` for a few seconds

    // --- styles and browser buttons (main_styles.cpp)
    int ScanStyles();
    void OnViewDatum();
    void OnOpenViewPage();
    void OnBrowseFileName();

    // The card the buttons act on: the file the form holds (else the current entry's card); "" after a box
    // that says it is gone, or when there is none (main_bookmarks.cpp).
    std::string TheCard();

    // --- card form (main_editor.cpp; saving: main_save.cpp)
    void OnTreeDblClick();
    void OnPrevDatum();
    void OnNextDatum();
    void Step(bool back);
    void OnNameFieldKillFocus();
    void OnSave();
    // Writes the form to its file-name field; true when the card is on disk as the form shows it.
    bool SaveForm();
    // LoadDatum without the box: 0 with the reason in m_lastError.
    int ReadIntoForm(const std::string& path);
    // Beside `original`: "标题 (我的修改 2026-12-07 10-31).datum.xml" at the time of the save, " n)" for the
    // n-th try; n = 0: the first that no file has now.
    std::string CopyNameFor(const std::string& original, int n = 0) const;
    // The form written beside `original` under a name nothing had; the copy becomes the current entry.
    bool SaveAsCopy(const std::string& original);
    // After a save under a new name: the old file, when still the version `loaded`, offered for deletion.
    void OfferToDelete(const std::string& oldFile, const plat::FileStamp& loaded);
    // Before anything replaces the form's card or ends the program: with unsaved edits, asks whether to
    // save (Yes), discard (No) or stay (Cancel).
    enum class Leave { Stay, Go, Discard };
    Leave ConfirmLeaveForm();
    // Every way of opening a card into the form goes through here: the unsaved-edit question, then the
    // entry with that path becomes current and is selected, then the card is read. 1 when it was read.
    int OpenCardIntoForm(const std::string& path);

    // --- the tree's actions (main_actions.cpp; their menu and keys: tree_menu.cpp)
    void WireTreeActions();
    void OnTreeMenu(const QPoint& at);
    const DatumNode* SelectedEntry() const;  // the tree's selected row, none for no row
    void OnNewCard();
    void OnDeleteEntry();
    void OnUndo();
    void OnDuplicate();
    void OnShowInFolder();
    void OnCopyPath();
    // F2: the row's title edited in place; the card's title and file name change together (main_rename.cpp).
    void OnRenameEntry();
    void FinishRename(const QString& title);

    // --- search (main_search.cpp)
    void OnSearch();  // shows the search window (button 1023, Ctrl+F)
    void OnHistory();  // the history of the card in the form (Ctrl+H)
    void RestoreVersion(const std::string& card, const std::string& bytes);  // into the form, unsaved
    // Selects the card's entry in the tree and opens it as a double-click on it does; true when it is on
    // the form then.
    bool OpenSearchResult(const std::string& path);

    // --- index and bookmarks (main_bookmarks.cpp)
    void OnIndexManage();
    void OnBookmarkManage();
    void OnAddBookmark();
    // The tree's 导入 (main_import.cpp): its context menu on a class, and files dropped onto a class.
    void WireTreeImport();
    void ImportIntoClass(QTreeWidgetItem* item, const std::vector<std::string>& sources);
    // 导入... of the tree's menu: a folder chosen in the folder browser, into the class of `item` (none: the library).
    void OnImportHere(QTreeWidgetItem* item);
    void RunListManager(const char* list);

    QIcon m_icon;
    XmlRecordSet m_xml;  // the one card the form reads into and writes from
    CShowMsgDlg* m_msg = nullptr;
    int m_startupDone = 0;
    std::string m_lastError;
    std::string m_libRoot;  // always ends with '\'
    std::string m_progDir;  // no final '\'
    std::string m_dtdPath;
    LibraryRegistry m_libs;  // entries and count; m_nCurLib is the library shown
    int m_nCurLib = -1;
    std::array<NamePath, kMaxListSlots> m_classes;
    int m_nClasses = 0;
    std::array<std::string, kMaxListSlots> m_sources;
    int m_nSources = 0;
    std::deque<NamePath> m_styles;  // no fixed limit
    CardForm m_form;                // the editing session

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

    std::unique_ptr<LibraryTree> m_libTree;  // the tree 1005 and its entry list
    std::unique_ptr<UndoList> m_undo;        // the tree's steps that can be taken back
    std::string m_renaming;                  // the card whose row is being edited in place
    QString m_renameTyped;                   // what its editor held when it was committed
    ui::SplitBar* m_splitBar = nullptr;
    int m_split = 0;         // where the user put the tree's right edge, in pixels from its template place
    int m_splitAtDrag = 0;   // the same when the current drag began
    QRect m_treeBase;        // the tree's template place
    int m_formLeft = 0;      // left edge of the form's template area
    int m_fieldRoom = 0;     // how much narrower than in the template the form's fields may become
    std::unique_ptr<search::Indexer> m_searchIndex;  // keeps the current library's index up to date
    std::unique_ptr<plat::FolderWatch> m_watch;      // the current library's folders, as the kernel sees them
    std::string m_watchedRoot;                       // "" when nothing is watched
    bool m_saving = false;                           // the save's questions are up: the form is not reloaded
    QTimer* m_noticeTimer = nullptr;                 // hides a notice in the strip
    CSearchDlg* m_searchDlg = nullptr;
    CardHistory* m_history = nullptr;  // every version of the current library's cards
    int m_timerId = 0;
    int m_exposeWaits = 0;  // start-up ticks spent waiting for the window to appear
    bool m_ending = false;  // the failure procedure is closing the window
};
