#include "store/xml_text.h"

#include <iconv.h>

#include <cstdint>

#include "platform/codec.h"
#include "platform/text.h"

namespace xmltext {
namespace {

// Per two-byte code: 0 not yet known, 1 written as it is, 2 written as a reference.
std::uint8_t* Verdicts() {
    thread_local std::vector<std::uint8_t> table(0x10000, 0);
    return table.data();
}

std::string Decode(const char* from, std::string_view bytes) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    char out[16];
    char* src = const_cast<char*>(bytes.data());
    std::size_t srcLeft = bytes.size(), dstLeft = sizeof out;
    char* dst = out;
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    return r == static_cast<std::size_t>(-1) || srcLeft ? std::string() : std::string(out, dst);
}

// A code stays as bytes only when GB2312 holds it (EUC-CN: both bytes A1..FE) and reads it as GB18030 does.
std::uint8_t Verdict(unsigned char lead, unsigned char trail) {
    std::uint8_t& v = Verdicts()[(lead << 8) | trail];
    if (v) return v;
    if (lead < 0xA1 || trail < 0xA1 || trail == 0xFF) return v = 2;
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    const std::string strict = Decode("GB2312", std::string_view(pair, 2));
    return v = !strict.empty() && strict == Decode("GB18030", std::string_view(pair, 2)) ? 1 : 2;
}

void AppendReference(std::string_view character, std::string& out) {
    std::string utf8;
    if (!plat::TryGbkToUtf8(character, utf8) || utf8.empty()) {
        out.append(character);  // no character at all: left for the reader to refuse rather than changed
        return;
    }
    const auto lead = static_cast<unsigned char>(utf8[0]);
    const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t cp = len == 1 ? lead : lead & (0x7F >> len);
    for (std::size_t k = 1; k < len && k < utf8.size(); ++k) cp = (cp << 6) | (utf8[k] & 0x3F);
    static constexpr char kHex[] = "0123456789ABCDEF";
    char buf[16];
    int n = 0;
    do buf[n++] = kHex[cp & 15];
    while (cp >>= 4);
    out += "&#x";
    while (n) out += buf[--n];
    out += ';';
}

}  // namespace

void Append(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size() + text.size() / 8);
    std::size_t run = 0;  // start of the bytes not yet copied
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const char* entity = c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : nullptr;
            if (entity) {
                out.append(text, run, i - run);
                out += entity;
                run = i + 1;
            }
            ++i;
            continue;
        }
        const std::size_t len = plat::CharLen(text, i);
        if (len != 2 || Verdict(c, static_cast<unsigned char>(text[i + 1])) != 1) {
            out.append(text, run, i - run);
            AppendReference(text.substr(i, len), out);
            run = i + len;
        }
        i += len;
    }
    out.append(text, run);
}

}  // namespace xmltext
