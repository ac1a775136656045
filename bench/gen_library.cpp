#include "gen_library.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
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

    // Registry with all 50 slotList.
    std::vector<std::pair<std::string, std::string>> libs = {{plat::Gbk("基准资料库"), g.libraryRel}};
    std::string reg = "# registry\r\ncount=1\r\nuse=0\r\n";
    for (int i = 0; i < 50; ++i) {
        reg += "name" + std::to_string(i) + "=" + (i == 0 ? libs[0].first : "") + "\r\n";
        reg += "path" + std::to_string(i) + "=" + (i == 0 ? libs[0].second : "") + "\r\n";
    }
    WriteBytes(prog / "set" / "datumlib.lst", reg);

    // Styles and DTD.
    const std::string xsl = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<xsl:stylesheet version=\"1.0\" "
                            "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"/>";
    WriteBytes(prog / "xmlstyle" / "datumstyle" / "simple.xsl", xsl);
    WriteBytes(prog / "xmlstyle" / "datumstyle" / "report.xsl", xsl);
    WriteBytes(prog / "xmlstyle" / "qvrt_xml_1.0" / "02_2003_datum01.dtd", "<!ELEMENT datum ANY>\r\n");

    // Classes: top-level ones, each with children (two levels).
    int top = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(nClasses))));
    std::vector<std::string> classNames;  // GBK, with '\' for nested
    for (int t = 0; t < top && static_cast<int>(classNames.size()) < nClasses; ++t)
        classNames.push_back(plat::Gbk("类别") + std::to_string(t));
    for (int c = 0; static_cast<int>(classNames.size()) < nClasses; ++c) {
        int parent = c % top;
        classNames.push_back(classNames[parent] + "\\" + plat::Gbk("子类") + std::to_string(c));
    }
    std::vector<std::pair<std::string, std::string>> classSlots;
    for (int i = 0; i < std::min(100, nClasses); ++i)
        classSlots.push_back({classNames[i], g.libraryRel + "\\" + classNames[i] + "\\"});
    WriteBytes(lib / "_ _SETS_ _" / "class.list", ListFile("# classes", static_cast<int>(classSlots.size()), classSlots, 100, true));
    std::vector<std::pair<std::string, std::string>> sources = {{plat::Gbk("读书"), ""}, {plat::Gbk("网络"), ""}};
    WriteBytes(lib / "_ _SETS_ _" / "source.list", ListFile("# sources", 2, sources, 100, false));
    std::vector<fs::path> classDirs;
    for (const auto& c : classNames) {
        fs::path d = lib / plat::ToNative(c);
        fs::create_directories(d);
        classDirs.push_back(d);
    }

    // Cards, spread evenly.
    SetLocalTimeSource(&FixedTime);
    XmlRecordSet rs;
    for (int i = 0; i < nCards; ++i) {
        size_t ci = static_cast<size_t>(i) % classDirs.size();
        rs.card = {};
        rs.card.title = plat::Gbk("笔记") + std::to_string(i);
        rs.card.klass = classNames[ci];
        rs.card.source = sources[i % 2].first;
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
