// The card form of the main window, driven offscreen over a temporary program directory with three libraries.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <cerrno>
#include <filesystem>

#include "app/main_fixture.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "ui/combo.h"

using plat::Gbk;

namespace {

LocalTime g_now{2003, 2, 5, 9, 7};
bool Now(LocalTime& t) {
    t = g_now;
    return true;
}

const char kQuestion[] = "你已经改变了存储的文件名，该资料卡已经保存为新的文件;\n                 你要删除以前的文件码?";
constexpr unsigned kErrorBox = plat::MB_OK | plat::MB_ICONERROR;
constexpr unsigned kQuestionBox = plat::MB_YESNO | plat::MB_ICONQUESTION;

std::string CardBytes(const DatumCard& card) {
    XmlRecordSet x;
    x.card = card;
    plat::StringSink sink;
    x.WriteCard(sink);
    return sink.data;
}

class EditorTest : public MainWindowTest {
protected:
    std::string progDir = dir.Internal();
    std::string simplePath = progDir + "\\xmlstyle\\datumstyle\\simple.xsl";
    std::string reportPath = progDir + "\\xmlstyle\\datumstyle\\Report.xsl";
    DatumCard a1, a2, c1, c2, b;

    void SetUp() override {
        SetLocalTimeSource(Now);
        g_now = {2003, 2, 5, 9, 7};
        const mainfx::Lines classes{"A", "B", "C", "C\\D"}, sources{"网络", "书"};
        mainfx::WriteRegistry(dir, {{"一号", "lib1"}, {"二号", "lib2"}, {"空库", "lib3"}}, 0);
        mainfx::MakeLibrary(dir, "lib1", classes, sources);
        for (const std::string lib : {"lib2", "lib3"}) {
            mainfx::WriteClassList(dir, lib, lib + "\\", classes);
            mainfx::WriteSourceList(dir, lib, sources);
        }
        mainfx::MakeStyles(dir, {"simple.xsl", "Report.xsl"});

        a1 = {Gbk("a1"), "A", "2001-1-1 1:1", "", Gbk("网络"), "k1", Gbk("第一段\r\n second <x> & y\r\n第三段"),
              simplePath, "x.dtd"};
        a2 = {"a2", Gbk("不在列表"), "2001-1-2 1:1", "", Gbk("未知"), "", "", "D:\\old/XMLSTYLE\\datumstyle\\REPORT.XSL",
              "x.dtd"};
        c1 = {"c1", "C", "2001-1-3 1:1", "", "", "", Gbk("正文"), plat::AsciiLower(reportPath), "x.dtd"};
        c2 = {"c2", "C", "2001-1-4 1:1", "", "", "", "", "\\far\\away\\gone.xsl", "x.dtd"};
        b = {"b", "K", "2001-1-5 1:1", "", "", "", "", simplePath, "x.dtd"};
        dir.WriteFile("lib1/A/a1.datum.xml", CardBytes(a1));
        dir.WriteFile("lib1/A/a2.datum.xml", CardBytes(a2));
        dir.WriteFile("lib1/C/c1.datum.xml", CardBytes(c1));
        dir.WriteFile("lib1/C/c2.datum.xml", CardBytes(c2));
        dir.WriteFile("lib2/b.datum.xml", CardBytes(b));
        dir.WriteFile("lib2/bad.datum.xml", "<?xml?>\r\n<datum><title>x</title></datum>");
        dir.MakeDir("lib2/K");

        Load();
        dlg->m_startupDone = 1;  // the start-up timer must not load a second time
        ASSERT_EQ(dlg->m_libRoot, "lib1\\");
    }
    void TearDown() override {
        dlg.reset();
        SetLocalTimeSource(nullptr);
        plat::fault::Clear();
    }

