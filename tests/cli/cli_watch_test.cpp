// The search index as the command line finds it: kept current by a running `korvane --watch` (believed as it
// is while the watch lives, looked at card by card once it is gone), and damaged under it.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/main_fixture.h"
#include "support/cards.h"
#include "support/index_file.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

constexpr char kRebuilt[] = "korvane: 检索索引已损坏，已重新建立\n";

struct Outcome { int status; std::string out, err; };

class WatchCliTest : public ::testing::Test {
protected:
    TempProgramDir dir;

    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"资料一", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"历史"}, {});
    }
    // Home, user data and cache inside the test folder, and no display, as for a scheduled job.
    QProcessEnvironment Env() const {
        const QString root = QString::fromStdString(dir.Native());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root + "/home");
        env.insert("XDG_DATA_HOME", root + "/home/data");
        for (const char* unset : {"XDG_CACHE_HOME", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(unset);
        return env;
    }
    std::unique_ptr<QProcess> Start(const QStringList& args) const {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(QString::fromStdString(dir.Native()));
        p->setProcessEnvironment(Env());
        p->start(KORVANE_EXE, args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    Outcome Korvane(const QStringList& args) const {
        auto p = Start(args);
        EXPECT_TRUE(p->waitForFinished(60000));
        return {p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1, p->readAllStandardOutput().toStdString(),
                p->readAllStandardError().toStdString()};
    }
    // The paths found, in the order of their names.
    std::string Search(const char* query) const {
        QStringList lines = QString::fromStdString(Korvane({"--search", query}).out).split('\n', Qt::SkipEmptyParts);
        lines.sort();
        return lines.isEmpty() ? "" : (lines.join('\n') + '\n').toStdString();
    }
    void WriteCard(const std::string& rel, const std::string& body) {
        FixedClock clock;
        dir.WriteFile("lib/" + rel, CardBytes({Gbk(fs::path(rel).stem().stem().string()), "", "", "", "", "", Gbk(body), "", ""}));
    }
    std::string IndexFile() const {
        std::error_code ec;
        for (const auto& f : fs::directory_iterator(dir.Native() + "/home/.cache/korvane", ec))
            if (f.path().extension() == ".sqlite") return f.path();
        return "";
    }
    std::int64_t Meta(const char* key) const {
        const std::string sql = std::string("SELECT value FROM meta WHERE key='") + key + "'";
        return IndexFile().empty() ? -1 : IndexSql(IndexFile(), sql.c_str());
    }
    static bool WaitFor(const std::function<bool()>& done) {
        QElapsedTimer t;
        for (t.start(); !done(); QThread::msleep(20))
            if (t.elapsed() > 30000) return false;
        return true;
    }
    // The watch has applied a change: its generation moved past `before` and it says the index is current.
    bool Applied(std::int64_t before) const {
        return WaitFor([&] { return Meta("watch_generation") > before && Meta("watch_current") == 1; });
    }
};

// With the card table's leaves zeroed the first run finds the damage (in an answer, or in the empty answer of
// a library that has cards), builds the index again and says so; the second answers alike, with no notice.
TEST_F(WatchCliTest, ADamagedCardTableIsBuiltAgainWithANoticeNeverAnsweredAsNoMatch) {
    std::string all;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "c" + std::to_string(1000 + i);
        WriteCard("历史/" + name + ".datum.xml", "北洋水师");
        all += "lib/历史/" + name + ".datum.xml\n";
    }
    ASSERT_EQ(Korvane({"--search", "北洋"}).out, all);
    const struct {
        const char* query;
        int status;
        std::string out;
    } rounds[] = {{"北洋", 0, all}, {"黄鹤", 1, ""}};
    for (const auto& r : rounds) {
        ASSERT_GT(ZeroTableLeaves(IndexFile(), "cards"), 2) << r.query;
        const Outcome first = Korvane({"--search", r.query}), second = Korvane({"--search", r.query});
        EXPECT_EQ(first.status, r.status) << r.query;
        EXPECT_EQ(first.out, r.out) << r.query;
        EXPECT_EQ(first.err, kRebuilt) << r.query;
        EXPECT_EQ(second.status, r.status) << r.query;
        EXPECT_EQ(second.out, r.out) << r.query;
        EXPECT_EQ(second.err, "") << r.query;
    }
}

// A running watch keeps the index current through rewrites in place, renames, new classes and deletes; the
// command line believes it (a change the stopped watch has not seen is not found), a second watch waits for
// the first and takes over on SIGTERM, and once no watch lives the command line looks at the cards again.
TEST_F(WatchCliTest, ARunningWatchKeepsTheIndexCurrentAndTheCommandLineBelievesItOnlyWhileItLives) {
    WriteCard("历史/甲午.datum.xml", "北洋水师");
    WriteCard("历史/定远.datum.xml", "北洋水师");
    auto watch = Start({"--watch"});
    ASSERT_TRUE(Applied(0)) << watch->readAllStandardError().toStdString();

    const struct {
        const char* what;
        std::function<void()> change;
        const char* query;
        std::string out;
    } steps[] = {
        {"rewritten in place, same size",
         [&] {
             const std::string bytes = dir.ReadFile("lib/历史/甲午.datum.xml");
             std::fstream f(dir.Native() + "/lib/历史/甲午.datum.xml", std::ios::in | std::ios::out | std::ios::binary);
             const std::size_t at = bytes.find(Gbk("北洋"));
             f.seekp(static_cast<std::streamoff>(at));
             f << Gbk("南洋");
         },
         "南洋", "lib/历史/甲午.datum.xml\n"},
        {"renamed", [&] { fs::rename(dir.Native() + "/lib/历史/定远.datum.xml", dir.Native() + "/lib/历史/镇远.datum.xml"); },
         "北洋", "lib/历史/镇远.datum.xml\n"},
        {"a new class with a card", [&] { WriteCard("历史/新/来远.datum.xml", "北洋水师"); }, "北洋",
         "lib/历史/新/来远.datum.xml\nlib/历史/镇远.datum.xml\n"},
        {"deleted", [&] { fs::remove(dir.Native() + "/lib/历史/镇远.datum.xml"); }, "北洋", "lib/历史/新/来远.datum.xml\n"},
    };
    for (const auto& s : steps) {
        const std::int64_t before = Meta("watch_generation");
        s.change();
        ASSERT_TRUE(Applied(before)) << s.what;
        EXPECT_EQ(Search(s.query), s.out) << s.what;
    }

    // Believed as it is: what the stopped watch has not seen is not there, until it goes on.
    ::kill(static_cast<pid_t>(watch->processId()), SIGSTOP);
    const std::int64_t before = Meta("watch_generation");
    WriteCard("历史/致远.datum.xml", "北洋水师");
    EXPECT_EQ(Search("致远"), "");
    ::kill(static_cast<pid_t>(watch->processId()), SIGCONT);
    ASSERT_TRUE(Applied(before));
    EXPECT_EQ(Search("致远"), "lib/历史/致远.datum.xml\n");

    // A second watch waits, writing nothing, and takes over when the first is told to stop.
    auto second = Start({"--watch"});
    std::string waiting;
    ASSERT_TRUE(WaitFor([&] {
        second->waitForReadyRead(10);
        waiting += second->readAllStandardError().toStdString();
        return !waiting.empty();
    }));
    EXPECT_EQ(waiting, "korvane: 资料库 lib\\ 的检索索引正由另一个 Korvane 监视，等它结束后接手\n");
    const std::int64_t handover = Meta("watch_generation");
    watch->terminate();
    ASSERT_TRUE(watch->waitForFinished(10000));
    EXPECT_EQ(watch->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch->exitCode(), 0);
    ASSERT_TRUE(Applied(handover));
    EXPECT_EQ(second->state(), QProcess::Running);

    // A watch that dies leaves no lock: the command line looks at the cards itself.
    second->kill();
    second->waitForFinished();
    WriteCard("历史/经远.datum.xml", "北洋水师");
    EXPECT_EQ(Search("经远"), "lib/历史/经远.datum.xml\n");
}

}  // namespace
