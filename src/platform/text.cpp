#include "platform/text.h"

#include <climits>

namespace plat {

namespace {
bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
char LowerAscii(char c) { return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from) {
    if (from > hay.size()) return npos;
    if (needle.empty()) return from;
    // A byte below 0x30 or from ':' to '?' ('<', '&', CR, LF, '"', '/' ...) is never inside a
    // character (digits are: in four-byte ones), so every occurrence of it is a boundary.
    const auto first = static_cast<unsigned char>(needle[0]);
    if (first < 0x30 || (first > 0x39 && first < 0x40)) return hay.find(needle, from);
    // Byte search for candidates; `boundary` walks the character boundaries alongside, so every byte is
    // stepped over at most once for the walk however many false candidates there are.
    std::size_t boundary = from;
    std::size_t candidate = hay.find(needle, from);
    while (candidate != npos) {
        while (boundary < candidate) boundary += CharLen(hay, boundary);
        if (boundary == candidate) return candidate;
        candidate = hay.find(needle, candidate + 1);  // the candidate started on a trail byte
    }
    return npos;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = Find(s, from, pos)) != npos; pos = hit + from.size()) {
        out.append(s, pos, hit - pos).append(to);
    }
    out.append(s, pos);
    return out;
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); i += CharLen(out, i)) out[i] = LowerAscii(out[i]);
    return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // The lead bytes are compared exactly, so both strings step over the same character boundaries.
    for (std::size_t i = 0; i < a.size();) {
        std::size_t len = CharLen(a, i);
        if (len == 2) {
            if (a.compare(i, 2, b, i, 2) != 0) return false;
        } else if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
        i += len;
    }
    return true;
}

int ParseInt(std::string_view s) {
    std::size_t i = 0;
    auto isBlank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < s.size() && isBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long value = 0;  // saturates just past the int range, so it never overflows
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > limit) value = limit;
    }
    if (negative) return static_cast<int>(-value);  // -limit is INT_MIN
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

std::string FormatInt(long long v) { return std::to_string(v); }

bool HasControlChar(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

std::string EscapeControls(std::string_view s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            out += c;
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out.append("\\x").append(1, kHex[u >> 4]).append(1, kHex[u & 15]);
    }
    return out;
}

std::string Abbreviate(std::string_view gbk, std::size_t max) {
    if (gbk.size() <= max) return std::string(gbk);
    const std::size_t keepHead = max / 2, keepTail = max - keepHead;
    std::size_t head = 0, tail = 0;
    for (std::size_t i = 0; i < gbk.size(); i += CharLen(gbk, i)) {
        if (i <= keepHead) head = i;
        if (gbk.size() - i <= keepTail) {
            tail = i;
            break;
        }
    }
    return std::string(gbk.substr(0, head)) + "..." + std::string(gbk.substr(tail));
}

}  // namespace plat
