// Backup and restore of a library: the exact round trip and the names other tools see, hostile and broken
// archives refused with nothing written anywhere, targets that are not empty, cancel; and both through the
// library manager, with its questions, progress and closing message.
#include "library/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/main_fixture.h"
#include "library/datum_lib_mang.h"
#include "managers/mang_fixture.h"
#include "ui/show_msg_dlg.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

// Nested classes with Chinese names, the four list files, the view page, an empty class, a hidden file and a
// card too big and too random to compress.
void MakeLibrary(const TempProgramDir& dir, const std::string& rel) {
    mainfx::MakeLibrary(dir, rel, {"甲类", "甲类\\乙 子类"}, {"人民日报"});
    dir.WriteFile(rel + "/_ _SETS_ _/lineindex.list", Gbk("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"));
    dir.WriteFile(rel + "/_ _SETS_ _/bookmark.list", "");
    dir.WriteFile(rel + "/甲类/乙 子类/卡片.datum.xml", Gbk("<title>卡片</title>\r\n"));
    std::string big(100000, '\0');
    std::uint32_t x = 12345;
    for (char& c : big) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    dir.WriteFile(rel + "/甲类/big.datum.bin", big);
    dir.WriteFile(rel + "/.sync", "hidden");
    dir.MakeDir(rel + "/空类");
}

// Every entry below `root`: files with their bytes, folders as "name/" with "".
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).generic_string();
        if (e.is_symlink()) out[rel] = "-> link";
        else if (e.is_directory()) out[rel + "/"] = "";
        else out[rel] = ReadNativeFile(e.path().string());
    }
    return out;
}

