#include "export/md_export.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <set>
#include <vector>

#include "export/library_walk.h"
#include "export/note_text.h"
#include "export/staged_folder.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/xml_record_set.h"

namespace exporting {

Outcome ExportMarkdown(const std::string& root, const std::string& target, Progress& progress) {
    using plat::Gbk;
    Outcome out;
    std::vector<WalkEntry> entries;
    if (!WalkLibrary(root, entries, out.error)) return out;
    long long total = 0;
    for (const WalkEntry& e : entries) total += e.isClass ? 0 : 1;
    progress.total = total;

    StagedFolder stage;
    if (!stage.Begin(target, plat::ToNative(root), out.error)) return out;
    auto failWrite = [&](const std::string& file) {
        out.error = Gbk("不能写入文件 ") + plat::Abbreviate(plat::Utf8ToGbk(file)) + Gbk("：") +
                    plat::SystemReason(errno);
        return out;
    };
    std::map<std::string, std::set<std::string>> taken;  // names in each folder written
    XmlRecordSet xml;
    for (const WalkEntry& e : entries) {
        if (progress.Cancelled()) {
            out.cancelled = true;
            return out;
        }
        const std::string dir = stage.Dir() + (e.rel.empty() ? "" : "/" + plat::ToNative(e.rel));
        if (e.isClass) {
            if (mkdir(dir.c_str(), 0755) != 0) return failWrite(dir);
            continue;
        }
        plat::LineReader reader;
        if (!reader.Open(e.path) || !xml.ReadCard(reader)) {
            out.notes += Gbk("读取文件 ") + plat::Abbreviate(e.path) + Gbk(" 的XML数据时出错了!") + "\r\n";
            progress.done += 1;
            continue;
        }
        reader.Close();
        const DatumCard& card = xml.card;
        notes::Note note;
        note.title = plat::GbkToUtf8(card.title);
        note.keyword = plat::GbkToUtf8(card.keyword);
        note.klass = plat::GbkToUtf8(card.klass);
        note.source = plat::GbkToUtf8(card.source);
        note.stylesheet = plat::GbkToUtf8(std::string(plat::LastComponent(card.href)));
        note.created = plat::GbkToUtf8(card.founddate);
        note.modified = plat::GbkToUtf8(card.modifieddate);
        note.body = plat::GbkToUtf8(card.content);
        // Two cards may share a name up to ".datum." (a.datum.xml, a.datum.old.xml).
        std::string name = plat::ToNative(e.label) + ".md";
        for (int n = 2; !taken[e.rel].insert(name).second; ++n)
            name = plat::ToNative(e.label) + " (" + std::to_string(n) + ").md";
        const std::string text = notes::WriteMarkdown(note);
        std::ofstream file(dir + "/" + name, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (file.fail()) return failWrite(dir + "/" + name);
        ++out.cards;
        progress.done += 1;
    }
    if (!stage.Commit(out.error)) return out;
    out.ok = true;
    return out;
}

}  // namespace exporting
