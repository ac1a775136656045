// The tree's deletes and their take-back, recorded call by call and replayed into every crash state a power
// cut could leave (see crash_replay.h): a card, or a class with its cards, is in the library or in the trash
// with its record, never in neither place and never in the trash without one.
#include <QAction>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/card_move.h"
#include "app/main_fixture.h"
#include "crash/crash_replay.h"
#include "platform/path.h"

namespace fs = std::filesystem;
using plat::Gbk;

namespace {

// Where the card is, as the program and the file manager would find it, read in the current folder.
std::string CardNow(const std::string& rel) {
    plat::LineReader reader;
    XmlRecordSet x;
    if (!reader.Open(*plat::FromNative(rel)) || !x.ReadCard(reader) || reader.Failed() || !x.bodyWhole)
        return "no whole card at " + rel;
    return x.card.title + "|" + x.card.content;
}

// "library: card", "trash: card", or what is wrong. `inside` is the card below a trashed folder ("" for a card).
std::string Place(const std::string& rel, const std::string& original, const std::string& inside) {
    std::error_code ec;
    if (fs::exists(rel, ec)) return "library: " + CardNow(rel + inside);
    for (const auto& e : fs::directory_iterator("xdg/Trash/info", ec)) {
        std::ifstream in(e.path());
        std::string head, path;
        std::getline(in, head);
        std::getline(in, path);
        const std::string name = e.path().filename().string();
        const std::string file = "xdg/Trash/files/" + name.substr(0, name.size() - 10);
        if (head == "[Trash Info]" && path == "Path=" + original && fs::exists(file, ec))
            return "trash: " + CardNow(file + inside);
    }
    for (const auto& e : fs::directory_iterator("xdg/Trash/files", ec))
        return "in the trash without its record: " + e.path().string();
    return "in neither place";
}

class TrashCrashStates : public MainWindowTest {
protected:
    std::string saved = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";

    void SetUp() override {
        setenv("XDG_DATA_HOME", (dir.Native() + "/xdg").c_str(), 1);
        dir.MakeDir("xdg/Trash/files");
        dir.MakeDir("xdg/Trash/info");
        mainfx::WriteRegistry(dir, {{"一", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"K", "L"}, {"书"});
        mainfx::MakeStyles(dir, {"a.xsl"});
        dir.WriteFile("lib/K/c.datum.xml",
                      CardBytes({"c", "K", "2003-2-5 9:7", "", Gbk("书"), "k", std::string(9000, 'x'), "a.xsl", "x.dtd"}));
        Load();
    }
    void TearDown() override {
        dlg.reset();
        if (saved.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", saved.c_str(), 1);
    }
    void Trigger(const char* row, const char* action) {
        Tree()->setCurrentItem(Item(row));
        dlg->findChild<QAction*>(action)->trigger();
    }
    void Replay(const std::string& writer, const std::function<std::string()>& read,
                const std::function<void()>& update) {
        const std::string old = read();
        const crash::Tree before = crash::Snapshot(dir.Native());
        crash::StartRecording(dir.Native());
        update();
        const std::vector<crash::Op> trace = crash::StopRecording();
        const std::string neu = read();
        EXPECT_NE(old, neu) << writer << ": the update changed nothing";
        auto visible = [](const std::string& path) { return path.find("/.korvane-") == std::string::npos; };
        const crash::Tally t = crash::Explore(before, trace, visible, read, old, neu);
        std::printf("crash states of %s: %ld explored (%ld distinct), %ld failing, from %zu calls\n",
                    writer.c_str(), t.explored, t.distinct, t.failing, trace.size());
        for (const std::string& f : t.firstFailures) std::printf("  %s\n", f.c_str());
        EXPECT_EQ(t.failing, 0) << writer;
    }
};

TEST_F(TrashCrashStates, ACardAndAClassDeletedToTheTrashAndTakenBack) {
    struct Case {
        const char* row;
        std::string rel, inside, question;
    } const cases[] = {
        {"c", "lib/K/c.datum.xml", "", "资料卡“c”"},
        {"K", "lib/K", "/c.datum.xml", "类别“K”和其中的 1 则资料卡"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const std::string original = dir.Native() + "/" + c.rel;
        auto read = [&] { return Place(c.rel, original, c.inside); };
        svc.ExpectBox("你要把" + c.question + "移到回收站吗？\n需要时可以撤销删除（Ctrl+Z），或从回收站恢复。", "选择",
                      mainfx::kYesNo, plat::IDYES);
        Replay(std::string("a delete of ") + c.row, read, [&] { Trigger(c.row, "delete"); });
        EXPECT_TRUE(read().starts_with("trash: c|")) << read();
        Replay(std::string("a delete of ") + c.row + " taken back", read, [&] { Trigger("L", "undo"); });
        EXPECT_TRUE(read().starts_with("library: c|")) << read();
    }
}

// A rename rewrites the card in place, then renames it: whole under one of the two names, never both or none.
TEST_F(TrashCrashStates, ACardRenamedAndTheRenameTakenBack) {
    auto read = [] {
        std::error_code ec;
        const bool a = fs::exists("lib/K/c.datum.xml", ec), b = fs::exists("lib/K/新.datum.xml", ec);
        if (a == b) return std::string(a ? "two copies" : "in neither place");
        // Rewritten but not yet renamed, the card is whole under its old name with its new title: it counts
        // by where it is.
        const std::string card = CardNow(a ? "lib/K/c.datum.xml" : "lib/K/新.datum.xml");
        return (a ? "at c: " : "at 新: ") + card.substr(card.find('|') + 1);
    };
    std::string error;
    Replay("a rename", read, [&] {
        EXPECT_TRUE(RelocateCard("lib\\K\\c.datum.xml", Gbk("lib\\K\\新.datum.xml"),
                                 [](DatumCard& c) { c.title = Gbk("新"); }, error));
    });
    Replay("a rename taken back", read, [&] {
        EXPECT_TRUE(RelocateCard(Gbk("lib\\K\\新.datum.xml"), "lib\\K\\c.datum.xml",
                                 [](DatumCard& c) { c.title = "c"; }, error));
    });
}

}  // namespace
