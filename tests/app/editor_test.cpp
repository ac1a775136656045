// The card form: opening a card from the tree, stepping through the entries, the file name that follows the
// title and class, every way a save can go (in place, under a new name, onto another card, refused), and the
// keys for all that.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <filesystem>

#include "app/main_fixture.h"
#include "support/cards.h"
#include "ui/combo.h"

using plat::Gbk;

namespace {

LocalTime g_now{2003, 2, 5, 9, 7};
bool Now(LocalTime& t) { return t = g_now, true; }

using namespace mainfx;


class EditorTest : public MainWindowTest {
protected:
    const std::string styles = dir.Internal() + "\\xmlstyle\\datumstyle\\";
    DatumCard a1{"a1", "A", "2001-1-1 1:1", "", Gbk("网络"), "k1", Gbk("第一段\r\n second <x> & y\r\n第三段"),
                 styles + "simple.xsl", "x.dtd"};
    DatumCard a2{"a2", Gbk("不在列表"), "2001-1-2 1:1", "", Gbk("未知"), "", "", "D:\\old/XMLSTYLE\\datumstyle\\REPORT.XSL", "x.dtd"};
    DatumCard c1{"c1", "C", "2001-1-3 1:1", "", "", "", "", "\\far\\away\\gone.xsl", "x.dtd"};

