// Each update that rewrites the user's files, recorded call by call and replayed into every crash state a
// power cut could leave (see crash_replay.h). Each test prints how many states it explored and how many
// failed.
#include <QTextEdit>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <random>

#include "app/main_fixture.h"
#include "cli/cli.h"
#include "cli/program_dir.h"
#include "crash/crash_replay.h"
#include "library/archive.h"
#include "library/datum_lib_mang.h"
#include "library/registry.h"
#include "managers/index_bookmark_mang.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/list_file.h"
#include "ui/window_settings.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

// Chinese text (GB2312) that does not compress away, a line break every 40 characters.
std::string Text(unsigned seed, int chars) {
    std::mt19937 random(seed);
    std::string s;
    for (int i = 1; i <= chars; ++i)
        s += i % 40 ? std::string{char(0xB0 + random() % 39), char(0xA1 + random() % 94)} : "\n";
    return s;
}

std::string CardAt(const std::string& path) {
    plat::LineReader reader;
    XmlRecordSet x;
    if (!reader.Open(path)) return "no card at " + path;
    if (!x.ReadCard(reader) || reader.Failed() || !x.bodyWhole)
        return "a card that does not read whole at " + path;
    const DatumCard& c = x.card;
    return c.title + "|" + c.klass + "|" + c.founddate + "|" + c.source + "|" + c.keyword + "|" + c.href +
           "|" + c.content;
}

std::string ListAt(const std::string& path) {
    CListFile list;
    if (list.Load(path) != 1) return "no list at " + path;
    std::string s = "count=" + list.GetValue("count");
    for (int i = 0; i < kMaxListSlots; ++i)
        s += "|" + list.SlotValue("name" + std::to_string(i)) + "=" +
             list.SlotValue("path" + std::to_string(i));
    return s;
}

std::string RegistryNow() {
    LibraryRegistry reg;
    std::string error;
    if (!ReadRegistry(reg, error)) return plat::GbkToUtf8(error);
    std::string s = std::to_string(reg.count) + " libraries, use " + std::to_string(reg.use);
    for (int i = 0; i < reg.count; ++i) s += "|" + reg.entries[i].name + "=" + reg.entries[i].path;
    return s;
}

// Names beginning with '.' are temporary files and the desktop's own: nobody's data.
bool Visible(const std::string& path) { return path[0] != '.' && path.find("/.") == std::string::npos; }

// Every file below a folder with its bytes.
std::string Dump(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return "no folder " + folder;
    std::string s;
    for (const auto& [path, bytes] : crash::Snapshot(folder))
        if (Visible(path)) s += path + (bytes ? "=" + *bytes : "/") + "\n";
    return s;
}

// What the restore makes of an archive: the library it gives back.
std::string Restored(const std::string& archive) {
    std::string into = (fs::temp_directory_path() / "korvane-check-XXXXXX").string();
    if (!mkdtemp(into.data())) return "no temporary folder";
    const archiving::Outcome out = archiving::Restore(archive, *plat::FromNative(into) + "\\");
    const std::string s = out.ok ? Dump(into) : "restore refused the archive: " + plat::GbkToUtf8(out.error);
    fs::remove_all(into);
    return s;
}

class CrashStates : public MainWindowTest {
  protected:
    std::function<std::string()> read;  // what the program makes of the files, run in the current folder
    std::function<bool(const std::string&)> visible = Visible;
    crash::Tree before;
    std::vector<crash::Op> trace;
    std::string old, neu;

