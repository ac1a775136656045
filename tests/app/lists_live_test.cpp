// The library's class and source lists changed by another program (another machine's manager through a sync
// tool): the boxes follow, the form keeps what it shows, and a list gone for a moment is said, not fatal.
#include <QTest>
#include <filesystem>

#include "app/main_fixture.h"

namespace {

using mainfx::U;

class ListsLiveTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::MakeStandardProgramDir(dir);
        dir.WriteFile("lib/历史/甲午.datum.xml", mainfx::CardText("甲午", "历史", "北洋水师", "报纸"));
    }
    QComboBox* Box(int id) { return dlg->ItemAs<QComboBox>(id); }
    bool Lists(const std::vector<std::string>& classes, const std::vector<std::string>& sources) {
        return QTest::qWaitFor([&] {
            return mainfx::ComboTexts(Box(1011)) == classes && mainfx::ComboTexts(Box(1013)) == sources;
        }, 5000);
    }
};

TEST_F(ListsLiveTest, ListsWrittenElsewhereAreReadAgainAndTheFormKeepsItsText) {
    Load();
    OpenCard("甲午");
    Box(1011)->setEditText(QString::fromUtf8("正在输入"));
    mainfx::WriteClassList(dir, "lib", "lib\\", {"历史", "Zoo", "art", "历史\\近代", "地理"});
    dir.WriteFile("lib/_ _SETS_ _/source.list", mangfx::ListText({"count=1", "name0=期刊"}));
    std::vector<std::string> sorted = mainfx::ComboTexts(Box(1011));  // the box's own order, one more class
    sorted.insert(sorted.begin(), "地理");
    EXPECT_TRUE(Lists(sorted, {"期刊"}));
    EXPECT_EQ(U(Box(1011)->currentText()), "正在输入");
    EXPECT_EQ(U(Box(1013)->currentText()), "报纸") << "a source no longer listed stands as the card has it";

    // Gone for a moment: the boxes stay, the strip says why; back, it is read again.
    std::filesystem::remove(dir.Native() + "/lib/_ _SETS_ _/class.list");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Strip()->isVisible(); }, 5000));
    EXPECT_EQ(plat::GbkToUtf8(Strip()->Message()),
              "资料库的列表已被其他程序改变，但现在无法读取: 找不到文件 lib\\_ _SETS_ _\\class.list");
    EXPECT_EQ(mainfx::ComboTexts(Box(1011)).size(), 5u);
    mainfx::WriteClassList(dir, "lib", "lib\\", {"历史"});
    EXPECT_TRUE(Lists({"历史"}, {"期刊"}));
    EXPECT_FALSE(dlg->Ended());
    EXPECT_TRUE(svc.boxes.empty());
}

}  // namespace
