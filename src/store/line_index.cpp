// The line index file (index and bookmark lists) of XmlRecordSet.
#include <libxml/tree.h>

#include "platform/services.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "store/xml_doc.h"
#include "store/xml_tags.h"
#include "store/xml_text.h"

bool XmlRecordSet::WriteLineIndexHead(plat::Sink& file, const std::string& title,
                                      const std::string& keyword) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n";
    text += "<!DOCTYPE lineindex SYSTEM \"" + std::string(kLineIndexDtdUrl) + "\">\r\n";
    text +=
        "\r\n\r\n<lineindex>\r\n\t<title>" + xmltext::Escaped(title) + "</title>\r\n\t<keyword>" + xmltext::Escaped(keyword) + "</keyword>\r\n";
    return file.Write(text);
}

bool XmlRecordSet::WriteLineIndexLink(plat::Sink& file, const std::string& name, const std::string& url,
                                      const std::string& klass, const std::string& date,
                                      const std::string& keyword, const std::string& source) {
    std::string text = "\t<link>\r\n\t\t<name>" + xmltext::Escaped(name) + "</name>\r\n\t\t<url>" + xmltext::Escaped(url) +
                       "</url>\r\n\t\t<class>" + xmltext::Escaped(klass) + "</class>\r\n";
    text += "\t\t<date>" + xmltext::Escaped(date) + "</date>\r\n\t\t<keyword>" + xmltext::Escaped(keyword) + "</keyword>\r\n\t\t<source>" +
            xmltext::Escaped(source) + "</source>\r\n\t</link>\r\n";
    return file.Write(text);
}

bool XmlRecordSet::WriteLineIndexEnd(plat::Sink& file) {
    return file.Write("</lineindex>\r\n\t\t\t\t<!-- QVRT.LINEINDEX.WRITE -->");
}

namespace {

struct LinkField {
    const char* name;
    std::string LineIndexLink::*target;
    const char* missing;
};
constexpr LinkField kLinkFields[] = {
    {"name", &LineIndexLink::name, "No name Find!"},     {"url", &LineIndexLink::url, "No url Find"},
    {"class", &LineIndexLink::klass, "No class Find"},   {"date", &LineIndexLink::date, "no date find"},
    {"keyword", &LineIndexLink::keyword, "no keyword find"}, {"source", &LineIndexLink::source, "no source find"},
};

const xmlNode* Child(const xmlNode* parent, std::string_view name) {
    for (const xmlNode* c = parent->children; c; c = c->next)
        if (xmldoc::NameOf(c) == name) return c;
    return nullptr;
}

}  // namespace

bool XmlRecordSet::ShowDamagedLink(const char* message) {
    plat::Svc().MessageBox(nullptr, message, std::string("XML ERROR"), plat::MB_OK);
    linkDamaged = true;
    return false;
}

// The whole list is parsed at once; its links are then handed out one by one. A list written before its
// fields were escaped (a raw '&' in a card's title) is no XML and is read by its fixed lines as before.
bool XmlRecordSet::ReadLineIndexHead(plat::LineReader& reader) {
    parsedLinks_.clear();
    nextLink_ = 0;
    damagedAt_ = nullptr;
    legacyLines_.reset();
    std::string data;
    reader.ReadRest(data);
    xmldoc::Doc doc = xmldoc::Parse(data, readError);
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (xmldoc::NameOf(root) != "lineindex") {
        legacyLines_ = std::make_shared<plat::LineReader>(plat::LineReader::FromString(std::move(data)));
        return ReadLineIndexHeadLines(*legacyLines_);
    }
    const xmlNode* title = Child(root, "title");
    const xmlNode* keyword = Child(root, "keyword");
    if (!title || !keyword) return false;
    head.title = xmldoc::TextOf(title);
    head.keyword = xmldoc::TextOf(keyword);
    for (const xmlNode* n = root->children; n && !damagedAt_; n = n->next) {
        if (xmldoc::NameOf(n) != "link") continue;
        LineIndexLink l;
        for (const LinkField& f : kLinkFields) {
            const xmlNode* c = Child(n, f.name);
            if (!c) {
                damagedAt_ = f.missing;
                break;
            }
            l.*f.target = xmldoc::TextOf(c);
        }
        if (!damagedAt_) parsedLinks_.push_back(std::move(l));
    }
    return true;
}

bool XmlRecordSet::ReadLineIndexLink(plat::LineReader& reader) {
    linkDamaged = false;
    if (legacyLines_) return ReadLineIndexLinkLines(*legacyLines_);
    if (nextLink_ < parsedLinks_.size()) {
        link = parsedLinks_[nextLink_++];
        return true;
    }
    if (damagedAt_) {
        const char* message = damagedAt_;
        damagedAt_ = nullptr;
        return ShowDamagedLink(message);
    }
    (void)reader;
    return false;  // the normal end of the list
}

bool XmlRecordSet::ReadLineIndexHeadLines(plat::LineReader& reader) {
    std::string line;
    for (;;) {
        if (!reader.ReadLine(line)) return false;
        if (xmltags::Between(line, "<title>", "</title>", head.title)) break;
    }
    return xmltags::Between(reader.Next(), "<keyword>", "</keyword>", head.keyword);
}

bool XmlRecordSet::ReadLineIndexLinkLines(plat::LineReader& reader) {
    std::string line;
    linkDamaged = false;
    do {
        if (!reader.ReadLine(line)) return false;  // the normal end of the list
    } while (!plat::Contains(line, "<link>"));

    struct Field {
        const char* open;
        const char* close;
        std::string* target;
        const char* missing;
    };
    const Field fields[] = {
        {"<name>", "</name>", &link.name, "No name Find!"},
        {"<url>", "</url>", &link.url, "No url Find"},
        {"<class>", "</class>", &link.klass, "No class Find"},
        {"<date>", "</date>", &link.date, "no date find"},
        {"<keyword>", "</keyword>", &link.keyword, "no keyword find"},
        {"<source>", "</source>", &link.source, "no source find"},
    };
    for (const Field& f : fields) {
        if (!xmltags::Between(reader.Next(), f.open, f.close, *f.target)) {
            return ShowDamagedLink(f.missing);
        }
    }
    reader.Next();  // "</link>"
    return true;
}
