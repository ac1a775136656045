// The colours every dialog of the program shares.
#pragma once

#include <QColor>

namespace ui {
inline const QColor kDialogBackground(223, 222, 236);
inline const QColor kListBackground(226, 225, 246);  // list views and the main window's tree
inline const QColor kStripBackground(226, 232, 236);  // the progress strip
}  // namespace ui
