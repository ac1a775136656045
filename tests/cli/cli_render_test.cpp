// korvane --render run as the real program: where it works, what it prints and how it exits.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <fstream>

#include "platform/codec.h"
#include "platform/path.h"
#include "store/xml_record_set.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int code;
    std::string out, err;
};

class CliRenderTest : public ::testing::Test {
protected:
    TempProgramDir dir;  // the folder the program is started in; no registry unless a test writes one

    Outcome Korvane(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(QString::fromStdString(dir.Native()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(dir.Native() + "/home"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(dir.Native() + "/home/data"));
        p.setProcessEnvironment(env);
        p.start(KORVANE_EXE, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }
    std::string UserDir() const { return dir.Native() + "/home/data/korvane"; }
};

std::string Card(const std::string& title, const std::string& href) {
    XmlRecordSet x;
    x.card.title = plat::Gbk(title);
    x.card.content = plat::Gbk("正文");
    x.card.href = href;
    plat::StringSink s;
    x.WriteCard(s);
    return s.data;
}

TEST_F(CliRenderTest, RendersFromAnyFolderIntoTheUsersProgramDirectoryMadeOnce) {
    dir.WriteFile("cards/c.datum.xml", Card("终端 & 卡", ""));  // no href: the first shipped style
    Outcome r = Korvane({"--render", "cards/c.datum.xml"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(plat::GbkToUtf8(r.out).find("<h1>终端 &amp; 卡</h1>"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "Program directory created: " + UserDir() + "\n");
    // The user's copy of the read-only data is the user's to change.
    const fs::path registry = UserDir() + "/set/datumlib.lst";
    EXPECT_EQ(ReadNativeFile(registry.string()), ReadNativeFile(KORVANE_SHIPPED_DATA "/set/datumlib.lst"));
    EXPECT_NE(fs::status(registry).permissions() & fs::perms::owner_write, fs::perms::none);

    std::ofstream(registry, std::ios::app) << "edited=1\r\n";
    r = Korvane({"--render", "cards/c.datum.xml", "page.html"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(plat::GbkToUtf8(dir.ReadFile("page.html")).find("终端 &amp; 卡"), std::string::npos);
    EXPECT_NE(ReadNativeFile(registry.string()).find("edited=1"), std::string::npos) << "never copied over";
}

TEST_F(CliRenderTest, AProgramDirectoryIsUsedWhereItIsAndFailuresExitNonZero) {
    dir.WriteFile("set/datumlib.lst", "count=0\r\n");
    dir.WriteFile("xmlstyle/datumstyle/own.xsl",
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                  "<xsl:template match=\"/\">OWN <xsl:value-of select=\"datum/title\"/></xsl:template>"
                  "</xsl:stylesheet>");
    dir.WriteFile("c.datum.xml", Card("x", ""));
    Outcome r = Korvane({"--render", "c.datum.xml"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("OWN x"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(UserDir()));

    dir.WriteFile("bad.datum.xml", "not a card");
    r = Korvane({"--render", "bad.datum.xml"});
    EXPECT_EQ(r.code, 1);
    // Started in a program directory, a relative name is the user's own words.
    EXPECT_EQ(r.err, "korvane: 读取文件 bad.datum.xml 的XML数据时出错了!\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Korvane({"--render"}).code, 2);
}

}  // namespace
