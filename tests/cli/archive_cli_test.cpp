// korvane --backup and --restore run as a scheduled job would: the real program in its program directory,
// judged by exit status, stderr and what is on disk.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "library/archive_fixture.h"
#include "library/registry.h"
#include "platform/codec.h"
#include "support/temp_dir.h"

namespace {

struct Ran {
    int status;
    std::string err;  // UTF-8
};

Ran Korvane(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KORVANE_EXE), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
}

TEST(ArchiveCli, BackupByNameAndRestoreRegistersTheLibrary) {
    TempProgramDir dir;
    archtest::MakeLibrary(dir, "datum/甲");
    archtest::WriteRegistry(dir, 1);
    EXPECT_EQ(Korvane({"--backup", "甲", "每日.zip"}).status, 0);
    const Ran restored = Korvane({"--restore", "每日.zip", "复原/", "复原库"});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(archtest::Tree(dir.Native() + "/复原"), archtest::Tree(dir.Native() + "/datum/甲"));

    LibraryRegistry reg;
    std::string error;
    ASSERT_TRUE(ReadRegistry(reg, error));
    ASSERT_EQ(reg.count, 2);
    EXPECT_EQ(plat::GbkToUtf8(reg.entries[1].name), "复原库");
    EXPECT_EQ(plat::GbkToUtf8(reg.entries[1].path), "复原") << "stored as typed, without the final separator";
}

TEST(ArchiveCli, FailuresAreOneLineWithTheirStatus) {
    TempProgramDir dir;
    archtest::MakeLibrary(dir, "lib");
    archtest::WriteRegistry(dir, 50);
    ASSERT_EQ(Korvane({"--backup", "lib", "lib.zip"}).status, 0) << "a folder that is no registered name";
    const struct {
        QStringList args;
        int status;
        std::string err;
    } cases[] = {
        {{"--backup", "lib"}, 2, ""},
        {{"--restore", "lib.zip"}, 2, ""},
        {{"--backup", "无此库", "x.zip"}, 1, "korvane: 目录 无此库\\ 不是资料库(没有 _ _SETS_ _\\class.list)\n"},
        {{"--restore", "lib.zip", "new"}, 1, "korvane: 资料库列表已满(最多 50 个)，不能再恢复资料库!\n"},
    };
    for (const auto& c : cases) {
        const Ran r = Korvane(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_EQ(c.status == 2 ? r.err.substr(0, 23) : r.err, c.status == 2 ? "usage: korvane --backup" : c.err);
    }
    EXPECT_FALSE(std::filesystem::exists("new"));
    EXPECT_FALSE(std::filesystem::exists("x.zip"));
}

}  // namespace
