// "在IE中查看" and the index and bookmark lists' "打开": the card rendered into a page, shown in the browser.
#pragma once

#include <string>

class QWidget;

namespace render {

// Renders the card (internal path) into a new page of the view folder and opens that page through the
// services seam. Any failure is an "ERROR" box owned by `parent`, and nothing is opened.
void ShowCard(QWidget* parent, const std::string& cardPath, const std::string& selectedStyle);

}  // namespace render
