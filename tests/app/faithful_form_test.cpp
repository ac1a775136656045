// The form as a faithful view of its card, driven as a user drives it: what a card holds opens and saves back
// byte for byte, what is entered keeps to what a card file can hold, and a refusal leaves the disk as it was.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>
#include <cerrno>
#include <cstdio>

#include "app/main_fixture.h"
#include "support/cards.h"

using namespace mainfx;
using plat::Gbk;

namespace {

class FaithfulFormTest : public MainWindowTest {
protected:
    FixedClock clock;
    std::string card;  // lib/art/c.datum.xml as the program would save it
    // Writes the card (GBK fields) into the standard library's class "art" and opens it.
    void Open(const std::string& title = "c", const std::string& klass = "art",
              const std::string& source = "", const std::string& keyword = "") {
        const std::string xmlstyle = dir.Internal() + "\\xmlstyle\\";
        card = CardBytes({title, klass, "2001-1-1 1:1", "", source, keyword, Gbk("正文"),
                          xmlstyle + "datumstyle\\simple.xsl", xmlstyle + "qvrt_xml_1.0\\02_2003_datum01.dtd"});
        MakeStandardProgramDir(dir);
        dir.WriteFile("lib/art/c.datum.xml", card);
        dir.WriteFile("lib/art/bad.datum.xml", "no card");
        Load().show();
        OpenCard("c");
    }
    QLineEdit* Line(int id) {
        auto* combo = dlg->ItemAs<QComboBox>(id);
        return combo ? combo->lineEdit() : dlg->ItemAs<QLineEdit>(id);
    }
    CBodyEdit* Body() { return dlg->ItemAs<CBodyEdit>(1018); }
    void Key(QWidget* field, int key, Qt::KeyboardModifiers mods = {}, const char* text = "") {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key(key), QString::fromUtf8(text), mods);
    }
};

// A class and a source no list names, a tab and 40,000 characters in the title, as many in the keywords:
// shown whole, saved back unchanged. A new name in another folder is an edit. Pasted breaks become spaces and
// control characters stay out of every one-line field; a title's '/' makes no folder, and the title is saved
// as typed.
TEST_F(FaithfulFormTest, FieldsShowTheCardWholeAndKeepWhatIsEnteredOnItsLineAndNoMeansDiscarded) {
    Open(std::string(40000, 'T') + "\t" + Gbk("题"), Gbk("旧类"), Gbk("人民日报"), std::string(40000, 'k'));
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib/art/c.datum.xml"), card);
    Leave(Line(1009));
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDCANCEL);
    Key(Line(1009), Qt::Key_Escape);
    QApplication::clipboard()->setText(QString::fromUtf8("感遇其二\r\n张九龄\t2024/1/2\x01"));
    for (int id : {1017, 1011, 1013, 1009}) {
        Line(id)->selectAll();
        Key(Line(id), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(U(Line(id)->text()), "感遇其二 张九龄 2024/1/2") << id;
    }
    dlg->ItemAs<QComboBox>(1011)->setCurrentText(QStringLiteral("art"));
    Leave(Line(1009));
    svc.ExpectBox(kRenamed, "选择", kYesNo, plat::IDNO);
    Click(1006);
    EXPECT_TRUE(OnDisk("lib/art/感遇其二 张九龄 2024／1／2.datum.xml", "<title>感遇其二 张九龄 2024/1/2</title>"));
    // "No" discards the edits, also when the card that was to replace them does not open: nothing is left.
    Key(Line(1009), Qt::Key_X, {}, "x");
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDNO);
    svc.ExpectBox("读取文件 lib\\art\\bad.datum.xml 的XML数据时出错了!", "ERROR", kError);
    OpenCard("bad");
    EXPECT_EQ(U(Line(1009)->text() + Line(1017)->text() + Line(1011)->text() + Line(1008)->text() + Body()->toPlainText()), "");
    EXPECT_FALSE(dlg->Form().HasEdits());
}