    void SetUp() override {
        SetLocalTimeSource(Now);
        g_now = {2003, 2, 5, 9, 7};
        mainfx::WriteRegistry(dir, {{"一号", "lib1"}, {"二号", "lib2"}}, 0);
        mainfx::MakeLibrary(dir, "lib1", {"A", "B", "C", "C\\D"}, {"网络", "书"});
        mainfx::MakeLibrary(dir, "lib2", {"K"}, {});
        mainfx::MakeStyles(dir, {"simple.xsl", "Report.xsl"});
        dir.WriteFile("lib1/A/a1.datum.xml", CardBytes(a1));
        dir.WriteFile("lib1/A/a2.datum.xml", CardBytes(a2));
        dir.WriteFile("lib1/C/c1.datum.xml", CardBytes(c1));
        dir.WriteFile("lib2/bad.datum.xml", "<?xml?>\r\n<datum><title>x</title></datum>");
        Load();
    }
    void TearDown() override {
        dlg.reset();
        SetLocalTimeSource(nullptr);
    }
    std::string Form() {
        return mainfx::U(Edit(1009)->text() + "|" + Combo(1011)->currentText() + "|" + Combo(1013)->currentText() +
                         "|" + Combo(1015)->currentText() + "|" + Edit(1017)->text() + "|" + Edit(1008)->text() +
                         "|" + Body()->toPlainText());
    }
    std::string Saved(DatumCard card) {
        card.dtdPath = dir.Internal() + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        return CardBytes(card);
    }
    void Rename(const std::string& title) {
        Edit(1009)->setText(QString::fromStdString(title));
        Leave(Edit(1009));
    }
    void Save(std::initializer_list<std::pair<const char*, int>> boxes = {}) {
        for (const auto& [text, answer] : boxes) svc.ExpectBox(text, answer ? "选择" : "ERROR", answer ? kYesNo : kError, answer);
        Click(1006);
        svc.VerifyAllUsed();
    }
    bool Rescanned() { return Strip()->Message() == Gbk("文件已经保存，正在重新扫描文件夹....."); }
};

TEST_F(EditorTest, OpeningCardsFillsTheFormAndFailuresLeaveIt) {
    OpenCard("a1");
    // Markup signs were stored as full-width signs and come back as such.
    EXPECT_EQ(Form(), "a1|A|网络|simple|k1|lib1\\A\\a1.datum.xml|第一段\n second ≮x≯ ￡ y\n第三段");
    EXPECT_EQ(dlg->Form().Founddate(), "2001-1-1 1:1");
    // Class and source not in the lists stand as the card has them; a stylesheet from another program
    // directory is found by its file name in any letter case, one nobody has by nothing.
    OpenCard("a2");
    EXPECT_EQ(Form(), "a2|不在列表|未知|Report||lib1\\A\\a2.datum.xml|");
    OpenCard("c1");
    EXPECT_EQ(ui::SelectedEntry(Combo(1015)), -1);
    OpenCard("C");  // a class only becomes current, the form stays: the next card is the one after the class
    EXPECT_EQ(mainfx::U(Edit(1009)->text()), "c1");
    Click(1020);
    EXPECT_EQ(Current(), "C\\c1");
    std::filesystem::remove(dir.Native() + "/lib1/A/a2.datum.xml");
    svc.ExpectBox("不能打开文件:lib1\\A\\a2.datum.xml", "ERROR", kError);
    OpenCard("a2");
    PickLibrary(1);
    svc.ExpectBox("读取文件 lib2\\bad.datum.xml 的XML数据时出错了!", "ERROR", kError);
    OpenCard("bad");
    EXPECT_EQ(dlg->Form().LoadedPath(), "lib1\\C\\c1.datum.xml");
}

// 上一则 and 下一则, by their keys Alt+Left and Alt+Right: each key presses its button, as Ctrl+S and F5 do theirs.
TEST_F(EditorTest, PreviousAndNextWalkOverClassesAndStopAtTheEndsAndTheKeysPressTheButtons) {
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    const std::pair<int, const char*> tips[] = {{1006, "(Ctrl+S)"}, {1019, "(Alt+Left)"}, {1020, "(Alt+Right)"},
                                                {1007, "(Ctrl+B)"}, {1023, "(Ctrl+F)"},   {1000, "(F5)"}};
    for (const auto& [id, key] : tips) EXPECT_TRUE(dlg->Item(id)->toolTip().endsWith(key)) << key;
    // Entries: A a1 a2 B C c1 D.
    const std::pair<Qt::Key, const char*> steps[] = {
        {Qt::Key_Left, "A"},     {Qt::Key_Right, "A\\a1"}, {Qt::Key_Left, "A"},      {Qt::Key_Right, "A\\a1"},
        {Qt::Key_Right, "A\\a2"}, {Qt::Key_Right, "C\\c1"}, {Qt::Key_Left, "A\\a2"},  {Qt::Key_Right, "C\\c1"},
        {Qt::Key_Right, "C\\D"},  {Qt::Key_Right, "C\\D"},  {Qt::Key_Left, "C\\c1"}};
    OpenCard("A");
    for (const auto& [key, current] : steps) {
        QTest::keyClick(Body(), key, Qt::AltModifier);
        EXPECT_EQ(Current(), current);
        EXPECT_TRUE(Tree()->currentItem()->isSelected()) << current;
        EXPECT_TRUE(Current() != "C\\D" || Edit(1009)->text() == "c1") << "a class: nothing is loaded";
    }
    QTest::keyClicks(Body(), "typed");
    QTest::keyClick(Body(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(dir.ReadFile("lib1/C/c1.datum.xml").find("typed"), std::string::npos);
    dir.WriteFile("lib1/C/c0.datum.xml", "");
    QTest::keyClick(Body(), Qt::Key_F5);
    EXPECT_EQ(Current() + " " + mainfx::Dump(Tree()), "C\\c1 A{a1,a2},B,C{c0,c1,D}") << "the form's card stays current";
}

TEST_F(EditorTest, TheFileNameFollowsTitleAndClass) {
    OpenCard("a1");
    Rename("新标题");
    EXPECT_EQ(mainfx::U(Edit(1008)->text()), "lib1\\A\\新标题.datum.xml");
    ui::SelectEntry(Combo(1011), 3);  // C\D, a nested class
    Leave(Combo(1011)->lineEdit());
    EXPECT_EQ(mainfx::U(Edit(1008)->text()), "lib1\\C\\D\\新标题.datum.xml");
    // A name outside the rule is brought into it; the tail runs from the first mark; no mark, no change.
    Edit(1008)->setText(QStringLiteral("elsewhere\\old.datum.datum.xml"));
    Rename("T");
    EXPECT_EQ(mainfx::U(Edit(1008)->text()), "lib1\\C\\D\\T.datum.datum.xml");
    Edit(1008)->setText(QStringLiteral("lib1\\A\\plain.xml"));
    Rename("U");
    EXPECT_EQ(mainfx::U(Edit(1008)->text()), "lib1\\A\\plain.xml");
}

TEST_F(EditorTest, SaveInPlaceWritesTheCardAndNothingElse) {
    OpenCard("a1");
    Edit(1017)->setText(QStringLiteral("新关键字"));
    Body()->setPlainText(QStringLiteral("一\n二 <b>\n\n三"));
    ui::SelectEntry(Combo(1015), ui::SelectedEntry(Combo(1015)) == 0 ? 1 : 0);
    g_now = {2024, 3, 4, 5, 6};
    Save();
    DatumCard want = a1;
    want.keyword = Gbk("新关键字");
    want.content = Gbk("一\r\n二 <b>\r\n\r\n三");
    want.href = styles + "Report.xsl";
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), Saved(want));  // founddate kept, modifieddate the save's
    EXPECT_FALSE(Rescanned());
    OpenCard("c1");  // with no style chosen the card keeps the stylesheet it was read with
    Save();
    EXPECT_EQ(dir.ReadFile("lib1/C/c1.datum.xml"), Saved(c1));
    // The loaded file under another spelling is the same file: deleting "the old one" would lose the card.
    Edit(1008)->setText(QStringLiteral("lib1/C/c1.datum.xml"));
    Save();
    EXPECT_TRUE(dir.Exists("lib1/C/c1.datum.xml"));
}

TEST_F(EditorTest, SaveUnderANewNameAsksBeforeDeletingTheOldOrOverwritingAnother) {
    OpenCard("a2");
    ui::SelectEntry(Combo(1011), 0);
    Rename("新卡");
    Save({{kRenamed, plat::IDYES}});
    EXPECT_FALSE(dir.Exists("lib1/A/a2.datum.xml"));
    DatumCard want = a2;
    want.title = Gbk("新卡"), want.klass = "A", want.href = styles + "Report.xsl";
    EXPECT_EQ(dir.ReadFile("lib1/A/新卡.datum.xml"), Saved(want));
    EXPECT_TRUE(Rescanned());
    ASSERT_EQ(Current(), "A\\新卡");
    Save();  // the form now belongs to the new file

    OpenCard("a1");
    Rename("新卡");  // the name of another card: nothing is written unless the user agrees
    const std::string other = dir.ReadFile("lib1/A/新卡.datum.xml");
    const char kOverwrite[] = "文件 lib1\\A\\新卡.datum.xml 已经存在，你要用当前资料卡覆盖它吗?";
    Save({{kOverwrite, plat::IDNO}});
    EXPECT_EQ(dir.ReadFile("lib1/A/新卡.datum.xml"), other);
    Save({{kOverwrite, plat::IDYES}, {kRenamed, plat::IDNO}});
    EXPECT_TRUE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_NE(dir.ReadFile("lib1/A/新卡.datum.xml").find("<founddate>2001-1-1 1:1</founddate>"), std::string::npos);

    OpenCard("c1");  // the old file already gone: nothing to offer for deletion; the title names a class
    std::filesystem::remove(dir.Native() + "/lib1/C/c1.datum.xml");
    Rename("B");
    Save();
    EXPECT_TRUE(dir.Exists("lib1/C/B.datum.xml"));
    EXPECT_EQ(Current(), "C\\B") << "the file saved, not the class of that name";
}

TEST_F(EditorTest, FailedAndRefusedSavesLeaveTheCardIntact) {
    OpenCard("a1");
    const std::string before = dir.ReadFile("lib1/A/a1.datum.xml");
    // Text GBK cannot hold would come back as something else: refused, naming the field.
    const QString emoji = QString::fromUtf8("x\xF0\x9F\x98\x80");
    const std::pair<const char*, std::function<void()>> fields[] = {
        {"标题", [&] { Edit(1009)->setText(emoji); }},      {"关键字", [&] { Edit(1017)->setText(emoji); }},
        {"类别", [&] { Combo(1011)->setEditText(emoji); }}, {"来源", [&] { Combo(1013)->setEditText(emoji); }},
        {"正文", [&] { Body()->setPlainText(emoji); }},     {"文件名", [&] { Edit(1008)->setText(emoji); }}};
    for (const auto& [field, set] : fields) {
        set();
        Save({{(std::string("保存资料时出错:") + field + "中有 1 个字符无法保存为 GB2312（第一个是 “😀” U+1F600）").c_str(), 0}});
        OpenDiscarding("a1");
    }
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), before);
    Combo(1011)->setEditText(QStringLiteral("无此类"));
    Leave(Edit(1009));
    Save({{"保存资料时出错:不能打开文件 lib1\\无此类\\a1.datum.xml 进行写入：文件夹不存在", 0}});
    EXPECT_FALSE(dir.Exists("lib1/无此类"));
}

