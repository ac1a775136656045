// The index and bookmark manager (dialog 132): loads one line index list, edits it in memory and writes it
// back whole on OK. The main window's "加入书签" uses the same load, add and save without showing it.
#include "managers/index_bookmark_mang.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeWidget>
#include <optional>

#include "library/registry.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/copy_tree.h"
#include "ui/card_view.h"
#include "ui/mang_list.h"
#include "ui/palette.h"

namespace {

const char kColumnHeader[] = "标题 (类别,关键字,来源,文件,日期)";
constexpr int kColumnWidth = 320;

// Internal paths may carry '/' where a user typed one; links are compared and stored with '\' only.
// '/' is never a trail byte of a two-byte character, so a byte replacement is safe.
std::string WithBackslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The last component of an internal path (character-aware: a trail byte may look like '\').
std::string FileNamePart(std::string_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); i += plat::CharLen(path, i))
        if (path[i] == '\\' || path[i] == '/') start = i + 1;
    return std::string(path.substr(start));
}

// Only card files ever go into a list; a link to anything else came from a hand-edited file.
bool HasCardName(std::string_view path) {
    return plat::Contains(plat::AsciiLower(FileNamePart(path)), layout::kCardMark);
}

std::string RowText(const IndexEntry& e) {
    return e.name + "  (" + e.klass + "," + e.keyword + "," + e.source + "," + e.url + "," + e.date + ")";
}

}  // namespace

CIndexBookmarkMang::CIndexBookmarkMang(const std::string& libRoot, QWidget* parent)
    : CDialog(132, parent), m_strLibRoot(libRoot) {
    m_list = ItemAs<QTreeWidget>(1020);
    OnClicked(3, [this] { OnAdd(); });
    OnClicked(4, [this] { OnDelete(); });
    OnClicked(6, [this] { OnOpen(); });
    OnClicked(7, [this] { OnMoveUp(); });
    OnClicked(8, [this] { OnMoveDown(); });
    if (m_list) {
        // The mark is the row the user selected last; moves set it without selecting (MarkRow).
        connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
            const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
            if (!selected.isEmpty()) m_nMark = m_list->indexOfTopLevelItem(selected.first());
        });
    }
}

CIndexBookmarkMang::~CIndexBookmarkMang() { FreeList(); }

bool CIndexBookmarkMang::LoadList() {
    FreeList();
    plat::LineReader reader;
    if (!reader.Open(m_strListPath)) {
        m_strError = plat::Gbk("不能打开文件 ") + m_strListPath;
        return false;
    }
    if (!m_xml.ReadLineIndexHead(reader)) {
        m_strError = plat::Gbk("读取 XML 头部时出现错误");
        return false;
    }
    std::list<IndexEntry> links;
    // A damaged link has shown its own box and ends the list; the links before it are kept.
    while (m_xml.ReadLineIndexLink(reader)) {
        const LineIndexLink& l = m_xml.link;
        links.push_back({l.name, l.url, l.klass, l.date, l.keyword, l.source});
    }
    // A read error in the middle would look like a short list, and the next save would drop the rest.
    if (reader.Failed()) {
        m_strError = plat::Gbk("不能打开文件 ") + m_strListPath;
        return false;
    }
    m_entries = std::move(links);
    m_bLoaded = true;
    m_bWhole = !m_xml.linkDamaged;
    return true;
}

bool CIndexBookmarkMang::AddFile(const std::string& path) {
    // A line break in a link would end the list's line there: the list would no longer read, for good.
    if (plat::HasControlChar(path)) {
        m_strError = plat::Gbk("文件名 ") + plat::EscapeControls(path) +
                     plat::Gbk(" 中有换行符或其它控制字符，不能加入列表，请先给资料卡改个名字。");
        return false;
    }
    const std::string lower = WithBackslashes(plat::AsciiLower(path));
    if (lower.size() < m_strLibRoot.size() || lower.compare(0, m_strLibRoot.size(), m_strLibRoot) != 0) {
        m_strError = plat::Gbk("不是当前资料库中的文件!");
        return false;
    }
    // Opened by the name as chosen: the disk may tell letter case apart, the comparisons do not.
    plat::LineReader reader;
    if (!reader.Open(path)) {
        m_strError = plat::Gbk("不能打开文件 ") + lower;
        return false;
    }
    const bool isCard = m_xml.ReadCard(reader);
    reader.Close();
    if (!isCard || !HasCardName(lower)) {
        m_strError = plat::Gbk("该文件不是资料卡格式的文件!");
        return false;
    }

    // Relative to the program directory where the card lies below it; a library elsewhere keeps the whole path.
    std::string url = lower;
    const std::string prefix = WithBackslashes(plat::AsciiLower(plat::GetCurrentDir() + "\\"));
    if (lower.size() > prefix.size() && lower.compare(0, prefix.size(), prefix) == 0)
        url = lower.substr(prefix.size());

    for (const IndexEntry& e : m_entries) {
        if (WithBackslashes(plat::AsciiLower(e.url)) == url) {
            m_strError = plat::Gbk("该文件已经在列表中了！");
            return false;
        }
    }

    const DatumCard& c = m_xml.card;
    m_entries.push_back({c.title, url, c.klass, c.founddate, c.keyword, c.source});
    m_bLoaded = true;
    return true;
}

