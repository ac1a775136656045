// Dialog templates as data: every control with its ID, kind, label and place in dialog units.
#pragma once

#include <vector>

namespace res {

enum class Kind {
    Button,
    Static,          // left-aligned text
    StaticCentred,   // centred text
    Edit,            // single line
    EditReadOnly,
    EditMultiline,   // Enter makes a new line; both scroll bars
    Combo,           // drop-down, editable, unsorted
    ComboSorted,     // drop-down, editable, sorted
    ListReport,      // list view, report view with a column header, single selection
    ListReportNoHeader,
    Tree,            // tree with buttons and lines, selection always shown
    HLine,           // separator line
    TextView,        // read-only rich text that scrolls (what a version holds, its differences marked)
};

enum : unsigned {
    kDisabled = 0x1,
    kDefault = 0x2,  // the default push button
    // How a control follows its dialog when the user makes it larger or smaller than the template: as much
    // wider or taller, or moved right or down by as much. A control without them keeps its place and size; a
    // dialog with none of them keeps its template size.
    kGrowX = 0x4,
    kGrowY = 0x8,
    kMoveX = 0x10,
    kMoveY = 0x20,
};

struct ControlTemplate {
    int id;             // -1 for statics without an ID
    Kind kind;
    const char* label;  // UTF-8
    int x, y, w, h;     // dialog units
    unsigned flags;
};

struct DialogTemplate {
    int id;
    const char* caption;  // UTF-8
    int w, h;             // dialog units
    const char* font;     // the template's font face, mapped to a CJK-capable face by the dialog base
    int pointSize;
    bool sizable;         // sizing frame (main window)
    std::vector<ControlTemplate> controls;
    bool systemMenu = true;  // false: title bar without system menu and close box
    int minW = 0, minH = 0;  // the smallest the user can make a resizable dialog; 0: its template size
};

// Templates 102 (main window), 129 (progress strip), 130 (library manager), 131 (library form),
// 132 (index and bookmark manager), 133 (class and source manager), 134 (style manager), 135 (search),
// 136 (a card's history).
const DialogTemplate& Dialog(int id);
// The IDs of every template, ascending.
const std::vector<int>& DialogIds();

}  // namespace res