    DatumNode* Node(const std::string& utf8Label) {
        for (DatumNode* n = dlg->m_first; n && !n->IsEnd(); n = n->next)
            if (n->label == Gbk(utf8Label)) return n;
        return nullptr;
    }
    void DblClick(const std::string& label) {
        DatumNode* n = Node(label);
        ASSERT_NE(n, nullptr) << label;
        dlg->m_tree->setCurrentItem(n->item);
        emit dlg->m_tree->itemDoubleClicked(n->item, 0);
    }
    void SwitchLibrary(int index) {
        QSignalBlocker block(dlg->m_cbLibrary);
        dlg->m_cbLibrary->setCurrentIndex(index);
        dlg->OnLibrarySelChange();
    }
    std::string Text(const QString& s) { return s.toStdString(); }
    std::string Selected(QComboBox* combo) { return combo->currentIndex() < 0 ? "" : Text(combo->currentText()); }
    QTreeWidgetItem* SelectedItem() {
        auto items = dlg->m_tree->selectedItems();
        return items.isEmpty() ? nullptr : items.first();
    }
    std::string Expected(DatumCard card) {
        card.dtdPath = progDir + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        return CardBytes(card);
    }
    void Rename(const std::string& utf8Title) {
        dlg->m_edTitle->setText(QString::fromStdString(utf8Title));
        dlg->OnNameFieldKillFocus();
    }
    bool Rescanned() { return dlg->m_msg->Message() == Gbk("文件已经保存，正在重新扫描文件夹....."); }
};

TEST_F(EditorTest, DoubleClickFillsTheFormAndKeepsTheFounddateOnTheEntry) {
    DblClick("a1");
    EXPECT_EQ(dlg->m_current, Node("a1"));
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "a1");
    EXPECT_EQ(Text(dlg->m_edKeyword->text()), "k1");
    EXPECT_EQ(Selected(dlg->m_cbClass), "A");
    EXPECT_EQ(Selected(dlg->m_cbSource), "网络");
    EXPECT_EQ(Selected(dlg->m_cbStyle), "simple");
    EXPECT_EQ(dlg->m_edFile->text(), QStringLiteral("lib1\\A\\a1.datum.xml"));
    // The body's markup characters were stored as full-width signs and come back as such.
    EXPECT_EQ(Text(dlg->m_edBody->toPlainText()), "第一段\n second ≮x≯ ￡ y\n第三段");
    EXPECT_EQ(dlg->m_current->founddate, "2001-1-1 1:1");

    // Class and source not in the lists leave the fields empty; a stylesheet from another program
    // directory is found by its file name, whatever the letter case.
    DblClick("a2");
    EXPECT_EQ(ui::SelectedEntry(dlg->m_cbClass), -1);
    EXPECT_TRUE(dlg->m_cbClass->currentText().isEmpty());
    EXPECT_TRUE(dlg->m_cbSource->currentText().isEmpty());
    EXPECT_EQ(Selected(dlg->m_cbStyle), "Report");

    DblClick("c1");  // the full path, only in other letter case
    EXPECT_EQ(Selected(dlg->m_cbStyle), "Report");
    DblClick("c2");  // a stylesheet nobody has
    EXPECT_EQ(ui::SelectedEntry(dlg->m_cbStyle), -1);

    DblClick("C");  // a class only becomes current; the form stays
    EXPECT_EQ(dlg->m_current, Node("C"));
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "c2");
}

TEST_F(EditorTest, LoadFailuresLeaveTheFormAsItWas) {
    DblClick("a1");
    std::filesystem::remove(dir.Native() + "/lib1/A/a2.datum.xml");
    svc.ExpectBox("不能打开文件:lib1\\A\\a2.datum.xml", "ERROR", kErrorBox);
    DblClick("a2");
    EXPECT_EQ(dlg->m_current, Node("a2"));
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "a1");

    SwitchLibrary(1);
    svc.ExpectBox("读取文件 lib2\\bad.datum.xml 的XML数据时出错了!", "ERROR", kErrorBox);
    DblClick("bad");
    EXPECT_EQ(dlg->m_edFile->text(), QStringLiteral("lib1\\A\\a1.datum.xml"));
    EXPECT_EQ(dlg->m_loadedPath, "lib1\\A\\a1.datum.xml");
}

