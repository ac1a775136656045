// korvane --add-library FOLDER [NAME]: registers a library folder that is already there (filled by a sync
// tool or copied from another machine), as the library manager's 添加 does.
#include <cstdio>

#include "cli/cli.h"
#include "cli/cli_archive.h"
#include "library/registry_add.h"
#include "platform/codec.h"

namespace cli {

int RunAddLibrary(const QStringList& args) {
    if (args.size() != 1 && args.size() != 2) {
        std::fputs("usage: korvane --add-library FOLDER [NAME]\n", stderr);
        return 2;
    }
    std::string folder, name, error;
    if (const int status = FileArg(args[0], folder)) return status;
    folder = WithoutFinalSeparators(folder);
    if (args.size() == 2 && !plat::FromQ(args[1], name)) return Fail(plat::Gbk("名称中有无法保存的字符"));
    if (args.size() == 2 && name.empty()) return Fail(plat::Gbk("资料库名称不能为空"));
    if (!libadd::AddToRegistry(name, folder, error)) return Fail(error);
    return 0;
}

}  // namespace cli
