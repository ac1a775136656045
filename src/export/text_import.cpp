#include "export/text_import.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "export/new_cards.h"
#include "export/note_text.h"
#include "library/registry.h"
#include "library/registry_styles.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/xml_record_set.h"

namespace exporting {
namespace {

namespace fs = std::filesystem;
using plat::Gbk;

struct Source {
    std::string file;  // native
    std::string sub;   // native folder below the imported folder ("" for its own level)
};

bool IsTextName(const std::string& name) {
    const std::string lower = plat::AsciiLower(name);
    auto ends = [&](const char* e) {
        const std::size_t n = std::char_traits<char>::length(e);
        return lower.size() > n && lower.compare(lower.size() - n, n, e) == 0;
    };
    return ends(".txt") || ends(".md") || ends(".markdown");
}

void Collect(const fs::path& folder, const std::string& sub, std::vector<Source>& out, long long& others) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) entries.push_back(e);
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return plat::CompareNames(a.path().filename().string(), b.path().filename().string()) < 0;
    });
    for (const fs::directory_entry& e : entries) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name[0] == '.') continue;  // hidden: an export's mark, a tool's own files
        if (e.is_symlink(ec)) {
            ++others;
        } else if (e.is_directory(ec)) {
            Collect(e.path(), sub.empty() ? name : sub + "/" + name, out, others);
        } else if (e.is_regular_file(ec) && IsTextName(name)) {
            out.push_back({e.path().string(), sub});
        } else {
            ++others;
        }
    }
}

// One-line fields never hold a line break or another control character.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// A card's file name from its title: no separator, no leading dot (a hidden file is no card), of a length
// every file system takes.
std::string FileStem(const QString& title, const QString& fallback) {
    QString name = title.isEmpty() ? fallback : title;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (name.startsWith(QLatin1Char('.'))) name[0] = QLatin1Char('_');
    if (name.size() > 80) name.truncate(name[79].isHighSurrogate() ? 79 : 80);
    // A name the tree cannot show would hide the card: such characters become the mark there too.
    QString shown;
    for (qsizetype k = 0; k < name.size(); ++k) {
        const qsizetype len = name[k].isHighSurrogate() && k + 1 < name.size() ? 2 : 1;
        const QString one = name.mid(k, len);
        shown += plat::FindUnstorable(one).count ? QString(QChar(kMissingMark)) : one;
        k += len - 1;
    }
    return shown.isEmpty() ? std::string("_") : shown.toStdString();
}

std::string Stamp(std::time_t t) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return CurrentStamp();
    return std::to_string(tm.tm_year + 1900) + "-" + std::to_string(tm.tm_mon + 1) + "-" + std::to_string(tm.tm_mday) +
           " " + std::to_string(tm.tm_hour) + ":" + std::to_string(tm.tm_min);
}

std::string StampField(bool has, const std::string& value, const std::string& fallback) {
    if (!has) return fallback;
    const std::string stamp = notes::IsoToStamp(value);
    return stamp.empty() ? OneLine(value) : stamp;
}

}  // namespace

