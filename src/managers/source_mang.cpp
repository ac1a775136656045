// The source manager: bare names, nothing on disk but the list file, which only OK rewrites.
#include "managers/source_mang.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "ui/mang_list.h"
#include "platform/codec.h"
#include "platform/services.h"
#include "platform/text.h"
#include "store/list_file.h"

using plat::Gbk;

namespace {

std::string NameKey(int i) { return "name" + plat::FormatInt(i); }

}  // namespace

CSourceMang::CSourceMang(const std::string& listPath, QWidget* parent) : CNameListMang(listPath, parent) {}

bool CSourceMang::LoadList() {
    CListFile file;
    if (!mang::OpenListFile(file, m_strListPath, m_strError)) return false;
    // A missing, non-numeric or negative count reads as no source.
    m_nCount = std::clamp(plat::ParseInt(file.GetValue("count")), 0, kMaxListSlots);
    for (int i = 0; i < kMaxListSlots; ++i)
        m_sources[i] = i < m_nCount ? file.SlotValue(NameKey(i)) : std::string();
    file.Close();
    return true;
}

bool CSourceMang::SaveList() {
    CListFile file;
    if (!mang::OpenListFile(file, m_strListPath, m_strError)) return false;
    file.Put("count", plat::FormatInt(m_nCount));
    for (int i = 0; i < m_nCount; ++i) file.Put(NameKey(i), m_sources[i]);
    return mang::CommitListFile(file, m_strListPath, m_strError);
}

void CSourceMang::FillList() {
    mang::FillNames(ItemAs<QTreeWidget>(kList), m_nCount,
                    [this](int i) -> const std::string& { return m_sources[i]; });
}

void CSourceMang::OnAdd() {
    std::string name;
    if (!mang::TakeEditText(this, ItemAs<QLineEdit>(kEdit), name)) return;
    if (name.empty()) return;
    for (int i = 0; i < m_nCount; ++i) {
        if (m_sources[i] == name) return;
    }
    if (m_nCount >= kMaxListSlots) {
        mang::ShowError(this, Gbk("来源列表已满(最多 100 个)，不能再添加来源!"));
        return;
    }
    m_sources[m_nCount++] = name;
    FillList();
}

void CSourceMang::OnDelete() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_nCount) return;
    for (int k = i; k + 1 < m_nCount; ++k) m_sources[k] = std::move(m_sources[k + 1]);
    m_sources[m_nCount - 1].clear();
    --m_nCount;
    FillList();
}

void CSourceMang::OnMoveUp() {
    mang::MoveMarked(ItemAs<QTreeWidget>(kList), m_sources, m_nCount, -1,
                     [this] { FillList(); });
}

void CSourceMang::OnMoveDown() {
    mang::MoveMarked(ItemAs<QTreeWidget>(kList), m_sources, m_nCount, +1,
                     [this] { FillList(); });
}
