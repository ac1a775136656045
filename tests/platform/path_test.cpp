#include "platform/path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/codec.h"
#include "support/temp_dir.h"

using plat::Gbk;

TEST(Path, ToNativeMapsSeparatorsButNotTrailBytes) {
    // 乗 is 0x81 0x5C in GBK: its trail byte is a backslash that must survive as part of the name.
    EXPECT_EQ(plat::ToNative(Gbk("lib\\乗\\卡片.datum.xml")), "lib/乗/卡片.datum.xml");
    EXPECT_EQ(plat::ToNative(Gbk("\\tmp/a\\乗")), "/tmp/a/乗");
    EXPECT_EQ(plat::ToNative("set\\"), "set/");
    EXPECT_EQ(plat::ToNative(""), "");
    // Bytes that are not GBK turn into a name that is never on disk.
    EXPECT_EQ(plat::ToNative("a\\\xFF"), "a/\xEF\xBF\xBD");
}

TEST(Path, FromNativeAndIsAbsolute) {
    EXPECT_EQ(plat::FromNative("/tmp/乗/卡片"), Gbk("\\tmp\\乗\\卡片"));
    EXPECT_EQ(plat::FromNative("/"), "\\");
    EXPECT_EQ(plat::FromNative("rel/x"), "rel\\x");
    EXPECT_EQ(plat::FromNative("/tmp/😀"), std::nullopt);
    EXPECT_EQ(plat::FromNative("/tmp/\xFF"), std::nullopt);
    EXPECT_TRUE(plat::IsAbsolute("\\tmp"));
    EXPECT_TRUE(plat::IsAbsolute("/tmp"));
    EXPECT_FALSE(plat::IsAbsolute("tmp\\x"));
    EXPECT_FALSE(plat::IsAbsolute("D:\\x"));
    EXPECT_FALSE(plat::IsAbsolute(""));
}

TEST(Path, ResolveIgnoringCaseFindsEachComponent) {
    TempProgramDir dir;
    dir.WriteFile("Lib/Class 一/Card.DATUM.xml", "x");
    dir.WriteFile("Lib/Class 一/card.datum.XML", "y");  // an exact match wins over the first folded one
    const std::string root = dir.Native();

    EXPECT_EQ(plat::ResolveIgnoringCase(root + "/lib/class 一/card.datum.xml"),
              root + "/Lib/Class 一/Card.DATUM.xml");  // both fold equal: the byte-wise first
    EXPECT_EQ(plat::ResolveIgnoringCase(root + "/LIB/CLASS 一/card.datum.XML"),
              root + "/Lib/Class 一/card.datum.XML");
    EXPECT_EQ(plat::ResolveIgnoringCase("lib/class 一/CARD.datum.xml"), "Lib/Class 一/Card.DATUM.xml");
    EXPECT_EQ(plat::ResolveIgnoringCase(root + "/lib/missing/card.datum.xml"),
              root + "/lib/missing/card.datum.xml");
    EXPECT_EQ(plat::ResolveIgnoringCase(root + "/Lib/"), root + "/Lib/");
}
