// The main window's frame: construction, the start-up timer, colours, icon, destruction, and the wiring
// of every control to its handler (the handlers themselves live in the other main_*.cpp files).
#include "app/main_dlg.h"
#include "app/undo_list.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTimer>
#include <QTimerEvent>
#include <QTreeWidget>
#include <QWindow>

#include "app/card_history.h"
#include "app/tree_keys.h"
#include "platform/codec.h"
#include "platform/folder_watch.h"
#include "platform/fs.h"
#include "res/program_icon.h"
#include "search/indexer.h"
#include "ui/body_edit.h"
#include "ui/palette.h"
#include "ui/window_fit.h"
#include "ui/show_msg_dlg.h"

CMainDlg::CMainDlg(QWidget* parent) : CDialog(102, parent), m_searchIndex(std::make_unique<search::Indexer>()) {
    m_icon = res::ProgramIcon();

    m_cbLibrary = ItemAs<QComboBox>(1000);
    m_edPath = ItemAs<QLineEdit>(1002);
    m_tree = ItemAs<QTreeWidget>(1005);
    m_edFile = ItemAs<QLineEdit>(1008);
    m_edTitle = ItemAs<QLineEdit>(1009);
    m_cbClass = ItemAs<QComboBox>(1011);
    m_cbSource = ItemAs<QComboBox>(1013);
    m_cbStyle = ItemAs<QComboBox>(1015);
    m_edKeyword = ItemAs<QLineEdit>(1017);
    m_edBody = ItemAs<CBodyEdit>(1018);
    m_form.Attach({m_edTitle, m_edKeyword, m_cbClass, m_cbSource, m_cbStyle, m_edFile, m_edBody});
    m_libTree = std::make_unique<LibraryTree>(m_tree);
    SetUpLayout();
    m_msg = new CShowMsgDlg(std::string(), this);
    m_msg->hide();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] {
        if (m_msg) m_msg->hide();
    });
    m_history = new CardHistory([this](const std::string& text) { if (m_msg) Notify(text); },
                                [this](const std::string& text) { if (m_msg) { SetProgress(text); m_msg->ShowAt(); } },
                                this);

    // Text typed into a combo must never become an entry: every entry is bound to a table slot.
    for (QComboBox* cb : {m_cbLibrary, m_cbClass, m_cbSource, m_cbStyle}) cb->setInsertPolicy(QComboBox::NoInsert);

    // Labels are the names of folders and files; renaming them in the tree would change nothing on disk.
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setHeaderHidden(true);
    WireTreeImport();

    OnClicked(1001, [this] { OnManageLibraries(); });
    OnClicked(1003, [this] { OnIndexManage(); });
    OnClicked(1004, [this] { OnBookmarkManage(); });
    OnClicked(1006, [this] { OnSave(); });
    OnClicked(1007, [this] { OnAddBookmark(); });
    OnClicked(1010, [this] { OnBrowseFileName(); });
    OnClicked(1012, [this] { OnManageClasses(); });
    OnClicked(1014, [this] { OnManageSources(); });
    OnClicked(1016, [this] { OnManageStyles(); });
    OnClicked(1019, [this] { OnPrevDatum(); });
    OnClicked(1020, [this] { OnNextDatum(); });
    OnClicked(1021, [this] { OnViewDatum(); });
    OnClicked(1022, [this] { OnOpenViewPage(); });
    OnClicked(1023, [this] { OnSearch(); });
    WireKeys();
    WireTreeActions();

    // `activated` comes only from the user (mouse, keyboard, wheel), never from the loaders filling the box.
    connect(m_cbLibrary, &QComboBox::activated, this, [this](int) { OnLibrarySelChange(); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) { OnTreeDblClick(); });
    OpenOnEnter(m_tree, [this] { OnTreeDblClick(); });

    m_edTitle->installEventFilter(this);
    m_cbClass->installEventFilter(this);
    if (m_cbClass->lineEdit()) m_cbClass->lineEdit()->installEventFilter(this);
}

CMainDlg::~CMainDlg() { OnDestroy(); }

