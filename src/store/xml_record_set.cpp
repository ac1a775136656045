#include "store/xml_record_set.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/text.h"
#include "store/xml_tags.h"
#include "store/xml_text.h"

const char* const kCardDtdUrl = "http://www.korvane.org/subject/doc/qvrt_xml_1.0/02_2003_datum01.dtd";
const char* const kLineIndexDtdUrl =
    "http://www.korvane.org/subject/doc/qvrt_xml_1.0/03_2003_lineindex01.dtd";

namespace {

bool RealLocalTime(LocalTime& out) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &tm)) return false;
    out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min};
    return true;
}

LocalTimeSource g_timeSource = nullptr;

// Paragraphs are CR LF separated. A lone CR or LF (text pasted from elsewhere) is taken as a paragraph break
// as well: written raw, a line break inside a <part> element would not survive the fixed line layout.
void AppendBodyParts(std::string_view content, std::string& out) {
    static constexpr std::string_view kBreak = "</part>\r\n\t\t<part>";
    std::size_t start = 0;
    for (;;) {
        const std::size_t brk = content.find_first_of("\r\n", start);
        xmltext::Append(content.substr(start, brk == std::string_view::npos ? brk : brk - start), out);
        if (brk == std::string_view::npos) return;
        out += kBreak;
        start = brk + (content[brk] == '\r' && brk + 1 < content.size() && content[brk + 1] == '\n' ? 2 : 1);
    }
}

}  // namespace

namespace xmltags {

bool Between(const std::string& line, std::string_view open, std::string_view close, std::string& out) {
    std::size_t p = plat::Find(line, open);
    std::size_t q = plat::Find(line, close);
    if (p == plat::npos || q == plat::npos) return false;
    std::size_t start = p + open.size();
    if (q > start)
        out.assign(line, start, q - start);
    else
        out.clear();
    return true;
}

}  // namespace xmltags

void SetLocalTimeSource(LocalTimeSource source) { g_timeSource = source; }

bool CurrentLocalTime(LocalTime& t) {
    LocalTimeSource source = g_timeSource ? g_timeSource : RealLocalTime;
    return source(t);
}

std::string CurrentStamp() {
    LocalTime t{-1, -1, -1, -1, -1};
    if (!CurrentLocalTime(t)) t = {-1, -1, -1, -1, -1};
    using plat::FormatInt;
    return FormatInt(t.year) + "-" + FormatInt(t.month) + "-" + FormatInt(t.day) + " " + FormatInt(t.hour) +
           ":" + FormatInt(t.minute);
}

bool XmlRecordSet::WriteCard(plat::Sink& file) { return file.Write(CardText()); }

std::string XmlRecordSet::CardText() const {
    const std::string stamp = CurrentStamp();
    std::string text;
    text.reserve(card.content.size() + card.content.size() / 16 + 1024);
    text += "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n";
    text += "<!DOCTYPE datum SYSTEM \"" + card.dtdPath + "\">\r\n";
    text += "\t\t\t\t\t\t\t<!-- copy from " + std::string(kCardDtdUrl) + " -->\r\n";
    text += "<?xml-stylesheet type=\"text/xsl\" href=\"" + card.href + "\"?>\r\n";
    text += "\r\n";
    text += "<datum>\r\n";
    text += "\t<title>" + xmltext::Escaped(card.title) + "</title>\r\n";
    text += "\t<class>" + xmltext::Escaped(card.klass) + "</class>\r\n";
    text += "\t<founddate>" + (card.founddate.empty() ? stamp : xmltext::Escaped(card.founddate)) + "</founddate>\r\n";
    text += "\t<modifieddate>" + stamp + "</modifieddate>\r\n";
    text += "\t<source>" + xmltext::Escaped(card.source) + "</source>\r\n";
    text += "\t<keyword>" + xmltext::Escaped(card.keyword) + "</keyword>\r\n";
    text += "\t<content>\r\n\t\t<part>";
    AppendBodyParts(card.content, text);
    text += "</part>\r\n\t</content>\r\n";
    text += "\t<correlativelink>\r\n";
    text += "\t</correlativelink>\r\n</datum>";
    return text;
}

bool XmlRecordSet::ReadCardHead(plat::LineReader& reader) {
    std::string line;
    for (int i = 0; i < 4; ++i) line = reader.Next();
    if (!xmltags::Between(line, "href=\"", "\"?>", card.href)) card.href.clear();

    for (int i = 0; i < 3; ++i) line = reader.Next();
    if (!xmltags::Between(line, "<title>", "</title>", card.title)) return false;

    struct Field {
        const char* open;
        const char* close;
        std::string* target;
    };
    const Field fields[] = {
        {"<class>", "</class>", &card.klass},
        {"<founddate>", "</founddate>", &card.founddate},
        {"<modifieddate>", "</modifieddate>", &card.modifieddate},
        {"<source>", "</source>", &card.source},
        {"<keyword>", "</keyword>", &card.keyword},
    };
    for (const Field& f : fields) {
        if (!xmltags::Between(reader.Next(), f.open, f.close, *f.target)) return false;
    }
    return true;
}

bool XmlRecordSet::ReadCardPart(plat::LineReader& reader) {
    return xmltags::Between(reader.Next(), "<part>", "</part>", card.content);
}

bool XmlRecordSet::ReadCard(plat::LineReader& reader) {
    bodyWhole = false;
    std::string data;
    reader.ReadRest(data);
    if (ParseCard(data)) return true;
    // A card written before its fields were escaped may hold a raw '<' or '&' in its title or keywords: not
    // XML, but in the fixed line layout it still reads as it always did, and its next save mends it.
    XmlRecordSet legacy;
    legacy.card = card;
    plat::LineReader lines = plat::LineReader::FromString(std::move(data));
    if (!legacy.ReadCardLines(lines) || !legacy.bodyWhole) return false;
    card = std::move(legacy.card);
    bodyWhole = true;
    readError.clear();
    return true;
}

bool XmlRecordSet::ReadCardLines(plat::LineReader& reader) {
    bodyWhole = false;
    if (!ReadCardHead(reader)) return false;
    if (!plat::Contains(reader.Next(), "<content>")) return false;
    // ReadCardPart's rule, with one line buffer for the whole body: a card of a megabyte is thousands of
    // paragraphs.
    std::string collected, line, part;
    for (;;) {
        reader.ReadLine(line);
        if (!xmltags::Between(line, "<part>", "</part>", part)) break;
        collected += part;
        collected += "\r\n";
    }
    bodyWhole = plat::Contains(line, "</content>") && !plat::Contains(line, "<part>");
    if (!collected.empty()) collected.resize(collected.size() - 2);
    card.content = std::move(collected);
    return true;
}
