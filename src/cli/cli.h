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

// A command-line path (UTF-8, '/') as an internal path. A relative one names a file where the user started
// the program; false with `error` when GBK cannot hold it.
bool FileArg(const QString& arg, std::string& internal, std::string& error);
// "korvane: <message>" on stderr (message GBK); returns 1.
int Fail(const std::string& gbkMessage);

// One per mode; args are the arguments after the mode's own flag.
int RunRender(const QStringList& args);
int RunSearch(const QStringList& args);
int RunBackup(const QStringList& args);
int RunRestore(const QStringList& args);

}  // namespace cli
