// The checks of a backup archive's headers, made before the restore writes anything.
#include "library/archive_entries.h"

#include <QStringDecoder>
#include <map>
#include <set>

#include "library/archive_io.h"
#include "platform/codec.h"

using plat::Gbk;

namespace archiving::detail {

// The entry's name and kind, or the reason it is refused (GBK; the entry's name included).
bool Classify(archive_entry* e, Entry& out, std::string& error) {
    // Names are UTF-8, as current tools write them, or GBK without a flag, as Chinese Windows has long written
    // them. A name flagged as UTF-8 that is not gives no text at all: it is shown as "?".
    const char* asUtf8 = archive_entry_pathname_utf8(e);
    const std::string utf8 = asUtf8 ? asUtf8 : "";
    const char* asStored = archive_entry_pathname(e);
    const std::string stored = asStored ? asStored : "";
    auto readable = [](const std::string& name, std::string& out) {
        if (name.empty()) return false;
        QStringDecoder utf8Decoder(QStringConverter::Utf8);
        (void)QString(utf8Decoder(QByteArrayView(name.data(), static_cast<qsizetype>(name.size()))));
        if (!utf8Decoder.hasError()) {
            std::string gbk;
            out = name;
            return plat::TryUtf8ToGbk(name, gbk);  // a character GBK cannot hold has no place in a library
        }
        return plat::TryGbkToUtf8(name, out);
    };
    std::string raw;
    const bool named = readable(utf8, raw) || readable(stored, raw);
    const std::string& any = named ? raw : utf8.empty() ? stored : utf8;
    const std::string shown = Gbk("归档中的条目 ") + (any.empty() ? std::string("?") : ShownName(any)) + " ";
    auto refuse = [&](const char* why) {
        error = shown + Gbk(why) + Gbk("，没有恢复任何文件");
        return false;
    };
    if (!named) return refuse("的名字不是有效的 UTF-8 或无法保存为 GBK");
    // No file system takes longer names; refused here, before any check that walks the name's folders.
    if (raw.size() > kMaxEntryName) return refuse("的名字太长");
    if (raw[0] == '/' || raw[0] == '\\') return refuse("是绝对路径");
    if (archive_entry_hardlink(e)) return refuse("是硬链接");
    const mode_t type = archive_entry_filetype(e);
    if (type == AE_IFLNK || archive_entry_symlink(e)) return refuse("是符号链接");
    if (type != AE_IFREG && type != AE_IFDIR) return refuse("是设备文件、管道或其它特殊文件");

    // Both separators split: '\' is a separator in the library's own paths.
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
        if (i == raw.size() || raw[i] == '/' || raw[i] == '\\') {
            if (part == "..") return refuse("含有上级目录 ..");
            if (part.size() > NAME_MAX) return refuse("的名字太长");
            if (!part.empty() && part != ".") parts.push_back(part);
            part.clear();
        } else {
            part += raw[i];
        }
    }
    out = Entry{};
    for (const std::string& p : parts) out.rel += (out.rel.empty() ? "" : "/") + p;
    out.dir = type == AE_IFDIR;
    if (out.rel.empty() && !out.dir) return refuse("没有名字");
    if (!out.dir) {
        if (!archive_entry_size_is_set(e) || archive_entry_size(e) < 0) return refuse("的大小不明");
        out.size = archive_entry_size(e);
    }
    out.hasMtime = archive_entry_mtime_is_set(e);
    out.mtime = archive_entry_mtime(e);
    out.mtimeNsec = archive_entry_mtime_nsec(e);
    return true;
}

// A name that two entries claim, or a file that another entry treats as a folder, has no single meaning.
// One walk down a tree of the names' components: linear in their total length, however deep they go.
bool CheckConsistent(const std::vector<Entry>& entries, std::string& error) {
    struct Node {
        std::map<std::string_view, std::size_t> children;
        enum { Implied, Folder, File } kind = Implied;
        std::size_t firstInside = 0;  // 1 + index of the first entry below it; 0 for none
    };
    std::vector<Node> nodes(1);
    auto fail = [&](const std::string& rel, const char* why) {
        error = Gbk("归档中的条目 ") + ShownName(rel) + Gbk(why) + Gbk("，没有恢复任何文件");
        return false;
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& rel = entries[i].rel;
        std::size_t at = 0;
        for (std::size_t start = 0, slash = 0; slash != std::string::npos; start = slash + 1) {
            if (nodes[at].kind == Node::File) return fail(rel, " 位于文件之下");
            if (at != 0 && nodes[at].firstInside == 0) nodes[at].firstInside = i + 1;
            slash = rel.find('/', start);
            const std::string_view part(rel.data() + start,
                                        (slash == std::string::npos ? rel.size() : slash) - start);
            const std::size_t child = nodes[at].children.emplace(part, nodes.size()).first->second;
            if (child == nodes.size()) nodes.emplace_back();
            at = child;
        }
        Node& node = nodes[at];
        if (node.kind == Node::File || (node.kind == Node::Folder && !entries[i].dir))
            return fail(rel, " 出现了两次");
        if (!entries[i].dir && node.firstInside)
            return fail(entries[node.firstInside - 1].rel, " 位于文件之下");
        node.kind = entries[i].dir ? Node::Folder : Node::File;
    }
    return true;
}

// The library stands at the archive's top, or inside one folder that holds everything (as a desktop archive
// tool packs a folder). Returns that folder with a final '/', "" for the top; false when it is no library.
bool FindLibrary(const std::vector<Entry>& entries, std::string& prefix) {
    std::set<std::string> files;
    for (const Entry& e : entries)
        if (!e.dir) files.insert(e.rel);
    const std::string classList = "_ _SETS_ _/class.list";
    if (files.count(classList)) {
        prefix.clear();
        return true;
    }
    if (entries.empty()) return false;
    const std::string top = entries.front().rel.substr(0, entries.front().rel.find('/'));
    for (const Entry& e : entries)
        if (e.rel != top && e.rel.compare(0, top.size() + 1, top + "/") != 0) return false;
    prefix = top + "/";
    return files.count(prefix + classList) > 0;
}

// Bytes the restored files take on disk at least: whole blocks, one per folder.
long long SpaceNeeded(const std::vector<Entry>& entries) {
    constexpr long long kBlock = 4096;
    long long need = 0;
    for (const Entry& e : entries) need += e.dir ? kBlock : (e.size + kBlock - 1) / kBlock * kBlock;
    return need;
}

}  // namespace archiving::detail
