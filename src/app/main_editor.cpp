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

#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
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

// Two spellings of one file ('/' against '\', a relative against an absolute path) must not be mistaken for
// an old file that may be deleted: that would delete the card just written.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(plat::ToNative(a), plat::ToNative(b), ec) && !ec;
}

// A title is free text, but in a file name '/' and '\' would make folders of it and the other signs here
// are what Windows, where cards travel too, cannot hold in a name. Their full-width look-alikes stand in;
// the title itself keeps them. A control character (a title read from a file may hold a TAB) would reach
// the index and bookmark lists' lines with the name: a space stands in.
QString FileNamePart(QString title) {
    static const QString signs = QStringLiteral("/\\:*?\"<>|");
    static const QString lookAlikes = QStringLiteral("／＼：＊？＂＜＞｜");
    for (QChar& c : title)
        if (const qsizetype i = signs.indexOf(c); i >= 0)
            c = lookAlikes[i];
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    return title;
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
    // and saving it in place would delete the rest.
    if (!m_xml.ReadCard(reader) || reader.Failed() || !m_xml.bodyWhole) {
        m_lastError = Gbk("读取文件 ") + path + Gbk(" 的XML数据时出错了!");
        return 0;
    }
    reader.Close();
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

    m_form.Loaded(path, card.href, card.founddate);
    return 1;
}

int CMainDlg::SaveDatum(const std::string& fileName) {
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
    plat::AtomicFile file;
    if (!file.Open(fileName)) {
        const int err = errno;
        m_lastError = Gbk("不能打开文件 ") + fileName + Gbk(" 进行写入") + why(err);
        return 0;
    }
    const bool written = file.Write(bytes);
    if (!file.Commit() || !written) {
        const int err = errno;
        m_lastError = Gbk("写入 XML 数据时出错!!") + why(err);
        return 0;
    }
    m_form.Saved(fileName, card.href, card.founddate);
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
                      FileNamePart(m_edTitle->text()) + file.mid(tail));
    m_form.FileNameRebuilt(hadEdits);
}

void CMainDlg::OnSave() {
    // After a failed reload the window stayed only for this card; once it is saved the program ends, as it
    // said it would.
    if (SaveForm() && m_ending) EndDialog(plat::IDOK);
}

