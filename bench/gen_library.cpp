#include "gen_library.h"

#include <sys/stat.h>

#include <QRegularExpression>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/codec.h"
#include "platform/path.h"
#include "store/xml_record_set.h"

namespace fs = std::filesystem;

namespace {

// Frequent characters of ordinary Chinese prose, so bodies have the byte mix of real notes.
const char* const kCommon =
    "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面"
    "而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性"
    "好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第"
    "向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管"
    "特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处"
    "读书笔记资料卡片整理摘录引用思考";
const char* const kPunct[] = {"，", "。", "、", "；", "：", "！", "？"};
const char* const kAscii[] = {"Qt", "XML", "2024", "GBK", "Linux", "C++", "OK"};

void WriteBytes(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string ListFile(const std::string& comment, int count, const std::vector<std::pair<std::string, std::string>>& slotList,
                     int totalSlots, bool withPath) {
    std::string s = plat::Gbk(comment) + "\r\ncount=" + std::to_string(count) + "\r\n";
    for (int i = 0; i < totalSlots; ++i) {
        std::string n = i < static_cast<int>(slotList.size()) ? slotList[i].first : "";
        std::string p = i < static_cast<int>(slotList.size()) ? slotList[i].second : "";
        s += "name" + std::to_string(i) + "=" + n + "\r\n";
        if (withPath) s += "path" + std::to_string(i) + "=" + p + "\r\n";
    }
    return s;
}

bool FixedTime(LocalTime& t) {
    t = {2024, 3, 5, 9, 7};
    return true;
}

// The registry (one library of 50 slots), two stylesheets and the DTD: what a program directory needs
// beside the library itself.
void WriteProgramFiles(const fs::path& prog, const std::string& libraryRel) {
    std::string reg = "# registry\r\ncount=1\r\nuse=0\r\n";
    for (int i = 0; i < 50; ++i) {
        reg += "name" + std::to_string(i) + "=" + (i == 0 ? plat::Gbk("基准资料库") : "") + "\r\n";
        reg += "path" + std::to_string(i) + "=" + (i == 0 ? libraryRel : "") + "\r\n";
    }
    WriteBytes(prog / "set" / "datumlib.lst", reg);
    const std::string xsl = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<xsl:stylesheet version=\"1.0\" "
                            "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"/>";
    WriteBytes(prog / "xmlstyle" / "datumstyle" / "simple.xsl", xsl);
    WriteBytes(prog / "xmlstyle" / "datumstyle" / "report.xsl", xsl);
    WriteBytes(prog / "xmlstyle" / "qvrt_xml_1.0" / "02_2003_datum01.dtd", "<!ELEMENT datum ANY>\r\n");
}

// The class and source lists of a library and its class folders (GBK names, '\\' for nested ones).
std::vector<fs::path> WriteClasses(const fs::path& lib, const std::string& libraryRel,
                                   const std::vector<std::string>& classNames, const std::vector<std::string>& sources) {
    std::vector<std::pair<std::string, std::string>> classSlots;
    for (std::size_t i = 0; i < std::min<std::size_t>(100, classNames.size()); ++i)
        classSlots.push_back({classNames[i], libraryRel + "\\" + classNames[i] + "\\"});
    WriteBytes(lib / "_ _SETS_ _" / "class.list",
               ListFile("# classes", static_cast<int>(classSlots.size()), classSlots, 100, true));
    std::vector<std::pair<std::string, std::string>> sourceSlots;
    for (const std::string& s : sources) sourceSlots.push_back({s, ""});
    WriteBytes(lib / "_ _SETS_ _" / "source.list",
               ListFile("# sources", static_cast<int>(sourceSlots.size()), sourceSlots, 100, false));
    std::vector<fs::path> dirs;
    for (const auto& c : classNames) {
        dirs.push_back(lib / plat::ToNative(c));
        fs::create_directories(dirs.back());
    }
    return dirs;
}

}  // namespace

std::string RealisticGbkText(size_t bytes, unsigned seed) {
    static const std::string common = plat::Gbk(kCommon);
    const size_t nChars = common.size() / 2;
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(bytes + 64);
    size_t sentence = 0, paragraph = 0;
    while (out.size() < bytes) {
        size_t k = rng() % nChars;
        out.append(common, k * 2, 2);
        if (++sentence > 8 + rng() % 20) {
            sentence = 0;
            if (rng() % 9 == 0) out += kAscii[rng() % 7];
            out += plat::Gbk(kPunct[rng() % 7]);
            if (++paragraph > 3 + rng() % 5 && out.size() + 2 < bytes) {
                paragraph = 0;
                out += "\r\n";
            }
        }
    }
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0) out.resize(out.size() - 2);
    return out;
}

