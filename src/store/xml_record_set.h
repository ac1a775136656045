// The card file and the line index file: exact writers and line-oriented readers of exactly that text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/fs.h"

struct DatumCard {
    std::string title;
    std::string klass;  // the card's class ("class" in the file)
    std::string founddate;
    std::string modifieddate;
    std::string source;
    std::string keyword;
    std::string content;  // paragraphs separated by CR LF as read; the writer takes a lone CR or LF as well
    std::string href;
    std::string dtdPath;
};

struct LineIndexHead {
    std::string title;
    std::string keyword;
};

struct LineIndexLink {
    std::string name;
    std::string url;
    std::string klass;
    std::string date;
    std::string keyword;
    std::string source;
};

struct LocalTime {
    int year, month, day, hour, minute;
};
// Where WriteCard takes the local time from. Returns false when local time cannot be formed.
using LocalTimeSource = bool (*)(LocalTime&);
void SetLocalTimeSource(LocalTimeSource source);  // nullptr: the real clock
// The current local time from that source; false when it cannot be formed.
bool CurrentLocalTime(LocalTime& t);
// "%d-%d-%d %d:%d" of the current local time; "-1--1--1 -1:-1" when it cannot be formed.
std::string CurrentStamp();

// The largest card file the program opens, and so the largest it writes and indexes: up to this size a
// card opens in the form within a second.
inline constexpr std::int64_t kMaxCardBytes = 16 << 20;

class XmlRecordSet {
public:
    LineIndexHead head;
    LineIndexLink link;
    DatumCard card;
    // After ReadCard: the body ended at the "</content>" line. A body cut by a line that is no whole
    // paragraph (a lone LF from another tool, a file broken off) reads as a shorter card otherwise.
    bool bodyWhole = false;
    // After ReadLineIndexLink returned false: a damaged link stopped the list, not its normal end.
    bool linkDamaged = false;

    // Writers return false when the sink reported a failed write.
    bool WriteCard(plat::Sink& file);
    std::string CardText() const;  // what WriteCard writes, stamped now
    bool ReadCardHead(plat::LineReader& reader);
    bool ReadCardPart(plat::LineReader& reader);
    bool ReadCard(plat::LineReader& reader);

    bool WriteLineIndexHead(plat::Sink& file, const std::string& title, const std::string& keyword);
    bool WriteLineIndexLink(plat::Sink& file, const std::string& name, const std::string& url,
                            const std::string& klass, const std::string& date, const std::string& keyword,
                            const std::string& source);
    bool WriteLineIndexEnd(plat::Sink& file);
    bool ReadLineIndexHead(plat::LineReader& reader);
    // Shows the "XML ERROR" box (through the services seam) for a damaged link.
    bool ReadLineIndexLink(plat::LineReader& reader);
};

// The published DTD addresses named in written files.
extern const char* const kCardDtdUrl;       // ".../subject/doc/qvrt_xml_1.0/02_2003_datum01.dtd"
extern const char* const kLineIndexDtdUrl;  // ".../subject/doc/qvrt_xml_1.0/03_2003_lineindex01.dtd"
