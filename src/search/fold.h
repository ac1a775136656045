// How search sees text: a card's GBK bytes become a string of folded characters, one 16-bit unit each, so
// that matching is on characters and never across the two bytes of different GBK characters. ASCII letters
// are lowered and full-width ASCII (the GBK row A3) becomes the half-width character it stands for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace search {

using Unit = std::uint16_t;
using Units = std::basic_string<Unit>;

// A byte that is no character (a lead byte without its trail byte, 0x80, 0xFF): never matches anything.
inline constexpr Unit kStray = 0x0001;

// Appends the folded characters of `gbk` to `out`.
void FoldAppend(std::string_view gbk, Units& out);
inline Units Fold(std::string_view gbk) {
    Units u;
    FoldAppend(gbk, u);
    return u;
}

// Characters that separate query terms and that no term can span: ASCII blanks and line ends, the
// ideographic space, stray bytes.
bool IsBreak(Unit u);

// Splits a query (GBK) into its folded terms; empty when it holds none.
std::vector<Units> SplitTerms(std::string_view queryGbk);

// The bytes that stand for one folded character inside an index token: one byte for ASCII, the two GBK
// bytes otherwise. The coding is prefix-free, so a token of two characters splits only one way.
void AppendTokenBytes(Unit u, std::string& out);

// A short piece of a card's text (GBK, for display) around the first place where one of the terms occurs,
// with every occurrence of a term inside it marked: byte ranges [first, second) of `text`. Line ends
// become blanks; "..." stands for what was left out.
struct Snippet {
    std::string text;
    std::vector<std::pair<std::size_t, std::size_t>> marks;
};
// The start of `gbk` when no term occurs in it (`found` false). About `radius` characters each side of
// the first hit; only the first kSnippetScanBytes of a huge text are looked at.
inline constexpr std::size_t kSnippetScanBytes = 1u << 20;
Snippet SnippetOf(std::string_view gbk, const std::vector<Units>& terms, std::size_t radius = 24,
                  bool* found = nullptr);

}  // namespace search
