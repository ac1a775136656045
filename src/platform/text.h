// GB18030 byte strings (GBK, whose byte sequences GB18030 keeps as they are, plus four-byte characters for
// everything GBK lacks). Every search that must respect character boundaries goes through here, because GBK
// trail bytes include '\', '_', '@' and letters, and the second and fourth bytes of a four-byte character
// are digits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

inline constexpr std::size_t npos = std::string::npos;

// A lead byte starts a two-byte character when a trail byte follows it.
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

inline bool IsDigitByte(unsigned char c) { return c >= 0x30 && c <= 0x39; }

// Length in bytes (1, 2 or 4) of the character that starts at pos. A lead byte without a trail byte after it
// (at the very end, or before a byte below 0x40 such as '<', CR or '\t') is a character of its own: a stray
// byte in a damaged file must not swallow the '<' of the tag that follows it.
inline std::size_t CharLen(std::string_view s, std::size_t pos) {
    if (pos + 1 >= s.size() || !IsLeadByte(static_cast<unsigned char>(s[pos]))) return 1;
    const auto second = static_cast<unsigned char>(s[pos + 1]);
    if (IsTrailByte(second)) return 2;
    return IsDigitByte(second) && pos + 3 < s.size() && IsLeadByte(static_cast<unsigned char>(s[pos + 2])) &&
                   IsDigitByte(static_cast<unsigned char>(s[pos + 3]))
               ? 4
               : 1;
}

// First occurrence of needle that starts on a character boundary, at or after `from` (itself a boundary).
// An empty needle matches at `from`. npos when absent.
std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from = 0);
inline bool Contains(std::string_view hay, std::string_view needle) { return Find(hay, needle) != npos; }

// Every occurrence of `from` (character-aware, left to right, non-overlapping) replaced by `to`.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// ASCII letters lowered; two-byte characters are copied untouched (their trail bytes may be letters).
std::string AsciiLower(std::string_view s);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// The C "%d" conversion: leading blanks skipped, optional sign, digits up to the first non-digit.
// No digits gives 0; values beyond int are clamped.
int ParseInt(std::string_view s);
// "%d" formatting: decimal, no leading zeros.
std::string FormatInt(long long v);

// A byte below 0x20, or DEL: what would break a line format or a terminal line. Such a byte is never part of
// a two-byte GBK character nor of a UTF-8 sequence, so this holds for both encodings.
bool HasControlChar(std::string_view s);
// Control characters written as "\n", "\r", "\t" or "\xHH", everything else as it is (GBK or UTF-8).
std::string EscapeControls(std::string_view s);
// A path or name cut for a message: at most about `max` bytes, its start and end kept around "...", cut on
// character boundaries (GBK).
std::string Abbreviate(std::string_view gbk, std::size_t max = 160);

}  // namespace plat
