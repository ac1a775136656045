// A main window over a temporary program directory, and helpers to build such directories: the
// registry, libraries with their class and source lists, cards and stylesheets. Texts are given in UTF-8
// and written as GBK with CR LF, as the program's own files are.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/main_dlg.h"
#include "managers/mang_fixture.h"
#include "platform/codec.h"
#include "support/cards.h"
#include "support/scripted_services.h"
#include "support/temp_dir.h"
#include "ui/show_msg_dlg.h"

namespace mainfx {

using Lines = std::vector<std::string>;

constexpr unsigned kAsk = plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION, kYesNo = plat::MB_YESNO | plat::MB_ICONQUESTION,
                   kError = plat::MB_OK | plat::MB_ICONERROR;
inline constexpr char kUnsaved[] = "当前资料卡的修改还没有保存。\n你要先保存它吗? (选\"否\"放弃这些修改)";
inline constexpr char kRenamed[] = "你已经改变了存储的文件名，该资料卡已经保存为新的文件;\n                 你要删除以前的文件码?";

using mangfx::ListText;

// A card's bytes from UTF-8 fields; the fields tests seldom look at are fixed.
inline std::string CardText(const std::string& title, const std::string& klass, const std::string& body,
                            const std::string& source = "") {
    return CardBytes({plat::Gbk(title), plat::Gbk(klass), "2001-1-1 1:1", "", plat::Gbk(source), "k",
                      plat::Gbk(body), "s.xsl", "x.dtd"});
}

struct Lib {
    std::string name;  // UTF-8
    std::string path;  // as stored in the registry (internal form, UTF-8), no final '\'
};

// set\datumlib.lst with `count` (default: the number of libraries), `use`, and all 50 slot lines.
inline void WriteRegistry(const TempProgramDir& d, const std::vector<Lib>& libs, int use, int count = -1) {
    Lines l{"# library registry", "count=" + std::to_string(count < 0 ? static_cast<int>(libs.size()) : count),
            "use=" + std::to_string(use)};
    for (size_t i = 0; i < std::max<size_t>(50, libs.size()); ++i) {
        l.push_back("name" + std::to_string(i) + "=" + (i < libs.size() ? libs[i].name : ""));
        l.push_back("path" + std::to_string(i) + "=" + (i < libs.size() ? libs[i].path : ""));
    }
    d.WriteFile("set/datumlib.lst", ListText(l));
}

// The class list of the library at native relative folder `rel`; paths are `root` + name + "\".
inline void WriteClassList(const TempProgramDir& d, const std::string& rel, const std::string& root,
                           const Lines& classes, int count = -1) {
    Lines l{"count=" + std::to_string(count < 0 ? static_cast<int>(classes.size()) : count)};
    for (size_t i = 0; i < classes.size(); ++i) {
        l.push_back("name" + std::to_string(i) + "=" + classes[i]);
        l.push_back("path" + std::to_string(i) + "=" + root + classes[i] + "\\");
    }
    d.WriteFile(rel + "/_ _SETS_ _/class.list", ListText(l));
}

// A library folder with its settings: the class list names `classes` (folders are created for them, '\' in a
// name nests), the source list `sources`, and the view page.
inline void MakeLibrary(const TempProgramDir& d, const std::string& rel, const Lines& classes, const Lines& sources) {
    d.MakeDir(rel);
    auto swapped = [](std::string s, char from, char to) { return std::replace(s.begin(), s.end(), from, to), s; };
    WriteClassList(d, rel, swapped(rel, '/', '\\') + "\\", classes);
    Lines l{"count=" + std::to_string(sources.size())};
    for (size_t i = 0; i < sources.size(); ++i) l.push_back("name" + std::to_string(i) + "=" + sources[i]);
    d.WriteFile(rel + "/_ _SETS_ _/source.list", ListText(l));
    d.WriteFile(rel + "/_ _VIEW_ _/ViewDatum.html", "<html></html>\r\n");
    for (const auto& c : classes) d.MakeDir(rel + "/" + swapped(c, '\\', '/'));
}

// An empty card file (the scan looks only at names).
inline void MakeCard(const TempProgramDir& d, const std::string& relFile) { d.WriteFile(relFile, ""); }

inline void MakeStyles(const TempProgramDir& d, const Lines& files) {
    d.MakeDir("xmlstyle/datumstyle");
    for (const auto& f : files) d.WriteFile("xmlstyle/datumstyle/" + f, "<xsl/>\r\n");
}

// A small but complete program directory: library "lib" (registered as 资料一) with classes and cards,
// a second library "lib2", two stylesheets.
inline void MakeStandardProgramDir(const TempProgramDir& d) {
    WriteRegistry(d, {{"资料一", "lib"}, {"资料二", "lib2"}}, 0);
    MakeLibrary(d, "lib", {"历史", "Zoo", "art", "历史\\近代"}, {"报纸", "Book", "杂志"});
    MakeCard(d, "lib/历史/甲午.datum.xml");
    MakeCard(d, "lib/历史/近代/辛亥.datum.xml");
    MakeCard(d, "lib/art/Monet.datum.xml");
    MakeCard(d, "lib/Root card.datum.xml");
    MakeLibrary(d, "lib2", {"Other"}, {"Elsewhere"});
    MakeCard(d, "lib2/Other/x.datum.xml");
    MakeStyles(d, {"simple.xsl", "report.xsl"});
}

// The tree as text: labels in order, children in braces: "art{Monet},Root card,Zoo,历史{甲午,近代{辛亥}}".
inline std::string Dump(const QTreeWidget* tree, const QTreeWidgetItem* parent = nullptr) {
    std::string out;
    for (int i = 0; i < (parent ? parent->childCount() : tree->topLevelItemCount()); ++i) {
        const QTreeWidgetItem* item = parent ? parent->child(i) : tree->topLevelItem(i);
        out += (i ? "," : "") + item->text(0).toStdString();
        if (item->childCount()) out += "{" + Dump(tree, item) + "}";
    }
    return out;
}

inline std::vector<std::string> ComboTexts(const QComboBox* cb) {
    std::vector<std::string> out;
    for (int i = 0; i < cb->count(); ++i) out.push_back(cb->itemText(i).toStdString());
    return out;
}

inline std::string U(const QString& s) { return s.toStdString(); }

}  // namespace mainfx

