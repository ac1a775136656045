#include "library/registry_add.h"

#include <cstdlib>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/list_file.h"

using plat::Gbk;

namespace libadd {

namespace {

// Character by character, so that the trail byte of a GBK character is never taken for a separator.
std::string WithoutFinalSeparators(const std::string& folder) {
    std::size_t keep = 0;
    for (std::size_t i = 0; i < folder.size(); i += plat::CharLen(folder, i))
        if (folder[i] != '\\' && folder[i] != '/') keep = i + plat::CharLen(folder, i);
    return keep == 0 ? folder.substr(0, 1) : folder.substr(0, keep);
}

std::string RealPath(const std::string& internal) {
    char* real = realpath(plat::ToNative(WithoutFinalSeparators(internal)).c_str(), nullptr);
    std::string out = real ? real : "";
    std::free(real);
    return out;
}

}  // namespace

std::string FolderName(const std::string& folder) {
    const std::string bare = WithoutFinalSeparators(folder);
    std::size_t start = 0;
    for (std::size_t i = 0; i < bare.size(); i += plat::CharLen(bare, i))
        if (bare[i] == '\\' || bare[i] == '/') start = i + 1;
    return bare.substr(start);
}

Finding Examine(const LibraryRegistry& reg, const std::string& folder) {
    Finding f;
    const std::string bare = WithoutFinalSeparators(folder);
    if (bare.empty() || !plat::IsDir(bare)) return f;
    const std::string real = RealPath(bare);
    for (int i = 0; i < reg.count; ++i) {
        const std::string other = RealPath(reg.entries[i].path);
        if (!real.empty() && real == other) {
            f.verdict = Verdict::Registered;
            f.name = reg.entries[i].name;
            return f;
        }
    }
    const std::string root = bare + "\\";
    if (!plat::PathExists(root + "_ _SETS_ _")) {
        f.verdict = Verdict::NotLibrary;
        return f;
    }
    CListFile classes;
    if (classes.Load(root + layout::kClassList) != 1) {
        f.verdict = Verdict::Unreadable;
        f.error = CListFile::LoadErrorText(root + layout::kClassList);
        return f;
    }
    f.verdict = Verdict::Library;
    f.name = FolderName(bare);
    return f;
}

std::string Explain(const Finding& f, const std::string& folder) {
    const std::string shown = plat::Abbreviate(WithoutFinalSeparators(folder));
    switch (f.verdict) {
        case Verdict::Library: return {};
        case Verdict::Registered:
            return Gbk("目录 ") + shown + Gbk(" 已经登记为资料库 ") + f.name + Gbk("。");
        case Verdict::NotLibrary:
            return Gbk("目录 ") + shown + Gbk(" 不是资料库(其中没有 _ _SETS_ _ 目录)。");
        case Verdict::Missing: return Gbk("目录 ") + shown + Gbk(" 不存在!");
        case Verdict::Unreadable:
            return Gbk("目录 ") + shown + Gbk(" 中的类别列表无法读取: ") + f.error;
    }
    return {};
}

bool AddToRegistry(const std::string& name, const std::string& folder, std::string& error) {
    const std::string bare = WithoutFinalSeparators(folder);
    // Both become lines of the registry: a line break would add lines of its own.
    if (plat::HasControlChar(name) || plat::HasControlChar(bare)) {
        error = Gbk("资料库的名称和目录中不能有换行符或其它控制字符: ") + plat::EscapeControls(name) + " " +
                plat::EscapeControls(bare);
        return false;
    }
    LibraryRegistry reg;
    if (!ReadRegistry(reg, error)) return false;
    const Finding f = Examine(reg, bare);
    if (f.verdict != Verdict::Library) {
        error = Explain(f, bare);
        return false;
    }
    if (reg.count >= kMaxLibraries) {
        error = Gbk("资料库列表已满(最多 50 个)，不能再添加资料库!");
        return false;
    }
    reg.entries[reg.count++] = {name.empty() ? f.name : name, bare};
    return WriteRegistry(reg, error);
}

}  // namespace libadd
