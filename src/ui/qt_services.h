// The real desktop behind the services seam: QMessageBox, QFileDialog, QDesktopServices.
#pragma once

#include <QStringList>
#include <QUrl>

#include "platform/services.h"

class QtServices : public plat::Services {
public:
    int MessageBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                   unsigned flags) override;
    int UnicodeMessageBox(QWidget* parent, const QString& text, const std::optional<std::string>& caption,
                          unsigned flags) override;
    int ChoiceBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                  unsigned flags, const std::vector<std::string>& answers) override;
    std::string AskFileName(QWidget* parent, bool open, const std::string& defaultExt,
                            const std::string& initialName, const std::string& filter) override;
    std::string BrowseForFolder(QWidget* parent, const std::string& title) override;
    bool ShellOpen(const std::string& path, bool maximised) override;
    void ShowInFolder(const std::string& path) override;  // show_in_folder.cpp
    void Sleep(int ms) override;

private:
    // Every box: its buttons in Chinese, `answers` (if any) in place of yes / no / cancel.
    int Ask(QWidget* parent, const QString& text, const std::optional<std::string>& caption, unsigned flags,
            const QStringList& answers);
};

namespace ui {
// Hands `url` to xdg-open (or Qt's own opener without it). False when nothing could be started or the opener
// said it failed within a moment (no application for the file, a browser that refuses to run as root); an
// opener still running then has started a browser, and is left to it.
bool OpenWithDesktop(const QUrl& url);

// Loads Qt's own Chinese texts (buttons, file dialogs, text menus) into the application, whatever the
// desktop's locale: every text of the program itself is Chinese. False when they are not installed; Qt's
// English texts stay then.
bool InstallQtChinese();
// "Name|pattern|Name|pattern|" as the file dialog's name filters: "XML File(*.xml)" stays as it is, a bare
// name gets its pattern appended, ';' separated patterns become blank separated, and "*.*" becomes "*" so
// that it matches names without a dot too.
QStringList QtNameFilters(const std::string& filter);
}  // namespace ui
