#include "support/scripted_services.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/codec.h"

namespace {
std::string Show(const std::optional<std::string>& gbk) {
    return gbk ? "\"" + plat::GbkToUtf8(*gbk) + "\"" : std::string("(application title)");
}

// The next queued answer; a dialog nobody queued fails the test and is cancelled.
std::string Next(std::deque<std::string>& queue, const char* what) {
    if (queue.empty()) {
        ADD_FAILURE() << "unexpected " << what;
        return {};
    }
    std::string r = queue.front();
    queue.pop_front();
    return r;
}
}  // namespace

ScriptedServices::ScriptedServices() { previous_ = plat::SetServices(this); }

ScriptedServices::~ScriptedServices() {
    VerifyAllUsed();
    plat::SetServices(previous_);
}

void ScriptedServices::ExpectBox(const std::string& utf8Text, const std::optional<std::string>& utf8Caption,
                                 unsigned flags, int answer) {
    expected_.push_back({plat::Gbk(utf8Text), utf8Caption ? std::optional(plat::Gbk(*utf8Caption)) : std::nullopt, flags, answer});
}

void ScriptedServices::QueueFileName(const std::string& utf8Path) { fileNames_.push_back(plat::Gbk(utf8Path)); }
void ScriptedServices::QueueFolder(const std::string& utf8Path) { folders_.push_back(plat::Gbk(utf8Path)); }

int ScriptedServices::MessageBox(QWidget*, const std::string& text, const std::optional<std::string>& caption,
                                 unsigned flags) {
    boxes.push_back({text, caption, flags, std::exchange(answers_, {})});
    if (onBox) onBox(boxes.back());
    if (expected_.empty()) {
        ADD_FAILURE() << "unexpected message box: \"" << plat::GbkToUtf8(text) << "\" caption " << Show(caption);
        return (flags & plat::MB_YESNO) ? plat::IDNO : plat::IDOK;
    }
    Expected e = expected_.front();
    expected_.pop_front();
    EXPECT_EQ(plat::GbkToUtf8(text), plat::GbkToUtf8(e.text)) << "message box text";
    EXPECT_EQ(text, e.text) << "message box bytes";
    EXPECT_EQ(Show(caption), Show(e.caption)) << "message box caption";
    EXPECT_EQ(flags, e.flags) << "message box flags for \"" << plat::GbkToUtf8(text) << "\"";
    return e.answer;
}

int ScriptedServices::ChoiceBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                                unsigned flags, const std::vector<std::string>& answers) {
    answers_ = answers;
    return MessageBox(parent, text, caption, flags);
}

std::string ScriptedServices::AskFileName(QWidget*, bool open, const std::string& defaultExt,
                                          const std::string& initialName, const std::string& filter) {
    fileDialogs.push_back({open, defaultExt, initialName, filter});
    return Next(fileNames_, "file dialog");
}

std::string ScriptedServices::BrowseForFolder(QWidget*, const std::string& title) {
    folderBrowses.push_back(title);
    return Next(folders_, "folder browser");
}

bool ScriptedServices::ShellOpen(const std::string& path, bool maximised) {
    shellOpens.push_back({path, maximised});
    return shellOpenWorks;
}

void ScriptedServices::Sleep(int ms) { sleeps.push_back(ms); }

void ScriptedServices::VerifyAllUsed() {
    for (const auto& e : expected_) ADD_FAILURE() << "expected message box never shown: \"" << plat::GbkToUtf8(e.text) << "\"";
    for (const auto& f : fileNames_) ADD_FAILURE() << "queued file name never asked for: " << plat::GbkToUtf8(f);
    for (const auto& f : folders_) ADD_FAILURE() << "queued folder never asked for: " << plat::GbkToUtf8(f);
    expected_.clear();
    fileNames_.clear();
    folders_.clear();
}
