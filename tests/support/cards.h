// Card and link list files as the program writes them, for tests that need real ones on disk.
#pragma once

#include <string>
#include <vector>

#include "store/xml_record_set.h"

// Stamps every save with 2003-2-5 9:7 while it lives, so that saved bytes can be compared whole.
struct FixedClock {
    FixedClock() { SetLocalTimeSource([](LocalTime& t) { return t = {2003, 2, 5, 9, 7}, true; }); }
    ~FixedClock() { SetLocalTimeSource(nullptr); }
};

inline std::string CardBytes(const DatumCard& card) {
    XmlRecordSet x;
    x.card = card;
    plat::StringSink sink;
    x.WriteCard(sink);
    return sink.data;
}

inline std::string LinkListBytes(const std::string& title, const std::string& keyword, const std::vector<LineIndexLink>& links) {
    XmlRecordSet x;
    plat::StringSink sink;
    x.WriteLineIndexHead(sink, title, keyword);
    for (const LineIndexLink& l : links) x.WriteLineIndexLink(sink, l.name, l.url, l.klass, l.date, l.keyword, l.source);
    x.WriteLineIndexEnd(sink);
    return sink.data;
}
