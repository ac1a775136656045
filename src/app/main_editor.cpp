// The card form: open a card from the tree, step through the entry list, propose a file name from class and
// title, and write the form back to disk.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/card_history.h"
#include "app/main_dlg.h"
#include "app/save_names.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
#include "platform/trash.h"
#include "search/indexer.h"
#include "ui/body_edit.h"
#include "ui/combo.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;
using plat::LastComponent;

namespace {

constexpr char kCardMark[] = ".datum.";

// The form's body widget knows only '\n' as a paragraph break; cards separate paragraphs with CR LF.
QString BodyToWidget(const std::string& content) {
    QString text = plat::ToQ(content);
    // The CR of each CR LF dropped in one pass over the fresh string (a general replace costs a
    // millisecond on a large card).
    QChar* const begin = text.data();
    const QChar* const end = begin + text.size();
    QChar* out = begin;
    for (const QChar* in = begin; in < end; ++in) {
        if (*in == u'\r' && in + 1 < end && in[1] == u'\n') continue;
        *out++ = *in;
    }
    text.truncate(out - begin);
    return text;
}

void ShowError(QWidget* parent, const std::string& text) {
    plat::Svc().MessageBox(parent, text, Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
}

}  // namespace

int CMainDlg::LoadDatum(const std::string& path) {
    if (ReadIntoForm(path)) return 1;
    ShowError(this, m_lastError);
    return 0;
}

int CMainDlg::ReadIntoForm(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::file_size(plat::ToNative(path), ec) > static_cast<std::uintmax_t>(kMaxCardBytes) && !ec) {
        m_lastError = Gbk("资料卡文件 ") + path + Gbk(" 超过 16 MB，太大了，不能打开。");
        return 0;
    }
    plat::LineReader reader;
    if (!reader.Open(path)) {
        m_lastError = Gbk("不能打开文件:") + path;
        return 0;
    }
    // A read error partway, or a body cut by a line that is no whole paragraph, would show a shorter card,
    // and saving it in place would delete the rest. A card that does not open leaves the form's as it was.
    XmlRecordSet read;
    read.card = m_xml.card;
    if (!read.ReadCard(reader) || reader.Failed() || !read.bodyWhole) {
        m_lastError = Gbk("读取文件 ") + path + Gbk(" 的XML数据时出错了!");
        if (!read.readError.empty() && !reader.Failed()) m_lastError += "\n" + read.readError;
        return 0;
    }
    // The version the form holds is the one the descriptor had when it was opened: whatever lands after
    // that, during the read or while the form fills, is a change to ask about, not the form's own.
    plat::FileStamp stamp = reader.Stamp();
    if (reader.ChangedWhileRead()) stamp.size = -1;  // what was read is no version of the file
    reader.Close();
    m_xml.card = std::move(read.card);
    m_xml.unshown = std::move(read.unshown);
    const DatumCard& card = m_xml.card;

    m_libTree->SetFounddate(m_libTree->Current(), card.founddate);
    // Every field as the file has it, a class or source that no list names included: Save writes back what
    // the form shows.
    m_form.Show({plat::ToQ(card.title), plat::ToQ(card.keyword), plat::ToQ(card.klass),
                 plat::ToQ(card.source), plat::ToQ(path), BodyToWidget(card.content)});

    // A card written on another machine, or before the program directory moved, names its stylesheet by a
    // path that no longer exists here; the stylesheet's own file name still identifies it.
    const int nStyles = static_cast<int>(m_styles.size());
    int style = -1;
    for (int i = 0; i < nStyles && style < 0; ++i) {
        if (plat::EqualsIgnoreAsciiCase(m_styles[i].path, card.href)) style = i;
    }
    const std::string_view hrefFile = LastComponent(card.href);
    for (int i = 0; i < nStyles && style < 0 && !hrefFile.empty(); ++i) {
        if (plat::EqualsIgnoreAsciiCase(LastComponent(m_styles[i].path), hrefFile)) style = i;
    }
    ui::SelectEntry(m_cbStyle, style);

    m_form.Loaded(path, card.href, card.founddate, stamp);
    return 1;
}

