// korvane --restore ARCHIVE.zip FOLDER [NAME]: the library manager's restore, registering the library too.
#include "cli/cli.h"
#include "cli/cli_archive.h"
#include "library/archive.h"
#include "library/registry.h"
#include "platform/codec.h"
#include "platform/text.h"

namespace cli {

int RunRestore(const QStringList& args) {
    if (args.size() != 2 && args.size() != 3) return ArchiveUsage();
    std::string archivePath, folder, name, error;
    if (const int status = FileArg(args[0], archivePath)) return status;
    if (const int status = FileArg(args[1], folder)) return status;
    folder = WithoutFinalSeparators(folder);
    if (args.size() == 3) {
        if (!plat::FromQ(args[2], name)) return Fail(plat::Gbk("名称中有无法保存的字符"));
    } else {
        name = archiving::NameFromArchive(archivePath);
    }
    // Name and folder become lines of the registry: a line break in either would add lines of its own.
    if (plat::HasControlChar(folder) || plat::HasControlChar(name)) {
        Fail(plat::Gbk("资料库的名称和目录中不能有换行符或其它控制字符: ") + plat::EscapeControls(name) +
             " " + plat::EscapeControls(folder));
        return 2;
    }
    // A full registry would leave the restored folder without an entry: refused before anything is written.
    LibraryRegistry reg;
    if (!archiving::RegistryHasRoom(error) || !ReadRegistry(reg, error) ||
        !archiving::OutsideLibraries(reg, folder + "\\", error))
        return Fail(error);
    const archiving::Outcome out = archiving::Restore(archivePath, folder + "\\");
    if (!out.ok) return Fail(out.error);
    if (!archiving::Register({name, folder}, error))
        return Fail(plat::Gbk("资料库已恢复到 ") + folder + plat::Gbk("，但没有登记: ") + error);
    return 0;
}

}  // namespace cli
