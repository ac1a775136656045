#include "platform/codec.h"

#include <gtest/gtest.h>

TEST(Codec, RoundTripsChineseAsciiEmptyAndLongText) {
    const std::string utf8 = "卡片 Card 表\\乗 ￥";
    std::string gbk, back;
    ASSERT_TRUE(plat::TryUtf8ToGbk(utf8, gbk));
    EXPECT_EQ(gbk, "\xBF\xA8\xC6\xAC Card \xB1\xED\\\x81\x5C \xA3\xA4");
    ASSERT_TRUE(plat::TryGbkToUtf8(gbk, back));
    EXPECT_EQ(back, utf8);
    EXPECT_EQ(plat::GbkToUtf8(gbk), utf8);
    EXPECT_EQ(plat::Gbk(utf8), gbk);
    std::string out = "stale";
    EXPECT_TRUE(plat::TryGbkToUtf8("", out));
    EXPECT_EQ(out, "");
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "汉字";  // longer than one conversion buffer
    ASSERT_TRUE(plat::TryUtf8ToGbk(many, gbk));
    EXPECT_EQ(gbk.size(), 20000u);
    EXPECT_EQ(plat::GbkToUtf8(gbk), many);
}

TEST(Codec, StrictConversionsRefuseWhatCannotBeRepresented) {
    std::string out;
    EXPECT_FALSE(plat::TryUtf8ToGbk("a😀b", out));  // no emoji in GBK
    EXPECT_FALSE(plat::TryUtf8ToGbk("a\xFF", out));  // not UTF-8
    EXPECT_FALSE(plat::TryGbkToUtf8("a\xFF", out));
    EXPECT_FALSE(plat::TryGbkToUtf8("a\xB1", out));  // lead byte without its trail
    EXPECT_FALSE(plat::TryGbkToUtf8("\xA2\x5C", out));  // unassigned
}

TEST(Codec, LenientConversionsReplace) {
    EXPECT_EQ(plat::Utf8ToGbk("a😀b表"), "a?b\xB1\xED");
    EXPECT_EQ(plat::Utf8ToGbk("a\xE8\xA1x"), "a??x");  // a broken sequence costs one '?' per byte
    EXPECT_EQ(plat::Utf8ToGbk("\xC0\xAF\xED\xA0\x80"), "?????");  // overlong, surrogate
    EXPECT_EQ(plat::Utf8ToGbk("\xF0\x9F\x98\x80\xE2\x82\xAC"), "?\x80");  // emoji, then the euro sign
    EXPECT_EQ(plat::GbkToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(plat::GbkToUtf8("x\xB1"), "x\xEF\xBF\xBD");
    // 0x80 is the euro sign, one byte, both ways.
    EXPECT_EQ(plat::GbkToUtf8("\x80"), "€");
    EXPECT_EQ(plat::Utf8ToGbk("€"), "\x80");
}

TEST(Codec, QStringBridge) {
    EXPECT_EQ(plat::ToQ("\xB1\xED" "A"), QString::fromUtf8("表A"));
    std::string gbk = "untouched";
    EXPECT_TRUE(plat::FromQ(QString::fromUtf8("表A"), gbk));
    EXPECT_EQ(gbk, "\xB1\xED" "A");
    gbk = "untouched";
    EXPECT_FALSE(plat::FromQ(QString::fromUtf8("表😀"), gbk));
    EXPECT_EQ(gbk, "untouched");
}
