// Any bytes as an index or bookmark list: the readers never crash, and every link that read is written and
// read back unchanged when its fields hold no tags or line breaks.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/xml_doc.h"
#include "store/xml_record_set.h"

namespace {
bool Clean(const LineIndexLink& l) {
    // What an XML file can hold; a list in the old line layout may have held anything but a line end.
    std::string utf8;
    for (const std::string* f : {&l.name, &l.url, &l.klass, &l.date, &l.keyword, &l.source}) {
        if (!plat::TryGbkToUtf8(*f, utf8)) return false;
        for (char c : *f)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
    }
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
    // The round trip is the parser's promise; a list in the old line layout that is no XML is only read.
    std::string error;
    const xmldoc::Doc doc = xmldoc::Parse(bytes, error);
    if (!doc || xmldoc::NameOf(xmlDocGetRootElement(doc.get())) != "lineindex") return 0;

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
        // As characters: an old list's one-byte euro sign comes back as GB18030 writes it.
        auto same = [](const std::string& x, const std::string& y) { return plat::GbkToUtf8(x) == plat::GbkToUtf8(y); };
        if (!same(b.name, l.name) || !same(b.url, l.url) || !same(b.klass, l.klass) || !same(b.date, l.date) ||
            !same(b.keyword, l.keyword) || !same(b.source, l.source))
            abort();
    }
    if (back.ReadLineIndexLink(rb)) abort();
    return 0;
}
