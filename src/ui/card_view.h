// "在IE中查看" and the index and bookmark lists' "打开": the card rendered into a page, shown in the browser.
#pragma once

#include <string>

class QWidget;

namespace ui {

// Renders the card (internal path) into a new page of the view folder, off the window's thread under a strip
// with 取消, and opens that page through the services seam. A failure is an "ERROR" box owned by `parent`,
// and nothing is opened; a cancel shows nothing. When the card's own stylesheet was not used, a note over
// `parent` says which was. The paths are taken by value: the caller's strings may go while the strip's event
// loop runs.
void ShowCard(QWidget* parent, std::string cardPath, std::string selectedStyle);

}  // namespace ui
