// korvane --search run as the user runs it: the real program in a program directory, its exit status,
// what it prints, and where it keeps its index.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "app/main_fixture.h"
#include "store/xml_record_set.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class CliSearchTest : public ::testing::Test {
protected:
    TempProgramDir dir;

    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"资料一", "lib"}, {"资料二", "lib2"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"历史"}, {});
        mainfx::MakeLibrary(dir, "lib2", {}, {});
        XmlRecordSet rs;
        rs.card.title = plat::Gbk("甲午");
        rs.card.content = plat::Gbk("北洋水师");
        plat::StringSink sink;
        rs.WriteCard(sink);
        dir.WriteFile("lib/历史/甲午.datum.xml", sink.data);
    }

    Outcome Search(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.Native()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CACHE_HOME", QString::fromStdString(dir.Native() + "/cache"));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        p.setProcessEnvironment(env);
        p.start(KORVANE_EXE, QStringList{"--search"} + args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }
};

TEST_F(CliSearchTest, ExitStatusTellsMatchesNoneOrError) {
    const struct {
        QStringList args;
        int status;
        std::string out;
    } cases[] = {
        {{"水师 北洋"}, 0, "lib\\历史\\甲午.datum.xml\n"},
        {{"ＢＥＩ"}, 1, ""},
        {{"水师", "--library", "资料二"}, 1, ""},
        {{"--library", "资料一", "甲"}, 0, "lib\\历史\\甲午.datum.xml\n"},
        {{"水师", "--library", "没有这个库"}, 2, ""},
        {{"   "}, 2, ""},
        {{}, 2, ""},
        {{"a", "b"}, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome r = Search(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err.empty(), c.status != 2) << r.err;
    }
    // The index it made and refreshed lives in the cache folder.
    EXPECT_TRUE(std::filesystem::is_directory(dir.Native() + "/cache/korvane"));
    EXPECT_FALSE(std::filesystem::is_empty(dir.Native() + "/cache/korvane"));
}

TEST_F(CliSearchTest, SeesCardsWrittenSinceTheLastRun) {
    ASSERT_EQ(Search({"定远"}).status, 1);
    XmlRecordSet rs;
    rs.card.title = plat::Gbk("定远");
    plat::StringSink sink;
    rs.WriteCard(sink);
    dir.WriteFile("lib/历史/定远.datum.xml", sink.data);
    const Outcome r = Search({"定远"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "lib\\历史\\定远.datum.xml\n");
    // A registry that names no library is an error, not "no match".
    dir.WriteFile("set/datumlib.lst", "count=0\r\n");
    EXPECT_EQ(Search({"定远"}).status, 2);
}

}  // namespace
