// The program's dialog resources. Control order is the tab order; positions are dialog units.
#include <cstdio>
#include <cstdlib>
#include <map>

#include "res/dialog_template.h"

namespace res {
namespace {

using K = Kind;
constexpr unsigned kNone = 0;

// Main window. No default button: Enter in a field must not end the program and drop unsaved edits.
DialogTemplate MainWindow() {
    return {102, "Korvane 资料管理器", 321, 282, "MS Shell Dlg", 8, true,
            {
                {1, K::Button, "退     出", 257, 23, 59, 13, kNone},
                {-1, K::Static, "资料库:", 5, 7, 28, 9, kNone},
                {1000, K::Combo, "", 35, 5, 66, 74, kNone},
                {1001, K::Button, "管  理", 107, 5, 40, 13, kNone},
                {-1, K::Static, "路   径:", 5, 25, 28, 9, kNone},
                {1002, K::EditReadOnly, "", 35, 23, 112, 13, kNone},
                {1003, K::Button, "索 引 管 理", 184, 5, 59, 13, kNone},
                {1004, K::Button, "书 签 管 理", 257, 5, 59, 13, kNone},
                {1022, K::Button, "在IE中打开", 184, 23, 59, 13, kNone},
                {1023, K::Button, "查  找", 150, 23, 31, 13, kNone},
                {-1, K::HLine, "", 5, 40, 311, 1, kGrowX},
                {1005, K::Tree, "", 5, 45, 117, 234, kGrowY},
                {1006, K::Button, "保  存", 125, 45, 35, 14, kNone},
                {1007, K::Button, "加入书签", 162, 45, 41, 14, kNone},
                {1019, K::Button, "上一则", 204, 45, 32, 14, kNone},
                {1020, K::Button, "下一则", 238, 45, 30, 14, kNone},
                {1021, K::Button, "在IE中查看", 270, 45, 46, 14, kNone},
                {-1, K::Static, "标   题:", 128, 65, 30, 9, kNone},
                {1009, K::Edit, "", 156, 64, 160, 12, kGrowX},
                {-1, K::Static, "关键字:", 127, 80, 30, 9, kNone},
                {1017, K::Edit, "", 156, 79, 160, 12, kGrowX},
                {-1, K::Static, "类   别:", 128, 97, 27, 10, kNone},
                {1011, K::ComboSorted, "", 155, 94, 113, 97, kGrowX},
                {1012, K::Button, "管    理", 275, 94, 41, 13, kMoveX},
                {-1, K::Static, "来   源:", 127, 112, 25, 9, kNone},
                {1013, K::ComboSorted, "", 155, 110, 113, 97, kGrowX},
                {1014, K::Button, "管    理", 275, 110, 41, 13, kMoveX},
                {-1, K::Static, "风   格:", 127, 128, 25, 9, kNone},
                {1015, K::ComboSorted, "", 155, 126, 113, 97, kGrowX},
                {1016, K::Button, "管    理", 275, 126, 41, 13, kMoveX},
                {-1, K::Static, "文件名:", 126, 144, 27, 10, kNone},
                {1008, K::Edit, "", 155, 142, 114, 12, kGrowX},
                {1010, K::Button, "浏    览", 274, 142, 42, 12, kMoveX},
                {1018, K::EditMultiline, "", 129, 160, 187, 119, kGrowX | kGrowY},
            },
            true,
            0,
            203};  // the body keeps four lines
}

// Progress strip: a borderless popup with one centred line of text.
DialogTemplate ProgressStrip() {
    return {129, "", 165, 14, "Verdana", 11, false,
            {
                {1019, K::StaticCentred, "", 6, 3, 150, 9, kNone},
            },
            false};
}

DialogTemplate LibraryManager() {
    return {130, "Datum Lib", 230, 194, "MS Shell Dlg", 8, false,
            {
                {1020, K::ListReport, "", 3, 3, 168, 170, kGrowX | kGrowY},
                {3, K::Button, "新建", 175, 3, 50, 14, kMoveX},
                {9, K::Button, "添加", 175, 20, 50, 14, kMoveX},
                {6, K::Button, "编辑", 175, 37, 50, 14, kMoveX},
                {4, K::Button, "删除", 175, 54, 50, 14, kMoveX},
                {7, K::Button, "备份", 175, 71, 50, 14, kDisabled | kMoveX},
                {8, K::Button, "恢复", 175, 88, 50, 14, kDisabled | kMoveX},
                {5, K::Button, "设为默认项", 175, 105, 50, 14, kMoveX},
                {1, K::Button, "确定", 175, 156, 50, 14, kDefault | kMoveX | kMoveY},
                {2, K::Button, "取消", 175, 177, 50, 14, kMoveX | kMoveY},
                // Export and import: a row under the list, where a label of Latin letters has room; it keeps to the
                // right edge as the other buttons do.
                {12, K::Button, "导出网站", 3, 177, 50, 14, kDisabled | kMoveX | kMoveY},
                {13, K::Button, "导出 Markdown", 56, 177, 66, 14, kDisabled | kMoveX | kMoveY},
                {14, K::Button, "导入", 125, 177, 46, 14, kDisabled | kMoveX | kMoveY},
            },
            false};
}

DialogTemplate LibraryForm() {
    return {131, "Datum Lib Info", 186, 81, "MS Shell Dlg", 8, false,
            {
                {-1, K::Static, "资料库名称:", 7, 8, 49, 10, kNone},
                {1021, K::Edit, "", 52, 6, 127, 12, kNone},
                {-1, K::Static, "资料库路径:", 7, 29, 43, 11, kNone},
                {1022, K::Edit, "", 51, 27, 127, 12, kNone},
                {1023, K::Button, "浏  览", 133, 45, 44, 12, kNone},
                {1, K::Button, "确定", 25, 64, 50, 14, kDefault},
                {2, K::Button, "取消", 99, 64, 50, 14, kNone},
            }};
}

DialogTemplate IndexBookmarkManager() {
    return {132, "INDEX/BOOKMARK MANG", 276, 207, "MS Shell Dlg", 8, false,
            {
                {1020, K::ListReport, "", 3, 7, 217, 193, kGrowX | kGrowY},
                {3, K::Button, "添加", 226, 7, 45, 14, kMoveX},
                {4, K::Button, "删除", 226, 29, 45, 14, kMoveX},
                {5, K::Button, "编辑", 226, 50, 45, 14, kMoveX},
                {6, K::Button, "打开", 226, 72, 45, 14, kMoveX},
                {7, K::Button, "上移", 226, 94, 45, 14, kMoveX},
                {8, K::Button, "下移", 226, 115, 45, 14, kMoveX},
                {1, K::Button, "确定", 226, 165, 45, 14, kDefault | kMoveX | kMoveY},
                {2, K::Button, "取消", 226, 186, 45, 14, kMoveX | kMoveY},
            },
            false};
}

DialogTemplate ClassSourceManager() {
    return {133, "CLASS/SOURCE MANG", 161, 156, "MS Shell Dlg", 8, false,
            {
                {1021, K::Edit, "", 4, 8, 102, 12, kGrowX},
                {1020, K::ListReportNoHeader, "", 3, 25, 103, 127, kGrowX | kGrowY},
                {3, K::Button, "添加", 111, 7, 45, 14, kMoveX},
                {4, K::Button, "删除", 111, 29, 45, 14, kMoveX},
                {7, K::Button, "上移", 111, 50, 45, 14, kMoveX},
                {8, K::Button, "下移", 111, 71, 45, 14, kMoveX},
                {1, K::Button, "确定", 111, 118, 45, 14, kDefault | kMoveX | kMoveY},
                {2, K::Button, "取消", 111, 138, 45, 14, kMoveX | kMoveY},
            }};
}

DialogTemplate StyleManager() {
    return {134, "STYLE MANG", 161, 156, "MS Shell Dlg", 8, false,
            {
                {1020, K::ListReportNoHeader, "", 3, 7, 103, 145, kGrowX | kGrowY},
                {3, K::Button, "添加", 111, 7, 45, 14, kMoveX},
                {4, K::Button, "删除", 111, 29, 45, 14, kMoveX},
                {1, K::Button, "退出", 111, 138, 45, 14, kDefault | kMoveX | kMoveY},
            },
            false};
}

// Search: non-modal; typing runs the query, Enter in the list opens the selected card.
DialogTemplate Search() {
    return {135, "查找资料卡", 320, 200, "MS Shell Dlg", 8, false,
            {
                {-1, K::Static, "查找内容:", 5, 7, 36, 9, kNone},
                {1030, K::Edit, "", 42, 5, 218, 12, kGrowX},
                {1031, K::Button, "查  找", 265, 4, 50, 14, kMoveX},
                {1032, K::Static, "", 5, 22, 310, 9, kGrowX},
                {1033, K::ListReport, "", 5, 33, 310, 145, kGrowX | kGrowY},
                {1034, K::Button, "打  开", 209, 182, 50, 14, kMoveX | kMoveY},
                {2, K::Button, "关  闭", 265, 182, 50, 14, kMoveX | kMoveY},
            }};
}

// A card's history: its versions newest first, what the selected one holds or how it differs from the card now.
DialogTemplate History() {
    return {136, "资料卡的历史", 460, 280, "MS Shell Dlg", 8, false,
            {
                {1040, K::ListReport, "", 5, 5, 160, 250, kNone},
                {1041, K::Static, "", 170, 5, 285, 9, kNone},
                {1042, K::TextView, "", 170, 16, 285, 239, kNone},
                {1043, K::Button, "此版本的内容", 5, 260, 60, 14, kNone},
                {1044, K::Button, "与现在比较", 70, 260, 60, 14, kNone},
                {1045, K::Button, "恢复此版本", 170, 260, 60, 14, kNone},
                {1046, K::Button, "已删除的资料卡", 235, 260, 70, 14, kNone},
                {2, K::Button, "关  闭", 405, 260, 50, 14, kNone},
            }};
}

const std::map<int, DialogTemplate>& All() {
    static const std::map<int, DialogTemplate> all = [] {
        std::map<int, DialogTemplate> m;
        for (DialogTemplate t : {MainWindow(), ProgressStrip(), LibraryManager(), LibraryForm(),
                                 IndexBookmarkManager(), ClassSourceManager(), StyleManager(), Search(), History()})
            m.emplace(t.id, std::move(t));
        return m;
    }();
    return all;
}

}  // namespace

const DialogTemplate& Dialog(int id) {
    const auto& all = All();
    auto it = all.find(id);
    if (it == all.end()) {
        // A dialog asked for a resource the program does not have: a programming error, never user input.
        std::fprintf(stderr, "no dialog template %d\n", id);
        std::abort();
    }
    return it->second;
}

const std::vector<int>& DialogIds() {
    static const std::vector<int> ids = [] {
        std::vector<int> v;
        for (const auto& [id, t] : All()) v.push_back(id);
        return v;
    }();
    return ids;
}

}  // namespace res
