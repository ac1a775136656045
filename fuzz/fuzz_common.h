// Quiet services for fuzzing: the readers may show "XML ERROR" boxes; count them instead.
#pragma once

#include "platform/services.h"

class QuietServices : public plat::Services {
public:
    int MessageBox(QWidget*, const std::string&, const std::optional<std::string>&, unsigned) override {
        ++boxes;
        return plat::IDOK;
    }
    std::string AskFileName(QWidget*, bool, const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    std::string BrowseForFolder(QWidget*, const std::string&) override { return {}; }
    bool ShellOpen(const std::string&, bool) override { return true; }
    void Sleep(int) override {}
    long boxes = 0;
};

inline QuietServices& InstallQuietServices() {
    static QuietServices s;
    plat::SetServices(&s);
    return s;
}
