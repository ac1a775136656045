// The command line's own documentation, all made from the one table of modes: what --help prints, the manual
// page korvane(1), the bash completion and the README's list of options. Adding a mode to the table adds it
// to each of them.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

namespace cli {

// One row of the table of modes as the documentation sees it (UTF-8).
struct ModeDoc {
    std::string flag;      // "--render"
    std::string synopsis;  // its arguments as a usage line shows them; may be empty
    std::string summary;   // one line on what it does
};
std::vector<ModeDoc> ModeDocs();

// The text of `korvane --help` (UTF-8).
std::string HelpText(const std::vector<ModeDoc>& modes);
// The manual page korvane(1) in roff (UTF-8).
std::string ManPage(const std::vector<ModeDoc>& modes);
// A bash completion script: the modes, their options, files, and the registered libraries' names where an
// argument names a library.
std::string BashCompletion(const std::vector<ModeDoc>& modes);
// The README's lines for the modes, one a mode: "- `korvane FLAG SYNOPSIS`: summary".
std::string ReadmeOptions(const std::vector<ModeDoc>& modes);

int RunHelp(const QStringList& args);

}  // namespace cli
