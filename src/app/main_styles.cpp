// The stylesheet list, and the buttons that hand a file to the desktop or pick a card's file name.
#include <QComboBox>
#include <QLineEdit>

#include "app/main_dlg.h"
#include "library/registry_styles.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/copy_tree.h"
#include "ui/card_view.h"
#include "ui/combo.h"

using plat::Gbk;

int CMainDlg::ScanStyles() {
    m_styles.clear();
    std::vector<StyleFile> found;
    if (!ListStyleFolder(m_progDir, found)) {
        m_lastError = Gbk("目录 xmlstyle\\datumstyle\\ 不存在");
        return 0;
    }
    for (StyleFile& f : found) {
        m_styles.push_back({std::move(f.name), std::move(f.path)});
        ui::AddSorted(m_cbStyle, plat::ToQ(m_styles.back().name), static_cast<int>(m_styles.size()) - 1);
    }
    return 1;
}

void CMainDlg::OnViewDatum() {
    // The file on disk is what is rendered: edits not yet saved do not show.
    // Copies: the render runs under a strip whose event loop goes on applying the library's changes, which
    // may free the tree entry or the style list's strings meanwhile.
    const std::string card = TheCard();
    if (card.empty()) return;
    const int style = ui::SelectedEntry(m_cbStyle);
    ui::ShowCard(this, card, style >= 0 ? m_styles[style].path : std::string());
}

void CMainDlg::OnOpenViewPage() {
    if (!HasLibrary()) return;
    const std::string page = m_libRoot + layout::kViewPage;
    if (!plat::Svc().ShellOpen(page, true)) Notify(plat::NotOpenedText(page));
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
