#include "store/xml_record_set.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/text.h"
#include "store/xml_tags.h"

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
// as well: written raw, a lone LF would end the line inside a <part> element and cut the card short on
// reading. '<', '>' and '&' become full-width signs rather than entities: the body must stay free of markup
// the line reader would trip on.
// One pass over the bytes: every byte acted on is below 0x40, and such a byte is never the second byte of
// a GBK character, so no character is split.
void AppendBodyParts(const std::string& content, std::string& out) {
    static constexpr std::string_view kBreak = "</part>\r\n\t\t<part>";
    static constexpr auto kActs = [] {
        std::array<bool, 256> acts{};
        for (unsigned char c : {'\r', '\n', '<', '>', '&'}) acts[c] = true;
        return acts;
    }();
    // Eight bytes at a time while none of them is below 0x40: Chinese text has few such bytes.
    auto anyBelow0x40 = [](std::uint64_t w) {
        return ((w - 0x4040404040404040ULL) & ~w & 0x8080808080808080ULL) != 0;
    };
    std::size_t run = 0;  // start of the bytes not yet copied
    const std::size_t n = content.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::uint64_t w; i + 8 <= n; i += 8) {
            std::memcpy(&w, content.data() + i, 8);
            if (anyBelow0x40(w)) break;
        }
        if (i >= n) break;
        const char c = content[i];
        if (!kActs[static_cast<unsigned char>(c)]) continue;
        out.append(content, run, i - run);
        switch (c) {
            case '<': out += "\xA1\xDA"; break;
            case '>': out += "\xA1\xDB"; break;
            case '&': out += "\xA1\xEA"; break;
            default:
                out += kBreak;
                if (c == '\r' && i + 1 < n && content[i + 1] == '\n') ++i;
        }
        run = i + 1;
    }
    out.append(content, run);
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
    text += "\t<title>" + card.title + "</title>\r\n";
    text += "\t<class>" + card.klass + "</class>\r\n";
    text += "\t<founddate>" + (card.founddate.empty() ? stamp : card.founddate) + "</founddate>\r\n";
    text += "\t<modifieddate>" + stamp + "</modifieddate>\r\n";
    text += "\t<source>" + card.source + "</source>\r\n";
    text += "\t<keyword>" + card.keyword + "</keyword>\r\n";
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
