// Any bytes as a card file: the parser and the line reader never crash; a card that reads is written as
// well-formed XML and read back by the parser with the same fields.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_common.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/xml_record_set.h"

namespace {
bool Fixed(LocalTime& t) {
    t = {2024, 3, 5, 9, 7};
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InstallQuietServices();
    SetLocalTimeSource(&Fixed);
    std::string bytes(reinterpret_cast<const char*>(data), size);

    XmlRecordSet rs;
    auto r1 = plat::LineReader::FromString(bytes);
    bool ok = rs.ReadCard(r1);
    auto r2 = plat::LineReader::FromString(bytes);
    XmlRecordSet head;
    (void)head.ReadCardHead(r2);
    (void)head.ReadCardPart(r2);
    // The round trip is the parser's promise; a card in the old line layout that is no XML is only read.
    XmlRecordSet probe;
    if (!ok || !probe.ParseCard(bytes)) return 0;

    // What the parser read is written and read back the same; a line break inside a paragraph becomes a
    // paragraph break. A field from a card in the old line layout may hold what no XML holds: skipped.
    DatumCard before = rs.card;
    auto xmlText = [](const std::string& f, bool breaks) {
        std::string utf8;
        if (!plat::TryGbkToUtf8(f, utf8)) return false;
        for (char c : f)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && (!breaks || (c != '\r' && c != '\n'))) return false;
        return true;
    };
    for (const std::string* f : {&before.title, &before.klass, &before.source, &before.keyword, &before.founddate,
                                 &before.href})
        if (!xmlText(*f, false)) return 0;
    if (!xmlText(before.content, true)) return 0;
    plat::StringSink sink;
    if (!rs.WriteCard(sink)) abort();
    XmlRecordSet back;
    if (!back.ParseCard(sink.data)) abort();
    auto paragraphs = [](const std::string& s) {
        return plat::ReplaceAll(plat::ReplaceAll(plat::ReplaceAll(s, "\r\n", "\n"), "\r", "\n"), "\n", "\r\n");
    };
    // As characters: an old card's one-byte euro sign comes back as GB18030 writes it.
    auto same = [](const std::string& x, const std::string& y) { return plat::GbkToUtf8(x) == plat::GbkToUtf8(y); };
    if (!same(back.card.title, before.title) || !same(back.card.klass, before.klass) ||
        !same(back.card.source, before.source) || !same(back.card.keyword, before.keyword) ||
        !same(back.card.content, paragraphs(before.content)) ||
        // An empty creation stamp is written as the time of the save.
        (!before.founddate.empty() && !same(back.card.founddate, before.founddate)))
        abort();
    return 0;
}