TEST_F(EditorTest, TheCreationStampFollowsTheFormAcrossALibrarySwitch) {
    PickLibrary(1);  // a new card typed into the empty form: no question, the save's stamp
    Edit(1009)->setText(QStringLiteral("新"));
    Edit(1008)->setText(QStringLiteral("lib2\\新.datum.xml"));
    Save();
    EXPECT_NE(dir.ReadFile("lib2/新.datum.xml").find("<founddate>2003-2-5 9:7</founddate>"), std::string::npos);
    EXPECT_EQ(Current(), "新");
    PickLibrary(0);
    OpenCard("a1");
    PickLibrary(1);
    g_now = {2024, 5, 5, 5, 5};
    Save();  // the form's own file, where it was: a1 keeps its stamp, the current entry's is not taken
    EXPECT_NE(dir.ReadFile("lib1/A/a1.datum.xml").find("<founddate>2001-1-1 1:1</founddate>"), std::string::npos);
    Combo(1011)->setEditText(QStringLiteral("K"));
    Rename("a1");
    Save({{kRenamed, plat::IDYES}});
    EXPECT_FALSE(dir.Exists("lib1/A/a1.datum.xml") || !dir.Exists("lib2/新.datum.xml"));
    EXPECT_NE(dir.ReadFile("lib2/K/a1.datum.xml").find("<founddate>2001-1-1 1:1</founddate>"), std::string::npos);
    EXPECT_EQ(Current(), "K\\a1");
}

}  // namespace
