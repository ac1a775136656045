#include "platform/codec.h"

#include <iconv.h>

#include <cerrno>

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
    thread_local Converter c("UTF-8", "GBK");
    return c;
}
Converter& GbkEncoder() {
    thread_local Converter c("GBK", "UTF-8");
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

}  // namespace

bool TryGbkToUtf8(std::string_view gbk, std::string& out) {
    out.clear();
    if (IsAscii(gbk)) return out.assign(gbk), true;
    return GbkDecoder().Run(gbk, out, kStop);
}

bool TryUtf8ToGbk(std::string_view utf8, std::string& out) {
    out.clear();
    if (IsAscii(utf8)) return out.assign(utf8), true;
    return GbkEncoder().Run(utf8, out, kStop);
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    if (IsAscii(gbk)) return std::string(gbk);
    GbkDecoder().Run(gbk, out, [](std::string_view, std::string& o) -> std::size_t {
        o += "\xEF\xBF\xBD";  // U+FFFD
        return 1;
    });
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    if (IsAscii(utf8)) return std::string(utf8);
    GbkEncoder().Run(utf8, out, [](std::string_view rest, std::string& o) -> std::size_t {
        o += '?';
        std::size_t len = Utf8SequenceLength(rest);  // an unencodable character is skipped whole
        return len ? len : 1;
    });
    return out;
}

QString ToQ(std::string_view gbk) { return QString::fromStdString(GbkToUtf8(gbk)); }

bool FromQ(const QString& text, std::string& gbk) {
    std::string out;
    if (!TryUtf8ToGbk(text.toStdString(), out)) return false;
    gbk = std::move(out);
    return true;
}

}  // namespace plat
