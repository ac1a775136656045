#include "export/site_page.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/tree.h>

#include <cstring>

#include "export/site_export.h"
#include "render/card_render.h"

namespace exporting {
namespace {

const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

bool NameIs(xmlNodePtr n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE && xmlStrcasecmp(n->name, X(name)) == 0;
}

xmlNodePtr Child(xmlNodePtr parent, const char* name) {
    for (xmlNodePtr n = parent ? parent->children : nullptr; n; n = n->next)
        if (NameIs(n, name)) return n;
    return nullptr;
}

bool AttrIs(xmlNodePtr n, const char* attr, const char* value) {
    xmlChar* v = xmlGetProp(n, X(attr));
    const bool is = v && xmlStrcasecmp(v, X(value)) == 0;
    xmlFree(v);
    return is;
}

void AddLink(xmlNodePtr nav, const std::string& href, const char* rel, const char* label) {
    if (href.empty()) return;
    if (nav->children) xmlAddChild(nav, xmlNewText(X(" ")));
    xmlNodePtr a = xmlNewChild(nav, nullptr, X("a"), X(label));
    xmlNewProp(a, X("href"), X(href.c_str()));
    if (rel) xmlNewProp(a, X("rel"), X(rel));
}

xmlNodePtr Nav(xmlDocPtr doc, const PageLinks& links) {
    xmlNodePtr nav = xmlNewDocNode(doc, nullptr, X("div"), nullptr);
    xmlNewProp(nav, X("class"), X("korvane-nav"));
    AddLink(nav, links.prev, "prev", "\xE4\xB8\x8A\xE4\xB8\x80\xE5\x88\x99");  // 上一则
    AddLink(nav, links.index, nullptr, "\xE7\x9B\xAE\xE5\xBD\x95");                  // 目录
    AddLink(nav, links.next, "next", "\xE4\xB8\x8B\xE4\xB8\x80\xE5\x88\x99");  // 下一则
    return nav;
}

std::string Serialize(xmlDocPtr doc) {
    xmlOutputBufferPtr buf = xmlAllocOutputBuffer(nullptr);  // no encoder: the document's own UTF-8
    htmlDocContentDumpFormatOutput(buf, doc, nullptr, 0);
    xmlOutputBufferFlush(buf);
    std::string out = "<!DOCTYPE html>\n";
    out.append(reinterpret_cast<const char*>(xmlOutputBufferGetContent(buf)), xmlOutputBufferGetSize(buf));
    xmlOutputBufferClose(buf);
    return out;
}

}  // namespace

std::string SitePage(const std::string& rendered, const PageLinks& links) {
    std::string html = rendered;
    const std::size_t mark = html.rfind(render::kPageMark);
    if (mark != std::string::npos && mark + std::strlen(render::kPageMark) == html.size()) html.resize(mark);
    // The stylesheet's page names its encoding in a meta element the parser reads.
    htmlDocPtr doc = htmlReadMemory(html.data(), static_cast<int>(html.size()), "page.html", nullptr,
                                    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                        HTML_PARSE_NODEFDTD | HTML_PARSE_NOIMPLIED);
    if (!doc) return ErrorPage("", "", links);
    xmlNodePtr root = xmlDocGetRootElement(doc);
    if (!NameIs(root, "html")) {
        // Output that is no page (a stylesheet writing text): shown as it stands, inside one.
        xmlFreeDoc(doc);
        return ErrorPage("", html, links);
    }
    if (xmlDtdPtr dtd = xmlGetIntSubset(doc)) {
        xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(dtd));
        xmlFreeDtd(dtd);
    }
    xmlNodePtr head = Child(root, "head");
    if (!head) {
        head = xmlNewDocNode(doc, nullptr, X("head"), nullptr);
        root->children ? xmlAddPrevSibling(root->children, head) : xmlAddChild(root, head);
    }
    for (xmlNodePtr n = head->children; n;) {
        xmlNodePtr next = n->next;
        if (NameIs(n, "meta") && (AttrIs(n, "http-equiv", "content-type") || xmlHasProp(n, X("charset")))) {
            xmlUnlinkNode(n);
            xmlFreeNode(n);
        }
        n = next;
    }
    xmlNodePtr meta = xmlNewDocNode(doc, nullptr, X("meta"), nullptr);
    xmlNewProp(meta, X("charset"), X("utf-8"));
    head->children ? xmlAddPrevSibling(head->children, meta) : xmlAddChild(head, meta);
    xmlNodePtr body = Child(root, "body");
    if (!body) body = xmlAddChild(root, xmlNewDocNode(doc, nullptr, X("body"), nullptr));
    body->children ? xmlAddPrevSibling(body->children, Nav(doc, links)) : xmlAddChild(body, Nav(doc, links));
    xmlAddChild(body, Nav(doc, links));
    std::string out = Serialize(doc);
    xmlFreeDoc(doc);
    return out;
}

std::string ErrorPage(const std::string& title, const std::string& message, const PageLinks& links) {
    htmlDocPtr doc = htmlNewDocNoDtD(nullptr, nullptr);
    xmlNodePtr root = xmlNewDocNode(doc, nullptr, X("html"), nullptr);
    xmlDocSetRootElement(doc, root);
    xmlNodePtr head = xmlNewChild(root, nullptr, X("head"), nullptr);
    xmlNewProp(xmlNewChild(head, nullptr, X("meta"), nullptr), X("charset"), X("utf-8"));
    xmlNewTextChild(head, nullptr, X("title"), X(title.c_str()));
    xmlNodePtr body = xmlNewChild(root, nullptr, X("body"), nullptr);
    xmlAddChild(body, Nav(doc, links));
    xmlNewTextChild(body, nullptr, X("h1"), X(title.c_str()));
    xmlNewTextChild(body, nullptr, X("pre"), X(message.c_str()));
    xmlAddChild(body, Nav(doc, links));
    std::string out = Serialize(doc);
    xmlFreeDoc(doc);
    return out;
}

}  // namespace exporting
