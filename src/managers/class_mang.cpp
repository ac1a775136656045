// The class manager. The list file is rewritten only by OK; class folders are created and removed at once.
#include "managers/class_mang.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <string_view>
#include <utility>

#include "ui/mang_list.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"
#include "platform/trash.h"
#include "platform/text.h"
#include "search/indexer.h"
#include "store/list_file.h"

using plat::Gbk;

namespace {

std::string Key(const char* prefix, int i) { return prefix + plat::FormatInt(i); }

const char kBadName[] = "类别名称不能以 \\ 开头或结尾，不能含有 / 或连续的 \\，也不能有 . 或 .. 这样的路径部分!";

// A class name becomes a folder path below the library root, so it must stay there: no absolute path, no
// ".." climbing out, no empty or "." part that would make one folder go by two names. '/' separates on this
// platform as well. Parts are split character by character, since a GBK trail byte can be 0x5C.
bool IsFolderBelowRoot(std::string_view name) {
    if (plat::Contains(name, "/")) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = plat::Find(name, "\\", start);
        const std::string_view part = name.substr(start, end == plat::npos ? plat::npos : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == plat::npos) return true;
        start = end + 1;
    }
}

}  // namespace

CClassMang::CClassMang(const std::string& libRoot, const std::string& listPath, QWidget* parent)
    : CNameListMang(listPath, parent), m_strLibRoot(libRoot) {}

bool CClassMang::LoadList() {
    CListFile file;
    if (!mang::OpenListFile(file, m_strListPath, m_strError)) return false;
    // A missing, non-numeric or negative count reads as no class.
    m_nCount = std::clamp(plat::ParseInt(file.GetValue("count")), 0, kMaxListSlots);
    for (int i = 0; i < kMaxListSlots; ++i) {
        if (i < m_nCount)
            m_classes[i] = {file.SlotValue(Key("name", i)), file.SlotValue(Key("path", i))};
        else
            m_classes[i] = {};
    }
    file.Close();
    return true;
}

bool CClassMang::SaveList() {
    CListFile file;
    if (!mang::OpenListFile(file, m_strListPath, m_strError)) return false;
    file.Put("count", plat::FormatInt(m_nCount));
    for (int i = 0; i < m_nCount; ++i) {
        file.Put(Key("name", i), m_classes[i].name);
        file.Put(Key("path", i), m_classes[i].path);
    }
    return mang::CommitListFile(file, m_strListPath, m_strError);
}

void CClassMang::FillList() {
    mang::FillNames(ItemAs<QTreeWidget>(kList), m_nCount,
                    [this](int i) -> const std::string& { return m_classes[i].name; });
}

void CClassMang::OnAdd() {
    std::string name;
    if (!mang::TakeEditText(this, ItemAs<QLineEdit>(kEdit), name)) return;
    if (name.empty()) return;
    if (!IsFolderBelowRoot(name)) {
        mang::ShowError(this, Gbk(kBadName));
        return;
    }
    for (int i = 0; i < m_nCount; ++i) {
        if (m_classes[i].name == name) return;
    }
    if (m_nCount >= kMaxListSlots) {
        mang::ShowError(this, Gbk("类别列表已满(最多 100 个)，不能再添加类别!"));
        return;
    }
    const std::string path = m_strLibRoot + name + "\\";
    // One level only: a nested class needs its parent's folder first. A folder already there (left by a
    // cancelled Add, or by deleting a class that still held cards) is taken as it is.
    if (!plat::CreateDir(path) && !plat::IsPlainDirectoryPath(path)) {
        plat::Svc().MessageBox(this, Gbk("创建目录 ") + m_strLibRoot + name + Gbk("\\  失败!"), std::nullopt,
                               plat::MB_OK);
        return;
    }
    m_classes[m_nCount] = {name, path};
    ++m_nCount;
    FillList();
}

void CClassMang::OnDelete() {
    const int i = mang::SelectionMark(ItemAs<QTreeWidget>(kList));
    if (i < 0 || i >= m_nCount) return;
    const std::string question = Gbk(
        "该类别删除后,其中所有的资料都将一起移到回收站,需要时可以从回收站恢复。\n                   你确认现在要删除吗?");
    if (plat::Svc().MessageBox(this, question, std::string("QUES"), plat::MB_YESNO | plat::MB_ICONQUESTION) !=
        plat::IDYES)
        return;

    // Only a real sub-class (this name, then '\', at the start of another name) holds this class's folder
    // open.
    const std::string prefix = m_classes[i].name + "\\";
    for (int k = 0; k < m_nCount; ++k) {
        if (k != i && m_classes[k].name.compare(0, prefix.size(), prefix) == 0) {
            mang::ShowError(this, Gbk("该类别还有子类，请先删除其子类!"));
            return;
        }
    }

    // The folder goes to the trash with its cards, as the question said; a folder that stays (kept by the
    // user, or it could not be moved) keeps its entry. One already gone leaves the list with nothing to ask.
    if (plat::PathExists(m_classes[i].path)) {
        const plat::Discarded done =
            plat::Discard(this, m_classes[i].path, Gbk("类别 ") + m_classes[i].name + Gbk(" 的目录和其中的资料卡"));
        if (done != plat::Discarded::Trashed && done != plat::Discarded::Deleted) return;
    }
    search::Indexer::TouchAll(m_classes[i].path);
    for (int k = i; k + 1 < m_nCount; ++k) m_classes[k] = std::move(m_classes[k + 1]);
    m_classes[m_nCount - 1] = {};
    --m_nCount;
    FillList();
}

void CClassMang::OnMoveUp() {
    mang::MoveMarked(ItemAs<QTreeWidget>(kList), m_classes, m_nCount, -1,
                     [this] { FillList(); });
}

void CClassMang::OnMoveDown() {
    mang::MoveMarked(ItemAs<QTreeWidget>(kList), m_classes, m_nCount, +1,
                     [this] { FillList(); });
}
