#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/codec.h"
#include "platform/fs.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {
mode_t Mode(const std::string& native) {
    struct stat st;
    return stat(native.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Every file in the folder: a temporary file left behind shows up here.
std::vector<std::string> Names(const std::string& native) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(native)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct FaultGuard {
    ~FaultGuard() { plat::fault::Clear(); }
};

using Names_ = std::vector<std::string>;
}  // namespace

TEST(AtomicFile, CreatesANewFileWithTheUsualMode) {
    TempProgramDir dir;
    mode_t mask = umask(022);
    plat::AtomicFile f;
    ASSERT_TRUE(f.Open(plat::Gbk("新.xml")));
    EXPECT_TRUE(f.Write("hello "));
    EXPECT_FALSE(dir.Exists("新.xml"));  // nothing at the target until the commit
    EXPECT_TRUE(f.Write("world"));
    ASSERT_TRUE(f.Commit());
    umask(mask);
    EXPECT_EQ(dir.ReadFile("新.xml"), "hello world");
    EXPECT_EQ(Mode(dir.Native() + "/新.xml"), 0644u);
    EXPECT_EQ(Names(dir.Native()), Names_{"新.xml"});
    EXPECT_FALSE(f.Write("more"));  // committed
    EXPECT_FALSE(f.Commit());
}

TEST(AtomicFile, ReplacesKeepingTheModeLargeWritesAndLinks) {
    TempProgramDir dir;
    dir.WriteFile("card.xml", "old");
    chmod((dir.Native() + "/card.xml").c_str(), 0604);
    std::string big(200 * 1024, 'b');
    plat::AtomicFile f;
    ASSERT_TRUE(f.Open(dir.Internal() + "\\card.xml"));
    EXPECT_TRUE(f.Write("head"));
    EXPECT_TRUE(f.Write(big));
    EXPECT_TRUE(f.Write("tail"));
    EXPECT_EQ(dir.ReadFile("card.xml"), "old");
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(dir.ReadFile("card.xml"), "head" + big + "tail");
    EXPECT_EQ(Mode(dir.Native() + "/card.xml"), 0604u);
    EXPECT_EQ(Names(dir.Native()), Names_{"card.xml"});

    // Through a symbolic link: the link stays, its target is replaced.
    dir.WriteFile("real/list.lst", "old");
    symlink("real/list.lst", (dir.Native() + "/link.lst").c_str());
    plat::AtomicFile l;
    ASSERT_TRUE(l.Open("link.lst"));
    l.Write("new");
    ASSERT_TRUE(l.Commit());
    EXPECT_TRUE(fs::is_symlink(dir.Native() + "/link.lst"));
    EXPECT_EQ(dir.ReadFile("real/list.lst"), "new");
    EXPECT_EQ(Names(dir.Native() + "/real"), Names_{"list.lst"});
}

TEST(AtomicFile, FailedOpenAbortAndDestructorLeaveTheTargetAlone) {
    TempProgramDir dir;
    dir.WriteFile("ro.xml", "keep");
    chmod((dir.Native() + "/ro.xml").c_str(), 0444);
    dir.MakeDir("folder");
    plat::AtomicFile f;
    EXPECT_FALSE(f.Open("ro.xml"));  // by its mode bits, even for root
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(f.Open("folder"));
    EXPECT_FALSE(f.Open("missing\\x.xml"));
    EXPECT_FALSE(f.Write("x"));
    EXPECT_FALSE(f.Commit());
    EXPECT_EQ(dir.ReadFile("ro.xml"), "keep");
    EXPECT_EQ(Names(dir.Native()), (Names_{"folder", "ro.xml"}));

    // Abort and the destructor leave the target alone.
    fs::remove_all(dir.Native() + "/folder");
    fs::remove(dir.Native() + "/ro.xml");
    dir.WriteFile("a.xml", "old");
    {
        plat::AtomicFile f;
        ASSERT_TRUE(f.Open("a.xml"));
        f.Write("new");
        EXPECT_EQ(Names(dir.Native()).size(), 2u);  // the temporary file sits beside the target
    }
    ASSERT_TRUE(f.Open("a.xml"));
    f.Write("new");
    f.Abort();
    EXPECT_FALSE(f.Commit());
    EXPECT_EQ(dir.ReadFile("a.xml"), "old");
    EXPECT_EQ(Names(dir.Native()), Names_{"a.xml"});
}

TEST(AtomicFile, InjectedWriteFailuresLeaveTheOldFile) {
    TempProgramDir dir;
    FaultGuard guard;
    const std::string old = "old content that must survive";
    for (int err : {EIO, ENOSPC}) {
        for (long long budget : {0LL, 10LL, 70000LL, 100000LL}) {
            SCOPED_TRACE(testing::Message() << "errno " << err << " after " << budget << " bytes");
            dir.WriteFile("card.xml", old);
            plat::fault::FailWritesAfter(budget, err);
            plat::AtomicFile f;
            ASSERT_TRUE(f.Open("card.xml"));
            bool allWritten = true;
            for (int i = 0; i < 2000; ++i) allWritten = f.Write(std::string(90, 'n')) && allWritten;
            errno = 0;
            EXPECT_FALSE(f.Commit());
            EXPECT_EQ(errno, err);
            if (budget < 65536) {
                EXPECT_FALSE(allWritten);  // a full buffer went to the disk and failed
            }
            EXPECT_TRUE(dir.ReadFile("card.xml") == old);
            EXPECT_EQ(Names(dir.Native()), Names_{"card.xml"});
            plat::fault::Clear();
        }
    }
    // Off again: the same write succeeds.
    plat::AtomicFile f;
    ASSERT_TRUE(f.Open("card.xml"));
    EXPECT_TRUE(f.Write("fine"));
    EXPECT_TRUE(f.Commit());
    EXPECT_EQ(dir.ReadFile("card.xml"), "fine");
    // A budget that covers the whole file commits.
    plat::fault::FailWritesAfter(100, ENOSPC);
    plat::AtomicFile small;
    ASSERT_TRUE(small.Open("small.xml"));
    EXPECT_TRUE(small.Write(std::string(99, 's')));
    EXPECT_TRUE(small.Commit());
    EXPECT_EQ(dir.ReadFile("small.xml"), std::string(99, 's'));
}
