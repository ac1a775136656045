#include "search/fold.h"

#include <algorithm>
#include <functional>

namespace search {

void FoldAppend(std::string_view gbk, Units& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(gbk.data());
    const std::size_t n = gbk.size();
    out.reserve(out.size() + n);
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back(c >= 'A' && c <= 'Z' ? Unit(c + 32) : Unit(c));
            ++i;
            continue;
        }
        const bool pair = c >= 0x81 && c <= 0xFE && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] != 0x7F &&
                          p[i + 1] != 0xFF;
        if (!pair) {
            out.push_back(kStray);
            ++i;
            continue;
        }
        const unsigned char t = p[i + 1];
        if (c == 0xA3 && t >= 0xA1 && t <= 0xFD && t != 0xA4) {
            // Full-width ASCII: A3 A1 is '!', and so on up to A3 FD '}'. A3 A4 and A3 FE are the yen sign
            // and the macron in GBK, not '$' and '~'.
            const unsigned char a = static_cast<unsigned char>(t - 0x80);
            out.push_back(a >= 'A' && a <= 'Z' ? Unit(a + 32) : Unit(a));
        } else {
            out.push_back(static_cast<Unit>((c << 8) | t));
        }
        i += 2;
    }
}

bool IsBreak(Unit u) {
    return u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == '\f' || u == '\v' || u == 0 || u == 0xA1A1 ||
           u == kStray;
}

std::vector<Units> SplitTerms(std::string_view queryGbk) {
    const Units all = Fold(queryGbk);
    std::vector<Units> terms;
    Units cur;
    for (Unit u : all) {
        if (IsBreak(u)) {
            if (!cur.empty()) terms.push_back(std::move(cur));
            cur.clear();
        } else {
            cur.push_back(u);
        }
    }
    if (!cur.empty()) terms.push_back(std::move(cur));
    return terms;
}

bool MatchesAll(const Units& text, const std::vector<Units>& terms) {
    for (const Units& t : terms) {
        if (t.empty()) continue;
        if (std::search(text.begin(), text.end(), std::boyer_moore_horspool_searcher(t.begin(), t.end())) ==
            text.end())
            return false;
    }
    return true;
}

void AppendTokenBytes(Unit u, std::string& out) {
    if (u < 0x100) {
        out.push_back(static_cast<char>(u));
    } else {
        out.push_back(static_cast<char>(u >> 8));
        out.push_back(static_cast<char>(u & 0xFF));
    }
}

}  // namespace search

namespace search {

std::string SnippetAround(std::string_view gbk, const Units& term, std::size_t radius, bool* found) {
    // Fold with the byte offset of each character, so a hit found among the characters maps back to bytes.
    Units units;
    std::vector<std::uint32_t> at;
    units.reserve(gbk.size());
    at.reserve(gbk.size() + 1);
    for (std::size_t i = 0; i < gbk.size();) {
        const std::size_t before = units.size();
        const auto c = static_cast<unsigned char>(gbk[i]);
        const std::size_t len = c >= 0x81 && c <= 0xFE && i + 1 < gbk.size() &&
                                        static_cast<unsigned char>(gbk[i + 1]) >= 0x40 && gbk[i + 1] != 0x7F &&
                                        static_cast<unsigned char>(gbk[i + 1]) != 0xFF
                                    ? 2
                                    : 1;
        FoldAppend(gbk.substr(i, len), units);
        for (std::size_t k = before; k < units.size(); ++k) at.push_back(static_cast<std::uint32_t>(i));
        i += len;
    }
    at.push_back(static_cast<std::uint32_t>(gbk.size()));
    std::size_t hit = 0;
    if (!term.empty()) {
        auto it = std::search(units.begin(), units.end(), term.begin(), term.end());
        if (it != units.end()) hit = static_cast<std::size_t>(it - units.begin());
        if (found) *found = it != units.end();
    }
    const std::size_t from = hit > radius ? hit - radius : 0;
    const std::size_t to = std::min(units.size(), hit + term.size() + radius);
    std::string out(gbk.substr(at[from], at[to] - at[from]));
    for (char& ch : out)
        if (ch == '\r' || ch == '\n' || ch == '\t') ch = ' ';  // never a trail byte: those are 0x40 and up
    if (from > 0) out.insert(0, "...");
    if (to < units.size()) out += "...";
    return out;
}

}  // namespace search
