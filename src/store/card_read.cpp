// The card reader of XmlRecordSet: any well-formed card with the root "datum", whatever its layout.
#include <libxml/tree.h>

#include <string_view>

#include "platform/codec.h"
#include "platform/text.h"
#include "store/xml_doc.h"
#include "store/xml_record_set.h"

namespace {

// The href pseudo-attribute of an xml-stylesheet instruction, in either quotes.
std::string HrefOf(const xmlNode* pi) {
    const std::string data = pi->content ? reinterpret_cast<const char*>(pi->content) : "";
    std::size_t p = data.find("href");
    while (p != std::string::npos) {
        std::size_t q = data.find_first_not_of(" \t\r\n", p + 4);
        if (q != std::string::npos && data[q] == '=') {
            q = data.find_first_not_of(" \t\r\n", q + 1);
            if (q != std::string::npos && (data[q] == '"' || data[q] == '\'')) {
                const std::size_t end = data.find(data[q], q + 1);
                if (end != std::string::npos)
                    return xmldoc::Internal(reinterpret_cast<const xmlChar*>(data.substr(q + 1, end - q - 1).c_str()));
            }
        }
        p = data.find("href", p + 4);
    }
    return {};
}

// A one-line field laid out over several lines by another tool: its breaks and the indentation around them
// are one space, as a pasted break is in the form.
std::string OneLine(std::string text) {
    if (text.find_first_of("\r\n") == std::string::npos) return text;
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string Described(const xmlNode* n) {
    using plat::Gbk;
    switch (n->type) {
        case XML_ELEMENT_NODE: return Gbk("元素 <") + xmldoc::Internal(n->name) + ">";
        case XML_COMMENT_NODE: return Gbk("注释");
        case XML_PI_NODE: return Gbk("处理指令 <?") + xmldoc::Internal(n->name) + "?>";
        case XML_ATTRIBUTE_NODE: return Gbk("属性 ") + xmldoc::Internal(n->name);
        default: return Gbk("文字 \"") + plat::Abbreviate(xmldoc::Internal(n->content), 40) + "\"";
    }
}

}  // namespace

bool XmlRecordSet::ParseCard(std::string_view bytes) {
    unshown.clear();
    xmldoc::Doc doc = xmldoc::Parse(bytes, readError);
    if (!doc) return false;
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (xmldoc::NameOf(root) != "datum") {
        readError = plat::Gbk("根元素不是 <datum>");
        return false;
    }
    auto note = [this](const xmlNode* n) { unshown.push_back(Described(n)); };
    DatumCard read;
    read.dtdPath = card.dtdPath;
    bool hrefSeen = false;
    for (const xmlNode* n = doc->children; n; n = n->next) {
        if (n->type == XML_PI_NODE && std::string_view(reinterpret_cast<const char*>(n->name)) == "xml-stylesheet" &&
            !hrefSeen) {
            read.href = HrefOf(n);
            hrefSeen = true;
        } else if (n->type == XML_COMMENT_NODE) {
            // The line every written card carries names the DTD's origin; it is written again.
            if (!n->content || !plat::Contains(reinterpret_cast<const char*>(n->content), " copy from ")) note(n);
        } else if (n->type == XML_PI_NODE) {
            note(n);
        } else if (n->type == XML_DTD_NODE && n->children) {
            unshown.push_back(plat::Gbk("DOCTYPE 中的声明"));
        }
    }
    for (const xmlAttr* a = root->properties; a; a = a->next) note(reinterpret_cast<const xmlNode*>(a));

    struct Field {
        std::string_view name;
        std::string* target;
        bool seen = false;
    };
    Field fields[] = {{"title", &read.title},   {"class", &read.klass},    {"founddate", &read.founddate},
                      {"modifieddate", &read.modifieddate}, {"source", &read.source}, {"keyword", &read.keyword}};
    bool contentSeen = false, linksSeen = false;
    for (const xmlNode* n = root->children; n; n = n->next) {
        const std::string_view name = xmldoc::NameOf(n);
        Field* field = nullptr;
        for (Field& f : fields)
            if (f.name == name && !f.seen) field = &f;
        if (field) {
            bool mixed = false;
            *field->target = OneLine(xmldoc::TextOf(n, &mixed));
            field->seen = true;
            if (mixed) unshown.push_back(Described(n) + plat::Gbk(" 中的标记"));
        } else if (name == "content" && !contentSeen) {
            contentSeen = true;
            std::string body;
            bool first = true;
            for (const xmlNode* c = n->children; c; c = c->next) {
                if (xmldoc::NameOf(c) == "part") {
                    bool mixed = false;
                    if (!first) body += "\r\n";
                    body += xmldoc::TextOf(c, &mixed);
                    first = false;
                    if (mixed) unshown.push_back(Described(c) + plat::Gbk(" 中的标记"));
                } else if (!xmldoc::IsBlank(c)) {
                    note(c);
                }
            }
            for (const xmlAttr* a = n->properties; a; a = a->next) note(reinterpret_cast<const xmlNode*>(a));
            read.content = std::move(body);
        } else if (name == "correlativelink" && !linksSeen) {
            linksSeen = true;
            for (const xmlNode* c = n->children; c; c = c->next)
                if (!xmldoc::IsBlank(c)) note(c);
        } else if (!xmldoc::IsBlank(n)) {
            note(n);
        }
    }
    card = std::move(read);
    bodyWhole = true;
    return true;
}

std::string XmlRecordSet::UnshownSummary() const {
    std::string list;
    for (std::size_t i = 0; i < unshown.size() && i < 5; ++i) list += (i ? plat::Gbk("、") : "") + unshown[i];
    if (unshown.size() > 5)
        list += plat::Gbk(" 等 ") + plat::FormatInt(static_cast<long long>(unshown.size())) + plat::Gbk(" 项");
    return list;
}
