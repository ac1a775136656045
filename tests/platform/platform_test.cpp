// The platform layer where its own rules matter: GBK characters whose trail byte is an ASCII sign (乗 is
// 81 5C, a '\'), conversions iconv agrees with, folder listings, files that are no plain files, atomic saves.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>

#include <QString>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
#include "support/temp_dir.h"

using plat::Gbk;
using Strings = std::vector<std::string>;

namespace {

const std::string kBs = "\x81\x5C", kA = "\x81\x41";  // 乗 and 丄: trail bytes '\' and 'A'

TEST(Text, SearchesStepOverWholeCharacters) {
    EXPECT_EQ(plat::Find("ab" + kBs + "cd\\ef", "\\"), 6u);  // not the trail byte at 3
    EXPECT_EQ(plat::Find("\x81\x5F _", "_"), 3u);
    EXPECT_EQ(plat::Find("\x81\x81\x81\x5C\\", "\\"), 4u);  // 81 81 is one character
    // A stray lead byte counts as one byte unless a valid trail byte follows: it must not hide a tag.
    EXPECT_EQ(plat::Find("x\xFE</part>", "</part>"), 2u);
    EXPECT_EQ(plat::Find("x\x81\x7F<", "<"), 3u);
    EXPECT_EQ(plat::CharLen("\x81\x7F", 0) + plat::CharLen("\xFE<", 0) + plat::CharLen("\xFE\xFF", 0), 3u);
    EXPECT_EQ(plat::ReplaceAll("a\\" + kBs + "\\b", "\\", "/"), "a/" + kBs + "/b");
    EXPECT_EQ(plat::ReplaceAll("aaa", "aa", "aaa"), "aaaa");
    EXPECT_EQ(plat::AsciiLower("AbC-" + kA + "XY"), "abc-" + kA + "xy");
    EXPECT_FALSE(plat::EqualsIgnoreAsciiCase(kA, "\x81\x61") || plat::EqualsIgnoreAsciiCase("a[", "A{"));
}

// The widgets' text goes straight to and from GBK (GB18030 beyond it) through tables of our own; iconv is the judge.
TEST(Codec, AgreesWithIconvOnEveryCodeAndStoresEveryCharacter) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    std::string gbk, utf8;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)}, buf[8];
            char *src = in, *dst = buf;
            std::size_t srcLeft = 2, dstLeft = sizeof buf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) continue;
            gbk.append(in, 2).append("a\r\n");
            utf8.append(buf, dst - buf).append("a\r\n");
        }
    iconv_close(cd);
    ASSERT_GT(gbk.size(), 21000u * 5);
    EXPECT_TRUE(plat::GbkToUtf8(gbk) == utf8);  // not EXPECT_EQ: a megabyte of diff helps nobody
    const QString text = plat::ToQ(gbk);
    EXPECT_EQ(text, QString::fromStdString(utf8));
    std::string back = "untouched";
    ASSERT_TRUE(plat::FromQ(text, back));
    EXPECT_TRUE(back == gbk);
    EXPECT_EQ(plat::ToQ("\x80\xB1\xED\xFF"), QString::fromUtf8("€表\xEF\xBF\xBD"));
    // Every other character is stored, as iconv's GB18030 writes it (GBK's own two bytes where GBK has it);
    // only what XML cannot hold is told as unstorable; half a pair is refused, nothing written.
    iconv_t gb18030Out = iconv_open("GB18030", "UTF-16LE");
    for (char16_t u = 0x80; u != 0; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        char buf[8], *src = reinterpret_cast<char*>(&u), *dst = buf;
        std::size_t srcLeft = 2, dstLeft = sizeof buf;
        const bool held = iconv(gb18030Out, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
        back = "refused";
        ASSERT_EQ(plat::FromQ(QString(QChar(u)), back), held) << std::hex << static_cast<int>(u);
        ASSERT_EQ(back, held ? std::string(buf, dst - buf) : "refused") << std::hex << static_cast<int>(u);
        const bool privateUse = u >= 0xE000 && u <= 0xF8FF;
        if (held && !privateUse) ASSERT_EQ(plat::ToQ(back), QString(QChar(u))) << std::hex << static_cast<int>(u);
        ASSERT_EQ(plat::FindUnstorable(QString(QChar(u))).count, !held || privateUse || u >= 0xFFFD)
            << std::hex << static_cast<int>(u);
    }
    iconv_close(gb18030Out);
    const QString emoji = QString::fromUtf8("a😀b");
    ASSERT_TRUE(plat::FromQ(emoji, back));
    EXPECT_EQ(back, "a\x94\x39\xFC\x36" "b");
    EXPECT_EQ(plat::ToQ(back), emoji);
    EXPECT_FALSE(plat::FromQ(emoji.left(2), back) || plat::FromQ(emoji.mid(2), back));
    EXPECT_EQ(plat::FindUnstorable(emoji.left(2) + "x\x01\x7F").count, 2);  // DEL is an XML character
    EXPECT_EQ(plat::FindUnstorable(QStringLiteral("\t\r\n") + emoji).count, 0);
    EXPECT_TRUE(plat::FromQ(QString::fromUtf8("€・―"), back) && back == "\xA2\xE3\x81\x39\xA7\x39\xA8\x44");
    EXPECT_TRUE(plat::TryUtf8ToGbk("・", back) && !plat::IsGbk(back) && plat::IsGbk(plat::Gbk("關―")));
    EXPECT_FALSE(plat::TryGbkToUtf8("a\xB1", back) || plat::TryUtf8ToGbk("a\xED\xA0\x80", back));
    // A user-defined code is no character wherever it stands: beside a one-byte euro sign or a four-byte code too.
    for (const char* text : {"\xA2\x95", "\x80\xA2\x95", "\x81\x39\xA7\x39\xA2\x95"})
        EXPECT_FALSE(plat::TryGbkToUtf8(text, back)) << text;
    EXPECT_TRUE(plat::TryGbkToUtf8("\x80\xB1\xED\x81\x39\xA7\x39", back) && back == "€表・");
    EXPECT_EQ(plat::Utf8ToGbk("a\xE8\xA1x"), "a??x");
    // Four-byte characters are stepped whole: their digits are never found as text.
    EXPECT_EQ(plat::CharLen("\x81\x39\xA7\x39", 0), 4u);
    EXPECT_EQ(plat::Find("\x81\x39\xA7\x39" "9", "9"), 4u);
}

