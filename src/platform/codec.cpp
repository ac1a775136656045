#include "platform/codec.h"
#include "platform/text.h"

#include <QStringDecoder>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace plat {

namespace {

// One iconv descriptor per direction and thread, opened on first use and reset before each conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`, appending to `out`. On an invalid or unconvertible sequence calls onBad(rest), which
    // returns how many bytes to skip and may append a replacement, or 0 to stop with false.
    template <typename OnBad>
    bool Run(std::string_view in, std::string& out, OnBad onBad) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            int err = errno;
            out.append(buf, dst - buf);
            if (r != static_cast<std::size_t>(-1) || err == E2BIG) continue;
            if (err != EILSEQ && err != EINVAL) return false;
            std::size_t skip = onBad(std::string_view(src, srcLeft), out);
            if (skip == 0) return false;
            src += skip;
            srcLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

private:
    iconv_t cd_;
};

Converter& GbkDecoder() {
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}
Converter& GbkEncoder() {
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Length of the well-formed UTF-8 sequence at the start of s, or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead < 0x80) return 1;
    if (lead < 0xC2 || lead > 0xF4) return 0;
    const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (s.size() < len) return 0;
    char32_t cp = lead & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};  // shorter forms are overlong
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

constexpr auto kStop = [](std::string_view, std::string&) -> std::size_t { return 0; };
// GB18030 has no one-byte euro sign; GBK text from before reads 0x80 as one.
constexpr auto kEuro = [](std::string_view rest, std::string& out) -> std::size_t {
    if (static_cast<unsigned char>(rest[0]) != 0x80) return 0;
    out += "\xE2\x82\xAC";
    return 1;
};

// GBK maps each character on its own, so every character's conversion can be remembered: scanning a
// library converts every file name, and iconv's per-call set-up costs far more than the lookup. Whatever
// the caches cannot answer goes to iconv whole, so the results are iconv's.
enum class Fast { Done, Invalid, Unsure };

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Two-byte code -> code point + 1; 0 not yet known; kNoChar not a character; kUnsure left to iconv.
constexpr std::uint32_t kNoChar = 0xFFFFFFFF;
constexpr std::uint32_t kUnsure = 0xFFFFFFFE;

std::uint32_t* DecodeCache() {
    thread_local std::vector<std::uint32_t> cache(0x10000, 0);
    return cache.data();
}

std::uint32_t FillDecodeSlot(std::uint32_t& slot, unsigned char lead, unsigned char trail) {
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    std::string one;
    if (!GbkDecoder().Run(std::string_view(pair, 2), one, kStop)) return slot = kNoChar;
    const std::size_t len = Utf8SequenceLength(one);
    if (len != one.size() || len < 2 || len > 3) return slot = kUnsure;
    char32_t cp = static_cast<unsigned char>(one[0]) & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (one[k] & 0x3F);
    // GBK's user-defined areas (AAA1.., F8A1.., A140..) are no characters here, as GBK has them: GB18030 reads
    // them as private-use ones, and a stray byte before a Chinese character would swallow it into one.
    if (cp >= 0xE000 && cp <= 0xF8FF) return slot = kNoChar;
    return slot = cp + 1;
}

// The lookup stays in the conversion loops; only a character seen for the first time leaves them.
inline std::uint32_t DecodeSlot(std::uint32_t* cache, unsigned char lead, unsigned char trail) {
    std::uint32_t& slot = cache[(lead << 8) | trail];
    return slot != 0 ? slot : FillDecodeSlot(slot, lead, trail);
}

// Code point (BMP) -> GBK code (0x80..0xFF: that one byte, the euro sign); 0 not yet known; 1 not encodable;
// 2 left to iconv.
std::uint16_t* EncodeCache() {
    thread_local std::vector<std::uint16_t> cache(0x10000, 0);
    return cache.data();
}

std::uint16_t FillEncodeSlot(Converter& encoder, std::uint16_t& slot, char32_t cp) {
    std::string utf8;
    AppendUtf8(cp, utf8);
    std::string one;
    if (!encoder.Run(utf8, one, kStop)) return slot = 1;
    const auto lead = static_cast<unsigned char>(one[0]);
    if (one.size() == 2 && IsLeadByte(lead))
        return slot = static_cast<std::uint16_t>((lead << 8) | static_cast<unsigned char>(one[1]));
    return slot = one.size() == 1 && lead >= 0x80 ? lead : 2;
}

