// Directory copy and the file name dialog.
#pragma once

#include <string>

class QWidget;

// Copies the tree below `source` into the existing `target` (both ending in '\'). 1 on success; 0 after the
// first failure, whose "ERROR" box has been shown.
int CopyDirectoryTree(const std::string& source, const std::string& target);

// The open (open == true) or save file dialog through the services seam; "" when cancelled.
std::string AskFileName(QWidget* parent, bool open, const std::string& defaultExt, const std::string& initialName,
                        const std::string& filter);
