// The line index file (index and bookmark lists) of XmlRecordSet.
#include "platform/services.h"
#include "platform/text.h"
#include "store/xml_record_set.h"
#include "store/xml_tags.h"

bool XmlRecordSet::WriteLineIndexHead(plat::Sink& file, const std::string& title,
                                      const std::string& keyword) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n";
    text += "<!DOCTYPE lineindex SYSTEM \"" + std::string(kLineIndexDtdUrl) + "\">\r\n";
    text +=
        "\r\n\r\n<lineindex>\r\n\t<title>" + title + "</title>\r\n\t<keyword>" + keyword + "</keyword>\r\n";
    return file.Write(text);
}

bool XmlRecordSet::WriteLineIndexLink(plat::Sink& file, const std::string& name, const std::string& url,
                                      const std::string& klass, const std::string& date,
                                      const std::string& keyword, const std::string& source) {
    std::string text = "\t<link>\r\n\t\t<name>" + name + "</name>\r\n\t\t<url>" + url +
                       "</url>\r\n\t\t<class>" + klass + "</class>\r\n";
    text += "\t\t<date>" + date + "</date>\r\n\t\t<keyword>" + keyword + "</keyword>\r\n\t\t<source>" +
            source + "</source>\r\n\t</link>\r\n";
    return file.Write(text);
}

bool XmlRecordSet::WriteLineIndexEnd(plat::Sink& file) {
    return file.Write("</lineindex>\r\n\t\t\t\t<!-- QVRT.LINEINDEX.WRITE -->");
}

bool XmlRecordSet::ReadLineIndexHead(plat::LineReader& reader) {
    std::string line;
    for (;;) {
        if (!reader.ReadLine(line)) return false;
        if (xmltags::Between(line, "<title>", "</title>", head.title)) break;
    }
    return xmltags::Between(reader.Next(), "<keyword>", "</keyword>", head.keyword);
}

bool XmlRecordSet::ReadLineIndexLink(plat::LineReader& reader) {
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
            plat::Svc().MessageBox(nullptr, f.missing, std::string("XML ERROR"), plat::MB_OK);
            linkDamaged = true;
            return false;
        }
    }
    reader.Next();  // "</link>"
    return true;
}
