// A card as a web page: the card, as the program's own reader reads it, transformed with its stylesheet by
// libxslt. Browsers no longer apply a card's stylesheet to a local file, so the program does it itself.
#pragma once

#include <atomic>
#include <string>

namespace render {

// The stylesheet a card's href names, as an internal path: relative hrefs are taken from the card's folder,
// absolute ones as they stand; '\' and '/' both separate, and a file: URL names its local path. "" when the
// href names nothing usable here (empty, a web address, a drive letter).
std::string ResolveHref(const std::string& href, const std::string& cardPath);

// The style a card without a usable href is shown with: `selected` when not empty, else the first style of
// the program directory's style folder, else "".
std::string FallbackStyle(const std::string& selected);

struct Page {
    bool ok = false;
    bool cancelled = false;  // stopped at the user's request
    std::string
        html;  // the transform's output, in the encoding its xsl:output names, with kPageMark after it
    std::string error;  // GBK, in the program's words; names the card or the stylesheet
    std::string note;   // GBK; says which style was used when it is not the one the card names
};

struct RenderControl {
    const std::atomic<bool>* cancel = nullptr;  // polled while the stylesheet runs
    std::string style;  // internal path of a stylesheet the user named (--style): used whatever the card says
    int seconds = 20;   // a stylesheet still running after this long is stopped
};

// Reads the card (internal path) and transforms it. Only stylesheets of the program directory's style
// folder are used for what a card names (a card from elsewhere is data, its stylesheet would be code): any
// other is replaced by `selectedStyle` (the style chosen in the window; "" for the first style) and the note
// says so. The stylesheet may read only files in its own folder (xsl:import, xsl:include, document()); it
// may not write files, create folders or reach the network, no DTD or external entity is ever loaded, and it
// is stopped after a bounded number of steps or `control.seconds`. One render at a time runs in a process.
Page RenderCard(const std::string& cardPath, const std::string& selectedStyle,
                const RenderControl& control = {});

// Ends every page the program writes (after the document, where HTML and XML allow a comment), so that a
// page can be told from a file of the user's before it is replaced.
inline constexpr char kPageMark[] = "<!-- written by Korvane -->\n";
// True when the file (native path) is a page the program wrote.
bool IsRenderedPage(const std::string& native);

}  // namespace render
