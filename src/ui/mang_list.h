// What the manager dialogs share: their error box, the list files of the class and source managers, their
// list view set-up, the selection mark, and taking text from an edit.
#pragma once

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <initializer_list>
#include <string>
#include <string_view>
#include <cerrno>
#include <utility>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"
#include "platform/text.h"
#include "store/list_file.h"

namespace mang {

inline void ShowError(QWidget* owner, const std::string& text) {
    plat::Svc().MessageBox(owner, text, std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
}

// The class or source list file, loaded for reading or for a rewrite; `error` names it when it is missing.
inline bool OpenListFile(CListFile& file, const std::string& path, std::string& error) {
    if (file.Load(path) == 1) return true;
    error = CListFile::LoadErrorText(path);
    return false;
}

// Writes the list file back. A rewrite that failed left the old file in place; saying so keeps the user
// from losing the changes unseen.
inline bool CommitListFile(CListFile& file, const std::string& path, std::string& error) {
    if (file.Save() != 1) {
        error = plat::Gbk("不能写入文件 ") + path + plat::Gbk("：") + plat::SystemReason(errno);
        return false;
    }
    file.Close();
    return true;
}

// One row per name, in order: nameOf(i) gives the GBK name of row i.
template <class NameOf>
void FillNames(QTreeWidget* list, int count, NameOf nameOf) {
    if (!list) return;
    list->clear();
    for (int i = 0; i < count; ++i) (new QTreeWidgetItem(list))->setText(0, plat::ToQ(nameOf(i)));
}

struct Column {
    const char* title;  // UTF-8
    int width;          // pixels
};

// Columns, header and single selection of a manager's list view (the dialog base gives it its colours).
inline void SetupList(QTreeWidget* list, std::initializer_list<Column> columns, bool header) {
    if (!list) return;
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList titles;
    for (const Column& c : columns) titles << QString::fromUtf8(c.title);
    list->setHeaderLabels(titles);
    int i = 0;
    for (const Column& c : columns) list->setColumnWidth(i++, c.width);
    list->setHeaderHidden(!header);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
}

// The row last selected, or -1. A row that merely holds keyboard focus (as Qt gives the first row when the
// list is tabbed into) is not a choice the user made, so it does not count.
inline int SelectionMark(const QTreeWidget* list) {
    if (!list) return -1;
    const QList<QTreeWidgetItem*> sel = list->selectedItems();
    return sel.isEmpty() ? -1 : list->indexOfTopLevelItem(sel.first());
}

inline void SetSelectionMark(QTreeWidget* list, int row) {
    if (!list) return;
    if (QTreeWidgetItem* item = list->topLevelItem(row)) list->setCurrentItem(item);
}

// Up (step -1) and Down (step +1): swaps the marked entry with its neighbour, refills the list and leaves
// the mark on the moved row, so that pressing the button again moves the same entry further.
template <class Entries, class Refill>
void MoveMarked(QTreeWidget* list, Entries& entries, int count, int step, Refill refill) {
    const int i = SelectionMark(list);
    const int j = i + step;
    if (i < 0 || i >= count || j < 0 || j >= count) return;
    std::swap(entries[i], entries[j]);
    refill();
    SetSelectionMark(list, j);
}

// The edit's text as GBK, as the list files hold it. Text that GBK cannot hold is refused with a message rather than saved with '?' in
// place of the characters, and so is a control character; false then.
inline bool TakeEditText(QWidget* owner, const QLineEdit* edit, std::string& gbk) {
    if (!edit) {
        gbk.clear();
        return true;
    }
    // A line break or another control character would add or cut lines of the list file it is written to.
    const char* refused = !plat::FromQ(edit->text(), gbk) || !plat::IsGbk(gbk)
                              ? "输入的文字中有无法保存的字符，请修改后再试!"
                          : plat::HasControlChar(gbk) ? "输入的文字中有换行符或其它控制字符，请修改后再试!"
                                                      : nullptr;
    if (!refused) return true;
    plat::Svc().MessageBox(owner, plat::Gbk(refused), std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
    return false;
}

// Position of the last '\' or '/' that is a character of its own (not the trail byte of a two-byte
// character), or npos.
inline std::size_t LastSeparator(std::string_view s) {
    std::size_t last = plat::npos;
    for (std::size_t i = 0; i < s.size(); i += plat::CharLen(s, i)) {
        if (s[i] == '\\' || s[i] == '/') last = i;
    }
    return last;
}

// True when the last character of s is a separator.
inline bool EndsWithSeparator(std::string_view s) { return !s.empty() && LastSeparator(s) == s.size() - 1; }

}  // namespace mang
