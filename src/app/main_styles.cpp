// The stylesheet list, and the buttons that hand a file to the desktop or pick a card's file name.
#include <QComboBox>
#include <QLineEdit>

#include "app/main_dlg.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/copy_tree.h"
#include "ui/combo.h"

using plat::Gbk;

int CMainDlg::ScanStyles() {
    m_styles.clear();
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(layout::kStyleDir, entries)) {
        m_lastError = Gbk("目录 xmlstyle\\datumstyle\\ 不存在");
        return 0;
    }
    for (const plat::DirEntry& e : entries) {
        bool ordinaryFolder = plat::IsPlainDirectory(e.attrs) && e.name.compare(0, 3, layout::kServicePrefix) != 0 &&
                              e.name.compare(0, 1, ".") != 0;
        if (ordinaryFolder) continue;
        std::size_t ext = plat::Find(e.name, ".xsl");
        if (ext == plat::npos) continue;
        m_styles.push_back({e.name.substr(0, ext), m_progDir + "\\xmlstyle\\datumstyle\\" + e.name});
        ui::AddSorted(m_cbStyle, plat::ToQ(m_styles.back().name), static_cast<int>(m_styles.size()) - 1);
    }
    return 1;
}

void CMainDlg::OnViewDatum() {
    // The file on disk is what the browser renders: edits not yet saved do not show.
    if (m_current && m_current->IsCard()) plat::Svc().ShellOpen(m_current->path, true);
}

void CMainDlg::OnOpenViewPage() {
    if (!HasLibrary()) return;
    plat::Svc().ShellOpen(m_libRoot + layout::kViewPage, true);
}

void CMainDlg::OnBrowseFileName() {
    std::string file;
    // Text GBK cannot hold only seeds the dialog here; the field keeps it unless a name is chosen.
    if (!plat::FromQ(m_edFile->text(), file)) file = plat::Utf8ToGbk(m_edFile->text().toStdString());
    std::size_t mark = plat::Find(file, layout::kCardMark);
    if (mark == plat::npos) return;
    const std::string tail = file.substr(mark);

    std::string chosen = AskFileName(this, false, tail, file, "All File(*.*)|*.*|");
    // The dialog may have moved the current directory; the program's relative paths depend on it.
    plat::SetCurrentDir(m_progDir);
    if (chosen.empty()) return;
    if (!plat::Contains(chosen, tail)) {
        chosen += tail;
    } else if (plat::IsFile(chosen)) {
        m_form.AgreeOverwrite(chosen);  // the save dialog asked already; Save need not ask again
    }
    m_edFile->setText(plat::ToQ(chosen));
}
