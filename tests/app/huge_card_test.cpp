// Cards with paragraphs too long for one line of the body field: open, edit at the joints, save, byte for byte.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <filesystem>
#include <vector>

#include "support/cards.h"
#include "app/main_fixture.h"

using plat::Gbk;

namespace {

class HugeCardTest : public MainWindowTest {
protected:
    FixedClock clock;
    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"库", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"A"}, {"书"});
        mainfx::MakeStyles(dir, {"simple.xsl"});
        dir.WriteFile("lib/A/t.datum.xml", "");
        Load();
    }
    // The card as the program writes it, so that a save without edits must give the same bytes.
    std::string CardBytes(const std::string& content) {
        return ::CardBytes({"t", "A", "2001-1-1 1:1", "", Gbk("书"), "k", content,
                         dir.Internal() + "\\xmlstyle\\datumstyle\\simple.xsl",
                            dir.Internal() + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd"});
    }
};

TEST_F(HugeCardTest, LongParagraphsShowCutIntoLinesAndSaveBackByteForByte) {
    std::string chinese;
    while (chinese.size() < 20000) chinese += Gbk("一二三四五六七八九十，");
    const std::string latin(5000, 'x'), limit(CBodyEdit::kMaxLineChars, 'y');  // no break opportunity
    const struct { const char* what; std::string content; int lines; } rows[] = {
        {"one Chinese paragraph, cut after commas", chinese, 5},
        {"long paragraphs among short and empty ones", "a\r\n" + chinese + "\r\n\r\n" + latin + "\r\nz", 11},
        {"a paragraph of exactly the limit stays one line", limit + "\r\n" + limit + "z", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string bytes = CardBytes(row.content);
        dir.WriteFile("lib/A/t.datum.xml", bytes);
        OpenCard("t");
        EXPECT_EQ(Body()->blockCount(), row.lines);
        Click(1006);
        EXPECT_EQ(dir.ReadFile("lib/A/t.datum.xml"), bytes);
    }
}

TEST_F(HugeCardTest, EditsAtAJointSaveWhatTheUserSeesAndTyped) {
    const int n = CBodyEdit::kMaxLineChars;
    const QString a(n, QLatin1Char('a')), p(3000, QLatin1Char('p'));
    const int lineEnd = n, nextLineStart = n + 2;  // the mark and the line break lie between them
    using K = QKeyCombination;
    const K shiftRight = Qt::ShiftModifier | Qt::Key_Right;
    const auto ctrl = Qt::ControlModifier;
    const struct { const char* what; int caret; std::vector<K> keys; QString body; int lines; } rows[] = {
        {"a pasted long paragraph is cut too", 0, {ctrl | Qt::Key_V}, p + "\nq" + a + "bbb", 4},
        {"Right crosses the joint in one step", lineEnd, {Qt::Key_Right, Qt::Key_X}, a + "xbbb", 2},
        {"Left crosses it back in one step", nextLineStart, {Qt::Key_Left, Qt::Key_X}, a + "xbbb", 2},
        {"Enter at the line end breaks the paragraph", lineEnd, {Qt::Key_Return}, a + "\nbbb", 2},
        {"Enter at the next line's start too", nextLineStart, {Qt::Key_Return}, a + "\nbbb", 2},
        {"Backspace at the next line's start joins", nextLineStart, {Qt::Key_Backspace}, a + "bbb", 1},
        {"and Enter breaks there again", nextLineStart, {Qt::Key_Backspace, Qt::Key_Return}, a + "\nbbb", 2},
        {"Delete at the line end joins", lineEnd, {Qt::Key_Delete}, a + "bbb", 1},
        {"undo brings the joint back", lineEnd, {Qt::Key_Return, ctrl | Qt::Key_Z}, a + "bbb", 2},
        {"typing over a selection across it", lineEnd - 1, {shiftRight, shiftRight, Qt::Key_X}, a.left(n - 1) + "xbbb", 1},
        {"copying across it copies no break", lineEnd - 1, {shiftRight, shiftRight, ctrl | Qt::Key_C,
         ctrl | Qt::Key_Home, ctrl | Qt::Key_V}, "a" + a + "bbb", 2},
    };
    QApplication::clipboard()->setText(p + QChar(0x2060) + "\nq");  // a mark from elsewhere is no joint
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Body()->SetBody(a + "bbb");
        ASSERT_EQ(Body()->blockCount(), 2);
        QTextCursor c = Body()->textCursor();
        c.setPosition(row.caret);
        Body()->setTextCursor(c);
        for (K k : row.keys) QTest::keyClick(Body(), k.key(), k.keyboardModifiers());
        EXPECT_EQ(Body()->Body().toStdString(), row.body.toStdString());
        EXPECT_EQ(Body()->blockCount(), row.lines);
    }
}

TEST_F(HugeCardTest, ACardOverTheLimitIsRefusedBeforeItIsRead) {
    dir.WriteFile("lib/A/big.datum.xml", "");
    std::filesystem::resize_file(dir.Native() + "/lib/A/big.datum.xml", (16u << 20) + 1);  // sparse: no data
    PickLibrary(0);  // the rescan shows it
    Body()->SetBody("kept");
    svc.ExpectBox("当前资料卡的修改还没有保存。\n你要先保存它吗? (选\"否\"放弃这些修改)", "选择", 0x23, plat::IDNO);
    svc.ExpectBox("资料卡文件 lib\\A\\big.datum.xml 超过 16 MB，太大了，不能打开。", "ERROR", 0x10);
    OpenCard("big");
    svc.VerifyAllUsed();
    EXPECT_TRUE(Body()->Body().isEmpty() && !dlg->Form().HasEdits()) << "discarded, as the answer said";
}

}  // namespace
