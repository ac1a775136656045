#include "store/copy_tree.h"

#include <vector>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/services.h"

namespace {

int Fail(const std::string& text) {
    plat::Svc().MessageBox(nullptr, text, std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
    return 0;
}

}  // namespace

int CopyDirectoryTree(const std::string& source, const std::string& target) {
    std::vector<plat::DirEntry> entries;
    if (!plat::ListDir(source, entries)) return Fail(plat::Gbk("目录 ") + source + plat::Gbk(" 不存在"));

    for (const plat::DirEntry& e : entries) {
        if (e.name.empty() || e.name[0] == '.') continue;
        if (plat::IsPlainDirectory(e.attrs)) {
            const std::string sub = e.name + "\\";
            if (!plat::CreateDir(target + sub)) return Fail(plat::Gbk("不能创建目录 ") + target + sub);
            if (!CopyDirectoryTree(source + sub, target + sub)) return 0;
        } else if (!plat::CopyFile(source + e.name, target + e.name, false)) {
            // A folder with any further attribute bit (a link, read-only, hidden) comes here too; copying it
            // as a file fails, so it is never followed.
            return Fail(plat::Gbk("不能把文件 ") + source + e.name + plat::Gbk(" 拷贝到 ") + target + e.name);
        }
    }
    return 1;
}

std::string AskFileName(QWidget* parent, bool open, const std::string& defaultExt,
                        const std::string& initialName, const std::string& filter) {
    return plat::Svc().AskFileName(parent, open, defaultExt, initialName, filter);
}