bool CMainDlg::SaveForm() {
    if (m_edFile->text().isEmpty()) {
        // An empty form has nothing to save; text typed without a file name has nowhere to go.
        if (m_form.HasEdits()) ShowError(this, Gbk("保存资料时出错:文件名是空的，资料卡没有保存。"));
        return false;
    }
    std::string fileName;
    // The box quotes the character itself, which only a Unicode text can carry.
    if (const QString why = m_form.Unstorable(); !why.isEmpty() || !plat::FromQ(m_edFile->text(), fileName)) {
        plat::Svc().UnicodeMessageBox(this, QStringLiteral("保存资料时出错:") + why, Gbk("ERROR"),
                                      plat::MB_OK | plat::MB_ICONERROR);
        return false;
    }
    auto ask = [this](const std::string& text) {
        return plat::Svc().MessageBox(this, text, Gbk("选择"), plat::MB_YESNO | plat::MB_ICONQUESTION) ==
               plat::IDYES;
    };
    auto choose = [this](const std::string& text) {
        return plat::Svc().MessageBox(this, text, Gbk("选择"), plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION);
    };
    // While the questions below are up, the file may change again; the form is not reloaded under them.
    const QScopedValueRollback<bool> saving(m_saving, true);
    const std::string oldFile = m_form.LoadedPath();
    const bool inPlace = !oldFile.empty() && (oldFile == fileName || SameFile(oldFile, fileName));
    if (inPlace) {
        // Another program (a sync tool, a second copy of this one) may have written the card since it was
        // loaded; neither version may be lost unasked.
        switch (m_form.DiskState()) {
            case CardForm::Disk::Changed: {
                const std::string copy = CopyNameFor(fileName);
                // Yes / no would not say which is which: the buttons name the answers.
                const int answer = plat::Svc().ChoiceBox(
                    this, Gbk("文件 ") + fileName + Gbk(" 在载入后已被其他程序修改过。\n选\"覆盖\"用当前资料卡覆盖它；选"
                                                       "\"另存为副本\"把当前资料卡另存为 ") +
                              copy + Gbk("，两个版本都保留；选\"取消\"不保存。"),
                    Gbk("选择"), plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION,
                    {Gbk("覆盖"), Gbk("另存为副本"), Gbk("取消")});
                if (answer == plat::IDNO) return SaveAsCopy(copy);
                if (answer != plat::IDYES) return false;
                break;
            }
            case CardForm::Disk::Gone: {
                const int answer = choose(Gbk("文件 ") + fileName +
                                          Gbk(" 在载入后已被删除或移走了。\n选\"是\"把当前资料卡重新保存到那"
                                              "里；选\"否\"另选一个文件名保存；选\"取消\"不保存。"));
                if (answer == plat::IDNO) {
                    OnBrowseFileName();
                    return m_edFile->text() != plat::ToQ(fileName) && SaveForm();
                }
                if (answer != plat::IDYES) return false;
                break;
            }
            case CardForm::Disk::Unchanged: break;
        }
    } else if (plat::IsFile(fileName) && !m_form.OverwriteAgreed(fileName)) {
        // A new name can be that of another card (a title changed to one already filed in the class);
        // writing over it unasked would lose that card.
        if (!ask(Gbk("文件 ") + fileName + Gbk(" 已经存在，你要用当前资料卡覆盖它吗?"))) return false;
    }
    if (!SaveDatum(fileName)) {
        ShowError(this, Gbk("保存资料时出错:") + m_lastError);
        return false;
    }
    m_searchIndex->Touch(fileName);
    const std::string title = m_xml.card.title;
    const std::string founddate = m_xml.card.founddate;

    if (inPlace) {
        const DatumNode* current = m_libTree->Current();
        if (current && current->IsCard() && current->path == fileName) m_libTree->SetFounddate(current, founddate);
        return true;
    }

    // Only the file this form was read from is ever offered for deletion: the current entry may belong to
    // another card (library switch), and a form typed from scratch has no old file at all; nor has a form
    // whose file something else removed meanwhile.
    if (!oldFile.empty() && plat::PathExists(oldFile)) {
        const int answer = plat::Svc().MessageBox(
            this,
            Gbk("你已经改变了存储的文件名，该资料卡已经保存为新的文件;\n                 你要删除以前的文件码?"),
            Gbk("选择"), plat::MB_YESNO | plat::MB_ICONQUESTION);
        if (answer == plat::IDYES && !plat::DeleteFile(oldFile)) {
            ShowError(this, Gbk("不能删除文件:") + oldFile + Gbk(" 请手动删除."));
        }
    }
    if (!oldFile.empty()) m_searchIndex->Touch(oldFile);
    if (!HasLibrary() || m_ending) return true;

    if (m_msg) m_msg->SetMessage(Gbk("文件已经保存，正在重新扫描文件夹....."));
    if (!RescanLibrary()) return true;  // the window is closing; the card itself was written

    // The entry of the file just written, by its path: a label can be shared by a class or by a card of the
    // same title in another class.
    const DatumNode* found = m_libTree->FindByPath(fileName);
    for (const DatumNode* n = m_libTree->First(); !found && n && !n->IsEnd(); n = n->next)
        if (n->IsCard() && n->label == title && SameFile(n->path, fileName)) found = n;
    if (!found) found = m_libTree->End();
    m_libTree->MakeCurrent(found);
    m_libTree->SetFounddate(found, founddate);
    return true;
}

std::string CMainDlg::CopyNameFor(const std::string& original) const {
    const std::string_view file = LastComponent(original);
    const std::string folder = original.substr(0, original.size() - file.size());
    const std::size_t mark = plat::Find(file, kCardMark);
    const std::string tail(mark == plat::npos ? std::string_view(".datum.xml") : file.substr(mark));
    // The title becomes one file name by the same rule as the card's own name.
    std::string title;
    if (!plat::FromQ(FileNamePart(m_edTitle->text()), title) || title.empty()) title = file.substr(0, mark);
    LocalTime t{};
    if (!CurrentLocalTime(t)) t = {0, 0, 0, 0, 0};
    char when[40];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d-%02d", t.year, t.month, t.day, t.hour, t.minute);
    const std::string stem = folder + title + Gbk(" (我的修改 ") + when;
    std::string name = stem + ")" + tail;
    // Two saves within a minute must not meet on one name.
    for (int n = 2; plat::PathExists(name); ++n) name = stem + " " + plat::FormatInt(n) + ")" + tail;
    return name;
}

bool CMainDlg::SaveAsCopy(const std::string& copy) {
    const QString before = m_edFile->text();
    m_edFile->setText(plat::ToQ(copy));  // before the save, which takes the fields as they are written
    if (!SaveDatum(copy)) {
        m_edFile->setText(before);
        ShowError(this, Gbk("保存资料时出错:") + m_lastError);
        return false;
    }
    m_searchIndex->Touch(copy);
    // The copy's entry now, rather than when its notification comes: it becomes the current one.
    const std::string_view name = LastComponent(copy);
    std::vector<std::string> touched;
    m_libTree->Apply(copy.substr(0, copy.size() - name.size()), std::string(name), false, touched);
    if (const DatumNode* node = m_libTree->FindByPath(copy)) {
        m_libTree->MakeCurrent(node);
        m_libTree->SetFounddate(node, m_xml.card.founddate);
    }
    return true;
}
