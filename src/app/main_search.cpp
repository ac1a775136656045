// The search window of the main window, and opening one of its results.
#include <QScreen>
#include <algorithm>

#include "app/main_dlg.h"
#include "app/search_dlg.h"
#include "platform/codec.h"
#include "platform/services.h"
#include "search/indexer.h"

using plat::Gbk;

void CMainDlg::OnSearch() {
    if (!m_searchDlg) {
        m_searchDlg =
            new CSearchDlg(*m_searchIndex, [this](const std::string& path) { return OpenSearchResult(path); }, this);
        // Beside the main window rather than over its form; on a narrow screen it moves in until it is seen
        // whole, over the main window if it must.
        const QRect screen = this->screen()->availableGeometry();
        const QPoint beside = frameGeometry().topRight() + QPoint(8, 0);
        const QSize whole = m_searchDlg->size() + frameGeometry().size() - size();  // with this window's frame
        const int right = std::max(screen.left(), screen.x() + screen.width() - whole.width());
        const int bottom = std::max(screen.top(), screen.y() + screen.height() - whole.height());
        m_searchDlg->move(std::clamp(beside.x(), screen.left(), right), std::clamp(beside.y(), screen.top(), bottom));
        RestoreSearchPlace();  // where the user left it last time, if anywhere
    }
    m_searchDlg->show();
    m_searchDlg->raise();
    m_searchDlg->activateWindow();
}

bool CMainDlg::OpenSearchResult(const std::string& path) {
    if (!m_libTree->FindByPath(path)) {
        // Made outside the program since the tree was built: the tree has no entry to select for it.
        plat::Svc().MessageBox(this,
                               Gbk("资料卡 ") + path + Gbk(" 不在当前的资料树中，请重新选择资料库以刷新资料树。"),
                               Gbk("INFOMATION"), plat::MB_OK | plat::MB_ICONINFORMATION);
        return false;
    }
    return OpenCardIntoForm(path) == 1;
}
