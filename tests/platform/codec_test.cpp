#include "platform/codec.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <QString>

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

// The widget bridge converts straight between GBK and UTF-16 with tables of its own; iconv is the judge,
// over every two-byte code at once and around the characters that need care.
TEST(Codec, QStringBridgeAgreesWithIconvOnEveryCode) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string gbk, utf8;
    int codes = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)}, out[8];
            char* src = in;
            char* dst = out;
            std::size_t srcLeft = 2, dstLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) continue;
            gbk.append(in, 2).append("a\r\n");
            utf8.append(out, dst - out).append("a\r\n");
            ++codes;
        }
    }
    iconv_close(cd);
    ASSERT_GT(codes, 21000);
    const QString text = plat::ToQ(gbk);
    EXPECT_EQ(text, QString::fromStdString(utf8));
    std::string back = "untouched";
    ASSERT_TRUE(plat::FromQ(text, back));
    EXPECT_TRUE(back == gbk);  // not EXPECT_EQ: a megabyte-long diff helps nobody

    // Undecodable bytes still show as U+FFFD; the one-byte euro sign still goes through.
    EXPECT_EQ(plat::ToQ("\xB1\xED\xFF" "b\xB1"), QString::fromUtf8("表\xEF\xBF\xBD" "b\xEF\xBF\xBD"));
    EXPECT_EQ(plat::ToQ("\x80\xB1\xED"), QString::fromUtf8("€表"));
    ASSERT_TRUE(plat::FromQ(QString::fromUtf8("表€"), back));
    EXPECT_EQ(back, "\xB1\xED\x80");
    // Beyond the BMP, or half of a pair: refused, nothing written.
    back = "untouched";
    EXPECT_FALSE(plat::FromQ(QString(QChar(0xD83D)) + QChar('a'), back));
    EXPECT_FALSE(plat::FromQ(QString::fromUtf8("a\xF0\xA0\x80\x80"), back));  // U+20000
    EXPECT_EQ(back, "untouched");
    EXPECT_TRUE(plat::FromQ(QString(), back));
    EXPECT_EQ(back, "");
}