// What a card cannot store is named under the body as it comes in; the invisible mark typed or composed at a
// paragraph's end is left out, and the paragraphs stay apart. A body that would make the file one byte larger
// than a card the program opens is refused; one byte less is saved.
TEST_F(FaithfulFormTest, WhatIsEnteredIsCheckedAsItComesInAndSavedOnlyWhenItOpensAgain) {
    Open();
    Key(Body(), Qt::Key_unknown, {}, "😀x😀");
    EXPECT_EQ(U(Body()->Notice()), "正文中有 2 个字符无法保存为 GB2312（第一个是 “😀” U+1F600）");
    Key(Body(), Qt::Key_A, Qt::ControlModifier);
    Key(Body(), Qt::Key_unknown, {}, "甲\u2060");
    Key(Body(), Qt::Key_Return);
    QInputMethodEvent composed;  // an input method's finished text
    composed.setCommitString(QString::fromUtf8("乙\u2060"));
    QCoreApplication::sendEvent(Body(), &composed);
    Key(Body(), Qt::Key_Return);
    Click(1006);
    const std::string saved = dir.ReadFile("lib/art/c.datum.xml");
    EXPECT_NE(saved.find(Gbk("<part>甲</part>\r\n\t\t<part>乙</part>\r\n\t\t<part></part>")), std::string::npos);
    QApplication::clipboard()->setText(QString((16 << 20) - (saved.size() - Gbk("甲乙").size() - 34) + 1, 'x'));
    Key(Body(), Qt::Key_A, Qt::ControlModifier);
    Key(Body(), Qt::Key_V, Qt::ControlModifier);
    svc.ExpectBox("保存资料时出错:资料卡文件将有 16777217 字节，超过了能打开的上限 16 MB（16777216 字节），资料卡没有保存。",
                  "ERROR", kError);
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib/art/c.datum.xml"), saved);
    Key(Body(), Qt::Key_Backspace);
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib/art/c.datum.xml").size(), 16u << 20);
}

// A reload that fails ends the program, but not over unsaved edits kept: Yes saves them first; after Cancel,
// or a save that fails, the window stays with only the form and its file controls, and a save then ends it.
TEST_F(FaithfulFormTest, AFailedReloadEndsTheProgramOnlyAfterTheEditsAreSavedOrLeft) {
    const struct { int answer; bool diskFull, ends; } rows[] = {
        {plat::IDYES, false, true}, {plat::IDYES, true, false}, {plat::IDCANCEL, false, false}};
    for (const auto& row : rows) {
        Open();
        Key(Line(1017), Qt::Key_N, {}, "n");
        plat::fault::FailWritesAfter(row.diskFull ? 0 : -1, ENOSPC);
        svc.ExpectBox("读取类别信息时出错: 找不到文件 lib\\_ _SETS_ _\\class.list", "ERROR", kError);
        svc.ExpectBox("程序将要关闭，当前资料卡的修改还没有保存。\n你要先保存它吗?", "选择", kAsk, row.answer);
        if (row.diskFull) svc.ExpectBox("保存资料时出错:写入 XML 数据时出错!!：磁盘空间不足", "ERROR", kError);
        mangfx::WhenModal([&](CDialog& m) {
            std::remove((dir.Native() + "/lib/_ _SETS_ _/class.list").c_str());
            m.EndDialog(plat::IDOK);
        });
        Click(1012);
        plat::fault::Clear();
        ASSERT_EQ(dlg->Ended(), row.ends) << row.answer << row.diskFull;
        EXPECT_EQ(dlg->Item(1000)->isEnabled() || dlg->Item(1005)->isEnabled() || dlg->Item(1012)->isEnabled(), row.ends);
        if (!row.ends) Click(1006);  // the form alone is left, and saving it ends the program
        EXPECT_TRUE(dlg->Ended());
        EXPECT_TRUE(OnDisk("lib/art/c.datum.xml", "<class>art</class>\r\n"));
        EXPECT_TRUE(OnDisk("lib/art/c.datum.xml", "<keyword>n<"));
    }
}

}  // namespace
