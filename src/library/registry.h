// The library registry set\datumlib.lst and the fixed layout names of the program and of a library.
#pragma once

#include <array>
#include <string>

namespace layout {
// Relative to the program directory.
inline constexpr char kRegistry[] = "set\\datumlib.lst";
inline constexpr char kTemplate[] = "set\\null.daum\\";
inline constexpr char kStyleDir[] = "xmlstyle\\datumstyle\\";
inline constexpr char kDtd[] = "xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
// Relative to a library root.
inline constexpr char kClassList[] = "_ _SETS_ _\\class.list";
inline constexpr char kSourceList[] = "_ _SETS_ _\\source.list";
inline constexpr char kIndexList[] = "_ _SETS_ _\\lineindex.list";
inline constexpr char kBookmarkList[] = "_ _SETS_ _\\bookmark.list";
inline constexpr char kViewPage[] = "_ _VIEW_ _\\ViewDatum.html";
// Folder names beginning with this (or with '.') belong to the system and are never classes.
inline constexpr char kServicePrefix[] = "_ _";
// A card file is any file whose name holds this.
inline constexpr char kCardMark[] = ".datum.";
}  // namespace layout

inline constexpr int kMaxLibraries = 50;
inline constexpr int kMaxListSlots = 100;  // classes, sources, styles

struct DatumLibEntry {
    std::string name;
    std::string path;  // as stored: no final '\'
};

struct LibraryRegistry {
    std::array<DatumLibEntry, kMaxLibraries> entries;
    int count = 0;  // 0..50
    int use = 0;    // 0..count-1; 0 when count is 0 (check count before using it)
};

// Reads set\datumlib.lst relative to the current directory. count is capped at 50 (a missing or
// non-numeric count reads as 0, a negative one too); use is lowered to count - 1 and raised to 0. On failure
// `error` = "没有找到配置文件 set\datumlib.lst", or "不能读取配置文件 set\datumlib.lst" when something is there
// that cannot be read (GBK), and `reg` is unchanged.
bool ReadRegistry(LibraryRegistry& reg, std::string& error);

// Rewrites set\datumlib.lst: count, use, name%d/path%d for the used slots (a slot line the file lacks is
// appended). Refuses a name or path holding a line break. Fails when the file cannot be read first (same
// error text as ReadRegistry), or when the rewrite itself fails: error = "不能写入配置文件
// set\datumlib.lst：" + the system's reason, and the old file stays byte for byte.
bool WriteRegistry(const LibraryRegistry& reg, std::string& error);

// Library root: the stored path followed by one '\'.
inline std::string LibraryRoot(const DatumLibEntry& e) { return e.path + "\\"; }
