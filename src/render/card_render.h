// A card as a web page: the card, as the program's own reader reads it, transformed with its stylesheet by
// libxslt. Browsers no longer apply a card's stylesheet to a local file, so the program does it itself.
#pragma once

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
    std::string html;   // the transform's output, in the encoding its xsl:output names
    std::string error;  // GBK, in the program's words; names the card or the stylesheet
};

// Reads the card (internal path) and transforms it. `selectedStyle` is the style chosen in the window, or ""
// where there is none. The stylesheet may read only files in its own folder (xsl:import, xsl:include,
// document()); it may not write files, create folders or reach the network, and no DTD or external entity
// is ever loaded.
Page RenderCard(const std::string& cardPath, const std::string& selectedStyle);

}  // namespace render
