// The library manager and its form: New with each of its folder cases, Edit, Delete with the default, Set
// default, and what reaches the registry on OK and Cancel. (A rewrite that fails: the full-disk test.)
#include "library/datum_lib_mang.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <filesystem>

#include "managers/mang_fixture.h"
#include "platform/fs.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"

using namespace mangfx;
using plat::Gbk;
using Strings = std::vector<std::string>;

namespace {

using Lib = std::pair<std::string, std::string>;  // name, stored path
enum { kNew = 3, kAdd = 9, kEdit = 6, kDelete = 4, kSetDefault = 5, kOK = 1, kCancel = 2, kRestore = 8 };

std::string RegistryText(const std::vector<Lib>& libs, int use, int count = -1) {
    Strings l{"# registry", "count=" + std::to_string(count < 0 ? int(libs.size()) : count), "use=" + std::to_string(use)};
    for (size_t i = 0; i < std::max<size_t>(50, libs.size()); ++i) {
        l.push_back("name" + std::to_string(i) + "=" + (i < libs.size() ? libs[i].first : ""));
        l.push_back("path" + std::to_string(i) + "=" + (i < libs.size() ? libs[i].second : ""));
    }
    return ListText(l);
}

class LibMangTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    ScriptedServices svc;
    Opened<CDatumLibMang> m;

    void Start(const std::vector<Lib>& libs, int use) {
        dir.WriteFile("set/null.daum/_ _SETS_ _/class.list", ListText({"count=0"}));
        dir.WriteFile("set/datumlib.lst", RegistryText(libs, use));
        m.Init();
    }
    std::string OnDisk() const { return dir.ReadFile("set/datumlib.lst"); }
    void New(const std::string& name, const std::string& path) {
        WhenModal([name, path](CDialog& form) {
            Type(form, 1021, name);
            Type(form, 1022, path);
            Click(form, kOK);
        });
        Click(m, kNew);
        svc.VerifyAllUsed();
    }
    void Ask(const std::string& text, int answer) { svc.ExpectBox(text, "QUESTION", 0x24, answer); }
    void AskDelete(int answer) { Ask("资料库已经从列表中删除，你要把该目录移到回收站吗？需要时可以从回收站恢复。", answer); }
    bool HasTemplate(const std::string& rel) const { return dir.Exists(rel + "/_ _SETS_ _/class.list"); }
};

TEST_F(LibMangTest, NewLibrariesInEachKindOfFolder) {
    Start({{"甲", "a"}}, 0);
    dir.WriteFile("fresh/.hidden", "x");
    dir.MakeDir("乗");  // its last byte is 0x5C: not a final separator
    dir.WriteFile("full/card.datum.xml", "keep");
    New("新库", "fresh\\");
    New("K", "乗");
    Ask("目录 no\\deeper\\ 不存在,现在创建它吗?", plat::IDYES);
    svc.ExpectBox("创建目录 no\\deeper\\ 失败!", "ERROR", 0x10);
    New("D", "no\\deeper\\");
    Ask("目录 made\\ 不存在,现在创建它吗?", plat::IDYES);
    New("M", "made");
    svc.ExpectBox("目录 full\\ 非空!!", "ERROR", 0x10);
    New("F", "full\\");
    EXPECT_TRUE(HasTemplate("fresh") && HasTemplate("乗") && HasTemplate("made"));
    EXPECT_FALSE(dir.Exists("no") || HasTemplate("full"));
    EXPECT_EQ(Rows(m, 0), (Strings{"甲 **", "新库", "K", "M"}));
    EXPECT_EQ(OnDisk(), RegistryText({{"甲", "a"}}, 0)) << "nothing is written before OK";
    std::filesystem::remove_all(dir.Native() + "/set/null.daum");
    dir.MakeDir("empty");
    svc.ExpectBox("目录 set\\null.daum\\ 不存在", "ERROR", 0x10);
    svc.ExpectBox("拷贝系统文件时出错!!", "ERROR", 0x10);
    New("E", "empty\\");
    Click(m, kOK);
    EXPECT_TRUE(m.Ended());
    EXPECT_EQ(OnDisk(), RegistryText({{"甲", "a"}, {"新库", "fresh"}, {"K", "乗"}, {"M", "made"}}, 0));
}

