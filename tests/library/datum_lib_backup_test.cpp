// 备份 and 恢复 through the real library manager: the questions asked, the message at the end, the rows and
// the registry after a restore, and restores refused before anything is written.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <filesystem>

#include "library/archive.h"
#include "library/archive_fixture.h"
#include "library/datum_lib_mang.h"
#include "managers/mang_fixture.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"
#include "ui/show_msg_dlg.h"

using namespace mangfx;
using plat::Gbk;

namespace {

using Mang = Opened<CDatumLibMang>;
enum { kBackup = 7, kRestore = 8 };

class LibBackupTest : public ::testing::Test {
  protected:
    TempProgramDir dir;
    ScriptedServices svc;

    // "N 个文件，M 字节" of the library as it is on disk.
    std::string Counted() const {
        long long files = 0, bytes = 0;
        for (const auto& [name, content] : archtest::Tree(dir.Native() + "/datum/甲"))
            if (name.back() != '/') ++files, bytes += static_cast<long long>(content.size());
        return std::to_string(files) + " 个文件，" + std::to_string(bytes) + " 字节";
    }
};

TEST_F(LibBackupTest, BackupThenRestoreBesideTheLibrariesWithProgressAndRegistration) {
    archtest::MakeLibrary(dir, "datum/甲");
    for (int i = 0; i < 300; ++i) dir.WriteFile("datum/甲/多/" + std::to_string(i) + ".datum.xml", "c");
    archtest::WriteRegistry(dir, 1);
    Mang m;
    m.Init();
    EXPECT_FALSE(m.Item(kBackup)->isEnabled()) << "no row chosen yet";
    EXPECT_TRUE(m.Item(kRestore)->isEnabled());
    Select(m, 0);
    ASSERT_TRUE(m.Item(kBackup)->isEnabled());

    svc.QueueFileName("甲-20261207.zip");
    ASSERT_TRUE(archiving::Backup(Gbk("datum\\甲\\"), "same.zip").ok);  // the same bytes: its size is known
    const std::string size = std::to_string(std::filesystem::file_size("same.zip"));
    svc.ExpectBox("备份完成: " + Counted() + "，已写入 甲-20261207.zip (" + size + " 字节)", "INFOMATION", 0x40);
    Click(m, kBackup);
    ASSERT_EQ(svc.fileDialogs.size(), 1u);
    EXPECT_FALSE(svc.fileDialogs[0].open);
    EXPECT_EQ(svc.fileDialogs[0].initialName, archiving::DefaultArchiveName(Gbk("甲")));

    svc.QueueFileName("甲-20261207.zip");
    WhenModal([](CDialog& form) {
        EXPECT_EQ(form.ItemAs<QLineEdit>(1021)->text().toStdString(), "甲") << "without the backup's date";
        EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "datum\\甲-2\\") << "the name is taken";
        Click(form, 1);
    });
    svc.ExpectBox("恢复完成: " + Counted() + "，已写入 datum\\甲-2\\", "INFOMATION", 0x40);
    Click(m, kRestore);
    const auto* strip = m.findChild<CShowMsgDlg*>();
    ASSERT_NE(strip, nullptr);
    const std::string entries = std::to_string(archtest::Tree(dir.Native() + "/datum/甲").size());
    EXPECT_EQ(plat::GbkToUtf8(strip->Message()), "正在恢复资料库 (" + entries + "/" + entries + ")......");
    EXPECT_FALSE(strip->isVisible());

    EXPECT_EQ(archtest::Tree(dir.Native() + "/datum/甲-2"), archtest::Tree(dir.Native() + "/datum/甲"));
    EXPECT_EQ(Rows(m, 1), (std::vector<std::string>{"datum\\甲", "datum\\甲-2"}));
    LibraryRegistry reg;
    std::string error;
    ASSERT_TRUE(ReadRegistry(reg, error));
    EXPECT_EQ(reg.count, 2) << "registered at once, before OK";
    EXPECT_TRUE(m.RegistryWritten()) << "the main window reads it again even after Cancel";
    EXPECT_TRUE(m.Item(kRestore)->isEnabled());
}

TEST_F(LibBackupTest, RestoreIntoAFullListIsRefusedBeforeAnyQuestion) {
    archtest::WriteRegistry(dir, 50);
    Mang m;
    m.Init();
    svc.ExpectBox("资料库列表已满(最多 50 个)，不能再恢复资料库!", "ERROR", 0x10);
    Click(m, kRestore);
    EXPECT_TRUE(svc.fileDialogs.empty());
}

}  // namespace
