// The window over a library that another program changes: a shell in a process of its own writes, renames
// and removes files while the window runs.
#pragma once

#include <QProcess>

#include "app/library_tree.h"
#include "app/main_fixture.h"

namespace livefx {

inline std::string Card(const std::string& title, const std::string& body) { return mainfx::CardText(title, "A", body); }

}  // namespace livefx

class LiveTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::WriteRegistry(dir, {{"一号", "lib"}}, 0);
        mainfx::MakeLibrary(dir, "lib", {"A", "B", "B\\Sub"}, {});
        mainfx::MakeStyles(dir, {"s.xsl"});
        for (const char* c : {"A/a1", "A/a2", "A/a3", "B/b1", "B/Sub/s1"}) {
            const std::string rel = c;
            dir.WriteFile("lib/" + rel + ".datum.xml", livefx::Card(rel.substr(rel.rfind('/') + 1), "正文"));
        }
        Load();
    }
    // Another program: a shell in the program directory, run to its end.
    void Shell(const std::string& script) {
        QProcess sh;
        sh.setWorkingDirectory(QString::fromStdString(dir.Native()));
        sh.start("sh", {"-c", QString::fromStdString(script)});
        ASSERT_TRUE(sh.waitForFinished(60000)) << script;
        ASSERT_EQ(sh.exitCode(), 0) << script << sh.readAllStandardError().toStdString();
    }
    // The tree a fresh scan of the disk gives.
    static std::string OnDisk() {
        QTreeWidget view;
        LibraryTree tree(&view);
        std::string error;
        tree.Scan("lib\\", error);
        return mainfx::Dump(&view);
    }
    // The window takes what the watch saw until its tree is the disk's and nothing waits; false after 20 s.
    bool Settled() {
        return QTest::qWaitFor([&] { return !dlg->DiskChangesPending() && mainfx::Dump(Tree()) == OnDisk(); },
                               20000);
    }
    bool Saw(const std::string& stripText) {
        return QTest::qWaitFor(
            [&] { return std::find(progress.begin(), progress.end(), stripText) != progress.end(); }, 20000);
    }
};
