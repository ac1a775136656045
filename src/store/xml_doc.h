// A card or line index file parsed by libxml2, with the text of its nodes in the program's internal form.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

namespace xmldoc {

struct FreeDoc {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using Doc = std::unique_ptr<xmlDoc, FreeDoc>;

// Parses a whole file. Declared GB2312 (or GBK, GB18030) is read as GB18030, which holds every GBK code the
// program ever wrote under that name; other encodings are libxml2's. No entity outside the file is loaded.
// On failure: nullptr, and `error` names the line where reading stopped ("第 3 行：...").
Doc Parse(std::string_view bytes, std::string& error);

// The element's name when it is a plain element (no namespace), else empty.
std::string_view NameOf(const xmlNode* n);
// Text and CDATA children of `n` joined, in internal form. `mixed` is set when `n` holds anything else (an
// element, a comment, a processing instruction) or carries attributes.
std::string TextOf(const xmlNode* n, bool* mixed = nullptr);
// UTF-8 from libxml2 into internal text.
std::string Internal(const xmlChar* utf8);
bool IsBlank(const xmlNode* n);  // a text node of white space only

}  // namespace xmldoc
