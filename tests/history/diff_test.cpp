// Differences as the history window marks them: paragraphs kept, added, removed or changed, and inside a
// changed paragraph the characters, Chinese compared character by character.
#include <gtest/gtest.h>

#include <QString>

#include "history/diff.h"

namespace {

std::u32string U(const char* utf8) { return QString::fromUtf8(utf8).toStdU32String(); }

// "=kept", "+added", "-removed", "~[-a][+b]c" for each paragraph.
std::string Show(const std::vector<history::Paragraph>& ps) {
    std::string out;
    for (const history::Paragraph& p : ps) {
        out += "|";
        out += "=+-~"[p.kind];
        for (const history::Piece& piece : p.pieces) {
            const std::string t = QString::fromStdU32String(piece.text).toStdString();
            if (p.kind == history::Paragraph::Changed && piece.kind != history::Piece::Same)
                out += std::string("[") + "=+-"[piece.kind] + t + "]";
            else
                out += t;
        }
    }
    return out;
}

std::vector<std::u32string> Paras(std::initializer_list<const char*> ps) {
    std::vector<std::u32string> out;
    for (const char* p : ps) out.push_back(U(p));
    return out;
}

TEST(DiffTest, ParagraphsAndTheCharactersInsideThem) {
    const struct {
        std::vector<std::u32string> before, after;
        std::string shown;
    } cases[] = {
        {Paras({"甲", "乙"}), Paras({"甲", "乙"}), "|=甲|=乙"},
        {Paras({"第一段", "第二段"}), Paras({"第一段"}), "|=第一段|-第二段"},
        {Paras({"第一段"}), Paras({"新的开头", "第一段"}), "|+新的开头|=第一段"},
        // One character changed in a Chinese sentence: the paragraph is changed, not replaced.
        {Paras({"今天天气很好。", "末尾"}), Paras({"今天天气不好。", "末尾"}), "|~今天天气[-很][+不]好。|=末尾"},
        {Paras({"春眠不觉晓"}), Paras({"春眠不觉晓，处处闻啼鸟"}), "|~春眠不觉晓[+，处处闻啼鸟]"},
        // Nothing in common: one went, the other came.
        {Paras({"完全不同的话"}), Paras({"abc"}), "|-完全不同的话|+abc"},
        {Paras({}), Paras({"只有新的"}), "|+只有新的"},
        {Paras({"a", "b", "c"}), Paras({"c", "a"}), "|-a|-b|=c|+a"},
        // A character outside the BMP is one character.
        {Paras({"x😀y"}), Paras({"x😁y"}), "|~x[-😀][+😁]y"},
    };
    for (const auto& c : cases) EXPECT_EQ(Show(history::Compare(c.before, c.after)), c.shown);
}

TEST(DiffTest, AParagraphTooLongForTheTableIsStillComparedAtItsEnds) {
    std::u32string a(3000, U'甲'), b = a;
    a[1500] = U'乙';
    b[1500] = U'丙';
    b += U'丁';
    const auto pieces = history::CompareChars(a, b);
    std::u32string before, after;
    for (const auto& p : pieces) {
        if (p.kind != history::Piece::Added) before += p.text;
        if (p.kind != history::Piece::Removed) after += p.text;
    }
    EXPECT_EQ(before, a);
    EXPECT_EQ(after, b);
    EXPECT_EQ(pieces.front().kind, history::Piece::Same);
    EXPECT_EQ(pieces.front().text.size(), 1500u);
}

}  // namespace
