#include <gtest/gtest.h>

#include "platform/codec.h"
#include "platform/fs.h"
#include "support/temp_dir.h"

namespace {
std::vector<std::string> AllLines(plat::LineReader& r) {
    std::vector<std::string> lines;
    for (std::string line; r.ReadLine(line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> LinesOfFile(const TempProgramDir& dir, const std::string& bytes) {
    dir.WriteFile("in.txt", bytes);
    plat::LineReader r;
    EXPECT_TRUE(r.Open("in.txt"));
    auto lines = AllLines(r);
    EXPECT_FALSE(r.Failed());
    return lines;
}

using Lines = std::vector<std::string>;
}  // namespace

TEST(LineReader, LineEndings) {
    TempProgramDir dir;
    EXPECT_EQ(LinesOfFile(dir, "a\r\nb\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(LinesOfFile(dir, "a\rb\r\n"), (Lines{"a\rb"}));  // a lone CR is part of the line
    EXPECT_EQ(LinesOfFile(dir, "x\r"), (Lines{"x\r"}));
    EXPECT_EQ(LinesOfFile(dir, "\n\r\n\n"), (Lines{"", "", ""}));
    EXPECT_EQ(LinesOfFile(dir, ""), Lines{});
    EXPECT_EQ(LinesOfFile(dir, "\xB1\\\x81\x5C\r\n"), (Lines{"\xB1\\\x81\x5C"}));
}

TEST(LineReader, LinesAcrossBufferBoundariesAndVeryLongLines) {
    TempProgramDir dir;
    std::string longLine(3 * 1024 * 1024, 'x');
    longLine[12345] = 'y';
    Lines want;
    std::string bytes;
    for (int i = 0; i < 20000; ++i) {  // short lines with CR LF split at every possible chunk offset
        want.push_back("line " + std::to_string(i));
        bytes += want.back() + "\r\n";
    }
    want.push_back(longLine);
    bytes += longLine + "\r\n";
    want.push_back("tail");
    bytes += "tail";
    EXPECT_EQ(LinesOfFile(dir, bytes), want);
}

TEST(LineReader, NextEndOpenFailuresAndStrings) {
    TempProgramDir dir;
    dir.WriteFile("in.txt", "one\ntwo\n");
    plat::LineReader r;
    ASSERT_TRUE(r.Open(plat::Gbk("in.txt")));
    EXPECT_EQ(r.Next(), "one");
    EXPECT_EQ(r.Next(), "two");
    EXPECT_EQ(r.Next(), "");
    std::string line = "stale";
    EXPECT_FALSE(r.ReadLine(line));
    EXPECT_EQ(line, "");
    r.Close();
    EXPECT_FALSE(r.ReadLine(line));

    plat::LineReader moved = std::move(r);
    ASSERT_TRUE(moved.Open("in.txt"));
    EXPECT_EQ(moved.Next(), "one");

    dir.MakeDir("folder");
    plat::LineReader bad;
    EXPECT_FALSE(bad.Open("folder"));
    EXPECT_FALSE(bad.Open("missing.txt"));
    EXPECT_FALSE(bad.ReadLine(line));
    EXPECT_FALSE(bad.Failed());
    plat::LineReader s = plat::LineReader::FromString("a\r\n\nb");
    EXPECT_EQ(AllLines(s), (Lines{"a", "", "b"}));
}
