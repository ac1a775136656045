// Faults while writing: a process killed at random moments while it saves a card, and a disk that fills
// up under the card form, the class manager and the library manager. Whatever happens, the file on disk is
// a whole version of itself, the user is told, and nothing is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "app/main_fixture.h"
#include "managers/mang_fixture.h"
#include "platform/fs.h"
#include "platform/text.h"

using plat::Gbk;

namespace {

bool FixedClock(LocalTime& t) {
    t = {2003, 2, 5, 9, 7};
    return true;
}

// A card whose body is `kb` kilobytes of GBK text built from `word`, in paragraphs.
DatumCard BigCard(const std::string& utf8Word, int kb) {
    DatumCard c{Gbk("卡"), "K", "2001-1-1 1:1", "", Gbk("书"), "", "", "a.xsl", "x.dtd"};
    const std::string word = Gbk(utf8Word);
    for (int i = 1; c.content.size() < static_cast<size_t>(kb) * 1024; ++i) c.content += i % 64 ? word : "\r\n";
    return c;
}

std::string Bytes(const DatumCard& card) {
    XmlRecordSet x;
    x.card = card;
    plat::StringSink s;
    x.WriteCard(s);
    return s.data;
}

bool SaveCard(const DatumCard& card, const std::string& path) {
    XmlRecordSet x;
    x.card = card;
    plat::AtomicFile f;
    return f.Open(path) && x.WriteCard(f) && f.Commit();
}

TEST(KilledSaveTest, ACardKilledWhileBeingSavedIsAlwaysTheOldOrTheNewVersion) {
    TempProgramDir dir;
    SetLocalTimeSource(FixedClock);
    const DatumCard versions[2] = {BigCard("甲乙丙丁", 200), BigCard("天地玄黄", 210)};
    const std::string bytes[2] = {Bytes(versions[0]), Bytes(versions[1])};
    const std::string path = "lib\\K\\c.datum.xml";
    dir.WriteFile("lib/K/c.datum.xml", bytes[0]);

    // Kill times spread over a few saves, whatever this machine's fsync costs.
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(SaveCard(versions[0], path));
    const auto saveUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const long maxDelayUs = std::clamp<long>(4 * saveUs.count(), 5000, 100000);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int onDisk = 0, changes = 0;
    for (int round = 0; round < 30; ++round) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            // Only the store from here on: no widgets, no test framework. Each pass saves the other version.
            for (int v = 1 - onDisk;; v = 1 - v)
                if (!SaveCard(versions[v], path)) _exit(3);
        }
        usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(1000, maxDelayUs)(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the saving process stopped by itself";

        const std::string now = dir.ReadFile("lib/K/c.datum.xml");
        ASSERT_TRUE(now == bytes[0] || now == bytes[1]) << "round " << round << ": " << now.size() << " bytes";
        const int v = now == bytes[0] ? 0 : 1;
        changes += v != onDisk;
        onDisk = v;
        XmlRecordSet back;
        plat::LineReader reader;
        ASSERT_TRUE(reader.Open(path));
        ASSERT_TRUE(back.ReadCard(reader)) << "round " << round;
        EXPECT_EQ(back.card.content, versions[v].content);
    }
    SetLocalTimeSource(nullptr);
    EXPECT_GT(changes, 0) << "no save ever completed before a kill: the loop tested nothing";

    // What interrupted saves leave behind never passes for a card.
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListDir("lib\\K", entries));
    int cards = 0;
    for (const auto& e : entries) cards += plat::Find(e.name, ".datum.") != plat::npos;
    EXPECT_EQ(cards, 1) << entries.size() << " entries";
}

// How the disk is made full: a real small file system where the machine allows mounting one, or the
// atomic writer's injected ENOSPC.
enum class Disk { Tmpfs, Injected };

class FullDiskTest : public MainWindowTest, public ::testing::WithParamInterface<Disk> {
protected:
    bool mounted = false;

