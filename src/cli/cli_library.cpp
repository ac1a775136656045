#include "cli/cli_library.h"

#include "library/registry.h"
#include "platform/codec.h"
#include "platform/fs.h"

namespace cli {

bool LibraryToUse(bool named, const QString& library, std::string& root, std::string& error) {
    using plat::Gbk;
    LibraryRegistry reg;
    if (!ReadRegistry(reg, error)) return false;
    int slot = reg.count > 0 ? reg.use : -1;
    if (named) {
        std::string name;
        slot = -1;
        if (plat::FromQ(library, name)) {
            for (int i = 0; i < reg.count && slot < 0; ++i)
                if (reg.entries[i].name == name) slot = i;
        }
        if (slot < 0) {
            error = Gbk("没有名为 ") + plat::Utf8ToGbk(library.toStdString()) + Gbk(" 的资料库");
            return false;
        }
    }
    if (slot < 0) {
        error = Gbk("没有登记任何资料库");
        return false;
    }
    root = LibraryRoot(reg.entries[slot]);
    if (!plat::IsDir(root)) {
        error = Gbk("目录 ") + root + Gbk(" 不存在");
        return false;
    }
    return true;
}

}  // namespace cli
