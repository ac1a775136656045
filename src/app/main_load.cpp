// The load sequence at start-up, the registry, class and source lists, the library switch, and the
// manager buttons with what each reloads afterwards.
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/main_dlg.h"
#include "library/datum_lib_mang.h"
#include "managers/class_mang.h"
#include "managers/source_mang.h"
#include "managers/style_mang.h"
#include "platform/codec.h"
#include "platform/text.h"
#include "store/list_file.h"
#include "ui/combo.h"
#include "ui/show_msg_dlg.h"

using plat::Gbk;

namespace {

std::string Slot(const char* key, int i) { return key + plat::FormatInt(i); }

// A list's count, read the way the file's own "%d" numbers are read, within 0..limit.
int CappedCount(const CListFile& list, int limit) {
    int n = plat::ParseInt(list.GetValue("count"));
    if (n > limit) n = limit;
    return n < 0 ? 0 : n;
}

}  // namespace

void CMainDlg::RunStartupLoad() {
    // Set first, so nothing that runs an event loop during the sequence can start it a second time.
    m_startupDone = 1;

    ShowStrip();
    SetProgress(Gbk("正在读取资料库的信息......"));
    if (!ReadLibraryList()) {
        FailAndClose(Gbk("读取资料库信息时出现错误!!"), Gbk("读取资料库信息时出错: "));
        return;
    }
    // With no library registered the window starts empty; the library manager can create one.
    if (m_nCurLib >= 0 && !LoadLibraryStages()) return;

    SetProgress(Gbk("正在扫描已有的风格信息文件......"));
    if (!ScanStyles()) {
        FailAndClose(Gbk("扫描已有的风格信息文件出现错误!!"), Gbk("扫描已有的风格信息文件现错误:"));
        return;
    }
    m_msg->hide();
}

bool CMainDlg::LoadLibraryStages() {
    // The path comes from the registry table rather than back from field 1002, so bytes that do not
    // survive a trip through the widget's text are not lost.
    m_libRoot = m_libs.entries[m_nCurLib].path + "\\";
    SetProgress(Gbk("正在扫描资料库目录......"));
    if (!ScanLibrary()) {
        FailAndClose(Gbk("扫描资料库中的文件出现错误!!"), Gbk("扫描资料库中的文件出现错误:"));
        return false;
    }
    m_libTree->MakeCurrent(m_libTree->First());
    return ReadNameLists();
}

// Start-up and a library switch read the class and source lists alike; either failure ends the program.
bool CMainDlg::ReadNameLists() {
    SetProgress(Gbk("正在读取类别信息......"));
    if (!ReadClassList()) {
        FailAndClose(Gbk("读取类别信息出现错误!!"), Gbk("读取类别信息出现错误:"));
        return false;
    }
    SetProgress(Gbk("正在读取资料来源信息......"));
    if (!ReadSourceList()) {
        FailAndClose(Gbk("读取资料来源信息出现错误!!"), Gbk("读取资料来源信息出现错误:"));
        return false;
    }
    return true;
}

