// The card file and the line index file: writers of a fixed line layout, readers through an XML parser.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    // After ReadCard: the whole body was read (always so for a parsed card; a card in the old line layout
    // that is no XML must end its body at the "</content>" line, or it would read as a shorter card).
    bool bodyWhole = false;
    // After a false ReadCard: where and why the parser stopped ("第 3 行：..."), internal text.
    std::string readError;
    // After ReadCard: what the card holds that the fields do not (unknown elements, attributes, comments),
    // one description each; a save from the fields would drop it.
    std::vector<std::string> unshown;
    std::string UnshownSummary() const;  // the first few of them, for a question
    // After ReadLineIndexLink returned false: a damaged link stopped the list, not its normal end.
    bool linkDamaged = false;

    // Writers return false when the sink reported a failed write.
    bool WriteCard(plat::Sink& file);
    std::string CardText() const;  // what WriteCard writes, stamped now
    bool ReadCardHead(plat::LineReader& reader);
    bool ReadCardPart(plat::LineReader& reader);
    bool ReadCard(plat::LineReader& reader);  // reads all the reader has left
    bool ParseCard(std::string_view bytes);
    // The fixed line layout alone, as cards were read before they were parsed: what ReadCard falls back to
    // for a card that is no XML.
    bool ReadCardLines(plat::LineReader& reader);

    bool WriteLineIndexHead(plat::Sink& file, const std::string& title, const std::string& keyword);
    bool WriteLineIndexLink(plat::Sink& file, const std::string& name, const std::string& url,
                            const std::string& klass, const std::string& date, const std::string& keyword,
                            const std::string& source);
    bool WriteLineIndexEnd(plat::Sink& file);
    bool ReadLineIndexHead(plat::LineReader& reader);
    // Shows the "XML ERROR" box (through the services seam) for a damaged link.
    bool ReadLineIndexLink(plat::LineReader& reader);

private:
    bool ReadLineIndexHeadLines(plat::LineReader& reader);
    bool ReadLineIndexLinkLines(plat::LineReader& reader);
    bool ShowDamagedLink(const char* message);
    // A parsed list's links not yet handed out (the first one is `nextLink_`), or, for a list in the old
    // line layout that is no XML, the reader of its remaining lines.
    std::vector<LineIndexLink> parsedLinks_;
    std::size_t nextLink_ = 0;
    const char* damagedAt_ = nullptr;  // the message for the link after the parsed ones, if it was damaged
    std::shared_ptr<plat::LineReader> legacyLines_;
};

// The published DTD addresses named in written files.
extern const char* const kCardDtdUrl;       // ".../subject/doc/qvrt_xml_1.0/02_2003_datum01.dtd"
extern const char* const kLineIndexDtdUrl;  // ".../subject/doc/qvrt_xml_1.0/03_2003_lineindex01.dtd"
