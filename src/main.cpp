// Korvane: the whole program is the main window, run modally; when it closes the program ends.
#include <QApplication>
#include <cstdio>

#include "app/main_dlg.h"
#include "cli/cli.h"
#include "cli/program_dir.h"
#include "platform/services.h"
#include "ui/qt_services.h"

int main(int argc, char** argv) {
    // The window and every command-line mode work in the same program directory, wherever started from.
    progdir::Enter();
    if (cli::IsCommandLineMode(argc, argv)) return cli::Run(argc, argv);

    QApplication app(argc, argv);
    // The name rather than the display name: on X11 a display name would be appended to every window
    // caption ("Korvane 资料管理器 — Korvane"), while boxes without a caption of their own still read
    // "Korvane" through applicationDisplayName(), which falls back to the name.
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("korvane"));

    if (!ui::InstallQtChinese())
        std::fprintf(stderr, "korvane: Qt 的中文翻译 (qt6-translations-l10n) 没有安装，Qt 的按钮和对话框将显示英文\n");
    QtServices desktop;
    plat::SetServices(&desktop);
    {
        CMainDlg dlg(nullptr);
        QApplication::setWindowIcon(dlg.Icon());
        dlg.DoModal();
    }
    plat::SetServices(nullptr);
    return 0;
}
