#include "store/xml_doc.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstring>

#include "platform/codec.h"
#include "platform/text.h"

namespace xmldoc {
namespace {

// The encoding named by the XML declaration, lowered; empty when there is none.
std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 5) != "<?xml") return {};
    const std::string_view decl = bytes.substr(0, bytes.find("?>"));
    std::size_t p = decl.find("encoding");
    if (p == std::string_view::npos) return {};
    p = decl.find_first_of("\"'", p);
    if (p == std::string_view::npos) return {};
    const std::size_t q = decl.find(decl[p], p + 1);
    if (q == std::string_view::npos) return {};
    return plat::AsciiLower(decl.substr(p + 1, q - p - 1));
}

bool IsGbFamily(const std::string& enc) {
    for (const char* name : {"gb2312", "gbk", "gb18030", "cp936", "x-gbk", "euc-cn", "csgb2312", "windows-936"})
        if (enc == name) return true;
    return false;
}

std::string LineError(long line, std::string_view what) {
    return "\xB5\xDA " + plat::FormatInt(line) + " \xD0\xD0\xA3\xBA" + std::string(what);  // "第 N 行："
}

// The first line whose bytes are no GB18030 text.
long BadLine(std::string_view bytes) {
    long line = 1;
    std::string ignored;
    for (std::size_t start = 0; start <= bytes.size(); ++line) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        if (!plat::TryGbkToUtf8(bytes.substr(start, end - start), ignored)) return line;
        start = end + 1;
    }
    return line;
}


}  // namespace

Doc Parse(std::string_view bytes, std::string& error) {
    std::string utf8;
    const char* encoding = nullptr;
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    if (IsGbFamily(DeclaredEncoding(bytes))) {
        if (!plat::TryGbkToUtf8(bytes, utf8)) {
            error = LineError(BadLine(bytes), plat::Gbk("有不是 GB2312/GBK 的字节"));
            return nullptr;
        }
        bytes = utf8;
        encoding = "UTF-8";
        options |= XML_PARSE_IGNORE_ENC;
    }
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        error = plat::Gbk("内存不足");
        return nullptr;
    }
    // Entities are not substituted: one outside the file (SYSTEM "file:///etc/passwd") would be read into the
    // card otherwise. A reference to one declared in the card stays a node of its own, which the fields name.
    Doc doc(xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding, options));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* e = xmlCtxtGetLastError(ctxt);
        std::string what = e && e->message ? e->message : "";
        while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
        error = LineError(e ? e->line : 1, plat::EscapeControls(what));
        doc.reset();
    }
    xmlFreeParserCtxt(ctxt);
    return doc;
}

std::string_view NameOf(const xmlNode* n) {
    if (!n || n->type != XML_ELEMENT_NODE || n->ns) return {};
    return reinterpret_cast<const char*>(n->name);
}

std::string Internal(const xmlChar* utf8) {
    if (!utf8) return {};
    std::string out;
    const char* s = reinterpret_cast<const char*>(utf8);
    if (!plat::TryUtf8ToGbk(s, out)) out = plat::Utf8ToGbk(s);  // libxml2 hands out valid UTF-8 only
    return out;
}

std::string TextOf(const xmlNode* n, bool* mixed) {
    std::string utf8;
    if (mixed) *mixed = n->properties != nullptr;
    for (const xmlNode* c = n->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
            if (c->content) utf8 += reinterpret_cast<const char*>(c->content);
        } else if (mixed) {
            *mixed = true;
        }
    }
    return Internal(reinterpret_cast<const xmlChar*>(utf8.c_str()));
}

bool IsBlank(const xmlNode* n) {
    if (n->type != XML_TEXT_NODE) return false;
    for (const xmlChar* p = n->content; p && *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
    return true;
}

}  // namespace xmldoc
