// One page of an exported site: the page a stylesheet rendered, made a UTF-8 HTML5 page that says so in its
// <meta charset="utf-8">, with the links to the previous card, the index and the next card.
#pragma once

#include <string>

namespace exporting {

struct PageLinks {
    std::string prev, index, next;  // relative, percent-encoded hrefs; "" where there is none
};

// `rendered`: the stylesheet's output, in the encoding it names (the page says which).
std::string SitePage(const std::string& rendered, const PageLinks& links);
// A card that could not be rendered still gets its page, so that no link leads nowhere: it says why (UTF-8).
std::string ErrorPage(const std::string& title, const std::string& message, const PageLinks& links);

}  // namespace exporting