void CMainDlg::FailAndClose(const std::string& failureText, const std::string& prefix) {
    m_msg->SetMessage(failureText);
    plat::Svc().Sleep(1000);
    m_msg->hide();
    plat::Svc().MessageBox(this, prefix + m_lastError, Gbk("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
    // The program ends here, and the form's edits would end with it. The card is written where the form
    // says; nothing is rescanned, since the window is going.
    m_ending = true;
    if (m_form.HasEdits()) {
        const int answer =
            plat::Svc().MessageBox(this, Gbk("程序将要关闭，当前资料卡的修改还没有保存。\n你要先保存它吗?"), Gbk("选择"),
                                   plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION);
        if (answer == plat::IDCANCEL || (answer == plat::IDYES && !SaveForm())) {
            // The edits are not on disk yet. The window stays, with only the form and its file controls,
            // so that the card can be saved under another name (浏览) or its text copied; the program ends
            // after a save or when the window is closed.
            for (int id : {1000, 1001, 1003, 1004, 1005, 1007, 1012, 1014, 1016, 1019, 1020, 1022, 1023})
                if (QWidget* control = Item(id)) control->setEnabled(false);
            return;
        }
    }
    EndDialog(plat::IDOK);
}

int CMainDlg::ReadLibraryList() {
    LibraryRegistry reg;
    if (!ReadRegistry(reg, m_lastError)) return 0;
    m_libs = reg;
    for (int i = 0; i < m_libs.count; ++i) ui::AddBound(m_cbLibrary, plat::ToQ(m_libs.entries[i].name), i);
    if (m_libs.count <= 0) {
        m_nCurLib = -1;
        m_cbLibrary->setCurrentIndex(-1);
        m_edPath->clear();
        return 1;
    }
    m_nCurLib = std::min(m_libs.use, m_libs.count - 1);
    if (m_nCurLib < 0) m_nCurLib = 0;
    ui::SelectEntry(m_cbLibrary, m_nCurLib);
    m_edPath->setText(plat::ToQ(m_libs.entries[m_nCurLib].path));
    return 1;
}

int CMainDlg::ReadClassList() {
    const std::string file = m_libRoot + layout::kClassList;
    CListFile list;
    if (list.Load(file) != 1) {
        m_lastError = CListFile::LoadErrorText(file);
        return 0;
    }
    m_nClasses = CappedCount(list, kMaxListSlots);
    for (int i = 0; i < m_nClasses; ++i) {
        m_classes[i].name = list.SlotValue(Slot("name", i));
        m_classes[i].path = list.SlotValue(Slot("path", i));
        ui::AddSorted(m_cbClass, plat::ToQ(m_classes[i].name), i);
    }
    list.Close();
    return 1;
}

int CMainDlg::ReadSourceList() {
    const std::string file = m_libRoot + layout::kSourceList;
    CListFile list;
    if (list.Load(file) != 1) {
        m_lastError = CListFile::LoadErrorText(file);
        return 0;
    }
    m_nSources = CappedCount(list, kMaxListSlots);
    for (int i = 0; i < m_nSources; ++i) {
        m_sources[i] = list.SlotValue(Slot("name", i));
        ui::AddSorted(m_cbSource, plat::ToQ(m_sources[i]), i);
    }
    list.Close();
    return 1;
}

void CMainDlg::OnLibrarySelChange() {
    int lib = ui::SelectedEntry(m_cbLibrary);
    if (lib < 0 || lib >= m_libs.count) return;  // text typed into the box names no library
    switch (ConfirmLeaveForm()) {
        case Leave::Stay:
            ui::SelectEntry(m_cbLibrary, m_nCurLib);  // the box keeps naming the library shown
            return;
        case Leave::Discard: m_form.Clear(); break;
        case Leave::Go: break;
    }
    SwitchToLibrary(lib);
}

void CMainDlg::OnRescan() {
    if (!HasLibrary()) return;
    // A rescan builds new entries: the current one is found again by its card's path.
    const DatumNode* current = m_libTree->Current();
    const std::string card = current && current->IsCard() ? current->path : std::string();
    if (!SwitchToLibrary(m_nCurLib)) return;
    if (const DatumNode* again = m_libTree->FindByPath(card)) m_libTree->MakeCurrent(again);
}

bool CMainDlg::SwitchToLibrary(int lib) {
    m_nCurLib = lib;
    ui::SelectEntry(m_cbLibrary, lib);
    m_edPath->setText(plat::ToQ(m_libs.entries[lib].path));
    m_libRoot = m_libs.entries[lib].path + "\\";
    SetProgress(Gbk("正在重新扫描文件夹....."));
    if (!RescanLibrary()) return false;
    m_libTree->MakeCurrent(m_libTree->First());
    // The boxes must offer this library's classes: a class of another library names a folder that is not
    // here, and the save would fail.
    ShowStrip();
    if (!ReloadNameLists()) return false;
    m_msg->hide();
    return true;
}

bool CMainDlg::ReloadNameLists() {
    const QString klass = m_cbClass->currentText(), source = m_cbSource->currentText();
    ui::ClearEntries(m_cbClass);
    ui::ClearEntries(m_cbSource);
    if (!ReadNameLists()) return false;
    CardForm::ShowText(m_cbClass, klass);
    CardForm::ShowText(m_cbSource, source);
    return true;
}

void CMainDlg::OnManageLibraries() {
    {
        CDatumLibMang dlg(nullptr);
        if (dlg.DoModal() != plat::IDOK && !dlg.RegistryWritten()) return;
    }
    m_cbLibrary->clear();
    SetProgress(Gbk("重新读取资料库的信息......"));
    ShowStrip();
    if (!ReadLibraryList()) {
        FailAndClose(Gbk("读取资料库信息时出现错误!!"), Gbk("读取资料库信息时出错: "));
        return;
    }
    // A window that started without any library loads the first one registered here, as a start-up
    // would have.
    if (!HasLibrary() && m_nCurLib >= 0) {
        m_libTree->Free();
        ui::ClearEntries(m_cbClass);
        ui::ClearEntries(m_cbSource);
        if (!LoadLibraryStages()) return;
    } else if (HasLibrary()) {
        // The box and the path field go on naming the library the tree shows, whichever is the default. A
        // library taken out of the registry is left for the default one; the form keeps what it holds.
        int shown = -1;
        for (int i = 0; i < m_libs.count && shown < 0; ++i)
            if (m_libs.entries[i].path + "\\" == m_libRoot) shown = i;
        if (shown >= 0) {
            m_nCurLib = shown;
            ui::SelectEntry(m_cbLibrary, shown);
            m_edPath->setText(plat::ToQ(m_libs.entries[shown].path));
        } else if (m_nCurLib >= 0) {
            if (!SwitchToLibrary(m_nCurLib)) return;
        } else {
            m_cbLibrary->setCurrentIndex(-1);
        }
    }
    m_msg->hide();
}

void CMainDlg::OnManageClasses() {
    if (!HasLibrary()) return;
    {
        CClassMang dlg(m_libRoot, m_libRoot + layout::kClassList, this);
        if (dlg.DoModal() != plat::IDOK) return;
    }
    const QString kept = m_cbClass->currentText();  // the card's class stays the card's
    ui::ClearEntries(m_cbClass);
    SetProgress(Gbk("重新读取类别的信息......"));
    ShowStrip();
    if (!ReadClassList()) {
        FailAndClose(Gbk("读取类别信息时出现错误!!"), Gbk("读取类别信息时出错: "));
        return;
    }
    CardForm::ShowText(m_cbClass, kept);
    m_msg->hide();
}

void CMainDlg::OnManageSources() {
    if (!HasLibrary()) return;
    {
        CSourceMang dlg(m_libRoot + layout::kSourceList, this);
        if (dlg.DoModal() != plat::IDOK) return;
    }
    const QString kept = m_cbSource->currentText();
    ui::ClearEntries(m_cbSource);
    SetProgress(Gbk("重新读取来源的信息......"));
    ShowStrip();
    if (!ReadSourceList()) {
        FailAndClose(Gbk("读取来源信息时出现错误!!"), Gbk("读取来源时出错: "));
        return;
    }
    CardForm::ShowText(m_cbSource, kept);
    m_msg->hide();
}

void CMainDlg::OnManageStyles() {
    {
        CStyleMang dlg(nullptr);
        dlg.DoModal();  // the folder changes at once, so the list is read again however it closed
    }
    const QString kept = m_cbStyle->currentText();
    ui::ClearEntries(m_cbStyle);
    SetProgress(Gbk("重新读取风格的信息......"));
    ShowStrip();
    if (!ScanStyles()) {
        FailAndClose(Gbk("读取风格信息时出现错误!!"), Gbk("读取风格信息时出错: "));
        return;
    }
    CardForm::ShowText(m_cbStyle, kept);
    m_msg->hide();
}