TEST_F(LibMangTest, EditDeleteAndDefaultThenOkKeepsALibraryAnotherProgramRegistered) {
    Start({{"A", "la"}, {"B", "lb"}, {"C", "lc"}, {"D", "ld"}}, 2);
    dir.MakeDir("lb");
    dir.WriteFile("ld/card.datum.xml", "keep");
    Select(m, 0);
    WhenModal([](CDialog& form) {
        EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "la\\");
        EXPECT_FALSE(form.Item(1022)->isEnabled() || form.Item(1023)->isEnabled());
        Type(form, 1021, "A改");
        Click(form, kOK);
    });
    Click(m, kEdit);
    AskDelete(plat::IDYES);  // above the default: the default moves up with its library; the empty folder goes
    Select(m, 1);
    Click(m, kDelete);
    EXPECT_FALSE(dir.Exists("lb"));
    AskDelete(plat::IDYES);  // a library with its cards goes to the trash whole
    Select(m, 2);
    Click(m, kDelete);
    EXPECT_EQ(Rows(m, 0), (Strings{"A改", "C **"}));
    EXPECT_FALSE(dir.Exists("ld"));
    EXPECT_EQ(ReadNativeFile(TrashedFrom(dir.Native() + "/ld") + "/card.datum.xml"), "keep");
    AskDelete(plat::IDNO);  // the default itself: slot 0 becomes the default
    Select(m, 1);
    Click(m, kDelete);
    EXPECT_EQ(Rows(m, 0), Strings{"A改 **"});
    // A scheduled restore registers a library while the dialog is open: OK keeps it beside the dialog's
    // edits.
    std::string error;
    ASSERT_TRUE(archiving::Register({Gbk("定时恢复"), "restored"}, error));
    Click(m, kOK);
    EXPECT_TRUE(m.Ended());
    // Slots above the new count keep what they held.
    const Lib restored{"定时恢复", "restored"};
    EXPECT_EQ(OnDisk(), RegistryText({{"A改", "la"}, restored, {"C", "lc"}, {"D", "ld"}, restored}, 0, 2));
}

// Thrown away whole, a library folder would take the program's own folder or another library with it.
TEST_F(LibMangTest, AFolderThatHoldsTheProgramOrAnotherLibraryIsNeverThrownAway) {
    Start({{"Outer", "outer"}, {"Inner", "outer\\inner"}, {"Here", "."}}, 0);
    dir.WriteFile("outer/inner/card.datum.xml", "keep");
    for (const char* path : {"outer", "."}) {
        AskDelete(plat::IDYES);
        svc.ExpectBox(std::string("目录 ") + path + " 中还有程序目录或其他资料库，不能删除!", "INFOMATION", 0x40);
        Select(m, *path == '.');
        Click(m, kDelete);
    }
    EXPECT_EQ(Rows(m, 0), Strings{"Inner **"});
    EXPECT_EQ(dir.ReadFile("outer/inner/card.datum.xml"), "keep");
}