    // Records `update`, then judges every crash state. A call the recorder missed shows too: replayed without
    // it, the finished update would not read as new.
    void Replay(const std::string& writer, const std::function<void()>& update) {
        old = read();
        before = crash::Snapshot(dir.Native());
        crash::StartRecording(dir.Native());
        update();
        trace = crash::StopRecording();
        neu = read();
        EXPECT_NE(old, neu) << writer << ": the update changed nothing";
        EXPECT_EQ(Report(writer, crash::Explore(before, trace, visible, read, old, neu)).failing, 0)
            << writer;
    }
    crash::Tally Report(const std::string& writer, crash::Tally t) {
        std::printf("crash states of %s: %ld explored (%ld distinct), %ld failing, from %zu calls\n",
                    writer.c_str(), t.explored, t.distinct, t.failing, trace.size());
        for (const std::string& f : t.firstFailures) std::printf("  %s\n", f.c_str());
        return t;
    }
    // Once the registry names one library more, that library is whole in `folder`; before, the folder is
    // whole or not there, unless `halfMade` admits a half-made folder nobody names.
    void ReadRegistered(const std::string& folder, const std::string& whole, bool halfMade = false) {
        const int count = std::stoi(RegistryNow());
        read = [=] {
            const std::string reg = RegistryNow(), now = Dump(folder);
            if (!reg.starts_with(std::to_string(count) + " "))
                return reg + (now == whole ? "" : " but its library is not whole");
            const bool none = halfMade || now.empty() || now == "no folder " + folder;
            return reg + (now == whole || none ? "" : " and a library folder that is not whole");
        };
    }
    // A window over one library whose class K holds card c.
    void Window() {
        mainfx::WriteRegistry(dir, {{"一", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"K", "L"}, {"书"});
        mainfx::MakeStyles(dir, {"a.xsl"});
        dir.WriteFile("lib/K/c.datum.xml", CardBytes({"c", "K", "2003-2-5 9:7", "", Gbk("书"), "k",
                                                      Text(1, 5000), "a.xsl", "x.dtd"}));
        Load();
        OpenCard("c");
        Body()->setPlainText(plat::ToQ(Text(2, 6000)));
    }
};

TEST_F(CrashStates, ACardSavedInPlace) {
    FixedClock clock;
    Window();
    read = [] { return CardAt("lib\\K\\c.datum.xml"); };
    Replay("a card saved in place", [&] { Click(1006); });

    // The replay catches a writer that forgets the folder's fsync after its rename: the save it reported can
    // be undone by a power cut.
    std::vector<crash::Op> unsynced = trace;
    for (size_t i = 1; i < unsynced.size(); ++i)
        if (unsynced[i - 1].kind == crash::Op::Rename && unsynced[i].kind == crash::Op::Fsync)
            unsynced.erase(unsynced.begin() + i);
    ASSERT_LT(unsynced.size(), trace.size());
    EXPECT_GT(Report("the same save without the folder fsync",
                     crash::Explore(before, unsynced, visible, read, old, neu))
                  .failing,
              0);
}

TEST_F(CrashStates, ACardSavedUnderANewNameInAnotherClassWithTheOldFileDeleted) {
    FixedClock clock;
    Window();
    Edit(1009)->setText("d");
    Edit(1008)->setText("lib\\L\\d.datum.xml");
    svc.ExpectBox(mainfx::kRenamed, "选择", mainfx::kYesNo, plat::IDYES);
    // Either name may be there, but the card is never under neither.
    read = [] {
        return plat::PathExists("lib\\L\\d.datum.xml") ? CardAt("lib\\L\\d.datum.xml")
                                                       : CardAt("lib\\K\\c.datum.xml");
    };
    Replay("a card saved under a new name", [&] { Click(1006); });
    EXPECT_FALSE(dir.Exists("lib/K/c.datum.xml"));
}

// "Save mine beside it": the other version stays whole, the copy is there whole or not at all.
TEST_F(CrashStates, ACardSavedBesideAVersionChangedElsewhere) {
    FixedClock clock;
    Window();
    const std::string theirs = CardBytes({"c", "K", "2003-2-5 9:7", "", Gbk("书"), "k", Text(3, 5000), "a.xsl", "x.dtd"});
    dir.WriteFile("lib/K/c.datum.xml", theirs);
    svc.ExpectBox("文件 lib\\K\\c.datum.xml 在载入后已被其他程序修改过。\n选\"覆盖\"用当前资料卡覆盖它；选\"另存为副本\"把当前资料卡"
                  "另存为 lib\\K\\c (我的修改 2003-02-05 09-07).datum.xml，两个版本都保留；选\"取消\"不保存。",
                  "选择", mainfx::kAsk, plat::IDNO);
    const std::string copy = Gbk("lib\\K\\c (我的修改 2003-02-05 09-07).datum.xml");
    read = [&] {
        const std::string other = plat::IsFile("lib\\K\\c.datum.xml") ? CardAt("lib\\K\\c.datum.xml") : "gone";
        return other + "\n" + (plat::PathExists(copy) ? CardAt(copy) : "no copy");
    };
    Replay("a copy saved beside the card", [&] { Click(1006); });
}

// 加入书签 from the window rewrites the bookmark list; the settings file is rewritten when the window closes.
TEST_F(CrashStates, TheBookmarkListAndTheSettingsFile) {
    Window();
    std::vector<std::pair<std::string, std::string>> links;
    for (int i = 0; i < 60; ++i) links.push_back({"一个相当长的书签标题 " + std::to_string(i), "lib/K/x" + std::to_string(i)});
    dir.WriteFile("lib/_ _SETS_ _/bookmark.list", mangfx::LinkList("t", links));
    const std::string list = Gbk("lib\\_ _SETS_ _\\bookmark.list");
    read = [&] {
        CIndexBookmarkMang m(plat::AsciiLower(dir.Internal() + "\\lib\\"), nullptr);
        m.m_strListPath = list;
        if (!m.LoadList()) return "no list: " + plat::GbkToUtf8(m.m_strError);
        return std::to_string(m.Count()) + " links";
    };
    svc.ExpectBox("当前文件已经成功加入到书签中了!!", "INFOMATION", plat::MB_OK | plat::MB_ICONINFORMATION);
    Replay("a bookmark added", [&] { Click(1007); });

    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Native() + "/config"));
    fs::create_directories(dir.Native() + "/config/korvane");
    dir.WriteFile("config/korvane/korvane.ini", "[w]\ngeometry=@Rect(10 20 300 200)\nsplit=3\n");
    visible = [](const std::string& p) { return p.starts_with("config/") && p.find("/.") == std::string::npos; };
    read = [] {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((fs::current_path() / "config").string()));
        const ui::WindowSettings kept;
        QWidget w;
        return kept.Restore(&w, "w") ? std::to_string(w.x()) + " " + std::to_string(kept.Number("w/split", -1))
                                     : std::string("no place");
    };
    Replay("the settings file rewritten", [&] {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Native() + "/config"));
        ui::WindowSettings kept;
        kept.SetNumber("w/split", 9);
        kept.Save();
    });
    qputenv("XDG_CONFIG_HOME", saved);
}

