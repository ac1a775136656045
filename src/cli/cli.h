// Command-line modes: korvane --render / --search / --backup / --restore. Each runs without a display and
// calls the same objects as the window. Exit status 0 on success, 1 on a failure the user can act on, 2 on
// a usage error; messages go to stderr in the program's words.
#pragma once

#include <QStringList>
#include <string>

namespace cli {

// True when the arguments ask for a command-line mode rather than the window.
bool IsCommandLineMode(int argc, char** argv);
// Runs the mode the arguments name, under a QCoreApplication of its own.
int Run(int argc, char** argv);

// A command-line path (UTF-8, '/', a native path taken literally) as an internal path; a relative one names a
// file where the user started the program. 0 when taken; else the reason is printed and the exit status
// returned: 2 for a name holding '\\', which is a character on this system but a separator in the program's
// own paths (taken, it would name another file), 1 for a name GBK cannot hold.
int FileArg(const QString& arg, std::string& internal);
// "korvane: <message>" on stderr (message GBK) as one line, control characters escaped; returns 1.
int Fail(const std::string& gbkMessage);
// A path the program found (internal) as a shell takes it: native, and absolute when the program works in
// another folder than the one it was started in.
std::string ShellPath(const std::string& internal);

// One per mode; args are the arguments after the mode's own flag.
int RunRender(const QStringList& args);
int RunSearch(const QStringList& args);
int RunBackup(const QStringList& args);
int RunRestore(const QStringList& args);
int RunWatch(const QStringList& args);
int RunExportHtml(const QStringList& args);
int RunExportMd(const QStringList& args);
int RunImport(const QStringList& args);
int RunHistory(const QStringList& args);
int RunShowVersion(const QStringList& args);
int RunAddLibrary(const QStringList& args);

}  // namespace cli