inline std::uint16_t EncodeSlot(std::uint16_t* cache, char32_t cp) {
    std::uint16_t& slot = cache[cp];
    return slot != 0 ? slot : FillEncodeSlot(GbkEncoder(), slot, cp);
}

void AppendCode(std::uint16_t slot, char*& dst) {
    if (slot >= 0x100) *dst++ = static_cast<char>(slot >> 8);
    *dst++ = static_cast<char>(slot & 0xFF);
}

Fast FastGbkToUtf8(std::string_view gbk, std::string& out) {
    std::uint32_t* const cache = DecodeCache();
    out.reserve(gbk.size() * 3 / 2);
    for (std::size_t i = 0; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c == 0x80 || c == 0xFF || i + 1 >= gbk.size() || IsDigitByte(gbk[i + 1])) return Fast::Unsure;
        const std::uint32_t slot = DecodeSlot(cache, c, static_cast<unsigned char>(gbk[i + 1]));
        if (slot == kNoChar) return Fast::Invalid;
        if (slot == kUnsure) return Fast::Unsure;
        AppendUtf8(slot - 1, out);
        i += 2;
    }
    return Fast::Done;
}

// Straight into UTF-16, for the widgets: a card body of a megabyte is not taken through UTF-8 first.
Fast FastGbkToUtf16(std::string_view gbk, QString& out) {
    std::uint32_t* const cache = DecodeCache();
    out.resize(static_cast<qsizetype>(gbk.size()));  // never more units than bytes
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = dst;
    for (std::size_t i = 0; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            *dst++ = c;
            ++i;
            continue;
        }
        if (c == 0x80 || c == 0xFF || i + 1 >= gbk.size() || IsDigitByte(gbk[i + 1])) return Fast::Unsure;
        const std::uint32_t slot = DecodeSlot(cache, c, static_cast<unsigned char>(gbk[i + 1]));
        if (slot == kNoChar) return Fast::Invalid;
        if (slot == kUnsure || slot - 1 > 0xFFFF) return Fast::Unsure;
        *dst++ = static_cast<char16_t>(slot - 1);
        i += 2;
    }
    out.resize(dst - begin);
    return Fast::Done;
}

Fast FastUtf8ToGbk(std::string_view utf8, std::string& out) {
    std::uint16_t* const cache = EncodeCache();
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t len = Utf8SequenceLength(utf8.substr(i));
        if (len == 0) return Fast::Invalid;
        if (len == 4) return Fast::Unsure;
        char32_t cp = c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        const std::uint16_t slot = EncodeSlot(cache, cp);
        if (slot == 1) return Fast::Invalid;
        if (slot == 2) return Fast::Unsure;
        if (slot >= 0x100) out += static_cast<char>(slot >> 8);
        out += static_cast<char>(slot & 0xFF);
        i += len;
    }
    return Fast::Done;
}

// Text from a widget. A character GBK lacks is a four-byte GB18030 one: left to iconv with the rest.
Fast FastUtf16ToGbk(const QString& text, std::string& out) {
    std::uint16_t* const cache = EncodeCache();
    out.resize(static_cast<std::size_t>(text.size()) * 2);  // at most two bytes per unit
    char* dst = out.data();
    char* const begin = dst;
    const char16_t* src = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = src + text.size();
    for (; src < end; ++src) {
        const char16_t u = *src;
        if (u < 0x80) {
            *dst++ = static_cast<char>(u);
            continue;
        }
        // Half a pair is not text at all (and must not become '?'); a whole pair is a four-byte character.
        if (QChar::isLowSurrogate(u) || (QChar::isHighSurrogate(u) && (src + 1 == end || !QChar::isLowSurrogate(src[1]))))
            return Fast::Invalid;
        if (QChar::isHighSurrogate(u)) return Fast::Unsure;
        const std::uint16_t slot = EncodeSlot(cache, u);
        if (slot == 1) return Fast::Invalid;
        if (slot == 2) return Fast::Unsure;
        AppendCode(slot, dst);
    }
    out.resize(static_cast<std::size_t>(dst - begin));
    return Fast::Done;
}

}  // namespace