int CMainDlg::SaveDatum(const std::string& fileName, bool createNew) {
    // Every field is converted before anything is opened: text that GBK cannot hold would otherwise reach
    // the disk as '?', and a refused save must leave the old card untouched.
    const QString texts[] = {m_edTitle->text(), m_edKeyword->text(), m_cbClass->currentText(),
                             m_cbSource->currentText(), m_edBody->Body()};
    std::string gbk[std::size(texts)];
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        if (!plat::FromQ(texts[i], gbk[i])) {
            m_lastError = plat::Utf8ToGbk(m_form.Unstorable().toStdString());
            return 0;
        }
    }

    DatumCard& card = m_xml.card;
    card.title = std::move(gbk[0]);
    card.klass = std::move(gbk[2]);
    card.content = std::move(gbk[4]);  // '\n' breaks, which the card writer takes as such
    card.source = std::move(gbk[3]);
    card.keyword = std::move(gbk[1]);
    const int style = ui::SelectedEntry(m_cbStyle);
    if (style >= 0 && style < static_cast<int>(m_styles.size())) {
        card.href = m_styles[style].path;
    } else {
        card.href = m_form.Href();  // no style chosen: keep the card's own stylesheet rather than none
    }
    // The form's own stamp, not the current entry's: that entry can belong to another card (library switch,
    // a load that failed), and its founddate would silently replace this card's creation date.
    card.founddate = m_form.Founddate();
    // Fixing the stamp here lets the caller hand the written creation date on to the entry list.
    if (card.founddate.empty()) card.founddate = CurrentStamp();
    card.dtdPath = m_dtdPath;

    // The whole file is formed before any is written: a card the program would refuse to open is not saved.
    const std::string bytes = m_xml.CardText();
    if (bytes.size() > static_cast<std::size_t>(kMaxCardBytes)) {
        m_lastError = Gbk("资料卡文件将有 ") + plat::FormatInt(static_cast<long long>(bytes.size())) +
                      Gbk(" 字节，超过了能打开的上限 16 MB（16777216 字节），资料卡没有保存。");
        return 0;
    }
    // The system's reason goes with each failure: a full disk, a read-only file system, a folder gone.
    auto why = [](int err) { return err ? Gbk("：") + plat::SystemReason(err) : std::string(); };
    // errno stays the failure's for the caller: a new file's name that was taken meanwhile is EEXIST.
    m_history->BeforeSave(fileName);
    plat::AtomicFile file;
    if (!(createNew ? file.OpenNew(fileName) : file.Open(fileName))) {
        const int err = errno;
        m_lastError = Gbk("不能打开文件 ") + fileName + Gbk(" 进行写入") + why(err);
        errno = err;
        return 0;
    }
    const bool written = file.Write(bytes);
    plat::FileStamp stamp;
    if (!file.Commit(&stamp) || !written) {
        const int err = errno;
        m_lastError = Gbk("写入 XML 数据时出错!!") + why(err);
        errno = err;
        return 0;
    }
    const std::string loadedFrom = m_form.LoadedPath();
    m_form.Saved(fileName, card.href, card.founddate, stamp);
    m_xml.unshown.clear();  // what the form did not show was agreed to go
    m_history->Saved(fileName, bytes, loadedFrom);
    return 1;
}

CMainDlg::Leave CMainDlg::ConfirmLeaveForm() {
    if (!m_form.HasEdits()) return Leave::Go;
    const int answer = plat::Svc().MessageBox(
        this, Gbk("当前资料卡的修改还没有保存。\n你要先保存它吗? (选\"否\"放弃这些修改)"), Gbk("选择"),
        plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION);
    if (answer == plat::IDYES) return SaveForm() ? Leave::Go : Leave::Stay;
    return answer == plat::IDNO ? Leave::Discard : Leave::Stay;
}

int CMainDlg::OpenCardIntoForm(const std::string& path) {
    if (m_ending) return 0;  // the library is no longer there to read; only the form is left, to be saved
    const std::string target = path;  // a save below may rescan and free the entry that holds `path`
    const Leave leave = ConfirmLeaveForm();
    if (leave == Leave::Stay) {
        // The click moved the tree's selection; the form did not move.
        m_libTree->Select(m_libTree->Current());
        return 0;
    }
    if (const DatumNode* node = m_libTree->FindByPath(target)) m_libTree->MakeCurrent(node);
    const int loaded = LoadDatum(target);
    // The user said the edits were to go: a card that then does not open must not bring them back as unsaved.
    if (!loaded && leave == Leave::Discard) m_form.Clear();
    return loaded;
}

void CMainDlg::OnTreeDblClick() {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    const DatumNode* node = m_libTree->FindByItem(selected.isEmpty() ? nullptr : selected.first());
    if (node && node->IsCard()) {
        OpenCardIntoForm(node->path);
        return;
    }
    m_libTree->SetCurrent(node);  // a class only becomes current; the form stays
}

void CMainDlg::OnPrevDatum() { Step(true); }

void CMainDlg::OnNextDatum() { Step(false); }

// Previous and next walk the entry list across class boundaries; a step that finds no card stops on the
// class at that end, selected, and loads nothing.
void CMainDlg::Step(bool back) {
    const DatumNode* to = m_libTree->StepFrom(back);
    if (to && to->IsCard())
        OpenCardIntoForm(to->path);
    else if (to)
        m_libTree->MakeCurrent(to);
}

void CMainDlg::OnNameFieldKillFocus() {
    // Built on the widget text rather than on GBK bytes, so that a character GBK cannot hold survives into
    // the file name field and the save names it instead of writing a mangled name.
    const QString file = m_edFile->text();
    const qsizetype tail = file.indexOf(QLatin1String(kCardMark));
    if (tail < 0) return;
    const bool hadEdits = m_form.HasEdits();
    m_edFile->setText(plat::ToQ(m_libRoot) + m_cbClass->currentText() + QLatin1Char('\\') +
                      savenames::FileNamePart(m_edTitle->text()) + file.mid(tail));
    m_form.FileNameRebuilt(hadEdits);
}

void CMainDlg::OnSave() {
    // After a failed reload the window stayed only for this card; once it is saved the program ends, as it
    // said it would.
    if (SaveForm() && m_ending) EndDialog(plat::IDOK);
}
