// The card form: opening a card from the tree, stepping through the entries, the file name that follows the
// title and class, every way a save can go (in place, under a new name, onto another card, refused), and the
// keys for all that. The form is a faithful view of its card: what a card holds opens and saves back byte for
// byte (long paragraphs too, which the body shows cut into lines), what is entered keeps to what a card file
// can hold, and a refusal leaves the disk as it was.
#include <QClipboard>
#include <QInputMethodEvent>
#include <cstdio>

#include "app/main_fixture.h"
#include "ui/combo.h"

using plat::Gbk;
namespace fs = std::filesystem;

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
    // A card of class A as the program saves it; `title`, `klass`, `source` and `keyword` in GBK.
    std::string Card(const std::string& title, const std::string& klass = "A", const std::string& source = "",
                     const std::string& keyword = "", const std::string& content = Gbk("正文")) {
        return Saved({title, klass, "2001-1-1 1:1", "", source, keyword, content, styles + "simple.xsl", ""});
    }
    // A fresh window over lib1 whose class A holds `bytes` as card c (and B an unreadable card), c opened.
    void OpenAnew(const std::string& bytes) {
        dir.WriteFile("lib1/A/c.datum.xml", bytes);
        dir.WriteFile("lib1/B/bad.datum.xml", "no card");
        Load().show();
        OpenCard("c");
    }
    QLineEdit* Line(int id) { return Combo(id) ? Combo(id)->lineEdit() : Edit(id); }
    void Key(QWidget* field, int key, Qt::KeyboardModifiers mods = {}, const char* text = "") {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key(key), QString::fromUtf8(text), mods);
    }
};

TEST_F(EditorTest, OpeningCardsFillsTheFormAndFailuresLeaveIt) {
    OpenCard("a1");
    // Markup signs come back as typed.
    EXPECT_EQ(Form(), "a1|A|网络|simple|k1|lib1\\A\\a1.datum.xml|第一段\n second <x> & y\n第三段");
    EXPECT_EQ(dlg->Form().Founddate(), "2001-1-1 1:1");
    // Class and source not in the lists stand as the card has them; a stylesheet from another program
    // directory is found by its file name in any letter case, one nobody has by nothing.
    OpenCard("a2");
    EXPECT_EQ(Form(), "a2|不在列表|未知|Report||lib1\\A\\a2.datum.xml|");
    OpenCard("c1");
    EXPECT_EQ(ui::SelectedEntry(Combo(1015)), -1);
    fs::remove(dir.Native() + "/lib1/A/a2.datum.xml");
    svc.ExpectBox("不能打开文件:lib1\\A\\a2.datum.xml", "ERROR", kError);
    OpenCard("a2");
    PickLibrary(1);
    svc.ExpectBox("读取文件 lib2\\bad.datum.xml 的XML数据时出错了!\n第 1 行：XML declaration allowed only at the start of the document", "ERROR", kError);
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
    const std::string oldBytes = dir.ReadFile("lib1/A/a2.datum.xml");
    Save({{kRenamed, plat::IDYES}});
    EXPECT_FALSE(dir.Exists("lib1/A/a2.datum.xml"));
    EXPECT_EQ(ReadNativeFile(TrashedFrom(dir.Native() + "/lib1/A/a2.datum.xml")), oldBytes) << "in the trash";
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
    fs::remove(dir.Native() + "/lib1/C/c1.datum.xml");
    Rename("B");
    Save();
    EXPECT_TRUE(dir.Exists("lib1/C/B.datum.xml"));
    EXPECT_EQ(Current(), "C\\B") << "the file saved, not the class of that name";
}