bool TryGbkToUtf8(std::string_view gbk, std::string& out) {
    out.clear();
    if (IsAscii(gbk)) return out.assign(gbk), true;
    switch (FastGbkToUtf8(gbk, out)) {
        case Fast::Done: return true;
        case Fast::Invalid: return false;
        case Fast::Unsure: break;
    }
    // By character, with the fast path's verdicts: a euro sign elsewhere must not change what a code reads as.
    out.clear();
    std::uint32_t* const cache = DecodeCache();
    for (std::size_t i = 0; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (c == 0x80) {
            out += "\xE2\x82\xAC";  // GBK text from before reads 0x80 as the euro sign
            ++i;
        } else if (c != 0xFF && i + 1 < gbk.size() && !IsDigitByte(gbk[i + 1])) {
            const std::uint32_t slot = DecodeSlot(cache, c, static_cast<unsigned char>(gbk[i + 1]));
            if (slot == kNoChar) return false;
            if (slot != kUnsure)
                AppendUtf8(slot - 1, out);
            else if (!GbkDecoder().Run(gbk.substr(i, 2), out, kStop))
                return false;
            i += 2;
        } else if (i + 4 <= gbk.size() && GbkDecoder().Run(gbk.substr(i, 4), out, kStop)) {
            i += 4;  // GB18030's four-byte codes: what GBK has no code for
        } else {
            return false;
        }
    }
    return true;
}

bool TryUtf8ToGbk(std::string_view utf8, std::string& out) {
    out.clear();
    if (IsAscii(utf8)) return out.assign(utf8), true;
    switch (FastUtf8ToGbk(utf8, out)) {
        case Fast::Done: return true;
        case Fast::Invalid: return false;
        case Fast::Unsure: break;
    }
    out.clear();
    return GbkEncoder().Run(utf8, out, kStop);
}

// Character by character, so that a byte that is no character costs only itself: the character after it is
// read as it stands.
std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    if (TryGbkToUtf8(gbk, out)) return out;
    out.clear();
    std::string one;
    for (std::size_t i = 0; i < gbk.size();) {
        const std::size_t len = CharLen(gbk, i);
        if (TryGbkToUtf8(gbk.substr(i, len), one)) {
            out += one;
            i += len;
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
        }
    }
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    if (TryUtf8ToGbk(utf8, out)) return out;
    out.clear();
    GbkEncoder().Run(utf8, out, [](std::string_view rest, std::string& o) -> std::size_t {
        o += '?';
        std::size_t len = Utf8SequenceLength(rest);  // an unencodable character is skipped whole
        return len ? len : 1;
    });
    return out;
}

QString ToQ(std::string_view gbk) {
    QString out;
    if (FastGbkToUtf16(gbk, out) == Fast::Done) return out;
    // iconv's answer, with U+FFFD for what is not GBK; a leading U+FEFF is a character of the text, not a mark.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return utf8(GbkToUtf8(gbk));
}

bool FromQ(const QString& text, std::string& gbk) {
    std::string out;
    switch (FastUtf16ToGbk(text, out)) {
        case Fast::Done: gbk = std::move(out); return true;
        case Fast::Invalid: return false;
        case Fast::Unsure: break;
    }
    out.clear();
    if (!TryUtf8ToGbk(text.toStdString(), out)) return false;
    gbk = std::move(out);
    return true;
}

// XML 1.0 holds tab, the line breaks and every character from U+0020 but the surrogates and U+FFFE, U+FFFF.
// A few private-use code points have no GB18030 bytes in iconv's tables (their characters got codes of
// their own): those cannot be held either, nor can U+FFFD (below).
Unstorable FindUnstorable(QStringView text, QStringView ignore) {
    std::uint16_t* const cache = EncodeCache();
    Unstorable found;
    const char16_t* const units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const char16_t u = units[i];
        if (u >= 0x20 && u < 0xD800 && (u < 0x80 || EncodeSlot(cache, u) != 1)) continue;
        if (u == '\t' || u == '\n' || u == '\r') continue;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
            ++i;
            continue;
        }
        // U+FFFD stands where a file held bytes that are no character: saved, it would replace them for good.
        // Private-use characters have codes only in GBK's user-defined areas, which no other program reads alike.
        if (u > 0xF8FF && u < 0xFFFE && u != 0xFFFD && EncodeSlot(cache, u) != 1) continue;
        if (ignore.contains(QChar(u))) continue;
        if (found.count++ == 0) found.first = u;
    }
    return found;
}

bool IsGbk(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); i += CharLen(text, i))
        if (CharLen(text, i) == 4) return false;
    return true;
}

}  // namespace plat