// 添加 takes a folder a sync tool filled as it is; whatever else is chosen is refused with its reason.
TEST_F(LibMangTest, AddRegistersAnExistingLibraryAsItIsAndNamesWhatItRefuses) {
    Start({{"甲", "a"}}, 0);
    const std::string list = ListText({"count=1", "name0=历史", "path0=历史"});
    dir.WriteFile("synced/_ _SETS_ _/class.list", list);
    dir.MakeDir("bare");
    dir.MakeDir("broken/_ _SETS_ _");
    // `then`: the form that comes up after this one.
    auto add = [&](const std::string& name, const std::string& path, bool browse = false,
                   std::function<void(CDialog&)> then = {}) {
        if (browse) svc.QueueFolder(path);
        WhenModal([&](CDialog& form) {
            if (browse) Click(form, 1023);
            else Type(form, 1022, path);
            if (!name.empty()) Type(form, 1021, name);
            if (then) WhenModal(then);
            Click(form, kOK);
        });
        Click(m, kAdd);
        svc.VerifyAllUsed();
    };
    add("", dir.Internal() + "\\synced", true);  // named after the folder the browser chose
    svc.ExpectBox("目录 ./synced 已经登记为资料库 synced。", "INFOMATION", 0x40);  // the same folder, another spelling
    add("", "./synced");
    svc.ExpectBox("目录 broken 中的类别列表无法读取: 找不到文件 broken\\_ _SETS_ _\\class.list", "ERROR", 0x10);
    add("", "broken");
    // 新建 is offered, with the folder in its form.
    Ask("目录 bare 不是资料库(其中没有 _ _SETS_ _ 目录)。\n要在那里新建一个资料库吗?", plat::IDYES);
    add("", "bare", false, [](CDialog& form) {
        EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "bare\\");
        Type(form, 1021, "新");
        Click(form, kOK);
    });
    EXPECT_EQ(Rows(m, 0), (Strings{"甲 **", "synced", "新"}));
    EXPECT_EQ(dir.ReadFile("synced/_ _SETS_ _/class.list"), list) << "nothing in an added library is written";
    EXPECT_TRUE(HasTemplate("bare"));
    Click(m, kOK);
    EXPECT_EQ(OnDisk(), RegistryText({{"甲", "a"}, {"synced", dir.Internal() + "\\synced"}, {"新", "bare"}}, 0));
}

// Refused before any question or file dialog.
TEST_F(LibMangTest, AFullListRefusesNewAndRestoreAndCancelWritesNothing) {
    std::vector<Lib> libs;
    for (int i = 0; i < 50; ++i) libs.push_back({"L" + std::to_string(i), "p" + std::to_string(i)});
    Start(libs, 0);
    svc.ExpectBox("资料库列表已满(最多 50 个)，不能再新建资料库!", "ERROR", 0x10);
    svc.ExpectBox("资料库列表已满(最多 50 个)，不能再恢复资料库!", "ERROR", 0x10);
    ExpectNoModal();
    Click(m, kNew);
    Click(m, kRestore);
    Drain();
    Select(m, 1);
    Click(m, kSetDefault);
    Click(m, kCancel);
    EXPECT_EQ(OnDisk(), RegistryText(libs, 0));
}

// The folder browser may leave the process elsewhere; the form sets the directory back.
class MovingBrowser : public ScriptedServices {
public:
    std::string BrowseForFolder(QWidget* parent, const std::string& title) override {
        EXPECT_EQ(chdir("/"), 0);
        return ScriptedServices::BrowseForFolder(parent, title);
    }
};

TEST(LibInfoTest, BrowseAppendsOneSeparatorAndTextGbkCannotHoldIsRefused) {
    TempProgramDir dir;
    MovingBrowser svc;
    Opened<CDatumLibInfo> form;
    form.m_strPath = Gbk("old\\");
    form.Init();
    for (const auto& [chosen, shown] : {std::pair{"\\home\\资料", "\\home\\资料\\"}, {"\\", "\\"}, {"", "\\"}}) {
        svc.QueueFolder(chosen);
        Click(form, 1023);
        EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), shown);
        EXPECT_EQ(plat::GetCurrentDir(), dir.Internal());
    }
    for (const auto& [typed, why] : {std::pair{"库\xF0\x9F\x98\x80", "无法保存的字符"}, {"库\n1=x", "换行符或其它控制字符"}}) {
        form.ItemAs<QLineEdit>(1021)->setText(QString::fromUtf8(typed));
        svc.ExpectBox(std::string("输入的文字中有") + why + "，请修改后再试!", "ERROR", 0x10);
        Click(form, kOK);
        EXPECT_FALSE(form.Ended());
    }
    Type(form, 1021, "名");
    Click(form, kOK);
    EXPECT_TRUE(form.Ended());
    EXPECT_EQ(form.m_strName + form.m_strPath, Gbk("名") + "\\");
}

}  // namespace
