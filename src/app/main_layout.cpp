// How the main window follows its size: at the template size every control is at its template place; made
// larger, the tree grows in height, the form's fields in width and the body takes the rest. The bar between
// tree and form moves that boundary; where the user left it is kept with the window's place between runs.
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>

#include "app/main_dlg.h"
#include "app/search_dlg.h"
#include "ui/body_edit.h"
#include "ui/split_bar.h"
#include "ui/window_fit.h"
#include "ui/window_settings.h"

namespace {

// The narrowest the tree and the form's fields may become, in dialog units.
constexpr int kLeastTree = 50, kLeastField = 40;

}  // namespace

void CMainDlg::SetUpLayout() {
    m_treeBase = m_tree->geometry();  // still the template place
    m_formLeft = Item(1006)->geometry().left();
    m_fieldRoom = 0;
    for (int id : {1008, 1009, 1011, 1013, 1015, 1017, 1018}) {
        const int room = Item(id)->width() - MapDialogRect(0, 0, kLeastField, 0).width();
        m_fieldRoom = m_fieldRoom ? std::min(m_fieldRoom, room) : room;
    }
    m_splitBar = new ui::SplitBar(this);
    m_splitBar->setAccessibleName(QString::fromUtf8("资料树与资料卡之间的分隔条"));
    // The tree and the body have no label of their own: a screen reader names them by what they hold.
    m_tree->setAccessibleName(QString::fromUtf8("资料树"));
    Item(1018)->setAccessibleName(QString::fromUtf8("正文"));
    connect(m_splitBar, &ui::SplitBar::DragStarted, this, [this] { m_splitAtDrag = Split(size()); });
    connect(m_splitBar, &ui::SplitBar::Dragged, this, [this](int dx) {
        m_split = m_splitAtDrag + dx;
        m_split = Split(size());  // held within reach, so that dragging back moves the bar at once
        LayOut();
    });
    // Kept at once: a choice made in a menu is not lost with a window that never closes normally.
    connect(m_edBody, &CBodyEdit::WrapToggled, this, [](bool on) {
        ui::WindowSettings kept;
        kept.SetNumber("main/wrap", on ? 1 : 0);
        kept.Save();
    });
}

int CMainDlg::Split(QSize now) const {
    const int least = -(m_treeBase.width() - MapDialogRect(0, 0, kLeastTree, 0).width());
    const int most = now.width() - TemplateSize().width() + m_fieldRoom;
    return std::clamp(m_split, least, std::max(least, most));
}

QRect CMainDlg::PlaceControl(const QRect& base, unsigned flags, QSize grown) const {
    QRect r = CDialog::PlaceControl(base, flags, grown);
    const int split = Split(TemplateSize() + grown);
    if (base == m_treeBase) {
        r.setWidth(r.width() + split);
    } else if (base.left() >= m_formLeft && base.top() >= m_treeBase.top() && !(flags & res::kMoveX)) {
        // The form: what sits right of the tree moves with the boundary; its fields give up the width.
        r.translate(split, 0);
        if (flags & res::kGrowX) r.setWidth(r.width() - split);
    }
    return r;
}

void CMainDlg::LayOut() {
    CDialog::LayOut();
    if (!m_splitBar) return;
    const QRect tree = m_tree->geometry();
    const int right = m_formLeft + Split(size());
    m_splitBar->setGeometry(tree.right() + 1, tree.top(), right - tree.right() - 1, tree.height());
}

void CMainDlg::RestorePlace() {
    const ui::WindowSettings kept;
    // The template size can be more than a small screen holds, as at twice the scale on 1920 x 1080.
    kept.Restore(this, "main");
    ui::FitOnScreen(this);
    m_split = kept.Number("main/split", 0);
    m_edBody->SetWrap(kept.Number("main/wrap", 1) != 0);
}

void CMainDlg::RestoreSearchPlace() { ui::WindowSettings().Restore(m_searchDlg, "search"); }

void CMainDlg::done(int result) {
    // Only a window the user saw has a place worth keeping (tests and benchmarks run it hidden).
    if (isVisible()) {
        ui::WindowSettings kept;
        kept.Remember(this, "main");
        kept.SetNumber("main/split", m_split);
        if (m_searchDlg) kept.Remember(m_searchDlg, "search");
        kept.Save();
    }
    CDialog::done(result);
}
