// The card form: opening a card from the tree, stepping through the entries, the file name that follows the
// title and class, and every way a save can go: in place, under a new name, onto another card, refused.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QSignalBlocker>
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
        dlg->m_startupDone = 1;  // the start-up timer must not load a second time
    }
    void TearDown() override {
        dlg.reset();
        SetLocalTimeSource(nullptr);
    }
    std::string Form() {
        return mainfx::U(dlg->m_edTitle->text() + "|" + dlg->m_cbClass->currentText() + "|" + dlg->m_cbSource->currentText() +
                         "|" + dlg->m_cbStyle->currentText() + "|" + dlg->m_edKeyword->text() + "|" +
                         dlg->m_edFile->text() + "|" + dlg->m_edBody->toPlainText());
    }
    std::string Saved(DatumCard card) {
        card.dtdPath = dir.Internal() + "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        return CardBytes(card);
    }
    void Rename(const std::string& title) {
        dlg->m_edTitle->setText(QString::fromStdString(title));
        Leave(dlg->m_edTitle);
    }
    void Save(std::initializer_list<std::pair<const char*, int>> boxes = {}) {
        for (const auto& [text, answer] : boxes) svc.ExpectBox(text, answer ? "选择" : "ERROR", answer ? kYesNo : kError, answer);
        dlg->OnSave();
        svc.VerifyAllUsed();
    }
    bool Rescanned() { return dlg->m_msg->Message() == Gbk("文件已经保存，正在重新扫描文件夹....."); }
};

TEST_F(EditorTest, OpeningCardsFillsTheFormAndFailuresLeaveIt) {
    OpenCard("a1");
    // Markup signs were stored as full-width signs and come back as such.
    EXPECT_EQ(Form(), "a1|A|网络|simple|k1|lib1\\A\\a1.datum.xml|第一段\n second ≮x≯ ￡ y\n第三段");
    EXPECT_EQ(dlg->m_current->founddate, "2001-1-1 1:1");
    // Class and source not in the lists stand as the card has them; a stylesheet from another program
    // directory is found by its file name in any letter case, one nobody has by nothing.
    OpenCard("a2");
    EXPECT_EQ(Form(), "a2|不在列表|未知|Report||lib1\\A\\a2.datum.xml|");
    OpenCard("c1");
    EXPECT_EQ(ui::SelectedEntry(dlg->m_cbStyle), -1);
    OpenCard("C");  // a class only becomes current
    EXPECT_EQ(dlg->m_current, Node("C"));
    EXPECT_EQ(mainfx::U(dlg->m_edTitle->text()), "c1");
    std::filesystem::remove(dir.Native() + "/lib1/A/a2.datum.xml");
    svc.ExpectBox("不能打开文件:lib1\\A\\a2.datum.xml", "ERROR", kError);
    OpenCard("a2");
    QSignalBlocker block(dlg->m_cbLibrary);
    dlg->m_cbLibrary->setCurrentIndex(1);
    dlg->OnLibrarySelChange();
    svc.ExpectBox("读取文件 lib2\\bad.datum.xml 的XML数据时出错了!", "ERROR", kError);
    OpenCard("bad");
    EXPECT_EQ(dlg->m_loadedPath, "lib1\\C\\c1.datum.xml");
}

TEST_F(EditorTest, PreviousAndNextWalkOverClassesAndStopAtTheEnds) {
    // Entries: A a1 a2 B C c1 D.
    const std::pair<void (CMainDlg::*)(), const char*> steps[] = {
        {&CMainDlg::OnPrevDatum, "A"},  {&CMainDlg::OnNextDatum, "a1"}, {&CMainDlg::OnNextDatum, "a2"},
        {&CMainDlg::OnNextDatum, "c1"}, {&CMainDlg::OnPrevDatum, "a2"}, {&CMainDlg::OnNextDatum, "c1"},
        {&CMainDlg::OnNextDatum, "D"},  {&CMainDlg::OnNextDatum, "D"}};
    dlg->m_current = Node("A");
    for (const auto& [step, label] : steps) {
        (dlg.get()->*step)();
        EXPECT_EQ(dlg->m_current, Node(label)) << label;
        EXPECT_TRUE(Node(label)->item->isSelected()) << label;
    }
    EXPECT_EQ(mainfx::U(dlg->m_edTitle->text()), "c1") << "a class is selected, nothing is loaded";
}

TEST_F(EditorTest, TheFileNameFollowsTitleAndClass) {
    OpenCard("a1");
    Rename("新标题");
    EXPECT_EQ(mainfx::U(dlg->m_edFile->text()), "lib1\\A\\新标题.datum.xml");
    ui::SelectEntry(dlg->m_cbClass, 3);  // C\D, a nested class
    Leave(dlg->m_cbClass->lineEdit());
    EXPECT_EQ(mainfx::U(dlg->m_edFile->text()), "lib1\\C\\D\\新标题.datum.xml");
    // A name outside the rule is brought into it; the tail runs from the first mark; no mark, no change.
    dlg->m_edFile->setText(QStringLiteral("elsewhere\\old.datum.datum.xml"));
    Rename("T");
    EXPECT_EQ(mainfx::U(dlg->m_edFile->text()), "lib1\\C\\D\\T.datum.datum.xml");
    dlg->m_edFile->setText(QStringLiteral("lib1\\A\\plain.xml"));
    Rename("U");
    EXPECT_EQ(mainfx::U(dlg->m_edFile->text()), "lib1\\A\\plain.xml");
}

