#include "platform/text.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/codec.h"

using plat::npos;

namespace {
// Two-byte GBK characters whose trail byte is an ASCII character.
const std::string kTrailBackslash = "\x81\x5C";  // 乗
const std::string kTrailUnderscore = "\x81\x5F";  // 乢
const std::string kTrailAt = "\x81\x40";          // 丂
const std::string kTrailUpperA = "\x81\x41";      // 丄
const std::string kTrailLowerA = "\x81\x61";      // 乤
}  // namespace

TEST(Text, CharLenStepsOverTwoByteCharacters) {
    std::string s = "a" + kTrailBackslash + "\x81";
    EXPECT_EQ(plat::CharLen(s, 0), 1u);
    EXPECT_EQ(plat::CharLen(s, 1), 2u);
    EXPECT_EQ(plat::CharLen(s, 3), 1u);  // a lone lead byte at the end
    // A stray lead byte before a tag does not hide the tag.
    EXPECT_EQ(plat::Find("x\xFE</part>", "</part>"), 2u);
    EXPECT_EQ(plat::CharLen("\x81\x7F", 0), 1u);
}

TEST(Text, FindMatchesOnlyAtCharacterBoundaries) {
    std::string hay = "ab" + kTrailBackslash + "cd\\ef";
    EXPECT_EQ(plat::Find(hay, "\\"), 6u);  // not the trail byte at 3
    EXPECT_EQ(plat::Find(hay, kTrailBackslash), 2u);
    EXPECT_EQ(plat::Find(hay, "\\", 7), npos);
    EXPECT_EQ(plat::Find(hay, "", 4), 4u);
    EXPECT_EQ(plat::Find(hay, "zz"), npos);
    EXPECT_EQ(plat::Find(hay, "x", 99), npos);

    std::string under = kTrailUnderscore + " _" + kTrailAt + "@";
    EXPECT_EQ(plat::Find(under, "_"), 3u);
    EXPECT_EQ(plat::Find(under, "@"), 6u);
    EXPECT_FALSE(plat::Contains(kTrailUnderscore + kTrailAt, "_"));
    EXPECT_TRUE(plat::Contains(kTrailUnderscore + "_ _", "_ _"));
    // A needle that starts inside a character but also occurs later on a boundary.
    std::string repeated = kTrailLowerA + "b" + kTrailLowerA + "ab";
    EXPECT_EQ(plat::Find(repeated, "ab"), 5u);
    // A second byte that looks like a lead byte is still a trail byte: 0x81 0x81 is one character.
    EXPECT_EQ(plat::Find("\x81\x81\x81\x5C\\", "\\"), 4u);
}

TEST(Text, ReplaceAllIsCharacterAwareAndNonOverlapping) {
    std::string s = "a\\" + kTrailBackslash + "\\b";
    EXPECT_EQ(plat::ReplaceAll(s, "\\", "/"), "a/" + kTrailBackslash + "/b");
    EXPECT_EQ(plat::ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(plat::ReplaceAll("aaa", "aa", "aaa"), "aaaa");
    EXPECT_EQ(plat::ReplaceAll("xyz", "", "q"), "xyz");
    EXPECT_EQ(plat::ReplaceAll("a.b.c", ".", ""), "abc");
    EXPECT_EQ(plat::ReplaceAll(kTrailUnderscore + "_", "_", "-"), kTrailUnderscore + "-");
}

TEST(Text, AsciiLowerLeavesTrailBytesAlone) {
    EXPECT_EQ(plat::AsciiLower("AbC-" + kTrailUpperA + "XY\\Z"), "abc-" + kTrailUpperA + "xy\\z");
    EXPECT_EQ(plat::AsciiLower(""), "");
    EXPECT_TRUE(plat::EqualsIgnoreAsciiCase("Card.DATUM." + kTrailUpperA, "card.datum." + kTrailUpperA));
    EXPECT_FALSE(plat::EqualsIgnoreAsciiCase(kTrailUpperA, kTrailLowerA));
    EXPECT_FALSE(plat::EqualsIgnoreAsciiCase("ab", "abc"));
    EXPECT_FALSE(plat::EqualsIgnoreAsciiCase("a[", "A{"));  // only letters fold
}

TEST(Text, ParseIntFollowsPercentDAndFormatInt) {
    const std::pair<const char*, int> rows[] = {
        {" 12abc", 12}, {"\t\n-3", -3}, {"+4", 4}, {"007", 7}, {"", 0}, {"x12", 0}, {"-", 0}, {"- 5", 0},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}, {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX}, {"-99999999999999999999999", INT_MIN}};
    for (const auto& [text, value] : rows) EXPECT_EQ(plat::ParseInt(text), value) << text;
    EXPECT_EQ(plat::FormatInt(0), "0");
    EXPECT_EQ(plat::FormatInt(-42), "-42");
    EXPECT_EQ(plat::FormatInt(1234567890123LL), "1234567890123");
}