GeneratedLibrary GenerateLibrary(const std::string& programDir, int nCards, int nClasses, int bodyBytes) {
    GeneratedLibrary g;
    g.programDir = fs::absolute(programDir).string();
    g.libraryRel = "datum\\bench";
    fs::path prog(g.programDir);
    fs::path lib = prog / "datum" / "bench";
    fs::create_directories(lib);
    WriteProgramFiles(prog, g.libraryRel);

    // Classes: top-level ones, each with children (two levels).
    int top = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(nClasses))));
    std::vector<std::string> classNames;  // GBK, with '\' for nested
    for (int t = 0; t < top && static_cast<int>(classNames.size()) < nClasses; ++t)
        classNames.push_back(plat::Gbk("类别") + std::to_string(t));
    for (int c = 0; static_cast<int>(classNames.size()) < nClasses; ++c) {
        int parent = c % top;
        classNames.push_back(classNames[parent] + "\\" + plat::Gbk("子类") + std::to_string(c));
    }
    const std::vector<std::string> sources = {plat::Gbk("读书"), plat::Gbk("网络")};
    const std::vector<fs::path> classDirs = WriteClasses(lib, g.libraryRel, classNames, sources);

    // Cards, spread evenly.
    SetLocalTimeSource(&FixedTime);
    XmlRecordSet rs;
    for (int i = 0; i < nCards; ++i) {
        size_t ci = static_cast<size_t>(i) % classDirs.size();
        rs.card = {};
        rs.card.title = plat::Gbk("笔记") + std::to_string(i);
        rs.card.klass = classNames[ci];
        rs.card.source = sources[i % 2];
        rs.card.keyword = plat::Gbk("资料 基准");
        rs.card.content = RealisticGbkText(static_cast<size_t>(bodyBytes), static_cast<unsigned>(i));
        rs.card.href = "..\\..\\..\\xmlstyle\\datumstyle\\simple.xsl";
        rs.card.dtdPath = "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        plat::StringSink sink;
        rs.WriteCard(sink);
        fs::path file = classDirs[ci] / (plat::GbkToUtf8(rs.card.title) + ".datum.xml");
        WriteBytes(file, sink.data);
        g.lastCardNative = file.string();
    }
    SetLocalTimeSource(nullptr);
    g.cards = nCards;
    g.classes = nClasses;
    return g;
}

namespace {

// One text of fortunes-zh (a poem or a saying) in GBK, its lines separated by "\n", and which file held it.
struct Piece {
    std::string gbk;
    int origin = 0;
};

// fortunes-zh's files in UTF-8 with terminal colour codes; characters GBK cannot hold are left out.
std::vector<Piece> LoadFortunes(const std::string& dir) {
    static const char* const kFiles[] = {"tang300.u8", "song100.u8", "chinese.u8"};
    std::vector<Piece> out;
    const QRegularExpression colour(QStringLiteral("\x1b\\[[0-9;]*m"));
    for (int f = 0; f < 3; ++f) {
        std::ifstream in(dir + "/" + kFiles[f], std::ios::binary);
        if (!in) throw std::runtime_error(dir + "/" + kFiles[f] + " not found: apt-get install fortunes-zh");
        QString text = QString::fromUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
        text.remove(colour);
        text.replace(QChar(0xA0), QChar(' ')).replace(QChar(0x30FB), QChar(0xB7));
        for (const QString& piece : text.split(QStringLiteral("\n%\n"), Qt::SkipEmptyParts)) {
            Piece p{{}, f};
            if (!plat::FromQ(piece.trimmed(), p.gbk)) {
                p.gbk.clear();
                for (const QChar c : piece.trimmed()) {
                    std::string one;
                    if (plat::FromQ(QString(c), one)) p.gbk += one;
                }
            }
            if (!p.gbk.empty()) out.push_back(std::move(p));
        }
    }
    return out;
}

// The first line of a piece without its 《》 marks and blanks, and with nothing a file name cannot hold,
// at most 16 characters.
std::string TitleOf(const std::string& gbk) {
    const std::string line = gbk.substr(0, gbk.find('\n'));
    const std::string open = plat::Gbk("《"), close = plat::Gbk("》");
    std::string out;
    int chars = 0;
    for (std::size_t i = 0; i < line.size() && chars < 16;) {
        const auto c = static_cast<unsigned char>(line[i]);
        const std::size_t len = c >= 0x81 && i + 1 < line.size() ? 2 : 1;
        const std::string ch = line.substr(i, len);
        i += len;
        if (ch == open || ch == close || (len == 1 && !std::isalnum(c))) continue;
        out += ch;
        ++chars;
    }
    return out.empty() ? plat::Gbk("无题") : out;
}

// Two-character Chinese words taken from the text, as a user's keywords often are.
std::string WordFrom(const std::string& gbk, std::mt19937& rng) {
    for (int tries = 0; tries < 20; ++tries) {
        std::size_t at = rng() % gbk.size();
        // Step to a character boundary from the start of the line.
        std::size_t i = gbk.rfind('\n', at);
        i = i == std::string::npos ? 0 : i + 1;
        while (i < at) i += static_cast<unsigned char>(gbk[i]) >= 0x81 ? 2 : 1;
        if (i + 4 <= gbk.size() && static_cast<unsigned char>(gbk[i]) >= 0xB0 &&
            static_cast<unsigned char>(gbk[i + 2]) >= 0xB0)
            return gbk.substr(i, 4);
    }
    return plat::Gbk("诗词");
}

LocalTime g_stamp;
bool VaryingTime(LocalTime& t) {
    t = g_stamp;
    return true;
}

}  // namespace