TEST_F(EditorTest, PreviousAndNextWalkAcrossClassesAndStopAtTheEnds) {
    // Entry list: A a1 a2 B C c1 c2 D end.
    dlg->m_current = Node("A");
    dlg->OnPrevDatum();  // the very first entry
    EXPECT_EQ(dlg->m_current, Node("A"));

    dlg->OnNextDatum();
    EXPECT_EQ(dlg->m_current, Node("a1"));
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "a1");
    dlg->OnNextDatum();
    dlg->OnNextDatum();  // over the classes B and C
    EXPECT_EQ(dlg->m_current, Node("c1"));
    EXPECT_EQ(SelectedItem(), Node("c1")->item);
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "c1");

    dlg->OnPrevDatum();  // back over C and B
    EXPECT_EQ(dlg->m_current, Node("a2"));
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "a2");

    DblClick("c2");
    dlg->OnNextDatum();  // only a class follows: it is selected, nothing is loaded
    EXPECT_EQ(dlg->m_current, Node("D"));
    EXPECT_EQ(SelectedItem(), Node("D")->item);
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "c2");
    dlg->OnNextDatum();  // the last entry before the end entry
    EXPECT_EQ(dlg->m_current, Node("D"));

    DblClick("a1");
    dlg->OnPrevDatum();  // the list begins with a1's class
    EXPECT_EQ(dlg->m_current, Node("A"));
    EXPECT_EQ(SelectedItem(), Node("A")->item);
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "a1");
}

TEST_F(EditorTest, LeavingTitleOrClassRebuildsTheFileName) {
    DblClick("a1");
    Rename("新标题");
    EXPECT_EQ(Text(dlg->m_edFile->text()), "lib1\\A\\新标题.datum.xml");
    ui::SelectEntry(dlg->m_cbClass, 3);  // C\D, a nested class
    dlg->OnNameFieldKillFocus();
    EXPECT_EQ(Text(dlg->m_edFile->text()), "lib1\\C\\D\\新标题.datum.xml");

    // A name outside the class and title rule is brought into it; the tail runs from the first mark.
    dlg->m_edFile->setText(QStringLiteral("elsewhere\\old.datum.datum.xml"));
    dlg->m_cbClass->setEditText(QStringLiteral("K"));
    Rename("T");
    EXPECT_EQ(Text(dlg->m_edFile->text()), "lib1\\K\\T.datum.datum.xml");

    dlg->m_edFile->setText(QStringLiteral("lib1\\A\\plain.xml"));
    Rename("U");
    EXPECT_EQ(Text(dlg->m_edFile->text()), "lib1\\A\\plain.xml");
}

TEST_F(EditorTest, SaveInPlaceWritesTheCardAndNothingElse) {
    DblClick("a1");
    dlg->m_edKeyword->setText(QStringLiteral("新关键字"));
    dlg->m_edBody->setPlainText(QStringLiteral("一\n二 <b>\n\n三"));
    ui::SelectEntry(dlg->m_cbStyle, ui::SelectedEntry(dlg->m_cbStyle) == 0 ? 1 : 0);  // the other style
    g_now = {2024, 3, 4, 5, 6};
    dlg->OnSave();

    const std::string disk = dir.ReadFile("lib1/A/a1.datum.xml");
    DatumCard want = a1;
    want.keyword = Gbk("新关键字");
    want.content = Gbk("一\r\n二 <b>\r\n\r\n三");
    want.href = reportPath;
    EXPECT_EQ(disk, Expected(want));
    EXPECT_NE(disk.find("<founddate>2001-1-1 1:1</founddate>\r\n\t<modifieddate>2024-3-4 5:6</modifieddate>"),
              std::string::npos);
    EXPECT_NE(disk.find("\t\t<part>" + Gbk("二 ≮b≯") + "</part>\r\n\t\t<part></part>\r\n"), std::string::npos);
    EXPECT_FALSE(Rescanned());
    EXPECT_EQ(dlg->m_current, Node("a1"));

    // With no style chosen the card keeps the stylesheet it was read with.
    DblClick("c2");
    dlg->OnSave();
    EXPECT_EQ(dir.ReadFile("lib1/C/c2.datum.xml"), Expected(c2));
}

