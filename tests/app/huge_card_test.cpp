// Cards with paragraphs too long for one line of the body field: open, edit at the joints, save, byte for byte.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <filesystem>
#include <functional>

#include "app/main_fixture.h"

using plat::Gbk;

namespace {

bool Now(LocalTime& t) {
    t = {2003, 2, 5, 9, 7};
    return true;
}

class HugeCardTest : public MainWindowTest {
protected:
    void SetUp() override {
        SetLocalTimeSource(Now);
        mainfx::WriteRegistry(dir, {{"库", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"A"}, {"书"});
        mainfx::MakeStyles(dir, {"simple.xsl"});
        dir.WriteFile("lib/A/t.datum.xml", "");
        Load();
        dlg->m_startupDone = 1;
        dlg->m_current = dlg->m_first->next;
        ASSERT_EQ(dlg->m_current->path, "lib\\A\\t.datum.xml");
    }
    void TearDown() override {
        dlg.reset();
        SetLocalTimeSource(nullptr);
    }
    // The card as the program writes it, so that a save without edits must give the same bytes.
    std::string CardBytes(const std::string& content) {
        XmlRecordSet x;
        x.card = {"t", "A", "2001-1-1 1:1", "", Gbk("书"), "k", content,
                  dir.Internal() + "\\xmlstyle\\datumstyle\\simple.xsl", dlg->m_dtdPath};
        plat::StringSink sink;
        x.WriteCard(sink);
        return sink.data;
    }
    CBodyEdit& Body() { return *dlg->m_edBody; }
};

TEST_F(HugeCardTest, LongParagraphsShowCutIntoLinesAndSaveBackByteForByte) {
    std::string chinese;
    while (chinese.size() < 20000) chinese += Gbk("一二三四五六七八九十，");
    const std::string latin(5000, 'x');  // no break opportunity anywhere
    const std::string limit(CBodyEdit::kMaxLineChars, 'y');
    const struct {
        const char* what;
        std::string content;
        int lines;
    } rows[] = {
        {"one Chinese paragraph, cut after commas", chinese, 5},
        {"a run of Latin letters", latin, 3},
        {"long paragraphs among short and empty ones", "a\r\n" + chinese + "\r\n\r\n" + latin + "\r\nz", 11},
        {"a paragraph of exactly the limit stays one line", limit + "\r\n" + limit + "z", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string bytes = CardBytes(row.content);
        dir.WriteFile("lib/A/t.datum.xml", bytes);
        ASSERT_EQ(dlg->LoadDatum("lib\\A\\t.datum.xml"), 1);
        EXPECT_EQ(Body().blockCount(), row.lines);
        dlg->OnSave();
        EXPECT_EQ(dir.ReadFile("lib/A/t.datum.xml"), bytes);
    }
}

TEST_F(HugeCardTest, EditsAtAJointSaveWhatTheUserSeesAndTyped) {
    const int n = CBodyEdit::kMaxLineChars;
    const QString a(n, QLatin1Char('a'));
    const int lineEnd = n, nextLineStart = n + 2;  // the mark and the line break lie between them
    auto keys = [](std::initializer_list<QKeyCombination> list) {
        return [list](CBodyEdit& e) {
            for (QKeyCombination k : list) QTest::keyClick(&e, k.key(), k.keyboardModifiers());
        };
    };
    auto type = [](const char* text) { return [text](CBodyEdit& e) { QTest::keyClicks(&e, text); }; };
    auto then = [](std::function<void(CBodyEdit&)> f, std::function<void(CBodyEdit&)> g) {
        return [f, g](CBodyEdit& e) {
            f(e);
            g(e);
        };
    };
    const struct {
        const char* what;
        int caret;
        std::function<void(CBodyEdit&)> edit;
        QString body;
        int lines;
    } rows[] = {
        {"Right crosses the joint in one step", lineEnd, then(keys({Qt::Key_Right}), type("x")), a + "xbbb", 2},
        {"Left crosses it back in one step", nextLineStart, then(keys({Qt::Key_Left}), type("x")), a + "xbbb", 2},
        {"Enter at the line end breaks the paragraph", lineEnd, keys({Qt::Key_Return}), a + "\nbbb", 2},
        {"Enter at the next line's start too", nextLineStart, keys({Qt::Key_Return}), a + "\nbbb", 2},
        {"Backspace at the next line's start joins", nextLineStart, keys({Qt::Key_Backspace}), a + "bbb", 1},
        {"and Enter breaks there again", nextLineStart, keys({Qt::Key_Backspace, Qt::Key_Return}), a + "\nbbb", 2},
        {"Delete at the line end joins", lineEnd, keys({Qt::Key_Delete}), a + "bbb", 1},
        {"Ctrl+Delete at the line end joins", lineEnd, keys({Qt::ControlModifier | Qt::Key_Delete}), a + "bbb", 1},
        {"Backspace at the line end deletes a letter", lineEnd, keys({Qt::Key_Backspace}), a.left(n - 1) + "bbb", 2},
        {"undo brings the joint back", lineEnd, keys({Qt::Key_Return, Qt::ControlModifier | Qt::Key_Z}), a + "bbb", 2},
        {"typing over a selection across the joint", lineEnd - 1,
         then(keys({Qt::ShiftModifier | Qt::Key_Right, Qt::ShiftModifier | Qt::Key_Right}), type("x")),
         a.left(n - 1) + "xbbb", 1},
        {"copy across the joint, paste at the start", lineEnd - 1,
         [](CBodyEdit& e) {
             QTest::keyClick(&e, Qt::Key_Right, Qt::ShiftModifier);
             QTest::keyClick(&e, Qt::Key_Right, Qt::ShiftModifier);
             e.copy();
             QTest::keyClick(&e, Qt::Key_Home, Qt::ControlModifier);
             e.paste();
         },
         "a" + a + "bbb", 2},
        {"a pasted long paragraph is cut too", 0,
         [](CBodyEdit& e) {
             QApplication::clipboard()->setText(QString(3000, QLatin1Char('p')) + QChar(0x2060) + "\nq");
             e.paste();
         },
         QString(3000, QLatin1Char('p')) + "\nq" + a + "bbb", 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Body().SetBody(a + "bbb");
        ASSERT_EQ(Body().blockCount(), 2);
        QTextCursor c = Body().textCursor();
        c.setPosition(row.caret);
        Body().setTextCursor(c);
        row.edit(Body());
        EXPECT_EQ(Body().Body().toStdString(), row.body.toStdString());
        EXPECT_EQ(Body().blockCount(), row.lines);
    }
}

TEST_F(HugeCardTest, ACardOverTheLimitIsRefusedBeforeItIsRead) {
    dir.WriteFile("lib/A/big.datum.xml", "");
    std::filesystem::resize_file(dir.Native() + "/lib/A/big.datum.xml", (16u << 20) + 1);  // sparse: no data
    Body().SetBody("kept");
    svc.ExpectBox("资料卡文件 lib\\A\\big.datum.xml 超过 16 MB，太大了，不能打开。", "ERROR", 0x10);
    EXPECT_EQ(dlg->LoadDatum("lib\\A\\big.datum.xml"), 0);
    svc.VerifyAllUsed();
    EXPECT_EQ(Body().Body(), "kept");
}

}  // namespace
