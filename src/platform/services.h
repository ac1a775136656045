// The one seam for everything the user answers or the desktop does. The program installs the Qt
// implementation; tests install a scripted one that records every box and answers from a queue.
// All texts and paths crossing the seam are GBK internal strings, but for one kind of box: a text that quotes
// what the user typed and GBK cannot hold.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace plat {

// Message box flags and answers, with the values the system's message boxes use.
enum : unsigned {
    MB_OK = 0x00,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100,  // the second button (No) is the default: for a question whose Yes loses data
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class Services {
public:
    virtual ~Services() = default;
    // caption nullopt: the application's own title. parent may be null (no owner window).
    virtual int MessageBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                           unsigned flags) = 0;
    // A box whose text names a character GBK cannot hold: the desktop shows the character itself, every
    // other implementation gets the GBK text with '?' in its place.
    virtual int UnicodeMessageBox(QWidget* parent, const QString& text,
                                  const std::optional<std::string>& caption, unsigned flags);
    // A question of three answers that "yes / no / cancel" would not name: the buttons carry `answers`
    // (GBK, in that order, the last one cancels) and the result is IDYES, IDNO or IDCANCEL for the first, second
    // and third. flags as for MessageBox (MB_YESNOCANCEL). An implementation without such buttons shows the
    // standard ones.
    virtual int ChoiceBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                          unsigned flags, const std::vector<std::string>& answers);
    // Open (existing file) or save dialog. filter is "Name|pattern|Name|pattern|". Returns the chosen
    // full path in internal form, or "" when cancelled.
    virtual std::string AskFileName(QWidget* parent, bool open, const std::string& defaultExt,
                                    const std::string& initialName, const std::string& filter) = 0;
    // Folder browser; returns the chosen folder's internal path (no final '\' guaranteed) or "".
    virtual std::string BrowseForFolder(QWidget* parent, const std::string& title) = 0;
    // Open a file with the desktop's default application. False when it could not be handed on: no
    // application for it, or the opener failed (a browser that refuses to start), so that the user can be
    // told to open the file by hand.
    virtual bool ShellOpen(const std::string& path, bool maximised) = 0;
    // Opens the desktop's file manager on the folder that holds `path`, with it selected where the file
    // manager can. Failures are not reported. By default: ShellOpen of the folder.
    virtual void ShowInFolder(const std::string& path);
    virtual void Sleep(int ms) = 0;
};

// What the user is told when ShellOpen fails: the page's file, to be opened by hand (GBK).
std::string NotOpenedText(const std::string& path);

// The installed implementation (never null: a silent default answers OK/empty until one is installed).
Services& Svc();
// Installs `s` (not owned); nullptr restores the default. Returns the previous one.
Services* SetServices(Services* s);

}  // namespace plat