TEST_F(EditorTest, SaveUnderNewNameAnsweredYesDeletesTheOldFileAndFindsTheNewEntry) {
    DblClick("a2");
    ui::SelectEntry(dlg->m_cbClass, 0);  // A
    Rename("新卡");
    svc.ExpectBox(kQuestion, "选择", kQuestionBox, plat::IDYES);
    g_now = {2024, 1, 1, 0, 0};
    dlg->OnSave();

    EXPECT_FALSE(dir.Exists("lib1/A/a2.datum.xml"));
    DatumCard want = a2;
    want.title = Gbk("新卡");
    want.klass = "A";
    want.source = "";
    want.href = reportPath;
    EXPECT_EQ(dir.ReadFile("lib1/A/新卡.datum.xml"), Expected(want));
    EXPECT_TRUE(Rescanned());
    ASSERT_EQ(dlg->m_current, Node("新卡"));
    EXPECT_EQ(SelectedItem(), dlg->m_current->item);
    EXPECT_EQ(dlg->m_current->founddate, "2001-1-2 1:1");
    EXPECT_EQ(dlg->m_loadedPath, Gbk("lib1\\A\\新卡.datum.xml"));

    // The form now belongs to the new file: a second save is in place and keeps the creation date.
    g_now = {2024, 1, 2, 0, 0};
    dlg->OnSave();
    EXPECT_NE(dir.ReadFile("lib1/A/新卡.datum.xml").find("<founddate>2001-1-2 1:1</founddate>"), std::string::npos);
}

TEST_F(EditorTest, SaveUnderNewNameAnsweredNoOrFailingToDeleteKeepsBothFiles) {
    DblClick("a1");
    Rename("a1b");
    svc.ExpectBox(kQuestion, "选择", kQuestionBox, plat::IDNO);
    dlg->OnSave();
    EXPECT_TRUE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_TRUE(dir.Exists("lib1/A/a1b.datum.xml"));

    // The title matches a class that comes first in the list: the file just saved becomes current all the same.
    DblClick("c1");
    std::filesystem::remove(dir.Native() + "/lib1/C/c1.datum.xml");
    Rename("B");
    svc.ExpectBox(kQuestion, "选择", kQuestionBox, plat::IDYES);
    svc.ExpectBox("不能删除文件:lib1\\C\\c1.datum.xml 请手动删除.", "ERROR", kErrorBox);
    dlg->OnSave();
    EXPECT_TRUE(dir.Exists("lib1/C/B.datum.xml"));
    ASSERT_NE(dlg->m_current, nullptr);
    EXPECT_EQ(dlg->m_current->path, "lib1\\C\\B.datum.xml");
}

TEST_F(EditorTest, SaveOntoAnotherExistingCardAsksBeforeOverwritingIt) {
    DblClick("a1");
    Rename("a2");  // the title of another card in the same class
    const char overwrite[] = "文件 lib1\\A\\a2.datum.xml 已经存在，你要用当前资料卡覆盖它吗?";
    svc.ExpectBox(overwrite, "选择", kQuestionBox, plat::IDNO);
    dlg->OnSave();
    EXPECT_EQ(dir.ReadFile("lib1/A/a2.datum.xml"), CardBytes(a2));
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), CardBytes(a1));
    EXPECT_FALSE(Rescanned());
    EXPECT_EQ(Text(dlg->m_edTitle->text()), "a2");
    EXPECT_EQ(dlg->m_loadedPath, "lib1\\A\\a1.datum.xml");

    svc.ExpectBox(overwrite, "选择", kQuestionBox, plat::IDYES);
    svc.ExpectBox(kQuestion, "选择", kQuestionBox, plat::IDYES);
    dlg->OnSave();
    DatumCard want = a1;
    want.title = "a2";
    EXPECT_EQ(dir.ReadFile("lib1/A/a2.datum.xml"), Expected(want));
    EXPECT_FALSE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_TRUE(Rescanned());
}

TEST_F(EditorTest, TheLoadedFileUnderAnotherSpellingIsNotOfferedForDeletion) {
    // Deleting "the old file" here would delete the card just written.
    DblClick("a1");
    dlg->m_edFile->setText(QStringLiteral("lib1/A/a1.datum.xml"));
    dlg->OnSave();
    EXPECT_TRUE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_EQ(dlg->m_current, Node("a1"));
}

TEST_F(EditorTest, FailedSavesReportAndLeaveTheOldCardIntact) {
    DblClick("a1");
    const std::string before = dir.ReadFile("lib1/A/a1.datum.xml");
    dlg->m_edBody->setPlainText(QString(200000, QLatin1Char('x')));
    plat::fault::FailWritesAfter(100, EIO);
    svc.ExpectBox("保存资料时出错:写入 XML 数据时出错!!", "ERROR", kErrorBox);
    dlg->OnSave();
    plat::fault::Clear();
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), before);
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListDir("lib1\\A", entries));
    EXPECT_EQ(entries.size(), 2u);  // no temporary file left behind

    dlg->m_cbClass->setEditText(QStringLiteral("无此类"));
    dlg->OnNameFieldKillFocus();
    svc.ExpectBox("保存资料时出错:不能打开文件 lib1\\无此类\\a1.datum.xml 进行写入", "ERROR", kErrorBox);
    dlg->OnSave();
    EXPECT_FALSE(dir.Exists("lib1/无此类"));
    EXPECT_FALSE(Rescanned());
}