// Names and general purpose flags of a ZIP's central directory (no archive comment, no ZIP64).
std::vector<std::pair<std::string, unsigned>> CentralNames(const std::string& zip) {
    auto u16 = [&](std::size_t at) { return unsigned(std::uint8_t(zip[at])) | unsigned(std::uint8_t(zip[at + 1])) << 8; };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    std::vector<std::pair<std::string, unsigned>> out;
    if (zip.size() < 22 || zip.compare(zip.size() - 22, 4, "PK\5\6") != 0) return out;
    std::size_t at = u32(zip.size() - 22 + 16);
    for (unsigned n = u16(zip.size() - 22 + 10); n > 0 && zip.compare(at, 4, "PK\1\2") == 0; --n) {
        out.emplace_back(zip.substr(at + 46, u16(at + 28)), u16(at + 8));
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return out;
}

struct Entry {
    std::string name;  // bytes as stored
    unsigned type = AE_IFREG;
    std::string data = "x";
};

// A ZIP made by hand, names stored as given: what a hostile or foreign tool could hand the user.
// libarchive will not write a leading '/' nor a device entry: such names and modes are patched into the
// bytes afterwards.
void WriteZip(const std::string& path, const std::vector<Entry>& entries, const char* options = "") {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_set_options(a, options);
    archive_write_set_passphrase(a, "secret");  // used only when the options ask for encryption
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    for (const Entry& e : entries) {
        archive_entry* h = archive_entry_new();
        archive_entry_copy_pathname(h, (e.name[0] == '/' ? "%" + e.name.substr(1) : e.name).c_str());
        const unsigned type = e.type == AE_IFCHR ? AE_IFREG : e.type;
        archive_entry_set_filetype(h, type);
        archive_entry_set_perm(h, 0644);
        if (type == AE_IFLNK) archive_entry_set_symlink(h, "/etc");
        archive_entry_set_size(h, type == AE_IFREG ? static_cast<la_int64_t>(e.data.size()) : 0);
        archive_write_header(a, h);
        if (type == AE_IFREG) archive_write_data(a, e.data.data(), e.data.size());
        archive_entry_free(h);
    }
    archive_write_free(a);
    std::string bytes = ReadNativeFile(path);
    for (const Entry& e : entries) {
        for (std::size_t at; e.name[0] == '/' && (at = bytes.find("%" + e.name.substr(1))) != std::string::npos;)
            bytes[at] = '/';
        for (std::size_t at = bytes.find("PK\1\2"); e.type == AE_IFCHR && at != std::string::npos; at = bytes.find("PK\1\2", at + 4))
            if (bytes.compare(at + 46, e.name.size(), e.name) == 0) bytes[at + 41] = static_cast<char>(AE_IFCHR >> 8);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class ArchiveTest : public ::testing::Test {
  protected:
    TempProgramDir dir;
    const Entry classList{"_ _SETS_ _/class.list", AE_IFREG, "count=0\r\n"};

    // Restore must fail with exactly `utf8Error`, leaving the folder as it was (no target, no temporary).
    // With `prefix`, the message only begins with `utf8Error` (libarchive's own words follow).
    void ExpectRefused(const std::string& archive, const std::string& utf8Error, bool prefix = false,
                       const std::string& target = "target\\") {
        const auto before = Tree(dir.Native());
        const archiving::Outcome out = archiving::Restore(archive, target);
        EXPECT_FALSE(out.ok);
        const std::string error = plat::GbkToUtf8(out.error);
        EXPECT_EQ(prefix ? error.substr(0, utf8Error.size()) : error, utf8Error);
        EXPECT_EQ(Tree(dir.Native()), before) << "something was left behind for " << archive;
    }
};

TEST_F(ArchiveTest, HostileEntriesAreRefusedBeforeAnythingIsWritten) {
    const std::string tail = "，没有恢复任何文件";
    const std::string abs = dir.Native() + "/outside";
    std::string deep;  // 30,000 levels: refused at once, and named in a line that fits on a screen
    for (int i = 0; i < 30000; ++i) deep += "a/";
    deep += "x";
    const struct { Entry entry; std::string error; } cases[] = {
        {{"../outside"}, "归档中的条目 ../outside 含有上级目录 .." + tail},
        {{"a\\..\\..\\outside"}, "归档中的条目 a/../../outside 含有上级目录 .." + tail},  // as Windows tools write
        {{abs}, "归档中的条目 " + abs + " 是绝对路径" + tail},
        {{"link", AE_IFLNK}, "归档中的条目 link 是符号链接" + tail},
        {{"dev", AE_IFCHR}, "归档中的条目 dev 是设备文件、管道或其它特殊文件" + tail},
        {{"\xb0\xa1.txt"}, "归档中的条目 ? 的名字不是有效的 UTF-8 或无法保存为 GBK" + tail},
        {{"_ _SETS_ _/class.list"}, "归档中的条目 _ _SETS_ _/class.list 出现了两次" + tail},
        {{"_ _SETS_ _/class.list/x"}, "归档中的条目 _ _SETS_ _/class.list/x 位于文件之下" + tail},
        {{std::string(300, 'n')}, "归档中的条目 " + std::string(80, 'n') + "..." + std::string(80, 'n') + " 的名字太长" + tail},
        {{deep}, "归档中的条目 " + deep.substr(0, 80) + "..." + deep.substr(deep.size() - 80) + " 的名字太长" + tail},
    };
    for (const auto& c : cases) {
        // The hostile entry comes last, after a harmless one that must not be written either.
        WriteZip("bad.zip", {classList, {"card.datum.xml"}, c.entry});
        ExpectRefused("bad.zip", c.error);  // "outside" too is in the folder it compares
    }
}

TEST_F(ArchiveTest, ArchivesThatAreNoLibraryOrBrokenAreRefusedWhole) {
    WriteZip("plain.zip", {{"notes.txt"}, {"sub/_ _SETS_ _/class.list"}, {"other/x"}});
    ExpectRefused("plain.zip", "归档文件 plain.zip 不是资料库的备份(没有 _ _SETS_ _\\class.list)");

    MakeLibrary(dir, "lib");
    ASSERT_TRUE(archiving::Backup("lib\\", "lib.zip").ok);
    const std::string whole = dir.ReadFile("lib.zip");
    dir.WriteFile("cut.zip", whole.substr(0, whole.size() - 30));
    ExpectRefused("cut.zip",
                  "不能读取归档文件 cut.zip: 文件已损坏、不完整或不是 ZIP 归档 (Unrecognized archive format)");

    WriteZip("enc.zip", {classList}, "zip:encryption=zipcrypt");
    ExpectRefused("enc.zip", "归档文件 enc.zip 已加密(有密码保护)，不能恢复");

    // A damaged byte in the big card's compressed data: its CRC fails after earlier files were written.
    std::string damaged = whole;
    damaged[damaged.find("big.datum.bin") + 200] ^= 0x55;
    dir.WriteFile("damaged.zip", damaged);
    ExpectRefused("damaged.zip", "归档文件 damaged.zip 已损坏(甲类/big.datum.bin)", true);
}

// As the desktop of Chinese Windows zips a folder: the folder at the top, names in GBK without the UTF-8 flag.
TEST_F(ArchiveTest, TargetMustBeEmptyAndAWindowsZipOfTheFolderIsALibrary) {
    WriteZip("top.zip", {{"我的库/", AE_IFDIR}, {"我的库/_ _SETS_ _/class.list", AE_IFREG, "c"}, {"我的库/卡.datum.x", AE_IFREG, "k"}},
             "zip:hdrcharset=GBK");
    dir.WriteFile("full/card", "keep");
    ExpectRefused("top.zip", "目录 full\\ 非空!!", false, "full\\");
    ExpectRefused("top.zip", "不能使用 full\\card\\ 作为资料库目录", false, "full\\card\\");
    EXPECT_EQ(plat::GbkToUtf8(archiving::Restore("top.zip", "no\\such\\folder\\").error), "目录 no\\such 不存在");

    dir.WriteFile("dots/.directory", "desktop");  // only dot names: empty, and what is there stays
    ASSERT_TRUE(archiving::Restore("top.zip", "dots\\").ok);
    EXPECT_EQ(Tree(dir.Native() + "/dots"),
              (std::map<std::string, std::string>{{".directory", "desktop"}, {"_ _SETS_ _/", ""},
                                                  {"_ _SETS_ _/class.list", "c"}, {"卡.datum.x", "k"}}));
}

// A megabyte of zeros packs into a kilobyte, and empty entries cost no bytes: either can fill a disk, so both
// are weighed against the target's free space and free files before anything is written.
TEST_F(ArchiveTest, FullDisksStopARestoreBeforeItWritesAndABackupWithoutAHalfArchive) {
    const std::string small = dir.Native() + "/small";
    std::vector<Entry> many{classList};
    for (int i = 0; i < 40; ++i) many.push_back({"c" + std::to_string(i)});
    WriteZip("files.zip", many);
    WriteZip("bytes.zip", {classList, {"zeros", AE_IFREG, std::string(1 << 20, '0')}});
    for (auto [options, zip, error] : {std::tuple{"size=256k", "bytes.zip", "恢复需要 1052672 字节，目标磁盘只有 262144 字节可用"},
                                       {"nr_inodes=8", "files.zip", "恢复需要 41 个文件，目标磁盘只能再放 7 个"}}) {
        dir.MakeDir("small");
        if (geteuid() != 0 || mount("tmpfs", small.c_str(), "tmpfs", 0, options) != 0)
            GTEST_SKIP() << "cannot mount a small file system here";
        ExpectRefused(zip, std::string("磁盘空间不足: ") + error, false, "small\\target\\");
        EXPECT_EQ(umount2(small.c_str(), MNT_DETACH), 0);
    }
    // A backup that fills the disk says so and leaves no part of an archive behind.
    MakeLibrary(dir, "lib");
    ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k"), 0);
    EXPECT_EQ(plat::GbkToUtf8(archiving::Backup("lib\\", "small\\lib.zip").error), "不能写入备份文件 small\\lib.zip: 磁盘空间不足");
    EXPECT_TRUE(fs::is_empty(small));
    EXPECT_EQ(umount2(small.c_str(), MNT_DETACH), 0);
}

TEST_F(ArchiveTest, CancelAndFailuresLeaveNoHalfArchiveOrFolder) {
    MakeLibrary(dir, "lib");
    const std::string previous = std::string("PK\5\6") + std::string(18, '\0');  // an archive with no entries
    dir.WriteFile("old.zip", previous);
    std::atomic<bool> cancel{false};
    archiving::Control control{&cancel, [&](long long done, long long) { cancel = done >= 2; }};
    const auto before = Tree(dir.Native());
    EXPECT_TRUE(archiving::Backup("lib\\", "old.zip", control).cancelled);
    EXPECT_EQ(Tree(dir.Native()), before);

    ASSERT_TRUE(archiving::Backup("lib\\", "lib.zip").ok);
    cancel = false;
    EXPECT_TRUE(archiving::Restore("lib.zip", "target\\", control).cancelled);
    EXPECT_FALSE(fs::exists("target"));

    fs::create_symlink("/etc", "lib/甲类/link");
    const archiving::Outcome linked = archiving::Backup("lib\\", "old.zip");
    EXPECT_EQ(plat::GbkToUtf8(linked.error), "不能备份符号链接或特殊文件: lib\\甲类\\link");
    EXPECT_EQ(dir.ReadFile("old.zip"), previous);
}

// A card saved (a new file renamed over it) between the listing and its read is stored whole; swapped for a
// pipe, a folder or nothing, it stops the backup as changed, without waiting on the pipe.
TEST_F(ArchiveTest, ACardChangedDuringTheBackupIsStoredWholeOrReported) {
    MakeLibrary(dir, "lib");
    const std::string card = dir.Native() + "/lib/甲类/乙 子类/卡片.datum.xml", saved(70000, 's');
    const std::string changed = "文件 lib\\甲类\\乙 子类\\卡片.datum.xml 在备份时被改动，请重试";
    auto save = [&] { std::ofstream(card + ".new") << saved, fs::rename(card + ".new", card); };
    const struct { std::function<void()> swap; std::string error; } cases[] = {
        {save, ""},
        {[&] { fs::remove(card), mkfifo(card.c_str(), 0644); }, changed},
        {[&] { fs::remove(card), fs::create_directory(card); }, changed},
        {[&] { fs::remove(card); }, changed},
    };
    for (const auto& c : cases) {
        fs::remove_all(card);
        dir.WriteFile("lib/甲类/乙 子类/卡片.datum.xml", "short");
        archiving::Control control{nullptr, [&](long long done, long long) { done == 1 ? c.swap() : void(); }};
        EXPECT_EQ(plat::GbkToUtf8(archiving::Backup("lib\\", "lib.zip", control).error), c.error);
        EXPECT_TRUE(!c.error.empty() || archiving::Restore("lib.zip", "back\\").ok);
    }
    EXPECT_EQ(dir.ReadFile("back/甲类/乙 子类/卡片.datum.xml"), saved);
}

// Never over the user's data: not into the library, not over a file that is no archive unless the user
// agreed; a link stays a link.
TEST_F(ArchiveTest, BackupReplacesOnlyArchivesAndWritesThroughLinks) {
    MakeLibrary(dir, "lib");
    ASSERT_TRUE(archiving::Backup("lib\\", "real.zip").ok);
    dir.WriteFile("notes.txt", "my notes");
    dir.WriteFile("empty.zip", "");
    dir.MakeDir("folder");
    fs::create_symlink("real.zip", "link.zip");
    fs::create_symlink("nowhere.zip", "dangling.zip");
    // (A card of the library or a file that is no archive as the target: see the command-line test.)
    const std::string no = "不能写入备份文件 ";
    const struct { std::string target, error; } cases[] = {
        {"empty.zip", ""}, {"link.zip", ""}, {"real.zip", ""},
        {"lib\\new.zip", no + "lib\\new.zip: 备份文件不能放在要备份的资料库之中"},
        {"dangling.zip", no + "dangling.zip: 符号链接指向的文件不存在"},
        {"folder", no + "folder: 是一个目录"},
    };
    for (const auto& c : cases) {
        const auto before = Tree(dir.Native());
        EXPECT_EQ(plat::GbkToUtf8(archiving::Backup("lib\\", Gbk(c.target)).error), c.error);
        EXPECT_TRUE(c.error.empty() || Tree(dir.Native()) == before) << c.target;
    }
    EXPECT_TRUE(fs::is_symlink("link.zip"));
    EXPECT_TRUE(archiving::Backup("lib\\", "notes.txt", {}, true).ok) << "as the user agreed to in the manager";
    EXPECT_EQ(dir.ReadFile("notes.txt"), dir.ReadFile("real.zip"));
}

// What killed runs left beside a target goes at the next run; what a living run holds stays. An empty folder
// of the user's stays the user's (its mode), and one filled or made while the restore writes is not merged.
TEST_F(ArchiveTest, LeftoversGoAndAnEmptyTargetStaysTheUsersAndIsNeverMerged) {
    MakeLibrary(dir, "lib");
    for (const char* f : {".lib.zip-AAAAAA", ".lib.zip-BBBBBB", ".lib.zip-mine", ".kept-CCCCCC/x", ".target-DDDDDD/x"})
        dir.WriteFile(f, f);
    const int running = open(".lib.zip-BBBBBB", O_RDONLY);
    ASSERT_EQ(flock(running, LOCK_EX), 0);
    ASSERT_TRUE(archiving::Backup("lib\\", "lib.zip").ok);
    dir.MakeDir("target");
    chmod("target", 0700);
    ASSERT_TRUE(archiving::Restore("lib.zip", "target\\").ok);
    close(running);
    for (const char* f : {".lib.zip-AAAAAA", ".target-DDDDDD"}) EXPECT_FALSE(dir.Exists(f)) << f;
    for (const char* f : {".lib.zip-BBBBBB", ".lib.zip-mine", ".kept-CCCCCC"}) EXPECT_TRUE(dir.Exists(f)) << f;
    EXPECT_EQ(fs::status("target").permissions(), fs::perms::owner_all);
    EXPECT_EQ(Tree(dir.Native() + "/target"), Tree(dir.Native() + "/lib"));

    for (bool existed : {true, false}) {
        if (existed) dir.MakeDir("again");
        archiving::Control control{nullptr, [&](long long done, long long) {
            if (done == 1) existed ? dir.WriteFile("again/intruder", "x") : dir.MakeDir("again");
        }};
        EXPECT_EQ(plat::GbkToUtf8(archiving::Restore("lib.zip", "again\\", control).error),
                  "目录 again\\ 在恢复时被别的程序放入了文件，没有恢复任何文件");
        EXPECT_EQ(Tree(dir.Native() + "/again").size(), existed ? 1u : 0u);
        fs::remove_all("again");
    }
    for (const auto& [name, bytes] : Tree(dir.Native())) EXPECT_NE(name.rfind(".again-", 0), 0u) << name;
}

// Through the library manager: 备份 and 恢复 beside the libraries, with progress and registration.
TEST_F(ArchiveTest, ManagerBacksUpAndRestoresBesideTheLibrariesAndRegisters) {
    using Mang = mangfx::Opened<CDatumLibMang>;
    enum { kBackup = 7, kRestore = 8 };
    MakeLibrary(dir, "datum/甲");
    for (int i = 0; i < 300; ++i) dir.WriteFile("datum/甲/多/" + std::to_string(i) + ".datum.xml", "c");
    const auto tree = Tree(dir.Native() + "/datum/甲");
    long long files = 0, bytes = 0;
    for (const auto& [name, content] : tree)
        if (name.back() != '/') ++files, bytes += static_cast<long long>(content.size());
    const std::string counted = std::to_string(files) + " 个文件，" + std::to_string(bytes) + " 字节";
    mainfx::WriteRegistry(dir, {{"甲", "datum\\甲"}}, 0);
    ScriptedServices svc;
    Mang m;
    m.Init();
    EXPECT_FALSE(m.Item(kBackup)->isEnabled()) << "no row chosen yet";
    mangfx::Select(m, 0);
    ASSERT_TRUE(m.Item(kBackup)->isEnabled());

    dir.WriteFile("notes.txt", "mine");
    svc.QueueFileName("notes.txt");
    svc.ExpectBox("文件 notes.txt 不是 ZIP 归档，要用备份替换它吗？它现在的内容将会丢失。", "QUESTION", 0x24, plat::IDNO);
    mangfx::Click(m, kBackup);
    EXPECT_EQ(dir.ReadFile("notes.txt"), "mine");

    svc.QueueFileName("甲-20261207.zip");
    ASSERT_TRUE(archiving::Backup(Gbk("datum\\甲\\"), "same.zip").ok);  // the same bytes: its size is known
    const std::string size = std::to_string(fs::file_size("same.zip"));
    // The central directory, which unzip -l and desktop tools list: every entry, a name that is not ASCII
    // flagged as UTF-8.
    const auto names = CentralNames(dir.ReadFile("same.zip"));
    EXPECT_EQ(names.size(), tree.size());
    for (const auto& [name, flags] : names) {
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return c > 0; });
        EXPECT_TRUE(ascii || (flags & 0x800)) << name << " is not flagged as UTF-8";
    }
    svc.ExpectBox("备份完成: " + counted + "，已写入 甲-20261207.zip (" + size + " 字节)", "INFOMATION", 0x40);
    mangfx::Click(m, kBackup);
    ASSERT_EQ(svc.fileDialogs.size(), 2u);
    EXPECT_FALSE(svc.fileDialogs[0].open);
    EXPECT_EQ(plat::GbkToUtf8(svc.fileDialogs[0].initialName),
              "甲-" + QDate::currentDate().toString("yyyyMMdd").toStdString() + ".zip");

    svc.QueueFileName("甲-20261207.zip");
    mangfx::WhenModal([](CDialog& form) {
        EXPECT_EQ(form.ItemAs<QLineEdit>(1021)->text().toStdString(), "甲") << "without the backup's date";
        EXPECT_EQ(form.ItemAs<QLineEdit>(1022)->text().toStdString(), "datum\\甲-2\\") << "the name is taken";
        mangfx::Click(form, 1);
    });
    svc.ExpectBox("恢复完成: " + counted + "，已写入 datum\\甲-2\\", "INFOMATION", 0x40);
    mangfx::Click(m, kRestore);
    const auto* strip = m.findChild<CShowMsgDlg*>();
    ASSERT_NE(strip, nullptr);
    const std::string entries = std::to_string(tree.size());
    EXPECT_EQ(plat::GbkToUtf8(strip->Message()), "正在恢复资料库 (" + entries + "/" + entries + ")......");
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(Tree(dir.Native() + "/datum/甲-2"), tree);
    EXPECT_EQ(mangfx::Rows(m, 1), (std::vector<std::string>{"datum\\甲", "datum\\甲-2"}));
    EXPECT_TRUE(m.RegistryWritten()) << "registered at once: the main window reads it again even after Cancel";
}

}  // namespace
