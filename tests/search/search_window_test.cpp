// The search window of the main window: reached by its button and Ctrl+F, answers while the user types (on
// a thread of its own: the newest question is the one answered), marks the matches, stays open beside the
// form, opens a result the way a double-click in the tree does with the cursor on the first match (F3 and
// Shift+F3 go on from there), sees a card the form has just saved, rebuilds a damaged index, and says why
// there is no index. Controls are found by their IDs.

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "app/card_find.h"
#include "app/main_fixture.h"
#include "app/search_dlg.h"
#include "search/fold.h"
#include "search/indexer.h"
#include "support/cards.h"
#include "support/index_file.h"

namespace {

using mainfx::U;

class SearchWindowTest : public MainWindowTest {
protected:
    void SetUp() override { mainfx::MakeStandardProgramDir(dir); }
    void WriteCard(const std::string& rel, const char* title, const char* body, const char* keyword = "") {
        dir.WriteFile(rel, CardBytes({plat::Gbk(title), plat::Gbk("历史"), "", "", "", plat::Gbk(keyword),
                                      plat::Gbk(body), "", ""}));
    }
    CSearchDlg* Search() { return dlg->SearchWindow(); }
    QTreeWidget* Results() { return Search()->findChild<QTreeWidget*>("1033"); }
    // Opens the search window once the index is built.
    void OpenSearch() {
        Load();
        dlg->show();
        dlg->SearchIndex().WaitIdle();
        qobject_cast<QAbstractButton*>(dlg->Item(1023))->click();
        ASSERT_NE(Search(), nullptr);
    }
    // Keys as an input method commits them: one key press carrying each text, with nothing in between;
    // then the answer to the last is waited for.
    void Type(std::vector<const char*> texts, bool enter = false) {
        auto* edit = Search()->findChild<QLineEdit*>("1030");
        edit->selectAll();
        for (const char* t : texts)
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString::fromUtf8(t), Qt::NoModifier);
        if (enter) QTest::keyClick(edit, Qt::Key_Return);
        // The answer comes through the event loop from the query's own thread, never within the keystroke.
        EXPECT_TRUE(Search()->Answering());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Search()->Answering(); }, 10000));
    }
};

TEST_F(SearchWindowTest, FindsMarksOpensAtTheMatchAndFollowsSavedCards) {
    WriteCard("lib/历史/甲午.datum.xml", "甲午", "前文很长很长很长的一段。北洋水师在黄海。后文水师");
    WriteCard("lib/历史/近代/辛亥.datum.xml", "辛亥", "武昌起义");
    OpenSearch();
    CSearchDlg* s = Search();
    EXPECT_TRUE(s->isVisible() && !QApplication::activeModalWidget()) << "open beside the window, not modal";
    EXPECT_TRUE(dlg->screen()->availableGeometry().contains(s->geometry())) << "seen whole on the screen";

    Type({"水师 黄海"});
    ASSERT_EQ(Results()->topLevelItemCount(), 1);
    QTreeWidgetItem* row = Results()->topLevelItem(0);
    EXPECT_EQ(U(row->text(0) + "|" + row->text(1)), "甲午|历史");
    EXPECT_FALSE(row->text(2).isEmpty()) << "the stamp";
    // Text around the first hit, cut from the body (title and class have their own columns), every term marked.
    const QString snippet = row->text(3);
    EXPECT_EQ(snippet.indexOf(QString::fromUtf8("甲午")), -1);
    QStringList marked;
    for (const QVariant& m : row->data(3, CSearchDlg::kMarksRole).toList())
        marked << snippet.mid(m.toPoint().x(), m.toPoint().y());
    EXPECT_EQ(marked, QString::fromUtf8("水师,黄海,水师").split(','));
    EXPECT_EQ(U(s->StatusText()), "找到 1 则资料卡");

    // Enter on the result: the card in the form and its entry current, the first match selected; F3 and
    // Shift+F3 step through the matches of both terms, round the ends.
    Results()->setFocus();
    QTest::keyClick(Results(), Qt::Key_Return);
    EXPECT_EQ(U(Edit(1009)->text()), "甲午");
    EXPECT_EQ(Current(), "历史\\甲午");
    EXPECT_TRUE(s->isVisible());
    EXPECT_EQ(Body()->textCursor().selectionStart(), 14);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dlg.get(); }));
    std::vector<std::string> steps;
    for (auto key : {Qt::NoModifier, Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier, Qt::ShiftModifier}) {
        QTest::keyClick(dlg->windowHandle(), Qt::Key_F3, key);
        steps.push_back(U(Body()->textCursor().selectedText()));
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"黄海", "水师", "水师", "水师", "黄海"}));

    // Saved from the form: found by its new text, no longer by the old.
    Body()->setPlainText(QString::fromUtf8("定远舰"));
    qobject_cast<QAbstractButton*>(dlg->Item(1006))->click();
    dlg->SearchIndex().WaitIdle();
    Type({"定远"}, true);
    EXPECT_EQ(s->ShownPaths(), std::vector<std::string>{plat::Gbk("lib\\历史\\甲午.datum.xml")});
    Type({"水师"});
    EXPECT_TRUE(s->ShownPaths().empty());
    EXPECT_EQ(U(s->StatusText()), "找到 0 则资料卡");

    // Ctrl+F brings the same window back after it was closed.
    s->hide();
    dlg->show();
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(dlg->windowHandle(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Search(), s);
    EXPECT_TRUE(s->isVisible());
}