TEST_F(EditorTest, SaveInPlaceWritesTheCardAndNothingElse) {
    OpenCard("a1");
    dlg->m_edKeyword->setText(QStringLiteral("新关键字"));
    dlg->m_edBody->setPlainText(QStringLiteral("一\n二 <b>\n\n三"));
    ui::SelectEntry(dlg->m_cbStyle, ui::SelectedEntry(dlg->m_cbStyle) == 0 ? 1 : 0);
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
    dlg->m_edFile->setText(QStringLiteral("lib1/C/c1.datum.xml"));
    Save();
    EXPECT_TRUE(dir.Exists("lib1/C/c1.datum.xml"));
}

TEST_F(EditorTest, SaveUnderANewNameAsksBeforeDeletingTheOldOrOverwritingAnother) {
    OpenCard("a2");
    ui::SelectEntry(dlg->m_cbClass, 0);
    Rename("新卡");
    Save({{kRenamed, plat::IDYES}});
    EXPECT_FALSE(dir.Exists("lib1/A/a2.datum.xml"));
    DatumCard want = a2;
    want.title = Gbk("新卡"), want.klass = "A", want.href = styles + "Report.xsl";
    EXPECT_EQ(dir.ReadFile("lib1/A/新卡.datum.xml"), Saved(want));
    EXPECT_TRUE(Rescanned());
    ASSERT_EQ(dlg->m_current, Node("新卡"));
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

    OpenCard("c1");  // the old file already gone; the title names a class that comes first
    std::filesystem::remove(dir.Native() + "/lib1/C/c1.datum.xml");
    Rename("B");
    Save({{kRenamed, plat::IDYES}, {"不能删除文件:lib1\\C\\c1.datum.xml 请手动删除.", 0}});
    EXPECT_TRUE(dir.Exists("lib1/C/B.datum.xml"));
    EXPECT_EQ(dlg->m_current->path, "lib1\\C\\B.datum.xml") << "the file saved, not the class of that name";
}

TEST_F(EditorTest, FailedAndRefusedSavesLeaveTheCardIntact) {
    OpenCard("a1");
    const std::string before = dir.ReadFile("lib1/A/a1.datum.xml");
    // Text GBK cannot hold would come back as something else: refused, naming the field.
    const QString emoji = QString::fromUtf8("x\xF0\x9F\x98\x80");
    const std::pair<const char*, std::function<void()>> fields[] = {
        {"标题", [&] { dlg->m_edTitle->setText(emoji); }},    {"关键字", [&] { dlg->m_edKeyword->setText(emoji); }},
        {"类别", [&] { dlg->m_cbClass->setEditText(emoji); }}, {"来源", [&] { dlg->m_cbSource->setEditText(emoji); }},
        {"正文", [&] { dlg->m_edBody->setPlainText(emoji); }}, {"文件名", [&] { dlg->m_edFile->setText(emoji); }}};
    for (const auto& [field, set] : fields) {
        set();
        Save({{(std::string("保存资料时出错:") + field + "中有 1 个字符无法保存为 GB2312（第一个是 “😀” U+1F600）").c_str(), 0}});
        OpenDiscarding("a1");
    }
    EXPECT_EQ(dir.ReadFile("lib1/A/a1.datum.xml"), before);
    dlg->m_cbClass->setEditText(QStringLiteral("无此类"));
    dlg->OnNameFieldKillFocus();
    Save({{"保存资料时出错:不能打开文件 lib1\\无此类\\a1.datum.xml 进行写入：文件夹不存在", 0}});
    EXPECT_FALSE(dir.Exists("lib1/无此类"));
}

TEST_F(EditorTest, TheCreationStampFollowsTheFormAcrossALibrarySwitch) {
    auto library = [&](int index) {
        QSignalBlocker block(dlg->m_cbLibrary);
        dlg->m_cbLibrary->setCurrentIndex(index);
        dlg->OnLibrarySelChange();
    };
    library(1);  // a new card typed into the empty form: no question, the save's stamp
    dlg->m_edTitle->setText(QStringLiteral("新"));
    dlg->m_edFile->setText(QStringLiteral("lib2\\新.datum.xml"));
    Save();
    EXPECT_NE(dir.ReadFile("lib2/新.datum.xml").find("<founddate>2003-2-5 9:7</founddate>"), std::string::npos);
    EXPECT_EQ(dlg->m_current, Node("新"));
    library(0);
    OpenCard("a1");
    library(1);
    g_now = {2024, 5, 5, 5, 5};
    Save();  // the form's own file, where it was: a1 keeps its stamp, the current entry's is not taken
    EXPECT_NE(dir.ReadFile("lib1/A/a1.datum.xml").find("<founddate>2001-1-1 1:1</founddate>"), std::string::npos);
    dlg->m_cbClass->setEditText(QStringLiteral("K"));
    Rename("a1");
    Save({{kRenamed, plat::IDYES}});
    EXPECT_FALSE(dir.Exists("lib1/A/a1.datum.xml") || !dir.Exists("lib2/新.datum.xml"));
    EXPECT_NE(dir.ReadFile("lib2/K/a1.datum.xml").find("<founddate>2001-1-1 1:1</founddate>"), std::string::npos);
    EXPECT_EQ(dlg->m_current, Node("a1"));
}

}  // namespace
