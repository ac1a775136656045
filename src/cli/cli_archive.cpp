#include "cli/cli_archive.h"

#include "cli/cli.h"

#include <cstdio>

#include "library/registry.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

namespace cli {

std::string WithoutFinalSeparators(const std::string& internal) {
    // Character by character: the trail byte of a GBK character may equal '\'.
    std::size_t keep = 0;
    for (std::size_t i = 0; i < internal.size(); i += plat::CharLen(internal, i))
        if (internal[i] != '\\' && internal[i] != '/') keep = i + plat::CharLen(internal, i);
    return keep == 0 ? internal.substr(0, 1) : internal.substr(0, keep);
}

int ResolveLibrary(const QString& arg, std::string& root) {
    LibraryRegistry reg;
    std::string name, ignored;
    // A name wins over a folder of the same spelling: the registry is what the user sees in the window.
    if (plat::FromQ(arg, name) && ReadRegistry(reg, ignored)) {
        for (int i = 0; i < reg.count; ++i)
            if (reg.entries[i].name == name) {
                root = LibraryRoot(reg.entries[i]);
                return 0;
            }
    }
    if (const int status = FileArg(arg, root)) return status;
    root = WithoutFinalSeparators(root) + "\\";
    if (root == "\\\\") root = "\\";
    return 0;
}

int ArchiveUsage() {
    std::fputs(
        "usage: korvane --backup NAME-OR-FOLDER ARCHIVE.zip\n"
        "       korvane --restore ARCHIVE.zip FOLDER [NAME]\n"
        "A registered library's NAME wins over a folder of the same name; write ./NAME for the folder.\n",
        stderr);
    return 2;
}

}  // namespace cli
