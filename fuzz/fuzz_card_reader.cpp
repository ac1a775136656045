// Any bytes as a card file: the readers never crash; a card that reads is written and read back with the
// same head fields (those hold no line breaks once read).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_common.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/xml_record_set.h"

namespace {
bool Fixed(LocalTime& t) {
    t = {2024, 3, 5, 9, 7};
    return true;
}
bool HasTag(const std::string& s) {
    for (const char* t : {"<title>", "</title>", "<class>", "</class>", "<founddate>", "</founddate>", "<source>",
                          "</source>", "<keyword>", "</keyword>", "<part>", "</part>", "<content>", "\r", "\n"})
        if (plat::Contains(s, t)) return true;
    return false;
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
    if (!ok) return 0;

    DatumCard before = rs.card;
    if (HasTag(before.title) || HasTag(before.klass) || HasTag(before.source) || HasTag(before.keyword) ||
        HasTag(before.founddate))
        return 0;
    plat::StringSink sink;
    if (!rs.WriteCard(sink)) abort();
    XmlRecordSet back;
    auto r3 = plat::LineReader::FromString(sink.data);
    if (!back.ReadCard(r3)) abort();
    if (back.card.title != before.title || back.card.klass != before.klass || back.card.source != before.source ||
        back.card.keyword != before.keyword ||
        // An empty creation stamp is written as the time of the save.
        (!before.founddate.empty() && back.card.founddate != before.founddate))
        abort();
    return 0;
}
