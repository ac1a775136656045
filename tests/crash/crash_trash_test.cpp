// The tree's deletes and renames and their take-backs, recorded call by call and replayed into every crash
// state a power cut could leave (see crash_replay.h): a card, or a class with its cards, is in the library or
// in the trash with its record; a renamed card is whole under one of its two names.
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

// A card's title and body as the program reads them in the current folder (the title only for `titled`).
std::string CardNow(const std::string& rel, bool titled = true) {
    plat::LineReader reader;
    XmlRecordSet x;
    if (!reader.Open(*plat::FromNative(rel)) || !x.ReadCard(reader) || reader.Failed() || !x.bodyWhole)
        return "no whole card at " + rel;
    return (titled ? x.card.title + "|" : "") + x.card.content;
}

// "library: card" or "trash: card" (found by its record's Path line); `inside` is the card below a folder.
std::string Place(const std::string& rel, const std::string& original, const std::string& inside) {
    std::error_code ec;
    if (fs::exists(rel, ec)) return "library: " + CardNow(rel + inside);
    for (const auto& e : fs::directory_iterator("xdg/Trash/info", ec)) {
        std::ifstream in(e.path());
        std::string head, path;
        std::getline(in, head);
        std::getline(in, path);
        const std::string file = "xdg/Trash/files/" + e.path().stem().string();
        if (head == "[Trash Info]" && path == "Path=" + original && fs::exists(file, ec))
            return "trash: " + CardNow(file + inside);
    }
    return "in neither place, or in the trash without its record";
}

class TrashCrashStates : public MainWindowTest {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", (dir.Native() + "/xdg").c_str(), 1);  // the run's own is put back after
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
        EXPECT_NE(old, read()) << writer << ": the update changed nothing";
        auto visible = [](const std::string& path) { return path.find("/.korvane-") == std::string::npos; };
        const crash::Tally t = crash::Explore(before, trace, visible, read, old, read());
        std::printf("crash states of %s: %ld explored (%ld distinct), %ld failing, from %zu calls\n",
                    writer.c_str(), t.explored, t.distinct, t.failing, trace.size());
        for (const std::string& f : t.firstFailures) std::printf("  %s\n", f.c_str());
        EXPECT_EQ(t.failing, 0) << writer;
    }
    std::string saved = std::getenv("XDG_DATA_HOME");
};

TEST_F(TrashCrashStates, ACardAndAClassDeletedToTheTrashAndTakenBack) {
    const std::pair<const char*, std::string> cases[] = {{"c", ""}, {"K", "/c.datum.xml"}};
    for (const auto& [row, inside] : cases) {
        const std::string rel = inside.empty() ? "lib/K/c.datum.xml" : "lib/K", original = dir.Native() + "/" + rel;
        auto read = [&] { return Place(rel, original, inside); };
        svc.ExpectBox(std::string("你要把") + (inside.empty() ? "资料卡“c”" : "类别“K”和其中的 1 则资料卡") +
                          "移到回收站吗？\n需要时可以撤销删除（Ctrl+Z），或从回收站恢复。",
                      "选择", mainfx::kYesNo, plat::IDYES);
        Replay(std::string("a delete of ") + row, read, [&] { Trigger(row, "delete"); });
        EXPECT_TRUE(read().starts_with("trash: c|")) << read();
        Replay(std::string("a delete of ") + row + " taken back", read, [&] { Trigger("L", "undo"); });
    }
}

// Rewritten but not yet renamed, the card is whole under its old name with its new title: it counts by place.
TEST_F(TrashCrashStates, ACardRenamedAndTheRenameTakenBack) {
    auto read = [] {
        std::error_code ec;
        const bool a = fs::exists("lib/K/c.datum.xml", ec), b = fs::exists("lib/K/新.datum.xml", ec);
        if (a == b) return std::string(a ? "two copies" : "in neither place");
        return (a ? "at c: " : "at 新: ") + CardNow(a ? "lib/K/c.datum.xml" : "lib/K/新.datum.xml", false);
    };
    std::string error;
    const std::string names[] = {"lib\\K\\c.datum.xml", Gbk("lib\\K\\新.datum.xml")};
    for (int i = 0; i < 2; ++i)
        Replay(i ? "a rename taken back" : "a rename", read, [&] {
            EXPECT_TRUE(RelocateCard(names[i], names[1 - i], [&](DatumCard& c) { c.title = i ? "c" : Gbk("新"); }, error));
        });
}

}  // namespace
