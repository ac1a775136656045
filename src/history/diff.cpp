#include "history/diff.h"

#include <algorithm>

namespace history {
namespace {

// Past this many cells the table of a longest common subsequence would cost more than a glance is worth:
// what lies between the common beginning and end is then shown as replaced whole.
constexpr std::size_t kMaxCells = 4'000'000;

// The longest common subsequence of a[0..n) and b[0..m), as the operations that turn a into b, in order.
template <class Seq, class Emit>
void Walk(const Seq& a, const Seq& b, Emit emit) {
    std::size_t lo = 0;
    while (lo < a.size() && lo < b.size() && a[lo] == b[lo]) emit(Piece::Same, lo, lo), ++lo;
    std::size_t ea = a.size(), eb = b.size();
    while (ea > lo && eb > lo && a[ea - 1] == b[eb - 1]) --ea, --eb;
    const std::size_t n = ea - lo, m = eb - lo;
    if (n && m && (n + 1) * (m + 1) <= kMaxCells) {
        std::vector<unsigned> t((n + 1) * (m + 1), 0);  // t[i][j]: LCS of a[lo+i..ea) and b[lo+j..eb)
        auto at = [&](std::size_t i, std::size_t j) -> unsigned& { return t[i * (m + 1) + j]; };
        for (std::size_t i = n; i-- > 0;)
            for (std::size_t j = m; j-- > 0;)
                at(i, j) = a[lo + i] == b[lo + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
        std::size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[lo + i] == b[lo + j])
                emit(Piece::Same, lo + i++, lo + j++);
            else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1)))
                emit(Piece::Removed, lo + i++, lo + j);  // what went before what came, as a reader expects
            else
                emit(Piece::Added, lo + i, lo + j++);
        }
    } else {
        for (std::size_t i = lo; i < ea; ++i) emit(Piece::Removed, i, lo);
        for (std::size_t j = lo; j < eb; ++j) emit(Piece::Added, ea, j);
    }
    for (std::size_t k = 0; ea + k < a.size(); ++k) emit(Piece::Same, ea + k, eb + k);
}

std::size_t Common(const std::vector<Piece>& pieces) {
    std::size_t n = 0;
    for (const Piece& p : pieces)
        if (p.kind == Piece::Same) n += p.text.size();
    return n;
}

}  // namespace

std::vector<Piece> CompareChars(const std::u32string& before, const std::u32string& after) {
    std::vector<Piece> out;
    Walk(before, after, [&](Piece::Kind kind, std::size_t i, std::size_t j) {
        const char32_t c = kind == Piece::Added ? after[j] : before[i];
        if (out.empty() || out.back().kind != kind) out.push_back({kind, {}});
        out.back().text += c;
    });
    return out;
}

std::vector<Paragraph> Compare(const std::vector<std::u32string>& before, const std::vector<std::u32string>& after) {
    std::vector<Paragraph> out;
    std::vector<std::size_t> removed, added;  // the run of changes not yet paired
    auto flush = [&] {
        // Removed and added paragraphs side by side are one paragraph changed when the shorter keeps at least
        // half of its characters in the longer; else the one went and the other came.
        std::size_t k = 0;
        for (; k < removed.size() && k < added.size(); ++k) {
            const std::u32string& a = before[removed[k]];
            const std::u32string& b = after[added[k]];
            std::vector<Piece> pieces = CompareChars(a, b);
            if (Common(pieces) * 2 >= std::min(a.size(), b.size()) && Common(pieces) > 0) {
                out.push_back({Paragraph::Changed, std::move(pieces)});
            } else {
                out.push_back({Paragraph::Removed, {{Piece::Removed, a}}});
                out.push_back({Paragraph::Added, {{Piece::Added, b}}});
            }
        }
        for (std::size_t r = k; r < removed.size(); ++r)
            out.push_back({Paragraph::Removed, {{Piece::Removed, before[removed[r]]}}});
        for (std::size_t a = k; a < added.size(); ++a) out.push_back({Paragraph::Added, {{Piece::Added, after[added[a]]}}});
        removed.clear();
        added.clear();
    };
    Walk(before, after, [&](Piece::Kind kind, std::size_t i, std::size_t j) {
        if (kind == Piece::Same) {
            flush();
            out.push_back({Paragraph::Same, {{Piece::Same, before[i]}}});
        } else {
            (kind == Piece::Added ? added : removed).push_back(kind == Piece::Added ? j : i);
        }
    });
    flush();
    return out;
}

}  // namespace history