GeneratedLibrary GenerateRealTextLibrary(const std::string& programDir, int nCards, int nClasses,
                                         const std::string& fortunesDir) {
    const std::vector<Piece> pieces = LoadFortunes(fortunesDir);
    GeneratedLibrary g;
    g.programDir = fs::absolute(programDir).string();
    g.libraryRel = "datum\\real";
    const fs::path prog(g.programDir), lib = prog / "datum" / "real";
    fs::create_directories(lib);
    WriteProgramFiles(prog, g.libraryRel);

    static const char* const kTop[] = {"唐诗", "宋词", "格言", "读书", "摘抄", "随笔", "杂记", "典故"};
    std::vector<std::string> classNames;
    const int groups = std::max(1, nClasses / 8);
    for (int k = 1; k <= groups; ++k)
        for (const char* t : kTop) classNames.push_back(plat::Gbk(t) + "\\" + plat::Gbk("第") + std::to_string(k) + plat::Gbk("组"));
    const std::vector<std::string> sources = {plat::Gbk("唐诗三百首"), plat::Gbk("宋词一百首"), plat::Gbk("格言")};
    const std::vector<fs::path> classDirs = WriteClasses(lib, g.libraryRel, classNames, sources);

    static const char* const kEnglish[] = {"Linux", "Debian", "the",   "poem",    "moon",  "wine",
                                           "night", "river",  "spring", "autumn", "notes", "classic",
                                           "quote", "Tang",   "Song",  "mountain", "friend", "reading"};
    const std::size_t bodyBytes = 1024;
    std::mt19937 rng(2026);
    SetLocalTimeSource(&VaryingTime);
    XmlRecordSet rs;
    for (int i = 0; i < nCards; ++i) {
        const std::size_t ci = static_cast<std::size_t>(i) % classDirs.size();
        const Piece& first = pieces[rng() % pieces.size()];
        std::string body = first.gbk;
        while (body.size() < bodyBytes * 3 / 4) body += "\n" + pieces[rng() % pieces.size()].gbk;
        // A long piece (the sayings hold whole chapters of manuals) is cut at a line end.
        if (body.size() > bodyBytes * 3 / 2) {
            const std::size_t cut = body.find('\n', bodyBytes);
            if (cut != std::string::npos) body.resize(cut);
        }
        rs.card = {};
        rs.card.title = TitleOf(first.gbk);
        rs.card.klass = classNames[ci];
        rs.card.source = sources[first.origin];
        std::string keyword = WordFrom(body, rng) + ";" + WordFrom(body, rng);
        for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k) keyword += std::string(";") + kEnglish[rng() % 18];
        rs.card.keyword = keyword;
        for (char c : body) rs.card.content += c == '\n' ? std::string("\r\n") : std::string(1, c);
        rs.card.href = "..\\..\\..\\..\\xmlstyle\\datumstyle\\simple.xsl";
        rs.card.dtdPath = "\\xmlstyle\\qvrt_xml_1.0\\02_2003_datum01.dtd";
        g_stamp = {2001 + static_cast<int>(rng() % 24), 1 + static_cast<int>(rng() % 12),
                   1 + static_cast<int>(rng() % 28), static_cast<int>(rng() % 24), static_cast<int>(rng() % 60)};
        plat::StringSink sink;
        rs.WriteCard(sink);
        const fs::path file = classDirs[ci] / (plat::GbkToUtf8(rs.card.title) + "-" + std::to_string(i) + ".datum.xml");
        WriteBytes(file, sink.data);
        g.lastCardNative = file.string();
    }
    SetLocalTimeSource(nullptr);
    g.cards = nCards;
    g.classes = static_cast<int>(classNames.size());
    return g;
}