// The source manager's OK from the window, as the user adds a source; `--render` replacing its earlier page.
TEST_F(CrashStates, TheSourceManagersOkAndARenderedPage) {
    Window();
    const std::string list = Gbk("lib\\_ _SETS_ _\\source.list");
    read = [&] { return ListAt(list); };
    Replay("the source list rewritten by the manager's OK", [&] {
        mangfx::WhenModal([](CDialog& m) {
            mangfx::Type(m, 1021, "新来源");
            mangfx::Click(m, 3);
            mangfx::Click(m, 1);
        });
        Click(1014);
    });

    dir.WriteFile("xmlstyle/datumstyle/a.xsl",
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                  "<xsl:template match=\"/\"><html><body><xsl:value-of select=\"datum/content\"/></body></html>"
                  "</xsl:template></xsl:stylesheet>");
    const QStringList args{QString::fromStdString(dir.Native() + "/lib/K/c.datum.xml"),
                           QString::fromStdString(dir.Native() + "/page.html")};
    ASSERT_EQ(cli::RunRender(args), 0);
    dir.WriteFile("lib/K/c.datum.xml", CardBytes({"c", "K", "2003-2-5 9:7", "", Gbk("书"), "k", Text(4, 5000),
                                                  "../../xmlstyle/datumstyle/a.xsl", "x.dtd"}));
    read = [] {
        std::ifstream in("page.html", std::ios::binary);
        std::stringstream page;
        page << in.rdbuf();
        return page.str().find("</html>") == std::string::npos ? std::string("no whole page") : page.str();
    };
    Replay("a page rendered over the one it wrote before", [&] { EXPECT_EQ(cli::RunRender(args), 0); });
}