TEST_F(EditorTest, FailedAndRefusedSavesLeaveTheCardIntact) {
    OpenCard("a1");
    const std::string before = dir.ReadFile("lib1/A/a1.datum.xml");
    // What no XML file can hold (U+FFFF) would come back as something else: refused, naming the field.
    const QString emoji = QStringLiteral("x") + QChar(0xFFFF);
    const std::pair<const char*, std::function<void()>> fields[] = {
        {"标题", [&] { Edit(1009)->setText(emoji); }},      {"关键字", [&] { Edit(1017)->setText(emoji); }},
        {"类别", [&] { Combo(1011)->setEditText(emoji); }}, {"来源", [&] { Combo(1013)->setEditText(emoji); }},
        {"正文", [&] { Body()->setPlainText(emoji); }},     {"文件名", [&] { Edit(1008)->setText(emoji); }}};
    for (const auto& [field, set] : fields) {
        set();
        Save({{(std::string("保存资料时出错:") + field + "中有 1 个 XML 文件不能容纳的字符（第一个是 “\uFFFF” U+FFFF）").c_str(), 0}});
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

// A class and a source no list names, a tab and 40,000 characters in the title, as many in the keywords:
// shown whole, saved back unchanged. A new name in another folder is an edit. Pasted breaks become spaces and
// control characters stay out of every one-line field; a title's '/' makes no folder, and the title is saved
// as typed.
TEST_F(EditorTest, FieldsShowTheCardWholeAndKeepWhatIsEnteredOnItsLineAndNoMeansDiscarded) {
    const std::string card = Card(std::string(40000, 'T') + "\t" + Gbk("题"), Gbk("旧类"), Gbk("人民日报"),
                                  std::string(40000, 'k'));
    OpenAnew(card);
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib1/A/c.datum.xml"), card);
    Leave(Line(1009));
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDCANCEL);
    Key(Line(1009), Qt::Key_Escape);
    QApplication::clipboard()->setText(QString::fromUtf8("感遇其二\r\n张九龄\t2024/1/2\x01"));
    for (int id : {1017, 1011, 1013, 1009}) {
        Line(id)->selectAll();
        Key(Line(id), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(U(Line(id)->text()), "感遇其二 张九龄 2024/1/2") << id;
    }
    Combo(1011)->setCurrentText(QStringLiteral("A"));
    Leave(Line(1009));
    svc.ExpectBox(kRenamed, "选择", kYesNo, plat::IDNO);
    Click(1006);
    EXPECT_TRUE(OnDisk("lib1/A/感遇其二 张九龄 2024／1／2.datum.xml", "<title>感遇其二 张九龄 2024/1/2</title>"));
    // "No" discards the edits, also when the card that was to replace them does not open: nothing is left.
    Key(Line(1009), Qt::Key_X, {}, "x");
    svc.ExpectBox(kUnsaved, "选择", kAsk, plat::IDNO);
    svc.ExpectBox("读取文件 lib1\\B\\bad.datum.xml 的XML数据时出错了!\n第 1 行：Start tag expected, '<' not found", "ERROR", kError);
    OpenCard("bad");
    EXPECT_EQ(U(Line(1009)->text() + Line(1017)->text() + Line(1011)->text() + Line(1008)->text() + Body()->toPlainText()), "");
    EXPECT_FALSE(dlg->Form().HasEdits());
}

// What a card cannot store is named under the body as it comes in; the invisible mark typed or composed at a
// paragraph's end is left out, and the paragraphs stay apart. A body that would make the file one byte larger
// than a card the program opens is refused; one byte less is saved.
TEST_F(EditorTest, WhatIsEnteredIsCheckedAsItComesInAndSavedOnlyWhenItOpensAgain) {
    OpenAnew(Card("c"));
    Key(Body(), Qt::Key_unknown, {}, "😀x😀");
    EXPECT_EQ(U(Body()->Notice()), "");  // an emoji is stored like any character
    Body()->textCursor().insertText(QString(QChar(0xFFFF)) + "x" + QChar(0xFFFE));
    EXPECT_EQ(U(Body()->Notice()), "正文中有 2 个 XML 文件不能容纳的字符（第一个是 “\uFFFF” U+FFFF）");
    Key(Body(), Qt::Key_A, Qt::ControlModifier);
    Key(Body(), Qt::Key_unknown, {}, "甲\u2060");
    Key(Body(), Qt::Key_Return);
    QInputMethodEvent composed;  // an input method's finished text
    composed.setCommitString(QString::fromUtf8("乙\u2060"));
    QCoreApplication::sendEvent(Body(), &composed);
    Key(Body(), Qt::Key_Return);
    Click(1006);
    const std::string saved = dir.ReadFile("lib1/A/c.datum.xml");
    EXPECT_NE(saved.find(Gbk("<part>甲</part>\r\n\t\t<part>乙</part>\r\n\t\t<part></part>")), std::string::npos);
    QApplication::clipboard()->setText(QString((16 << 20) - (saved.size() - Gbk("甲乙").size() - 34) + 1, 'x'));
    Key(Body(), Qt::Key_A, Qt::ControlModifier);
    Key(Body(), Qt::Key_V, Qt::ControlModifier);
    Save({{"保存资料时出错:资料卡文件将有 16777217 字节，超过了能打开的上限 16 MB（16777216 字节），资料卡没有保存。", 0}});
    EXPECT_EQ(dir.ReadFile("lib1/A/c.datum.xml"), saved);
    Key(Body(), Qt::Key_Backspace);
    Click(1006);
    EXPECT_EQ(dir.ReadFile("lib1/A/c.datum.xml").size(), 16u << 20);
}

// A reload that fails ends the program, but not over unsaved edits kept: Yes saves them first; after Cancel,
// or a save that fails, the window stays with only the form and its file controls, and a save then ends it.
TEST_F(EditorTest, AFailedReloadEndsTheProgramOnlyAfterTheEditsAreSavedOrLeft) {
    const struct { int answer; bool diskFull, ends; } rows[] = {
        {plat::IDYES, false, true}, {plat::IDYES, true, false}, {plat::IDCANCEL, false, false}};
    for (const auto& row : rows) {
        mainfx::WriteClassList(dir, "lib1", "lib1\\", {"A", "B", "C", "C\\D"});
        OpenAnew(Card("c"));
        Key(Line(1017), Qt::Key_N, {}, "n");
        plat::fault::FailWritesAfter(row.diskFull ? 0 : -1, ENOSPC);
        svc.ExpectBox("读取类别信息时出错: 找不到文件 lib1\\_ _SETS_ _\\class.list", "ERROR", kError);
        svc.ExpectBox("程序将要关闭，当前资料卡的修改还没有保存。\n你要先保存它吗?", "选择", kAsk, row.answer);
        if (row.diskFull) svc.ExpectBox("保存资料时出错:写入 XML 数据时出错!!：磁盘空间不足", "ERROR", kError);
        mangfx::WhenModal([&](CDialog& m) {
            std::remove((dir.Native() + "/lib1/_ _SETS_ _/class.list").c_str());
            m.EndDialog(plat::IDOK);
        });
        Click(1012);
        plat::fault::Clear();
        ASSERT_EQ(dlg->Ended(), row.ends) << row.answer << row.diskFull;
        EXPECT_EQ(dlg->Item(1000)->isEnabled() || dlg->Item(1005)->isEnabled() || dlg->Item(1012)->isEnabled(), row.ends);
        if (!row.ends) Click(1006);  // the form alone is left, and saving it ends the program
        EXPECT_TRUE(dlg->Ended());
        EXPECT_TRUE(OnDisk("lib1/A/c.datum.xml", "<class>A</class>\r\n"));
        EXPECT_TRUE(OnDisk("lib1/A/c.datum.xml", "<keyword>n<"));
    }
}

// Paragraphs too long for one line of the body field show cut into lines and save back byte for byte.
TEST_F(EditorTest, LongParagraphsShowCutIntoLinesAndSaveBackByteForByte) {
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
        const std::string bytes = Card("c", "A", Gbk("书"), "k", row.content);
        OpenAnew(bytes);
        EXPECT_EQ(Body()->blockCount(), row.lines);
        Click(1006);
        EXPECT_EQ(dir.ReadFile("lib1/A/c.datum.xml"), bytes);
    }
}

TEST_F(EditorTest, EditsAtAJointSaveWhatTheUserSeesAndTyped) {
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

TEST_F(EditorTest, ACardOverTheLimitIsRefusedBeforeItIsRead) {
    dir.WriteFile("lib1/A/big.datum.xml", "");
    fs::resize_file(dir.Native() + "/lib1/A/big.datum.xml", (16u << 20) + 1);  // sparse: no data
    PickLibrary(0);  // the rescan shows it
    svc.ExpectBox("资料卡文件 lib1\\A\\big.datum.xml 超过 16 MB，太大了，不能打开。", "ERROR", kError);
    OpenCard("big");
    EXPECT_EQ(dlg->Form().LoadedPath(), "");
}

}  // namespace
