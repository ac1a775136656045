// Any bytes as an index or bookmark list: the readers never crash, and every link that read is written and
// read back unchanged when its fields hold no tags or line breaks.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/xml_record_set.h"

namespace {
bool Clean(const LineIndexLink& l) {
    for (const std::string* f : {&l.name, &l.url, &l.klass, &l.date, &l.keyword, &l.source})
        if (plat::Contains(*f, "<") || plat::Contains(*f, "\r") || plat::Contains(*f, "\n")) return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InstallQuietServices();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    XmlRecordSet rs;
    auto r = plat::LineReader::FromString(bytes);
    std::vector<LineIndexLink> links;
    if (rs.ReadLineIndexHead(r)) {
        while (rs.ReadLineIndexLink(r)) links.push_back(rs.link);
    }
    for (const auto& l : links)
        if (!Clean(l)) return 0;

    plat::StringSink sink;
    XmlRecordSet w;
    w.WriteLineIndexHead(sink, "t", "k");
    for (const auto& l : links) w.WriteLineIndexLink(sink, l.name, l.url, l.klass, l.date, l.keyword, l.source);
    w.WriteLineIndexEnd(sink);
    XmlRecordSet back;
    auto rb = plat::LineReader::FromString(sink.data);
    if (!back.ReadLineIndexHead(rb)) abort();
    for (const auto& l : links) {
        if (!back.ReadLineIndexLink(rb)) abort();
        const auto& b = back.link;
        if (b.name != l.name || b.url != l.url || b.klass != l.klass || b.date != l.date || b.keyword != l.keyword ||
            b.source != l.source)
            abort();
    }
    if (back.ReadLineIndexLink(rb)) abort();
    return 0;
}