TEST_F(CrashStates, TheClassListAndTheRegistryRewritten) {
    std::vector<std::string> classes;
    std::vector<mainfx::Lib> libs;
    for (int i = 0; i < 90; ++i)
        classes.push_back("一个名字相当长的类别，好让类别列表超过几个磁盘块 " + std::to_string(i));
    for (int i = 0; i < 45; ++i)
        libs.push_back({"一个名字相当长的资料库 " + std::to_string(i), "lib" + std::to_string(i)});
    mainfx::MakeLibrary(dir, "lib", classes, {"书"});
    mainfx::WriteRegistry(dir, libs, 0);
    const std::string list = Gbk("lib\\_ _SETS_ _\\class.list");
    read = [&] { return ListAt(list); };
    Replay("the class list rewritten", [&] {
        CListFile file;
        ASSERT_EQ(file.Load(list), 1);
        file.Put("count", "89");
        file.Put("name3", Gbk("改过的类别"));
        EXPECT_EQ(file.Save(), 1);
    });
    read = RegistryNow;
    Replay("the registry rewritten", [] {
        LibraryRegistry reg;
        std::string error;
        ASSERT_TRUE(ReadRegistry(reg, error));
        reg.use = 7;
        reg.entries[reg.count++] = {Gbk("新的资料库"), "new"};
        EXPECT_TRUE(WriteRegistry(reg, error));
    });
}

TEST_F(CrashStates, ABackupReplacingAnOlderArchive) {
    mainfx::MakeLibrary(dir, "lib", {"K"}, {"书"});
    for (int i = 0; i < 3; ++i)
        dir.WriteFile("lib/K/c" + std::to_string(i) + ".datum.xml", Text(10 + i, 6000));
    ASSERT_TRUE(archiving::Backup("lib\\", "b.zip").ok);
    dir.WriteFile("lib/K/c1.datum.xml", Text(20, 7000));
    read = [] { return Restored("b.zip"); };
    Replay("a backup archive written", [] { EXPECT_TRUE(archiving::Backup("lib\\", "b.zip").ok); });
}

TEST_F(CrashStates, RestoresIntoPlaceAndTheirRegistration) {
    mainfx::WriteRegistry(dir, {{"一", "lib"}}, 0);
    mainfx::MakeLibrary(dir, "lib", {"K", "K\\J"}, {"书"});
    dir.WriteFile("lib/K/J/c.datum.xml", Text(30, 6000));
    ASSERT_TRUE(archiving::Backup("lib\\", "b.zip").ok);
    dir.WriteFile("s/.directory", "a file the desktop keeps in a folder");  // a target that counts as empty
    for (const std::string target : {"r", "s"}) {
        ReadRegistered(target, Dump("lib"));
        const QStringList args{QString::fromStdString(dir.Native() + "/b.zip"),
                               QString::fromStdString(dir.Native() + "/" + target)};
        Replay("a restore into " + target + " registered", [&] { EXPECT_EQ(cli::RunRestore(args), 0); });
    }
}

TEST_F(CrashStates, ANewLibraryMadeAndRegistered) {
    dir.CopyShippedData();
    // The template is copied in place, as it always was: a crash during the copy leaves a half-made folder
    // that the library manager refuses as not empty. But the registry never names it before it is whole.
    ReadRegistered("new", Dump("set/null.daum"), true);
    svc.ExpectBox("目录 new\\ 不存在,现在创建它吗?", "QUESTION", 0x24, plat::IDYES);
    Replay("a new library made and registered", [] {
        mangfx::Opened<CDatumLibMang> m;
        m.Init();
        mangfx::WhenModal([](CDialog& form) {
            mangfx::Type(form, 1021, "新库");
            mangfx::Type(form, 1022, "new\\");
            mangfx::Click(form, 1);
        });
        mangfx::Click(m, 3);
        mangfx::Click(m, 1);
    });
}

TEST_F(CrashStates, TheUsersProgramDirectoryMadeFromTheShippedOne) {
    dir.MakeDir("data");
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.Native() + "/data"));
    visible = [](const std::string& p) { return p == "data/korvane" || p.starts_with("data/korvane/"); };
    read = [] { return Dump("data/korvane"); };
    Replay("the program directory made", [&] {
        progdir::Enter();
        fs::current_path(dir.Native());
    });
    qputenv("XDG_DATA_HOME", saved);
}

}  // namespace
