// The services seam for tests: every message box is checked against a queue of expected boxes (text,
// caption, flags) and answered from it; file and folder dialogs answer from queues; shell opens and
// sleeps are recorded. A box nobody expected, or an expectation left unused at the end, fails the test.
// Texts are given in UTF-8 and compared as the GBK bytes the program uses.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"

struct ShownBox {
    std::string text;                    // GBK
    std::optional<std::string> caption;  // GBK; nullopt = application title
    unsigned flags;
    std::vector<std::string> answers;    // GBK; the buttons' own texts where the box names its answers
};

class ScriptedServices : public plat::Services {
public:
    ScriptedServices();   // installs itself
    ~ScriptedServices() override;  // restores the previous one and checks nothing is left unused

    // Expect a box with exactly this text, caption (nullopt: the application title) and flags; answer it.
    void ExpectBox(const std::string& utf8Text, const std::optional<std::string>& utf8Caption, unsigned flags,
                   int answer = plat::IDOK);
    // Answers for AskFileName / BrowseForFolder, in order; "" means the user cancelled. Internal paths (UTF-8
    // here, converted to GBK).
    void QueueFileName(const std::string& utf8Path);
    void QueueFolder(const std::string& utf8Path);

    std::vector<ShownBox> boxes;  // every box shown, in order
    struct FileDialogCall {
        bool open;
        std::string defaultExt, initialName, filter;  // GBK
    };
    std::vector<FileDialogCall> fileDialogs;
    std::vector<std::string> folderBrowses;  // titles, GBK
    struct ShellCall {
        std::string path;  // GBK
        bool maximised;
    };
    std::vector<ShellCall> shellOpens;
    std::vector<std::string> shownInFolder;  // paths, GBK
    std::vector<int> sleeps;
    // Called just before each box is answered (for example to inspect the window while it is up).
    std::function<void(const ShownBox&)> onBox;

    int MessageBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                   unsigned flags) override;
    // Checked and answered like MessageBox; the answers' texts are recorded with the box.
    int ChoiceBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                  unsigned flags, const std::vector<std::string>& answers) override;
    std::string AskFileName(QWidget* parent, bool open, const std::string& defaultExt,
                            const std::string& initialName, const std::string& filter) override;
    std::string BrowseForFolder(QWidget* parent, const std::string& title) override;
    bool ShellOpen(const std::string& path, bool maximised) override;
    bool shellOpenWorks = true;  // what ShellOpen answers
    void ShowInFolder(const std::string& path) override { shownInFolder.push_back(path); }
    void Sleep(int ms) override;

    // Fails the test for anything still queued, then forgets it.
    void VerifyAllUsed();

private:
    std::vector<std::string> answers_;  // of the ChoiceBox being shown
    struct Expected {
        std::string text;
        std::optional<std::string> caption;
        unsigned flags;
        int answer;
    };
    std::deque<Expected> expected_;
    std::deque<std::string> fileNames_;
    std::deque<std::string> folders_;
    plat::Services* previous_;
};