TEST_F(SearchWindowTest, KeystrokesNeverWaitAndTheLastQuestionIsAnswered) {
    WriteCard("lib/历史/a.datum.xml", "Linux 笔记", "");
    WriteCard("lib/历史/b.datum.xml", "Line", "");
    WriteCard("lib/历史/c.datum.xml", "Lisp", "", "linen");
    OpenSearch();
    // Each keystroke asks at once and drops the question before it; only "lin" is listed at the end, and a
    // match only in the title or keywords is selected there when opened.
    Type({"L", "i", "n"});
    EXPECT_EQ(Search()->ShownPaths(), (std::vector<std::string>{plat::Gbk("lib\\历史\\a.datum.xml"),
                                                                plat::Gbk("lib\\历史\\b.datum.xml"),
                                                                plat::Gbk("lib\\历史\\c.datum.xml")}));
    Search()->OnOpen();
    EXPECT_EQ(U(Edit(1009)->selectedText()), "Lin");
    Results()->setCurrentItem(Results()->topLevelItem(2));
    Search()->OnOpen();
    EXPECT_EQ(U(Edit(1017)->selectedText()), "lin");
}

TEST_F(SearchWindowTest, ADamagedIndexIsRebuiltAndAWindowWithoutCacheSaysWhy) {
    WriteCard("lib/历史/甲午.datum.xml", "甲午", "北洋水师");
    OpenSearch();
    // FTS5's own structure garbled: only a query meets it.
    std::string error;
    const std::string file = dlg->SearchIndex().OpenForQuery(error)->FilePath();
    ASSERT_EQ(IndexSql(file, "UPDATE ft_data SET block=X'FFFFFFFFFFFF' WHERE id=10"), -1);
    Type({"水师"});
    // Said at once; the rebuild's own progress may follow it.
    EXPECT_EQ(U(Search()->StatusText()).rfind("正在重建检索索引", 0), 0u) << U(Search()->StatusText());
    EXPECT_TRUE(QTest::qWaitFor([&] { return U(Search()->StatusText()) == "找到 1 则资料卡"; }, 10000))
        << U(Search()->StatusText());

    // No HOME and no XDG_CACHE_HOME: no index, and the window says why.
    const QByteArray home = qgetenv("HOME"), cache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("HOME");
    qunsetenv("XDG_CACHE_HOME");
    dlg.reset();
    OpenSearch();
    qputenv("HOME", home);
    qputenv("XDG_CACHE_HOME", cache);
    EXPECT_EQ(U(Search()->StatusText()), "不能建立检索索引: 找不到缓存目录: HOME 和 XDG_CACHE_HOME 都没有设置");
}

TEST(CardFindTest, FoldsEveryGbkCharacterAsTheIndexDoes) {
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string c{static_cast<char>(lead), static_cast<char>(trail)};
            // Only what the field shows as one character (not 0x7F, which is no trail byte, nor what Qt's
            // codec leaves undecoded).
            if (plat::ToQ(c).size() != 1) continue;
            const search::Units folded = search::Fold(c);
            const QString expected = folded[0] < 0x80 ? QString(QChar(folded[0])) : plat::ToQ(c);
            ASSERT_EQ(CardFind::Fold(plat::ToQ(c)), expected) << std::hex << lead << trail;
        }
    }
}

}  // namespace