TEST_F(EditorTest, TextGbkCannotHoldIsRefusedNamingTheField) {
    DblClick("a1");
    const std::string before = dir.ReadFile("lib1/A/a1.datum.xml");
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    struct Case {
        const char* field;
        std::function<void(const QString&)> set;
    } cases[] = {
        {"标题", [&](const QString& s) { dlg->m_edTitle->setText(s); }},
        {"关键字", [&](const QString& s) { dlg->m_edKeyword->setText(s); }},
        {"类别", [&](const QString& s) { dlg->m_cbClass->setEditText(s); }},
        {"来源", [&](const QString& s) { dlg->m_cbSource->setEditText(s); }},
        {"正文", [&](const QString& s) { dlg->m_edBody->setPlainText(s); }},
        {"文件名", [&](const QString& s) { dlg->m_edFile->setText(s); }},
    };
    for (const Case& c : cases) {
        if (&c != cases)  // the refused edit is still in the form: opening the card again asks, and drops it
            svc.ExpectBox("当前资料卡的修改还没有保存。\n你要先保存它吗? (选\"否\"放弃这些修改)", "选择", 0x23, plat::IDNO);
        DblClick("a1");
        c.set(QStringLiteral("x") + emoji);
        svc.ExpectBox(std::string("保存资料时出错:") + c.field + "中含有无法保存的字符（如表情符号），资料卡没有保存。",
                      "ERROR", kErrorBox);
        dlg->OnSave();
        svc.VerifyAllUsed();
        EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), before) << c.field;
    }
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListDir("lib1\\A", entries));
    EXPECT_EQ(entries.size(), 2u);
}

TEST_F(EditorTest, AfterALibrarySwitchOnlyTheLoadedFileIsOfferedForDeletion) {
    DblClick("a1");
    SwitchLibrary(1);
    ASSERT_EQ(dlg->m_current, Node("b"));
    g_now = {2024, 5, 5, 5, 5};
    dlg->OnSave();  // the form's own file, saved where it was: no question about b, and a1 stays a1
    EXPECT_TRUE(dir.Exists("lib2/b.datum.xml"));
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), Expected(a1));

    dlg->m_cbClass->setEditText(QStringLiteral("K"));
    Rename("a1");
    svc.ExpectBox(kQuestion, "选择", kQuestionBox, plat::IDYES);
    dlg->OnSave();
    EXPECT_TRUE(dir.Exists("lib2/K/a1.datum.xml"));
    EXPECT_TRUE(dir.Exists("lib2/b.datum.xml"));
    EXPECT_FALSE(dir.Exists("lib1/A/a1.datum.xml"));
    EXPECT_EQ(dlg->m_current, Node("a1"));
    EXPECT_NE(dir.ReadFile("lib2/K/a1.datum.xml").find("<founddate>2001-1-1 1:1</founddate>"), std::string::npos);
}

TEST_F(EditorTest, ANewCardTypedIntoAnEmptyLibraryIsSavedWithoutAQuestion) {
    SwitchLibrary(2);
    ASSERT_TRUE(dlg->m_current->IsEnd());
    dlg->m_edTitle->setText(QStringLiteral("新"));
    for (QComboBox* combo : {dlg->m_cbClass, dlg->m_cbSource, dlg->m_cbStyle}) ui::SelectEntry(combo, -1);
    dlg->m_edFile->setText(QStringLiteral("lib3\\新.datum.xml"));
    dlg->OnSave();
    DatumCard want{Gbk("新"), "", "", "", "", "", "", "", ""};
    EXPECT_EQ(dir.ReadFile("lib3/新.datum.xml"), Expected(want));
    EXPECT_NE(dir.ReadFile("lib3/新.datum.xml").find("<founddate>2003-2-5 9:7</founddate>"), std::string::npos);
    ASSERT_EQ(dlg->m_current, Node("新"));
    EXPECT_EQ(dlg->m_current->founddate, "2003-2-5 9:7");
}

}  // namespace
