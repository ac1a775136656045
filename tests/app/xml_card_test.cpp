// A card from another program whose extra markup the form cannot show is saved over only when the user
// agrees to drop it.
#include "app/main_fixture.h"

using plat::Gbk;
using namespace mainfx;

namespace {

class XmlCardTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"一号", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"A"}, {}), mainfx::MakeStyles(dir, {"simple.xsl"});
        dir.WriteFile("lib/A/a2.datum.xml", "<?xml version='1.0' encoding='gb2312'?><datum><!-- mine -->"
                                            "<title>a2</title><extra/><content><part>p</part></content></datum>");
        Load();
    }
    void Save() { Click(1006); svc.VerifyAllUsed(); }
};

// (Every character saved and opened as typed: the card tests in store/, and the codec's through the widgets.)
TEST_F(XmlCardTest, SaveNamesWhatTheFormDoesNotShowAndAsksFirst) {
    OpenCard("a2");
    const std::string before = dir.ReadFile("lib/A/a2.datum.xml");
    Body()->setPlainText(QStringLiteral("q"));
    const std::string question = "文件 lib\\A\\a2.datum.xml 中有窗口里不显示的内容：注释、元素 <extra>。\n"
                                 "保存后它们将不再在文件中。仍要保存吗?";
    svc.ExpectBox(question, "选择", kYesNo, plat::IDNO);
    Save();
    EXPECT_EQ(dir.ReadFile("lib/A/a2.datum.xml"), before);
    svc.ExpectBox(question, "选择", kYesNo, plat::IDYES);
    Save();
    EXPECT_NE(dir.ReadFile("lib/A/a2.datum.xml").find("<part>q</part>"), std::string::npos);
    Body()->setPlainText(QStringLiteral("r"));
    Save();  // nothing left to lose: no question
}

}  // namespace
