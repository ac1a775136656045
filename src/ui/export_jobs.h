// Export and import as the windows run them: under the job strip with its bar, cards done of all, the time
// left and 取消; the questions and the summary in message boxes. Used by the library manager and the tree.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace exportui {

enum class Kind { Site, Markdown };

// Exports the library (internal root, ending with '\') into the folder (internal), and says how it went.
void Export(QWidget* owner, Kind kind, const std::string& root, const std::string& folder);

// Imports files and folders (native paths) into the class `klass` (internal, from the root; "" for the
// library's own level). Files holding characters a card cannot store are listed, and imported with 〓 in
// their place only when the user says so. Returns the cards written.
long long Import(QWidget* owner, const std::vector<std::string>& sources, const std::string& root,
                 const std::string& klass);

}  // namespace exportui
