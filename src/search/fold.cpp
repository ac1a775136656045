#include "search/fold.h"

#include <algorithm>

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
        if (!pair && c <= 0xFE && i + 3 < n && p[i + 1] >= 0x30 && p[i + 1] <= 0x39 && p[i + 2] >= 0x81 &&
            p[i + 2] <= 0xFE && p[i + 3] >= 0x30 && p[i + 3] <= 0x39) {
            // A four-byte character (GB18030, beyond GBK): two units, neither of which a GBK code can be.
            out.push_back(static_cast<Unit>((c << 8) | p[i + 1]));
            out.push_back(static_cast<Unit>((p[i + 2] << 8) | p[i + 3]));
            i += 4;
            continue;
        }
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
namespace {

// Length of the character at p[i]: two bytes for a lead byte with its trail byte, four for a GB18030
// four-byte one, else one.
std::size_t CharLen(const unsigned char* p, std::size_t i, std::size_t n) {
    if (p[i] < 0x81 || p[i] > 0xFE || i + 1 >= n) return 1;
    if (p[i + 1] >= 0x40 && p[i + 1] != 0x7F && p[i + 1] != 0xFF) return 2;
    return p[i + 1] >= 0x30 && p[i + 1] <= 0x39 && i + 3 < n && p[i + 2] >= 0x81 && p[i + 2] <= 0xFE &&
                   p[i + 3] >= 0x30 && p[i + 3] <= 0x39
               ? 4
               : 1;
}

}  // namespace

Snippet SnippetOf(std::string_view gbk, const std::vector<Units>& terms, std::size_t radius, bool* found) {
    if (gbk.size() > kSnippetScanBytes) gbk = gbk.substr(0, kSnippetScanBytes);
    // Fold with the byte offset of each character, so a hit found among the characters maps back to bytes.
    Units units;
    std::vector<std::uint32_t> at;
    units.reserve(gbk.size());
    at.reserve(gbk.size() + 1);
    const auto* p = reinterpret_cast<const unsigned char*>(gbk.data());
    for (std::size_t i = 0; i < gbk.size();) {
        const std::size_t len = CharLen(p, i, gbk.size());
        FoldAppend(gbk.substr(i, len), units);
        while (at.size() < units.size()) at.push_back(static_cast<std::uint32_t>(i));  // two for a four-byte one
        i += len;
    }
    at.push_back(static_cast<std::uint32_t>(gbk.size()));

    std::size_t hit = units.size(), hitLen = 0;
    for (const Units& t : terms) {
        if (t.empty()) continue;
        const auto it = std::search(units.begin(), units.end(), t.begin(), t.end());
        const auto pos = static_cast<std::size_t>(it - units.begin());
        if (it != units.end() && pos < hit) {
            hit = pos;
            hitLen = t.size();
        }
    }
    if (found) *found = hit < units.size();
    if (hit == units.size()) hit = 0;
    const std::size_t from = hit > radius ? hit - radius : 0;
    const std::size_t to = std::min(units.size(), hit + hitLen + radius);

    Snippet out;
    const std::size_t lead = from > 0 ? 3 : 0;
    if (lead) out.text = "...";
    out.text.append(gbk.substr(at[from], at[to] - at[from]));
    for (std::size_t k = lead; k < out.text.size(); ++k) {
        char& ch = out.text[k];
        if (ch == '\r' || ch == '\n' || ch == '\t') ch = ' ';  // never a trail byte: those are 0x40 and up
    }
    if (to < units.size()) out.text += "...";
    // Every occurrence inside the piece, overlapping ones joined.
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (const Units& t : terms) {
        if (t.empty() || t.size() > to - from) continue;
        for (auto it = units.begin() + static_cast<std::ptrdiff_t>(from);;) {
            it = std::search(it, units.begin() + static_cast<std::ptrdiff_t>(to), t.begin(), t.end());
            if (it == units.begin() + static_cast<std::ptrdiff_t>(to)) break;
            const auto pos = static_cast<std::size_t>(it - units.begin());
            spans.emplace_back(pos, pos + t.size());
            ++it;
        }
    }
    std::sort(spans.begin(), spans.end());
    for (const auto& [a, b] : spans) {
        const std::size_t s = at[a] - at[from] + lead, e = at[b] - at[from] + lead;
        if (!out.marks.empty() && s <= out.marks.back().second)
            out.marks.back().second = std::max(out.marks.back().second, e);
        else
            out.marks.emplace_back(s, e);
    }
    return out;
}

}  // namespace search
