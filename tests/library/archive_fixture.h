// A generated library and the means to compare folder trees and read a ZIP's central directory, for the
// backup and restore tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/codec.h"
#include "support/temp_dir.h"

namespace archtest {

// Nested classes with Chinese names, the four list files, the view page, an empty class, a hidden file and a
// card too big and too random to compress.
inline void MakeLibrary(const TempProgramDir& dir, const std::string& rel) {
    using plat::Gbk;
    dir.WriteFile(rel + "/_ _SETS_ _/class.list", Gbk("count=2\r\nname0=甲类\r\npath0=甲类\\\r\nname1=甲类\\乙 子类\r\n"));
    dir.WriteFile(rel + "/_ _SETS_ _/source.list", Gbk("count=1\r\nname0=人民日报\r\n"));
    dir.WriteFile(rel + "/_ _SETS_ _/lineindex.list", Gbk("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"));
    dir.WriteFile(rel + "/_ _SETS_ _/bookmark.list", "");
    dir.WriteFile(rel + "/_ _VIEW_ _/ViewDatum.html", "<html></html>\r\n");
    dir.WriteFile(rel + "/甲类/乙 子类/卡片.datum.xml", Gbk("<title>卡片</title>\r\n"));
    std::string big(100000, '\0');
    std::uint32_t x = 12345;
    for (char& c : big) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    dir.WriteFile(rel + "/甲类/big.datum.bin", big);
    dir.WriteFile(rel + "/.sync", "hidden");
    dir.MakeDir(rel + "/空类");
}

// A registry of `count` libraries named "甲" (the first) and "库", all at datum\甲.
inline void WriteRegistry(const TempProgramDir& dir, int count) {
    std::string text = "count=" + std::to_string(count) + "\r\nuse=0\r\n";
    for (int i = 0; i < count; ++i)
        text += plat::Gbk("name" + std::to_string(i) + (i ? "=库" : "=甲") + "\r\npath" + std::to_string(i) + "=datum\\甲\r\n");
    dir.WriteFile("set/datumlib.lst", text);
}

// Every entry below `root`: files with their bytes, folders as "name/" with "".
inline std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(e.path(), root).generic_string();
        if (e.is_symlink()) out[rel] = "-> link";
        else if (e.is_directory()) out[rel + "/"] = "";
        else out[rel] = ReadNativeFile(e.path().string());
    }
    return out;
}

// Names and general purpose flags of a ZIP's central directory (no archive comment, no ZIP64).
inline std::vector<std::pair<std::string, unsigned>> CentralNames(const std::string& zip) {
    auto u16 = [&](std::size_t at) { return unsigned(std::uint8_t(zip[at])) | unsigned(std::uint8_t(zip[at + 1])) << 8; };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    std::vector<std::pair<std::string, unsigned>> out;
    if (zip.size() < 22 || zip.compare(zip.size() - 22, 4, "PK\5\6") != 0) return out;
    std::size_t at = u32(zip.size() - 22 + 16);
    for (unsigned n = u16(zip.size() - 22 + 10); n > 0 && zip.compare(at, 4, "PK\1\2") == 0; --n) {
        out.emplace_back(zip.substr(at + 46, u16(at + 28)), u16(at + 8));
        at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
    }
    return out;
}

}  // namespace archtest
