#include "platform/services.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/codec.h"
#include "platform/path.h"

namespace plat {

namespace {

// Until the program installs its own: boxes go to stderr and take their default answer, dialogs are
// cancelled, the desktop is not touched.
class SilentServices : public Services {
public:
    int MessageBox(QWidget*, const std::string& text, const std::optional<std::string>& caption,
                   unsigned flags) override {
        std::string shown = caption ? GbkToUtf8(*caption) + ": " : std::string();
        shown += GbkToUtf8(text);
        std::fprintf(stderr, "%s\n", shown.c_str());
        return (flags & 0x0F) == MB_YESNO ? IDNO : IDOK;
    }
    std::string AskFileName(QWidget*, bool, const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    std::string BrowseForFolder(QWidget*, const std::string&) override { return {}; }
    bool ShellOpen(const std::string&, bool) override { return false; }
    void Sleep(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

SilentServices gSilent;
std::atomic<Services*> gInstalled{nullptr};

}  // namespace

int Services::UnicodeMessageBox(QWidget* parent, const QString& text,
                                const std::optional<std::string>& caption, unsigned flags) {
    return MessageBox(parent, Utf8ToGbk(text.toStdString()), caption, flags);
}

void Services::ShowInFolder(const std::string& path) {
    const std::string_view name = LastComponent(path);
    ShellOpen(path.substr(0, path.size() - name.size()), false);
}

std::string NotOpenedText(const std::string& path) {
    // As a file manager or a shell names it, for opening by hand.
    return Gbk("无法启动浏览器，请手动打开文件 ") + Utf8ToGbk(ToNative(path));
}

int Services::ChoiceBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                        unsigned flags, const std::vector<std::string>& /*answers*/) {
    return MessageBox(parent, text, caption, flags);
}

Services& Svc() {
    Services* s = gInstalled.load();
    return s ? *s : gSilent;
}

Services* SetServices(Services* s) { return gInstalled.exchange(s); }

}  // namespace plat