// A main window over its own program directory, with scripted answers, driven and watched as the user does:
// controls by their IDs, the tree's selection, the progress strip. Open() builds and initialises it; Load()
// also runs the start-up load sequence.
class MainWindowTest : public ::testing::Test {
protected:
    TempProgramDir dir;
    ScriptedServices svc;
    std::unique_ptr<CMainDlg> dlg;
    std::vector<std::string> progress;  // every strip text the window set, in UTF-8

    CMainDlg& Open() {
        dlg.reset();  // one window at a time, as the program has
        dlg = std::make_unique<CMainDlg>();
        QObject::connect(Strip(), &CShowMsgDlg::MessageSet,
                         [this](const std::string& t) { progress.push_back(plat::GbkToUtf8(t)); });
        dlg->Initialise();
        return *dlg;
    }
    CMainDlg& Load() {
        Open();
        dlg->RunStartupLoad();
        return *dlg;
    }
    void Click(int id) { dlg->ItemAs<QPushButton>(id)->click(); }
    QLineEdit* Edit(int id) { return dlg->ItemAs<QLineEdit>(id); }
    QComboBox* Combo(int id) { return dlg->ItemAs<QComboBox>(id); }
    CBodyEdit* Body() { return dlg->ItemAs<CBodyEdit>(1018); }
    QTreeWidget* Tree() { return dlg->ItemAs<QTreeWidget>(1005); }
    CShowMsgDlg* Strip() { return dlg->findChild<CShowMsgDlg*>(); }
    // The first item with this label (UTF-8) in the tree's order, or none.
    QTreeWidgetItem* Item(const std::string& utf8Label) {
        return Tree()->findItems(QString::fromStdString(utf8Label), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    // The tree's current item as its labels from the top, "K\a" (UTF-8); "" when none.
    std::string Current() {
        std::string path;
        for (QTreeWidgetItem* i = Tree()->currentItem(); i; i = i->parent())
            path = i->text(0).toStdString() + (path.empty() ? "" : "\\" + path);
        return path;
    }
    // A double-click on the item, as the user opens a card.
    void OpenCard(const std::string& utf8Label) {
        QTreeWidgetItem* item = Item(utf8Label);
        ASSERT_NE(item, nullptr) << utf8Label;
        Tree()->setCurrentItem(item);
        emit Tree()->itemDoubleClicked(item, 0);
    }
    // The same over a form with unsaved edits, discarding them.
    void OpenDiscarding(const std::string& utf8Label) {
        svc.ExpectBox(mainfx::kUnsaved, "选择", mainfx::kAsk, plat::IDNO);
        OpenCard(utf8Label);
    }
    void PickLibrary(int i) {  // as the user picks it in the box
        Combo(1000)->setCurrentIndex(i);
        emit Combo(1000)->activated(i);
    }
    void Leave(QWidget* field) {  // focus moves on, as after Tab
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(field, &out);
    }
    bool OnDisk(const std::string& rel, const std::string& utf8) {
        return dir.ReadFile(rel).find(plat::Gbk(utf8)) != std::string::npos;
    }

    // Expects the failure procedure: the strip hidden with `failureText` when the "ERROR" box `boxText`
    // comes up, one 1000 ms wait before it.
    void ExpectFailure(const std::string& failureText, const std::string& boxText) {
        svc.ExpectBox(boxText, "ERROR", 0x10);
        svc.onBox = [this, failureText](const ShownBox&) {
            ASSERT_TRUE(dlg && Strip());
            EXPECT_FALSE(Strip()->isVisible()) << "the strip must be hidden before the box";
            EXPECT_EQ(plat::GbkToUtf8(Strip()->Message()), failureText);
            EXPECT_EQ(svc.sleeps, std::vector<int>{1000});
        };
    }
};
