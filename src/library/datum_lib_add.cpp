// 添加 in the library manager: a folder that already holds a library (a second machine's copy that a sync
// tool filled, a library moved by hand) joins the list as it is. Nothing in the folder is written or copied.
#include <QTreeWidget>

#include "library/datum_lib_mang.h"
#include "library/registry_add.h"
#include "platform/codec.h"
#include "platform/services.h"

using plat::Gbk;

void CDatumLibMang::OnAdd() {
    if (m_reg.count >= kMaxLibraries) {
        plat::Svc().MessageBox(this, Gbk("资料库列表已满(最多 50 个)，不能再添加资料库!"), std::string("ERROR"),
                               plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    CDatumLibInfo info(this);
    info.m_bNameFromFolder = true;
    if (info.DoModal() != plat::IDOK) return;
    const std::string path = info.m_strPath;  // ends with a separator
    // The rows of this dialog, not the file: a library added or removed here counts before OK.
    const libadd::Finding f = libadd::Examine(m_reg, path);
    switch (f.verdict) {
        case libadd::Verdict::Library: break;
        case libadd::Verdict::Registered:
            plat::Svc().MessageBox(this, libadd::Explain(f, path), std::string("INFOMATION"),
                                   plat::MB_OK | plat::MB_ICONINFORMATION);
            return;
        case libadd::Verdict::NotLibrary:
        case libadd::Verdict::Missing:
            if (plat::Svc().MessageBox(this, libadd::Explain(f, path) + Gbk("\n要在那里新建一个资料库吗?"),
                                       std::string("QUESTION"), plat::MB_YESNO | plat::MB_ICONQUESTION) == plat::IDYES)
                OnNew(path);
            return;
        case libadd::Verdict::Unreadable:
            plat::Svc().MessageBox(this, libadd::Explain(f, path), std::string("ERROR"),
                                   plat::MB_OK | plat::MB_ICONERROR);
            return;
    }
    m_reg.entries[m_reg.count] = {info.m_strName.empty() ? f.name : info.m_strName, path.substr(0, path.size() - 1)};
    ++m_reg.count;
    FillList();
    if (auto* list = ItemAs<QTreeWidget>(1020)) list->setCurrentItem(list->topLevelItem(m_reg.count - 1));
}
