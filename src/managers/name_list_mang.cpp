#include "managers/name_list_mang.h"

#include <QTreeWidget>

#include "ui/mang_list.h"
#include "platform/services.h"
#include "ui/palette.h"

namespace {
enum : int { kAdd = 3, kDelete = 4, kUp = 7, kDown = 8 };
}

CNameListMang::CNameListMang(const std::string& listPath, QWidget* parent)
    : CDialog(133, parent), m_strListPath(listPath) {
    OnClicked(kAdd, [this] { OnAdd(); });
    OnClicked(kDelete, [this] { OnDelete(); });
    OnClicked(kUp, [this] { OnMoveUp(); });
    OnClicked(kDown, [this] { OnMoveDown(); });
}

bool CNameListMang::OnInitDialog() {
    SetBackground(ui::kDialogBackground);
    mang::SetupList(ItemAs<QTreeWidget>(kList), {{"", 150}}, false);
    if (!LoadList()) {
        mang::ShowError(this, m_strError);
        EndDialog(plat::IDCANCEL);
        return true;
    }
    FillList();
    return true;
}

void CNameListMang::OnOK() {
    if (!SaveList()) {
        mang::ShowError(this, m_strError);
        return;
    }
    EndDialog(plat::IDOK);
}