bool CIndexBookmarkMang::SaveList() {
    // The links after a damaged one were never read; writing the list now would delete them.
    if (!m_bWhole) {
        m_strError = plat::Gbk("列表文件 ") + m_strListPath +
                     plat::Gbk(" 中有损坏的链接，没有完整读出；为了不丢失其后的链接，列表没有保存，文件保持原样。");
        return false;
    }
    // Written beside the old list and renamed over it, so a failure never leaves a cut-off list behind.
    plat::AtomicFile file;
    if (!file.Open(m_strListPath)) {
        m_strError = plat::Gbk("不能打开文件 ") + m_strListPath + plat::Gbk(" 进行写入!");
        return false;
    }
    if (!m_xml.WriteLineIndexHead(file, plat::Gbk("索引;书签"), plat::Gbk("资料卡"))) {
        m_strError = plat::Gbk("写入 XML 头信息时出错了!!");
        return false;
    }
    for (const IndexEntry& e : m_entries) {
        if (!m_xml.WriteLineIndexLink(file, e.name, e.url, e.klass, e.date, e.keyword, e.source)) {
            m_strError = plat::Gbk("写入 XML 信息时出错了!!");
            return false;
        }
    }
    // The last bytes usually reach the disk only when the file is committed, so its failure counts as the end's.
    if (!m_xml.WriteLineIndexEnd(file) || !file.Commit()) {
        m_strError = plat::Gbk("写入 XML 尾信息时出错了!!");
        return false;
    }
    return true;
}

void CIndexBookmarkMang::FillList() {
    if (!m_list) return;
    m_list->clear();
    for (const IndexEntry& e : m_entries) new QTreeWidgetItem(m_list, QStringList{plat::ToQ(RowText(e))});
    m_nMark = -1;
}

void CIndexBookmarkMang::FreeList() {
    m_entries.clear();
    m_bLoaded = false;
    m_bWhole = true;
    m_nMark = -1;
}

std::list<IndexEntry>::iterator CIndexBookmarkMang::MarkedEntry() {
    if (m_nMark < 0 || m_nMark >= static_cast<int>(m_entries.size())) return m_entries.end();
    return std::next(m_entries.begin(), m_nMark);
}

void CIndexBookmarkMang::MarkRow(int row) {
    m_nMark = row;
    if (!m_list) return;
    // The mark alone: the row gets the focus frame but is not shown selected.
    if (QTreeWidgetItem* item = m_list->topLevelItem(row))
        m_list->selectionModel()->setCurrentIndex(m_list->indexFromItem(item), QItemSelectionModel::NoUpdate);
    m_list->setFocus();
}

bool CIndexBookmarkMang::OnInitDialog() {
    SetBackground(ui::kDialogBackground);
    if (m_list) {
        mang::SetupList(m_list, {{kColumnHeader, kColumnWidth}}, true);
        m_list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (m_bNoEdit)
        if (QWidget* edit = Item(5)) edit->setEnabled(false);

    if (!LoadList()) {
        mang::ShowError(this, m_strError);
        EndDialog(plat::IDOK);  // nothing was loaded, so nothing may be saved
        return true;
    }
    FillList();
    return true;
}

void CIndexBookmarkMang::OnOK() {
    if (!SaveList()) {
        mang::ShowError(this, m_strError);
        return;
    }
    EndDialog(plat::IDOK);
}

void CIndexBookmarkMang::OnAdd() {
    // The file dialog may change the current directory, and the stored links are relative to it.
    const std::string cwd = plat::GetCurrentDir();
    const std::string chosen = AskFileName(this, true, ".xml", "", "XML File(*.xml)|*.xml");
    plat::SetCurrentDir(cwd);
    if (chosen.empty()) return;
    if (AddFile(chosen))
        FillList();
    else
        mang::ShowError(this, m_strError);
}

void CIndexBookmarkMang::OnDelete() {
    auto it = MarkedEntry();
    if (it == m_entries.end()) return;
    m_entries.erase(it);
    FillList();
}

void CIndexBookmarkMang::OnOpen() {
    auto it = MarkedEntry();
    if (it == m_entries.end()) return;
    const std::string& url = it->url;
    // Links are stored in lower case; the disk may not be, so each folder is matched ignoring case.
    std::string internal = plat::IsAbsolute(url) ? url : plat::GetCurrentDir() + "\\" + url;
    std::optional<std::string> onDisk = plat::FromNative(plat::ResolveIgnoringCase(plat::ToNative(internal)));
    // A list may have been edited by hand, and the desktop launches what it takes for a program
    // ("x.datum.desktop", "run.datum.sh"): only a file that reads as a card is handed over.
    bool isCard = false;
    if (onDisk && HasCardName(*onDisk)) {
        plat::LineReader reader;
        XmlRecordSet probe;
        isCard = reader.Open(*onDisk) && probe.ReadCard(reader);
    }
    if (!isCard) {
        mang::ShowError(this, plat::Gbk("该链接指向的不是一个存在的资料卡文件, 不能打开: ") + url);
        return;
    }
    // No style box here: a card without a usable stylesheet is shown with the first style of the program.
    ui::ShowCard(this, *onDisk, std::string());
}

void CIndexBookmarkMang::OnMoveUp() {
    auto it = MarkedEntry();
    if (it == m_entries.end() || it == m_entries.begin()) return;
    const int row = m_nMark;
    m_entries.splice(std::prev(it), m_entries, it);
    FillList();
    MarkRow(row - 1);
}

void CIndexBookmarkMang::OnMoveDown() {
    auto it = MarkedEntry();
    if (it == m_entries.end() || std::next(it) == m_entries.end()) return;
    const int row = m_nMark;
    m_entries.splice(it, m_entries, std::next(it));
    FillList();
    MarkRow(row + 1);
}