    void SetUp() override {
        if (GetParam() == Disk::Tmpfs) {
            if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
            // The whole program directory lives on it, so the registry fills up with the library.
            if (mount("tmpfs", dir.Native().c_str(), "tmpfs", 0, "size=1m") != 0)
                GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
            mounted = true;
            ASSERT_EQ(chdir(dir.Native().c_str()), 0);
        }
        SetLocalTimeSource(FixedClock);
        mainfx::WriteRegistry(dir, {{"一", "lib"}, {"二", "lib2"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"K", "L", "M"}, {"书"});
        mainfx::MakeStyles(dir, {"a.xsl"});
        dir.WriteFile("lib/K/c.datum.xml", Bytes(BigCard("旧", 1)));
    }
    void TearDown() override {
        dlg.reset();
        FreeDisk();
        SetLocalTimeSource(nullptr);
        if (mounted) {
            EXPECT_EQ(chdir("/"), 0);
            EXPECT_EQ(umount2(dir.Native().c_str(), MNT_DETACH), 0) << std::strerror(errno);
        }
    }

    void FillDisk() {
        if (GetParam() == Disk::Injected) return plat::fault::FailWritesAfter(0, ENOSPC);
        const int fd = open((dir.Native() + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string chunk(4096, 'f');
        while (write(fd, chunk.data(), chunk.size()) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        close(fd);
    }
    void FreeDisk() {
        plat::fault::Clear();
        std::filesystem::remove(dir.Native() + "/filler");
    }
    // Nothing but the expected files in a folder: no temporary file survives a failed write.
    void ExpectOnly(const std::string& folder, size_t count) {
        std::vector<plat::DirEntry> entries;
        ASSERT_TRUE(plat::ListDir(folder, entries));
        EXPECT_EQ(entries.size(), count) << folder;
    }
};

TEST_P(FullDiskTest, CardSaveKeepsTheOldCardAndSaysSo) {
    CMainDlg& w = Load();
    w.m_startupDone = 1;
    const std::string old = dir.ReadFile("lib/K/c.datum.xml");
    DatumNode* node = w.m_first->next;
    ASSERT_EQ(node->label, "c");
    w.m_tree->setCurrentItem(node->item);
    emit w.m_tree->itemDoubleClicked(node->item, 0);
    ASSERT_EQ(w.m_current, node);

    FillDisk();
    w.m_edBody->setPlainText(QString(60000, QChar(0x6587)));  // 120 KB of GBK: far more than is left
    svc.ExpectBox("保存资料时出错:写入 XML 数据时出错!!", "ERROR", 0x10);
    w.ItemAs<QPushButton>(1006)->click();
    svc.VerifyAllUsed();
    EXPECT_EQ(dir.ReadFile("lib/K/c.datum.xml"), old);
    ExpectOnly("lib\\K", 1);
    EXPECT_FALSE(w.Ended());

    // With room again the same form saves: the failed attempt took nothing with it.
    FreeDisk();
    w.ItemAs<QPushButton>(1006)->click();
    XmlRecordSet back;
    plat::LineReader reader;
    ASSERT_TRUE(reader.Open("lib\\K\\c.datum.xml"));
    ASSERT_TRUE(back.ReadCard(reader));
    EXPECT_EQ(plat::ToQ(back.card.content), QString(60000, QChar(0x6587)));
}

TEST_P(FullDiskTest, ClassAndLibraryManagersKeepTheirListsAndStayOpen) {
    CMainDlg& w = Load();
    w.m_startupDone = 1;
    const std::string classes = dir.ReadFile("lib/_ _SETS_ _/class.list");
    const std::string registry = dir.ReadFile("set/datumlib.lst");

    mangfx::WhenModal([&](CDialog& m) {
        mangfx::Select(m, 0);
        mangfx::Click(m, 8);  // K moves down: the list has changed
        FillDisk();
        svc.ExpectBox("不能写入文件 lib\\_ _SETS_ _\\class.list：磁盘空间不足", "ERROR", 0x10);
        mangfx::Click(m, 1);
        svc.VerifyAllUsed();
        EXPECT_FALSE(m.Ended());
        EXPECT_EQ(dir.ReadFile("lib/_ _SETS_ _/class.list"), classes);
        ExpectOnly("lib\\_ _SETS_ _", 2);
        FreeDisk();
        mangfx::Click(m, 1);
        EXPECT_TRUE(m.Ended());
    });
    w.ItemAs<QPushButton>(1012)->click();
    EXPECT_EQ(mainfx::ComboTexts(w.m_cbClass), (std::vector<std::string>{"K", "L", "M"}));
    EXPECT_EQ(plat::GbkToUtf8(w.m_classes[0].name), "L");
    EXPECT_NE(dir.ReadFile("lib/_ _SETS_ _/class.list"), classes);

    mangfx::WhenModal([&](CDialog& m) {
        mangfx::Select(m, 1);
        mangfx::Click(m, 5);  // 二 becomes the default
        FillDisk();
        svc.ExpectBox("不能写入配置文件 set\\datumlib.lst：磁盘空间不足", "ERROR", 0x10);
        mangfx::Click(m, 1);
        svc.VerifyAllUsed();
        EXPECT_FALSE(m.Ended());
        EXPECT_EQ(dir.ReadFile("set/datumlib.lst"), registry);
        ExpectOnly("set", 1);
        FreeDisk();
        mangfx::Click(m, 1);
        EXPECT_TRUE(m.Ended());
    });
    w.ItemAs<QPushButton>(1001)->click();
    EXPECT_NE(dir.ReadFile("set/datumlib.lst").find("use=1\r\n"), std::string::npos);
    EXPECT_FALSE(w.Ended());
}

INSTANTIATE_TEST_SUITE_P(Disks, FullDiskTest, ::testing::Values(Disk::Tmpfs, Disk::Injected),
                         [](const ::testing::TestParamInfo<Disk>& i) {
                             return std::string(i.param == Disk::Tmpfs ? "Tmpfs" : "InjectedEnospc");
                         });

}  // namespace
