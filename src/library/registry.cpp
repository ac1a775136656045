#include "library/registry.h"

#include <algorithm>
#include <cerrno>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "store/list_file.h"

namespace {

std::string NotFoundText() {
    // A registry that is there but cannot be read is not "not found": the user would look in the wrong place.
    return plat::Gbk(plat::PathExists(layout::kRegistry) ? "不能读取配置文件 " : "没有找到配置文件 ") +
           layout::kRegistry;
}

std::string SlotKey(const char* prefix, int i) { return prefix + plat::FormatInt(i); }

}  // namespace

bool ReadRegistry(LibraryRegistry& reg, std::string& error) {
    CListFile file;
    if (file.Load(layout::kRegistry) != 1) {
        error = NotFoundText();
        return false;
    }
    LibraryRegistry read;
    // A missing key reads as the 0x02 string, which holds no number: count 0.
    read.count = std::clamp(plat::ParseInt(file.GetValue("count")), 0, kMaxLibraries);
    for (int i = 0; i < read.count; ++i) {
        read.entries[i].name = file.GetValue(SlotKey("name", i));
        read.entries[i].path = file.GetValue(SlotKey("path", i));
    }
    // Clamped at both ends so that no caller ever indexes slot -1; with no library, use is 0.
    read.use = std::max(0, std::min(plat::ParseInt(file.GetValue("use")), read.count - 1));
    file.Close();
    reg = std::move(read);
    return true;
}

bool WriteRegistry(const LibraryRegistry& reg, std::string& error) {
    CListFile file;
    if (file.Load(layout::kRegistry) != 1) {
        error = NotFoundText();
        return false;
    }
    const int count = std::clamp(reg.count, 0, kMaxLibraries);
    for (int i = 0; i < count; ++i) {
        // A line break in a name or path would add lines of its own to the file: other libraries, another
        // count.
        const DatumLibEntry& e = reg.entries[i];
        if (e.name.find_first_of("\r\n") != std::string::npos ||
            e.path.find_first_of("\r\n") != std::string::npos) {
            error = plat::Gbk("资料库的名称或路径中有换行符: ") + plat::EscapeControls(e.name) + " " +
                    plat::EscapeControls(e.path);
            return false;
        }
    }
    file.Put("count", plat::FormatInt(count));
    file.Put("use", plat::FormatInt(reg.use));
    for (int i = 0; i < count; ++i) {
        // Put appends a slot line the file lacks, so a registry without pre-made lines keeps every library.
        file.Put(SlotKey("name", i), reg.entries[i].name);
        file.Put(SlotKey("path", i), reg.entries[i].path);
    }
    if (file.Save() != 1) {
        error = plat::Gbk("不能写入配置文件 ") + layout::kRegistry + plat::Gbk("：") + plat::SystemReason(errno);
        return false;
    }
    file.Close();
    return true;
}
