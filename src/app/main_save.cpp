// Writing the form back: the questions a save asks before it replaces or deletes a file, and the copy that
// keeps both versions. Nothing is replaced or deleted that is not the version the form was loaded from, or
// one the user was asked about.
#include <QLineEdit>
#include <QScopedValueRollback>
#include <cerrno>
#include <cstdio>

#include "app/main_dlg.h"
#include "app/save_names.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
#include "platform/trash.h"
#include "search/indexer.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;
using plat::LastComponent;
using savenames::SameFile;

namespace {

void ShowError(QWidget* parent, const std::string& text) {
    plat::Svc().MessageBox(parent, text, Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
}

// The minute of a copy's name: "2026-12-07 10-31".
std::string Minute() {
    LocalTime t{};
    if (!CurrentLocalTime(t)) t = {0, 0, 0, 0, 0};
    char when[40];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d-%02d", t.year, t.month, t.day, t.hour, t.minute);
    return when;
}

}  // namespace

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
    // A card written by another program may hold what the form has no field for; a save from the form drops it.
    if (!oldFile.empty() && !m_xml.unshown.empty() &&
        !ask(Gbk("文件 ") + oldFile + Gbk(" 中有窗口里不显示的内容：") + m_xml.UnshownSummary() +
             Gbk("。\n保存后它们将不再在文件中。仍要保存吗?")))
        return false;
    const plat::FileStamp oldStamp = m_form.Stamp();
    const bool inPlace = !oldFile.empty() && (oldFile == fileName || SameFile(oldFile, fileName));
    if (inPlace) {
        // A link a peer put in place of the card names a file the user never saw, possibly outside the
        // library: nothing is written through it.
        if (const std::string link = savenames::RefusedLink(fileName, m_form.LoadedLink(), m_libRoot);
            !link.empty()) {
            if (!ask(Gbk("文件 ") + fileName + Gbk(" 已被换成指向 ") + link +
                     Gbk(" 的符号链接，当前资料卡不会写进它指向的文件。\n选\"是\"把当前资料卡另存为 ") +
                     CopyNameFor(fileName) + Gbk("，链接不动；选\"否\"不保存。")))
                return false;
            return SaveAsCopy(fileName);
        }
        // Another program (a sync tool, a second copy of this one) may have written the card since it was
        // loaded; neither version may be lost unasked.
        switch (m_form.DiskState()) {
            case CardForm::Disk::Changed: {
                // Yes / no would not say which is which: the buttons name the answers.
                const int answer = plat::Svc().ChoiceBox(
                    this,
                    Gbk("文件 ") + fileName +
                        Gbk(" 在载入后已被其他程序修改过。\n选\"覆盖\"用当前资料卡覆盖它；选\"另存为副本\"把当前资料卡"
                            "另存为 ") +
                        CopyNameFor(fileName) + Gbk("，两个版本都保留；选\"取消\"不保存。"),
                    Gbk("选择"), plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION,
                    {Gbk("覆盖"), Gbk("另存为副本"), Gbk("取消")});
                if (answer == plat::IDNO) return SaveAsCopy(fileName);
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
    } else if (oldFile.empty() && plat::PathExists(fileName)) {
        // A new card never takes the place of one already filed under its name.
        ShowError(this, Gbk("文件 ") + fileName + Gbk(" 已经存在，新资料卡没有保存。请换一个标题。"));
        return false;
    } else if (plat::IsFile(fileName) && !m_form.OverwriteAgreed(fileName)) {
        // A new name can be that of another card (a title changed to one already filed in the class);
        // writing over it unasked would lose that card.
        if (!ask(Gbk("文件 ") + fileName + Gbk(" 已经存在，你要用当前资料卡覆盖它吗?"))) return false;
    }
    // A new card is created without replacing: a file that arrives under its name after the check above
    // stays, and the save fails naming it.
    if (!SaveDatum(fileName, oldFile.empty())) {
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
    // whose file something else removed meanwhile. A version the form never held (a sync tool delivered it
    // after the load) is not deleted, before the question or while it is up.
    if (!oldFile.empty() && plat::PathExists(oldFile)) OfferToDelete(oldFile, oldStamp);
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

void CMainDlg::OfferToDelete(const std::string& oldFile, const plat::FileStamp& loaded) {
    auto kept = [&] {
        plat::Svc().MessageBox(this,
                               Gbk("你已经改变了存储的文件名，该资料卡已经保存为新的文件;\n以前的文件 ") + oldFile +
                                   Gbk(" 在载入后已被其他程序修改过，没有删除它。"),
                               Gbk("选择"), plat::MB_OK | plat::MB_ICONINFORMATION);
    };
    if (plat::StampOf(oldFile) != loaded) return kept();
    const int answer = plat::Svc().MessageBox(
        this, Gbk("你已经改变了存储的文件名，该资料卡已经保存为新的文件;\n                 你要删除以前的文件码?"),
        Gbk("选择"), plat::MB_YESNO | plat::MB_ICONQUESTION);
    if (answer != plat::IDYES) return;
    const plat::FileStamp now = plat::StampOf(oldFile);
    if (!now.exists) return;  // gone meanwhile: nothing left to delete
    if (now != loaded) return kept();
    // To the trash, from where the file manager brings it back; it names any failure itself.
    plat::Discard(this, oldFile, Gbk("以前的文件 ") + oldFile + " ");
}

std::string CMainDlg::CopyNameFor(const std::string& original, int n) const {
    const std::string_view file = LastComponent(original);
    const std::size_t mark = plat::Find(file, ".datum.");
    // The title becomes one file name by the same rule as the card's own name.
    std::string title;
    if (!plat::FromQ(savenames::FileNamePart(m_edTitle->text()), title) || title.empty())
        title = file.substr(0, mark);
    const std::string when = Minute();
    if (n > 0) return savenames::CopyName(original, title, when, n);
    std::string name = savenames::CopyName(original, title, when, 1);
    for (int i = 2; plat::PathExists(name); ++i) name = savenames::CopyName(original, title, when, i);
    return name;
}

bool CMainDlg::SaveAsCopy(const std::string& original) {
    const QString before = m_edFile->text();
    // The name is chosen now, after the answer, and taken only where nothing stands: a copy a sync tool
    // delivered under the same name meanwhile stays, this one steps on to " 2", " 3"...
    std::string copy;
    bool saved = false;
    for (int n = 1; n <= 100 && !saved; ++n) {
        copy = CopyNameFor(original, n);
        m_edFile->setText(plat::ToQ(copy));  // before the save, which takes the fields as they are written
        saved = SaveDatum(copy, true);
        if (!saved && errno != EEXIST) break;
    }
    if (!saved) {
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