TEST(LineReader, ReadsLongLinesWholeWithEitherLineEnd) {
    TempProgramDir dir;
    Strings want;
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes += want.emplace_back("line " + std::to_string(i)) + (i % 2 ? "\r\n" : "\n");
    bytes += want.emplace_back(3 * 1024 * 1024, 'x') + "\r\na\rb";  // a lone CR is part of the line
    want.push_back("a\rb");
    dir.WriteFile("in.txt", bytes);
    plat::LineReader r;
    ASSERT_TRUE(r.Open("in.txt"));
    Strings lines;
    for (std::string line; r.ReadLine(line);) lines.push_back(line);
    EXPECT_TRUE(lines == want);
    EXPECT_FALSE(r.Failed());
    // (Pipes, devices and folders named as cards: the bad-input test; a read error told apart from the end of
    // the file: the list file test.)
}

TEST(ListDir, OrdersNamesTellsAttributesAndReusesTheList) {
    TempProgramDir dir;
    for (const char* f : {"b", "a", "A", "表.datum.xml", "卡.datum.xml", "😀", "rofile", "Class/", "_ _SETS_ _/", ".hid/", "ro/"})
        dir.WriteFile(std::string("lib/") + f + (f[std::strlen(f) - 1] == '/' ? "x" : ""), "");
    chmod((dir.Native() + "/lib/ro").c_str(), 0555);
    chmod((dir.Native() + "/lib/rofile").c_str(), 0444);  // files carry no read-only bit: no stat per file
    symlink("Class", (dir.Native() + "/lib/link").c_str());
    symlink("loop", (dir.Native() + "/lib/loop").c_str());
    std::vector<plat::DirEntry> list;
    ASSERT_TRUE(plat::ListDir("lib\\", list));
    std::string got;
    for (const auto& e : list) got += plat::GbkToUtf8(e.name) + ":" + std::to_string(e.attrs) + " ";
    EXPECT_EQ(got, ".hid:18 A:32 a:32 b:32 Class:16 link:1040 loop:1056 ro:17 rofile:32 _ _SETS_ _:16 "
                   "卡.datum.xml:32 表.datum.xml:32 😀:32 ");
    // Thousands of entries take several kernel reads; the same list then holds only the next folder.
    for (int i = 2999; i >= 0; --i) dir.WriteFile("big/card-a-fairly-long-name-" + std::to_string(10000 + i), "");
    ASSERT_TRUE(plat::ListDir(dir.Internal() + "\\big", list));
    ASSERT_EQ(list.size(), 3000u);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(list[i].name, "card-a-fairly-long-name-" + std::to_string(10000 + i));
    dir.WriteFile("small/咏怀古迹・其一", "");
    ASSERT_TRUE(plat::ListDir("small", list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(plat::ToNative("small\\" + list[0].name), "small/咏怀古迹・其一");
}

TEST(FileSystem, CopiesOverwriteOnlyWhenAskedAndRefuseWhatIsNoPlainFile) {
    TempProgramDir dir;
    dir.WriteFile("src", "new bytes");
    dir.WriteFile("old", "old old old old");
    EXPECT_FALSE(plat::CopyFile("src", "old", true));
    EXPECT_TRUE(plat::CopyFile("src", "old", false));
    ASSERT_EQ(mkfifo((dir.Native() + "/pipe").c_str(), 0644), 0);
    // (A read-only target: the test of copying a tree.)
    for (auto [from, to] : {std::pair{"missing", "x"}, {"src", "src"}, {"pipe", "y"}, {"\\dev\\zero", "z"}})
        EXPECT_FALSE(plat::CopyFile(from, to, false)) << from << " -> " << to;
    EXPECT_EQ(dir.ReadFile("old") + dir.ReadFile("src"), "new bytesnew bytes");
    EXPECT_FALSE(dir.Exists("x") || dir.Exists("y") || dir.Exists("z"));
}

// A save goes to a temporary file that is renamed over the target on Commit; until then, and after any
// failure, the target keeps its bytes, and nothing left behind may pass for a card.
TEST(AtomicFile, TheTargetChangesOnlyAtCommit) {
    TempProgramDir dir;
    dir.WriteFile("c.datum.xml", "old");
    chmod((dir.Native() + "/c.datum.xml").c_str(), 0604);
    plat::AtomicFile f;
    ASSERT_TRUE(f.Open("c.datum.xml"));
    EXPECT_TRUE(f.Write("new "));
    std::string temp;
    for (const auto& e : std::filesystem::directory_iterator(dir.Native()))
        if (e.path().filename() != "c.datum.xml") temp = e.path().filename();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.find(".datum."), std::string::npos) << temp;
    EXPECT_EQ(dir.ReadFile("c.datum.xml"), "old");
    ASSERT_TRUE(f.Write(std::string(200 * 1024, 'b')) && f.Commit());
    EXPECT_EQ(dir.ReadFile("c.datum.xml").size(), 4u + 200 * 1024);
    struct stat st;
    EXPECT_TRUE(stat((dir.Native() + "/c.datum.xml").c_str(), &st) == 0 && (st.st_mode & 0777) == 0604);

    dir.WriteFile("ro", "keep");
    chmod((dir.Native() + "/ro").c_str(), 0444);
    EXPECT_FALSE(f.Open("ro"));  // by its mode bits, even for root
    EXPECT_EQ(errno, EACCES);
    ASSERT_TRUE(f.Open("ro.new"));
    f.Abort();
    EXPECT_FALSE(f.Commit() || dir.Exists("ro.new"));
    const std::string old = dir.ReadFile("c.datum.xml");
    for (int err : {EIO, ENOSPC})
        for (long long budget : {0LL, 70000LL}) {
            plat::fault::FailWritesAfter(budget, err);
            ASSERT_TRUE(f.Open("c.datum.xml"));
            bool written = true;
            for (int i = 0; i < 2000; ++i) written = f.Write(std::string(90, 'n')) && written;
            errno = 0;
            EXPECT_FALSE(f.Commit());
            EXPECT_EQ(errno, err);
            EXPECT_FALSE(written) << "a full buffer that failed is reported at once";
            plat::fault::Clear();
        }
    EXPECT_EQ(dir.ReadFile("c.datum.xml"), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Native()), {}), 2) << "a temporary file was left";
    // A card linked in from elsewhere stays a link; the file it names takes the new bytes.
    symlink("c.datum.xml", (dir.Native() + "/link").c_str());
    symlink("gone", (dir.Native() + "/dangling").c_str());
    ASSERT_TRUE(f.Open("link") && f.Write("via link") && f.Commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Native() + "/link") && dir.ReadFile("c.datum.xml") == "via link");
    EXPECT_FALSE(f.Open("dangling") || dir.Exists("gone"));
}

// Without a window (the command-line modes) a question gets the safe answer and the text goes to stderr.
TEST(Services, WithoutAWindowEveryQuestionIsAnsweredNo) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(plat::Svc().MessageBox(nullptr, "delete?", "Q", plat::MB_YESNO | plat::MB_ICONQUESTION), plat::IDNO);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("delete?"), std::string::npos);
    EXPECT_EQ(plat::Svc().AskFileName(nullptr, true, ".xsl", "", "") + plat::Svc().BrowseForFolder(nullptr, "t"), "");
}

}  // namespace
