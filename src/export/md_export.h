// A library as Markdown notes: one UTF-8 .md file per card, in folders named as the classes, each with the
// card's fields as YAML front matter. Imported again (text_import.h) the notes give back the same cards.
#pragma once

#include <string>

#include "export/job.h"

namespace exporting {

// root: the library (internal, ending with '\'); target: native, as ExportSite takes it (missing, empty or
// an earlier export; written beside and swapped in whole).
Outcome ExportMarkdown(const std::string& root, const std::string& target, Progress& progress);

}  // namespace exporting
