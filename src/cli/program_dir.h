// The program directory: the registry, the library template and the stylesheets are found relative to the
// current folder. Started anywhere else (a menu entry, a terminal, a cron job), the program works in the
// user's own program directory, made from the installed data the first time.
#pragma once

#include <string>

namespace progdir {

// When the current folder holds no set/ folder, changes into ${XDG_DATA_HOME:-~/.local/share}/korvane,
// first copying the shipped program directory there if it does not exist yet or is an empty folder (never
// over anything else). A current folder with set/ but no set/datumlib.lst is a damaged program directory:
// the program stays there and reports the missing registry. Notes and failures go to stderr; on failure the
// current folder stays as it was, and the program then reports the missing registry in its own words.
void Enter();

// The current folder the program was started in (native, absolute): command-line arguments that name files
// are relative to it, not to the program directory.
const std::string& LaunchDir();

// Where the shipped program directory is: beside the installed program (../share/korvane), else the source
// tree it was built from. "" when neither holds one.
std::string ShippedData();

// The user's program directory, ${XDG_DATA_HOME:-~/.local/share}/korvane; "" without HOME.
std::string UserProgramDir();

}  // namespace progdir
