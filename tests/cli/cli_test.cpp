// The command-line modes as a user or a scheduled job runs them: the real program started in a folder,
// judged by its exit status, what it prints and what it leaves on disk.
#include <gtest/gtest.h>

#include <QProcess>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <memory>
#include <signal.h>

#include "app/main_fixture.h"
#include "library/registry.h"
#include "search/watch_lock.h"
#include "support/cards.h"
#include "support/index_file.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

struct Outcome { int status; std::string out, err; };

class CliTest : public ::testing::Test {
protected:
    TempProgramDir dir;

    // Home, user data and cache inside the test folder, and no display, as for a scheduled job. A relative
    // `home` is handed over as it is, with no XDG_DATA_HOME.
    Outcome Korvane(const QStringList& args, const QString& home = "/home") {
        const QString root = QString::fromStdString(dir.Native());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.startsWith('/') ? root + home : home);
        if (home == "/home") env.insert("XDG_DATA_HOME", root + "/home/data");
        else env.remove("XDG_DATA_HOME");
        for (const char* unset : {"XDG_CACHE_HOME", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(unset);
        QProcess p;
        p.setWorkingDirectory(root);
        p.setProcessEnvironment(env);
        p.start(KORVANE_EXE, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }
    // Saved in one minute, so that equal matches rank by their names alone.
    void WriteCard(const std::string& rel, const std::string& title, const std::string& body = "正文") {
        FixedClock clock;
        dir.WriteFile(rel, CardBytes({Gbk(title), "", "", "", "", "", Gbk(body), "", ""}));
    }
    std::string UserDir() const { return dir.Native() + "/home/data/korvane"; }
    // Started and left running, in the environment of Korvane(args).
    std::unique_ptr<QProcess> Start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(dir.Native() + "/home"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(dir.Native() + "/home/data"));
        for (const char* unset : {"XDG_CACHE_HOME", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(unset);
        p->setWorkingDirectory(QString::fromStdString(dir.Native()));
        p->setProcessEnvironment(env);
        p->start(KORVANE_EXE, args);
        return p;
    }
    std::string IndexFile() const {
        for (const auto& f : fs::directory_iterator(dir.Native() + "/home/.cache/korvane"))
            if (f.path().extension() == ".sqlite") return f.path();
        return "";
    }
    // Started in a program directory of two libraries, 资料一 (lib, cards in 历史, one with a line break
    // in its name) and 资料二 (lib2), with a stylesheet of its own; 资料一 backed up by name into lib.zip.
    void MakeProgramDir() {
        mainfx::WriteRegistry(dir, {{"资料一", "lib"}, {"资料二", "lib2"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"历史"}, {});
        mainfx::MakeLibrary(dir, "lib2", {}, {});
        WriteCard("lib/历史/甲午.datum.xml", "甲午", "北洋水师");
        WriteCard("lib/历史/定\n远.datum.xml", "定远", "北洋水师");
        dir.WriteFile("xmlstyle/datumstyle/own.xsl",
                      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                      "<xsl:template match=\"/\">OWN <xsl:value-of select=\"datum/title\"/></xsl:template>"
                      "</xsl:stylesheet>");
        ASSERT_EQ(Korvane({"--backup", "资料一", "lib.zip"}).status, 0);
    }
};

// Where the program works: a damaged program directory is reported where it is; elsewhere the user's own is
// made from the shipped one (an empty folder is filled), never copied over again; a HOME that is no place
// says so.
TEST_F(CliTest, WorksInTheUsersProgramDirectoryMadeOnceAndReportsADamagedOne) {
    dir.MakeDir("set");
    // Said there, and nothing more: no user's program directory made.
    EXPECT_EQ(Korvane({"--search", "x"}).err, "korvane: 没有找到配置文件 set\\datumlib.lst\n");
    fs::remove("set");

    WriteCard("cards/c.datum.xml", "终端 & 卡");  // no href: the first shipped style
    Outcome r = Korvane({"--render", "cards/c.datum.xml"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(plat::GbkToUtf8(r.out).find("<h1>终端 &amp; 卡</h1>"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "Program directory created: " + UserDir() + "\n");
    const fs::path registry = UserDir() + "/set/datumlib.lst";
    EXPECT_EQ(ReadNativeFile(registry.string()), ReadNativeFile(KORVANE_SHIPPED_DATA "/set/datumlib.lst"));
    EXPECT_NE(fs::status(registry).permissions() & fs::perms::owner_write, fs::perms::none) << "the user's to change";
    std::ofstream(registry, std::ios::app) << "edited=1\r\n";
    r = Korvane({"--render", "cards/c.datum.xml", "page.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(plat::GbkToUtf8(dir.ReadFile("page.html")).find("终端 &amp; 卡"), std::string::npos);
    EXPECT_NE(ReadNativeFile(registry.string()).find("edited=1"), std::string::npos) << "never copied over";

    fs::remove_all(UserDir());
    dir.MakeDir("home/data/korvane");
    // Made, and its registry read (or the search would say it is missing).
    EXPECT_EQ(Korvane({"--search", "x"}).err, "Program directory created: " + UserDir() + "\n");
    EXPECT_EQ(Korvane({"--search", "x"}, "relative/home").err.substr(0, 60),
              "korvane: HOME (relative/home) is not an absolute path; no pr");
}

// Matches exit 0, none 1, errors 2 or 1, and a failure is one line. Names are native and taken literally,
// nothing of the user's is overwritten, names that would forge registry lines are refused, and found paths
// print as a shell takes them.
TEST_F(CliTest, EveryModeAnswersByItsStatusAndNeverWritesOverTheUsersFiles) {
    MakeProgramDir();
    dir.WriteFile("bad.datum.xml", "not a card");
    dir.WriteFile("old/x.zip", "keep");
    dir.WriteFile("notes.txt", "mine");
    const std::string card = "lib/历史/甲午.datum.xml", shown = "lib\\历史\\甲午.datum.xml";
    const std::string sep = "korvane: 文件名中的 \\ 在本程序的路径中是分隔符，不能照原样使用: ";
    const std::string lines = "korvane: 资料库的名称和目录中不能有换行符或其它控制字符: ";
    // Equal matches saved in the same minute list in the order of their names.
    const struct { QStringList args; int status; std::string out, err; } cases[] = {
        {{"--search", "水师 北洋"}, 0, "lib/历史/定\\n远.datum.xml\n" + card + "\n", ""},
        {{"--search", "-0", "北洋"}, 0, "lib/历史/定\n远.datum.xml" + std::string(1, '\0') + card + '\0', ""},
        {{"--search", "--library", "资料一", "甲"}, 0, card + "\n", ""},
        {{"--search", "水师", "--library", "资料二"}, 1, "", ""},
        {{"--search", "水师", "--library", "没有这个库"}, 2, "", "korvane: 没有名为 没有这个库 的资料库\n"},
        {{"--search", "   "}, 2, "", "korvane: 用法: korvane --search [-0] 检索词 [--library 资料库名称]\n"},
        {{"--search", "a", "b"}, 2, "", "?"},
        {{"--search", QString(257, 'a')}, 2, "", "korvane: 检索内容太长: 最多 256 个字\n"},
        {{"--watch", "lib"}, 2, "", "korvane: 用法: korvane --watch [--library 资料库名称]\n"},
        {{"--watch", "--library", "没有这个库"}, 1, "", "korvane: 没有名为 没有这个库 的资料库\n"},
        {{"--render"}, 2, "", "?"},
        {{"--backup", "lib"}, 2, "", "?"},
        {{"--restore", "lib.zip"}, 2, "", "?"},
        // A relative name is the user's own words.
        {{"--render", "bad.datum.xml"}, 1, "", "korvane: 读取文件 bad.datum.xml 的XML数据时出错了!\n"},
        {{"--backup", "无此库", "x.zip"}, 1, "", "korvane: 目录 无此库\\ 不是资料库(没有 _ _SETS_ _\\class.list)\n"},
        {{"--backup", "lib", "无此目录/x.zip"}, 1, "", "korvane: 不能写入备份文件 无此目录\\x.zip: 不存在\n"},
        {{"--backup", "资料一", "old\\x.zip"}, 2, "", sep + "old\\x.zip\n"},
        {{"--render", "lib\\历史\\甲午.datum.xml"}, 2, "", sep + shown + "\n"},
        {{"--backup", "资料一", card.c_str()}, 1, "", "korvane: 不能写入备份文件 " + shown + ": 备份文件不能放在要备份的资料库之中\n"},
        {{"--backup", "资料一", "notes.txt"}, 1, "", "korvane: 文件 notes.txt 不是 ZIP 归档，备份不会替换它\n"},
        {{"--render", card.c_str(), card.c_str()}, 1, "", "korvane: 不能把页面写到资料卡自己上: " + shown + "\n"},
        {{"--render", card.c_str(), "notes.txt"}, 1, "", "korvane: 文件 notes.txt 已存在，不是本程序生成的页面，不会替换它\n"},
        {{"--render", card.c_str(), "page.html"}, 0, "", ""},
        {{"--render", card.c_str(), "page.html"}, 0, "", ""},  // its own page may be replaced
        {{"--restore", "lib.zip", "new", "a\nname1=x"}, 2, "", lines + "a\\nname1=x new\n"},
        {{"--restore", "lib.zip", "new\npath1=x"}, 2, "", lines + "lib new\\npath1=x\n"},
        {{"--restore", "lib.zip", "lib/历史/new"}, 1, "", "korvane: 目录 lib\\历史\\new\\ 位于资料库 资料一 之中，不能恢复到那里\n"},
    };
    auto snapshot = [&] {
        return dir.ReadFile("set/datumlib.lst") + dir.ReadFile(card) + dir.ReadFile("notes.txt") +
               dir.ReadFile("old/x.zip");
    };
    const std::string before = snapshot();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome r = Korvane(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        if (c.err == "?") EXPECT_FALSE(r.err.empty());  // any usage text
        else EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(dir.Exists("new") || dir.Exists("lib/历史/new") || dir.Exists("x.zip"));
    EXPECT_NE(Korvane({"--render", card.c_str()}).out.find("OWN 甲午"), std::string::npos) << "own styles";

    // A card written since the last run is found. An index that only a query finds damaged is built again,
    // and answers.
    std::string poem;
    for (int i = 0; i < 1000; ++i) poem += "白日依山尽，黄河入海流。";  // pages of the index
    WriteCard("lib/历史/登楼.datum.xml", "登楼", poem);
    EXPECT_EQ(Korvane({"--search", "登楼"}).out, "lib/历史/登楼.datum.xml\n");
    int indexes = 0;  // in the cache folder, one per library searched
    for (const auto& f : fs::directory_iterator(dir.Native() + "/home/.cache/korvane"))
        if (f.path().extension() == ".sqlite") indexes += IndexSql(f.path(), kGarbleLeaves) == -1;
    EXPECT_EQ(indexes, 2);
    const Outcome rebuilt = Korvane({"--search", "黄河 白日 依山 流"});
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.err;
    EXPECT_EQ(rebuilt.out, "lib/历史/登楼.datum.xml\n");
    // A registry naming no library is an error, not "no match".
    dir.WriteFile("set/datumlib.lst", "count=0\r\n");
    EXPECT_EQ(Korvane({"--search", "登楼"}).status, 2);
}

TEST_F(CliTest, RestoreRegistersTheFolderAsTypedAndAFullListRefuses) {
    MakeProgramDir();
    EXPECT_EQ(Korvane({"--restore", "lib.zip", "复原/", "复原库"}).err, "");
    EXPECT_EQ(dir.ReadFile("复原/历史/甲午.datum.xml"), dir.ReadFile("lib/历史/甲午.datum.xml"));
    LibraryRegistry reg;
    std::string error;
    ASSERT_TRUE(ReadRegistry(reg, error) && reg.count == 3) << plat::GbkToUtf8(error);
    // Stored as typed, without the final separator.
    EXPECT_EQ(plat::GbkToUtf8(reg.entries[2].name + "=" + reg.entries[2].path), "复原库=复原");

    mainfx::WriteRegistry(dir, std::vector<mainfx::Lib>(50, {"资料一", "lib"}), 0);
    const Outcome full = Korvane({"--restore", "lib.zip", "new"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "korvane: 资料库列表已满(最多 50 个)，不能再恢复资料库!\n");
    EXPECT_FALSE(fs::exists("new"));
}

// --add-library registers a folder a sync tool filled as it is; a refusal says why and registers nothing.
TEST_F(CliTest, AddLibraryRegistersAnExistingFolderAndRefusesWithItsReason) {
    MakeProgramDir();
    fs::copy(dir.Native() + "/lib", dir.Native() + "/同步", fs::copy_options::recursive);
    const std::pair<QStringList, std::string> runs[] = {
        {{"同步/", "第二台"}, ""},
        {{"./lib"}, "korvane: 目录 .\\lib 已经登记为资料库 资料一。\n"},
    };
    for (const auto& [args, err] : runs) {
        const Outcome out = Korvane(QStringList{"--add-library"} + args);
        EXPECT_EQ(out.status, err.empty() ? 0 : 1);
        EXPECT_EQ(out.err, err);
    }
    LibraryRegistry reg;
    std::string error;
    ASSERT_TRUE(ReadRegistry(reg, error) && reg.count == 3);
    EXPECT_EQ(plat::GbkToUtf8(reg.entries[2].name + "=" + reg.entries[2].path), "第二台=同步");
}

}  // namespace

// With the card table's leaves zeroed, the first run finds the damage (in an answer, or in the empty answer of a
// library that has cards), builds the index again and says so; the second answers alike, with no notice.
TEST_F(CliTest, ADamagedCardTableIsBuiltAgainWithANoticeNeverAnsweredAsNoMatch) {
    mainfx::WriteRegistry(dir, {{"资料一", "lib"}}, 0);
    std::string all;
    for (int i = 1000; i < 1300; ++i) {
        WriteCard("lib/历史/c" + std::to_string(i) + ".datum.xml", "c", "北洋水师");
        all += "lib/历史/c" + std::to_string(i) + ".datum.xml\n";
    }
    ASSERT_EQ(Korvane({"--search", "北洋"}).out, all);
    for (const std::string query : {"北洋", "黄鹤"}) {
        ASSERT_GT(ZeroTableLeaves(IndexFile(), "cards"), 2) << query;
        const Outcome first = Korvane({"--search", query.c_str()}), second = Korvane({"--search", query.c_str()});
        const std::string out = query == "北洋" ? all : "";
        EXPECT_TRUE(first.out == out && second.out == out && first.status == second.status) << query;
        EXPECT_EQ(first.status, out.empty() ? 1 : 0) << query;
        EXPECT_EQ(first.err + "|" + second.err, "korvane: 检索索引已损坏，已重新建立\n|") << query;
    }
}

// A running watch keeps the index current through a rewrite in place of the same size, a rename, a new class
// and a delete; the command line believes it (what the stopped watch has not seen is not found), a second
// watch waits for the first and takes over on SIGTERM, and once no watch lives the command line looks itself.
TEST_F(CliTest, ARunningWatchKeepsTheIndexCurrentAndTheCommandLineBelievesItOnlyWhileItLives) {
    mainfx::WriteRegistry(dir, {{"资料一", "lib"}}, 0);
    WriteCard("lib/历史/甲午.datum.xml", "甲午", "北洋水师");
    WriteCard("lib/历史/定远.datum.xml", "定远", "北洋水师");
    auto meta = [&](const char* key) {
        std::error_code ec;
        const std::string sql = std::string("SELECT value FROM meta WHERE key='") + key + "'";
        return fs::exists(dir.Native() + "/home/.cache/korvane", ec) ? IndexSql(IndexFile(), sql.c_str()) : -1;
    };
    auto waitFor = [](const std::function<bool()>& done) {
        QElapsedTimer t;
        for (t.start(); !done() && t.elapsed() < 30000;) QThread::msleep(20);
        return done();
    };
    std::int64_t before = 0;
    auto applied = [&] {
        return waitFor([&] {
            return meta("watch_generation") > before && meta("watch_current") == 1 && search::WatchLock::WaitSettled(IndexFile(), 0);
        });
    };
    auto search = [&](const char* query) {
        QStringList lines = QString::fromStdString(Korvane({"--search", query}).out).split('\n', Qt::SkipEmptyParts);
        lines.sort();
        return lines.join(' ').toStdString();
    };
    auto watch = Start({"--watch"});
    ASSERT_TRUE(applied());
    const std::string lib = dir.Native() + "/lib/历史/";
    const std::function<void()> changes[] = {
        [&] { std::fstream(lib + "甲午.datum.xml", std::ios::in | std::ios::out).seekp(dir.ReadFile("lib/历史/甲午.datum.xml").find(Gbk("北洋"))) << Gbk("南洋"); },
        [&] { fs::rename(lib + "定远.datum.xml", lib + "镇远.datum.xml"); },
        [&] { WriteCard("lib/历史/新/来远.datum.xml", "来远", "北洋水师"); },
        [&] { fs::remove(lib + "镇远.datum.xml"); },
    };
    const char* answers[][2] = {{"南洋", "lib/历史/甲午.datum.xml"},
                                {"北洋", "lib/历史/镇远.datum.xml"},
                                {"北洋", "lib/历史/新/来远.datum.xml lib/历史/镇远.datum.xml"},
                                {"北洋", "lib/历史/新/来远.datum.xml"}};
    for (int i = 0; i < 4; ++i) {
        before = meta("watch_generation");
        changes[i]();
        ASSERT_TRUE(applied()) << i;
        EXPECT_EQ(search(answers[i][0]), answers[i][1]) << i;
    }
    // Believed as it is: what the stopped watch has not seen is not there, until it goes on.
    const pid_t pid = static_cast<pid_t>(watch->processId());
    auto stopped = [&] {  // every thread of the watch stopped
        for (const auto& t : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
            std::string stat;
            std::getline(std::ifstream(t.path() / "stat"), stat);
            if (stat.find(") T ") == std::string::npos) return false;
        }
        return true;
    };
    // Stopped where it has applied all it saw (a late event may have woken it just before the signal).
    for (int tries = 0; tries < 20; ++tries) {
        ::kill(pid, SIGSTOP);
        ASSERT_TRUE(waitFor(stopped));
        if (search::WatchLock::WaitSettled(IndexFile(), 0)) break;
        ::kill(pid, SIGCONT);
        waitFor([&] { return search::WatchLock::WaitSettled(IndexFile(), 0); });
    }
    before = meta("watch_generation");
    WriteCard("lib/历史/致远.datum.xml", "致远", "北洋水师");
    EXPECT_EQ(search("致远"), "");
    ::kill(static_cast<pid_t>(watch->processId()), SIGCONT);
    ASSERT_TRUE(applied());
    EXPECT_EQ(search("致远"), "lib/历史/致远.datum.xml");

    // A second watch waits, writing nothing, and takes over when the first is told to stop.
    auto second = Start({"--watch"});
    std::string waiting;
    ASSERT_TRUE(waitFor([&] { return second->waitForReadyRead(10), !(waiting += second->readAllStandardError().toStdString()).empty(); }));
    EXPECT_EQ(waiting, "korvane: 资料库 lib\\ 的检索索引正由另一个 Korvane 监视，等它结束后接手\n");
    before = meta("watch_generation");
    watch->terminate();
    ASSERT_TRUE(watch->waitForFinished(10000));
    EXPECT_TRUE(watch->exitStatus() == QProcess::NormalExit && watch->exitCode() == 0);
    ASSERT_TRUE(applied());
    // A watch that dies leaves no lock: the command line looks at the cards itself.
    second->kill();
    second->waitForFinished();
    WriteCard("lib/历史/经远.datum.xml", "经远", "北洋水师");
    EXPECT_EQ(search("经远"), "lib/历史/经远.datum.xml");
}
