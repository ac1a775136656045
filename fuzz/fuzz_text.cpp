// GBK text helpers: matches start on character boundaries, lowering keeps lengths and two-byte characters,
// strict conversions round-trip, paths map both ways.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {
bool OnBoundary(const std::string& s, size_t pos) {
    size_t i = 0;
    while (i < pos) i += plat::CharLen(s, i);
    return i == pos;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t split = data[0] % (size);
    std::string hay(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string needle = hay.substr(0, std::min(split, hay.size()) % 5);

    size_t pos = plat::Find(hay, needle);
    if (pos != plat::npos) {
        if (!OnBoundary(hay, pos) || hay.compare(pos, needle.size(), needle) != 0) abort();
    }
    std::string replaced = plat::ReplaceAll(hay, "<", "\xA1\xDA");
    (void)replaced;

    std::string lower = plat::AsciiLower(hay);
    if (lower.size() != hay.size()) abort();
    for (size_t i = 0; i < hay.size(); i += plat::CharLen(hay, i)) {
        if (plat::CharLen(hay, i) == 2 && lower.compare(i, 2, hay, i, 2) != 0) abort();
    }
    (void)plat::ParseInt(hay);

    std::string utf8, gbk;
    // Strict conversions keep every character. The bytes may change where one character has two codes (the
    // one-byte euro sign 0x80 of old files is written with GB18030's own code), but never what they read as.
    if (plat::TryGbkToUtf8(hay, utf8)) {
        std::string again;
        if (!plat::TryUtf8ToGbk(utf8, gbk) || !plat::TryGbkToUtf8(gbk, again) || again != utf8) abort();
    }
    (void)plat::GbkToUtf8(hay);
    (void)plat::Utf8ToGbk(hay);
    std::string native = plat::ToNative(hay);
    (void)plat::FromNative(native);
    return 0;
}