// The keys of what a user does most press the button that does it, so that they do exactly what a click does;
// the button's tooltip names its key. Escape stays the dialog's own: the unsaved-edit question, then the end.
void CMainDlg::WireKeys() {
    const struct {
        int button;
        QKeySequence key;
        const char* tip;
    } keys[] = {
        {1006, Qt::CTRL | Qt::Key_S, "保存资料卡"},       {1019, Qt::ALT | Qt::Key_Left, "上一则资料卡"},
        {1020, Qt::ALT | Qt::Key_Right, "下一则资料卡"},  {1007, Qt::CTRL | Qt::Key_B, "把当前资料卡加入书签"},
        {1023, Qt::CTRL | Qt::Key_F, "查找资料卡"},
    };
    for (const auto& k : keys) {
        auto* button = ItemAs<QAbstractButton>(k.button);
        connect(new QShortcut(k.key, this), &QShortcut::activated, button, &QAbstractButton::click);
        button->setToolTip(Tip(k.tip, k.key));
    }
    const QKeySequence rescan(Qt::Key_F5);
    connect(new QShortcut(rescan, this), &QShortcut::activated, this, [this] { OnRescan(); });
    connect(new QShortcut(Qt::CTRL | Qt::Key_H, this), &QShortcut::activated, this, [this] { OnHistory(); });
    m_cbLibrary->setToolTip(Tip("重新扫描资料库", rescan));
}

QString CMainDlg::Tip(const char* what, const QKeySequence& key) {
    return QString::fromUtf8(what) + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + QLatin1Char(')');
}

// Ending the program drops the form: unsaved edits are asked about first.
void CMainDlg::OnOK() {
    if (ConfirmLeaveForm() != Leave::Stay) CDialog::OnOK();
}

void CMainDlg::OnCancel() {
    if (ConfirmLeaveForm() != Leave::Stay) CDialog::OnCancel();
}

void CMainDlg::Initialise() { OnInitDialog(); }

bool CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    setWindowIcon(m_icon);

    SetBackground(ui::kDialogBackground);
    QPalette tp = m_tree->palette();
    tp.setColor(QPalette::Base, ui::kListBackground);
    tp.setColor(QPalette::Window, ui::kListBackground);
    tp.setColor(QPalette::Text, Qt::black);
    m_tree->setPalette(tp);
    m_tree->setAutoFillBackground(true);
    RestorePlace();

    if (!m_msg) m_msg = new CShowMsgDlg(std::string(), this);
    m_msg->hide();

    m_progDir = plat::GetCurrentDir();
    m_dtdPath = m_progDir + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";

    if (!m_timerId) m_timerId = startTimer(10);
    return true;
}

void CMainDlg::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_timerId) {
        CDialog::timerEvent(e);
        return;
    }
    killTimer(m_timerId);
    m_timerId = 0;
    // The window is to be seen, empty, before the load blocks the thread. On a windowing system that
    // maps windows asynchronously the first tick can come before that; wait for it a little (at most
    // half a second), then paint at once.
    QWindow* win = windowHandle();
    if (!m_startupDone && isVisible() && win && !win->isExposed() && ++m_exposeWaits < 50) {
        m_timerId = startTimer(10);
        return;
    }
    if (!m_startupDone && isVisible()) ui::FitOnScreen(this);  // now with the window manager's own frame
    if (isVisible()) repaint();
    if (!m_startupDone) RunStartupLoad();
    m_startupDone = 1;
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusOut &&
        (watched == m_edTitle || watched == m_cbClass || (m_cbClass && watched == m_cbClass->lineEdit()))) {
        auto* fe = static_cast<QFocusEvent*>(e);
        QWidget* now = QApplication::focusWidget();
        bool withinClassBox = m_cbClass && (now == m_cbClass || now == m_cbClass->lineEdit()) &&
                              watched != m_edTitle;
        // Opening the class box's drop-down list, or focus moving between the box and its own edit
        // field, is not leaving the field.
        if (fe->reason() != Qt::PopupFocusReason && !withinClassBox) OnNameFieldKillFocus();
    }
    return CDialog::eventFilter(watched, e);
}

void CMainDlg::OnDestroy() {
    m_watch.reset();  // its thread posts to this window
    if (m_timerId) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    delete m_msg;
    m_msg = nullptr;
    m_libTree->Free();
}

void CMainDlg::SetProgress(const std::string& text) { m_msg->SetMessage(text); }

void CMainDlg::ShowStrip() {
    m_noticeTimer->stop();  // a notice's end must not hide the strip of the work that follows
    m_msg->ShowAt();
    // A window just shown is drawn only once the windowing system has exposed it, and the work that
    // follows blocks the thread: let that happen first (user input and timers stay queued, at most a fifth
    // of a second), then draw the strip's text.
    QWindow* win = m_msg->windowHandle();
    if (win && !win->isExposed()) {
        QElapsedTimer waited;
        waited.start();
        while (!win->isExposed() && waited.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers, 10);
    }
    m_msg->repaint();
}
