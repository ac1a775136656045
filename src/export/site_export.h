// A library as a static web site: index.html with the class tree, the card counts and every card by title,
// and one page per card rendered through its stylesheet (as the view button shows it), with links to the
// previous and next card in library order. Pages are UTF-8, links relative and percent-encoded, so the folder
// works from file://, a USB stick or any static web server; nothing but the stylesheet's own output is in a
// page, so a page runs a script only when a stylesheet of the program's style folder writes one.
#pragma once

#include <string>

#include "export/job.h"

namespace exporting {

struct SiteOptions {
    bool newestFirst = false;  // the index lists each class's cards by their modification time, newest first
};

// root: the library (internal, ending with '\'); target: the folder to write (native). The target may be
// missing, empty or an earlier export (replaced whole); it is written beside and swapped in at the end, so a
// failed or cancelled export leaves it as it was.
Outcome ExportSite(const std::string& root, const std::string& target, const SiteOptions& options,
                   Progress& progress);

// A name as one segment of a relative URL: every byte but letters, digits and "-._~" percent-encoded.
std::string UrlSegment(const std::string& utf8);
// Text for HTML content or attribute values.
std::string HtmlEscape(const std::string& utf8);

}  // namespace exporting