ImportOutcome ImportFiles(const std::vector<std::string>& sources, const ImportOptions& options,
                          Progress& progress) {
    ImportOutcome out;
    std::vector<Source> files;
    long long others = 0;
    std::string refused;
    for (const std::string& s : sources) {
        std::error_code ec;
        const fs::path p(s);
        if (fs::is_directory(p, ec))
            Collect(p, std::string(), files, others);
        else if (fs::is_regular_file(p, ec) && IsTextName(s))
            files.push_back({s, std::string()});
        else
            refused += Gbk("不是 .txt 或 .md 文件: ") + plat::Abbreviate(plat::Utf8ToGbk(s)) + "\r\n";
    }
    progress.total = static_cast<long long>(files.size());
    std::string classDir = plat::ToNative(options.root + options.klass);
    while (classDir.size() > 1 && classDir.back() == '/') classDir.pop_back();
    if (!plat::IsDir(options.root + options.klass)) {
        out.error = Gbk("类别目录 ") + plat::Abbreviate(options.root + options.klass) + Gbk(" 不存在");
        return out;
    }
    const std::string progDir = plat::GetCurrentDir();
    std::vector<StyleFile> styles;
    ListStyleFolder(progDir, styles);
    const std::string firstStyle = styles.empty() ? std::string() : styles.front().path;
    NewCards writer;
    std::vector<NewCards::Done> done;
    // Cards are counted once they have their names.
    auto named = [&] {
        writer.Flush(done);
        for (const NewCards::Done& d : done) {
            if (d.card.empty()) {
                refused += Gbk("不能写入资料卡：") + plat::SystemReason(d.err) + Gbk("，文件 ") + d.source +
                           Gbk(" 没有导入") + "\r\n";
                continue;
            }
            out.files.push_back(d.card);
            ++out.cards;
        }
        done.clear();
    };
    XmlRecordSet xml;
    for (const Source& src : files) {
        if (progress.Cancelled()) {
            out.cancelled = true;
            break;
        }
        const std::string shown = plat::Abbreviate(plat::Utf8ToGbk(src.file));
        auto refuse = [&](const char* why) { refused += Gbk(why) + shown + "\r\n"; };
        progress.done += 1;
        std::ifstream in(src.file, std::ios::binary);
        std::ostringstream buf;
        buf << in.rdbuf();
        struct stat st{};
        if (!in || stat(src.file.c_str(), &st) != 0) {
            refuse("不能读取文件 ");
            continue;
        }
        std::string utf8;
        if (!DecodeText(buf.str(), utf8)) {
            refuse("文件不是 UTF-8、UTF-16 或 GB18030 文本，没有导入: ");
            continue;
        }
        if (!plat::FromNative(src.sub)) {
            // The tree lists no folder whose name is no text (not UTF-8): its cards would be there and never seen.
            refuse("目录名不是有效的 UTF-8 文字，文件没有导入: ");
            continue;
        }
        const bool md = !plat::AsciiLower(src.file).ends_with(".txt");
        notes::Note note = md ? notes::ReadMarkdown(utf8) : notes::ReadPlainText(utf8);
        const std::string stem = fs::path(src.file).stem().string();
        const std::string mtime = Stamp(st.st_mtime);
        const std::string folderRel = src.sub;
        std::string klass = note.hasClass ? OneLine(note.klass) : std::string();
        if (!note.hasClass) {
            klass = plat::GbkToUtf8(options.klass);
            if (!folderRel.empty()) klass += (klass.empty() ? "" : "\\") + plat::ReplaceAll(folderRel, "/", "\\");
        }
        std::string keyword = note.keyword;
        if (!note.hasKeyword)
            for (const std::string& t : note.tags) keyword += (keyword.empty() ? "" : " ") + t;
        const std::string style = OneLine(note.stylesheet);
        QString fields[] = {QString::fromStdString(OneLine(note.hasTitle ? note.title : stem)),
                            QString::fromStdString(klass),
                            QString::fromStdString(StampField(note.hasCreated, note.created, mtime)),
                            QString::fromStdString(StampField(note.hasModified, note.modified, mtime)),
                            QString::fromStdString(OneLine(note.source)),
                            QString::fromStdString(OneLine(keyword)),
                            QString::fromStdString(note.body),
                            QString::fromStdString(style)};
        const plat::Unstorable bad = CardUnstorable(QStringList(std::begin(fields), std::end(fields)).join(QChar('\n')));
        if (bad.count && !options.replaceUnstorable) {
            out.unstorable.push_back({src.file, bad.first, bad.count});
            continue;
        }
        std::string gbk[std::size(fields)];
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (bad.count) {
                // Each character a card cannot hold, whether one or two UTF-16 units, becomes one mark.
                QString marked;
                for (qsizetype k = 0; k < fields[i].size(); ++k) {
                    const qsizetype len = fields[i][k].isHighSurrogate() && k + 1 < fields[i].size() ? 2 : 1;
                    const QString one = fields[i].mid(k, len);
                    marked += CardUnstorable(one).count ? QString(QChar(kMissingMark)) : one;
                    k += len - 1;
                }
                fields[i] = marked;
            }
            plat::FromQ(fields[i], gbk[i]);
        }
        DatumCard& card = xml.card;
        card.title = gbk[0];
        card.klass = gbk[1];
        card.founddate = gbk[2];
        card.source = gbk[4];
        card.keyword = gbk[5];
        card.content = gbk[6];
        const bool plainName = !gbk[7].empty() && !plat::Contains(gbk[7], "\\") && !plat::Contains(gbk[7], "/");
        card.href = !note.hasStylesheet ? firstStyle
                    : plainName          ? progDir + "\\" + layout::kStyleDir + gbk[7]
                                         : std::string();
        card.dtdPath = progDir + "\\" + layout::kDtd;
        std::string bytes = xml.CardText();
        // The writer stamps the time of writing; a card brought in keeps the time its note says.
        const std::size_t open = bytes.find("\r\n\t<modifieddate>");
        const std::size_t close = bytes.find("</modifieddate>\r\n", open);
        if (open != std::string::npos && close != std::string::npos) {
            const std::size_t from = open + std::strlen("\r\n\t<modifieddate>");
            bytes.replace(from, close - from, gbk[3]);
        }
        if (bytes.size() > static_cast<std::size_t>(kMaxCardBytes)) {
            refuse("文件太大，超过了资料卡能打开的上限 16 MB，没有导入: ");
            continue;
        }
        const std::string folder = classDir + (folderRel.empty() ? "" : "/" + folderRel);
        std::error_code ec;
        fs::create_directories(folder, ec);
        int err = 0;
        if (ec || !writer.Add(folder, FileStem(fields[0], QString::fromStdString(stem)), bytes, shown, err)) {
            refused += Gbk("不能在目录 ") + plat::Abbreviate(plat::Utf8ToGbk(folder)) + Gbk(" 中写入资料卡：") +
                       plat::SystemReason(ec ? ec.value() : err) + Gbk("，文件 ") + shown + Gbk(" 没有导入") + "\r\n";
            continue;
        }
        if (writer.Full()) named();
    }
    named();
    if (others) out.notes = Gbk("跳过了 ") + std::to_string(others) + Gbk(" 个不是 .txt 或 .md 的文件") + "\r\n";
    out.error = refused;
    out.ok = refused.empty() && !out.cancelled;
    return out;
}

}  // namespace exporting
