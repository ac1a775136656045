// korvane --history and --show-version as a user runs them: the real program on a library whose store the
// window would have written, judged by its exit status and what it prints.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QProcess>
#include <filesystem>

#include "history/place.h"
#include "history/store.h"
#include "support/temp_dir.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class HistoryCliTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    std::string card = "lib/类一/卡.datum.xml";

    void SetUp() override {
        dir.MakeDir("lib/_ _SETS_ _");
        dir.WriteFile(card, "now");
    }
    Outcome Korvane(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.Native()));
        p.start(KORVANE_EXE, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }
    std::vector<std::string> Record(const std::vector<std::string>& texts) {
        history::Store store;
        std::string error;
        EXPECT_TRUE(store.Open(history::Canonical(dir.Native() + "/lib"), error)) << error;
        std::optional<std::string> before;
        for (const std::string& t : texts) {
            EXPECT_TRUE(store.Saved("类一/卡.datum.xml", before, t, history::Who::Program, error)) << error;
            before = t;
        }
        std::vector<std::string> ids;
        for (const auto& v : store.Versions("类一/卡.datum.xml", error)) ids.push_back(v.id);
        return ids;
    }
};

TEST_F(HistoryCliTest, ListsAndShowsVersionsWithTheStatusOfEveryOtherMode) {
    // No store yet: said, and none is made by looking.
    Outcome o = Korvane({"--history", QString::fromStdString(card)});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("还没有历史"), std::string::npos) << o.err;

    const std::vector<std::string> ids = Record({"first", "second text"});
    ASSERT_EQ(ids.size(), 2u);
    o = Korvane({"--history", QString::fromStdString(card)});
    ASSERT_EQ(o.status, 0) << o.err;
    // Newest first: id, local time, size, who.
    const QStringList lines = QString::fromStdString(o.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QStringList f = lines[i].split('\t');
        ASSERT_EQ(f.size(), 4) << lines[i].toStdString();
        EXPECT_EQ(f[0].toStdString(), ids[i].substr(0, 12));
        EXPECT_TRUE(QDateTime::fromString(f[1], "yyyy-MM-dd HH:mm:ss").isValid()) << f[1].toStdString();
        EXPECT_EQ(f[2], i == 0 ? "11" : "5");
        EXPECT_EQ(f[3], "本程序");
    }

    const struct {
        QStringList args;
        int status;
        std::string out, err;
    } cases[] = {
        {{"--show-version", QString::fromStdString(card), QString::fromStdString(ids[1].substr(0, 7))}, 0, "first", ""},
        {{"--show-version", QString::fromStdString(dir.Native() + "/" + card), QString::fromStdString(ids[0])}, 0,
         "second text", ""},
        {{"--show-version", QString::fromStdString(card), "0000000"}, 1, "", "没有版本 0000000"},
        {{"--show-version", QString::fromStdString(card), "xyz"}, 1, "", "十六进制"},
        {{"--show-version", QString::fromStdString(card)}, 2, "", "usage: korvane --show-version CARD ID"},
        {{"--history", "elsewhere.datum.xml"}, 1, "", "不在任何资料库的文件夹中"},
        {{"--history", "lib/类一/没有的.datum.xml"}, 1, "", "没有记录的版本"},
        {{"--history"}, 2, "", "usage: korvane --history CARD"},
    };
    for (const auto& c : cases) {
        o = Korvane(c.args);
        EXPECT_EQ(o.status, c.status) << c.args.join(' ').toStdString() << o.err;
        EXPECT_EQ(o.out, c.out) << c.args.join(' ').toStdString();
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    }
}

}  // namespace
