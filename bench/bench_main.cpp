// Benchmarks of the program's hot paths, each beside its floor measured in the same run.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "bench_common.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "store/xml_record_set.h"

namespace fs = std::filesystem;

namespace {

// A program directory kept under $KORVANE_BENCH_DIR (default /tmp/korvane-bench) and reused while its
// marker file exists.
const GeneratedLibrary& Kept(const std::string& name, int n, const std::string& libraryRel, int classes,
                             const std::function<GeneratedLibrary(const std::string&)>& generate) {
    static std::map<std::string, GeneratedLibrary> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    const char* base = std::getenv("KORVANE_BENCH_DIR");
    fs::path dir = fs::path(base ? base : "/tmp/korvane-bench") / name;
    fs::path marker = dir / "ready";
    GeneratedLibrary g;
    if (fs::exists(marker)) {
        std::ifstream in(marker);
        std::getline(in, g.lastCardNative);
        g.programDir = dir.string();
        g.libraryRel = libraryRel;
        g.cards = n;
        g.classes = classes;
    } else {
        fs::remove_all(dir);
        g = generate(dir.string());
        std::ofstream(marker) << g.lastCardNative << "\n";
    }
    return made.emplace(name, g).first->second;
}

}  // namespace

const GeneratedLibrary& Library(int n) {
    return Kept("n" + std::to_string(n), n, "datum\\bench", 2000,
                [n](const std::string& dir) { return GenerateLibrary(dir, n, 2000); });
}

const GeneratedLibrary& RealTextLibrary(int n) {
    return Kept("real" + std::to_string(n), n, "datum\\real", 200,
                [n](const std::string& dir) { return GenerateRealTextLibrary(dir, n); });
}

static long long WalkDir(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return 0;
    long long n = 0;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
        ++n;
        if (e->d_type == DT_DIR) n += WalkDir(dir + "/" + e->d_name);
    }
    closedir(d);
    return n;
}

long long WalkTree(const std::string& nativeDir) { return WalkDir(nativeDir); }

const std::string& BenchCard(int bytes, bool oneParagraph) {
    static std::map<std::pair<int, bool>, std::string> made;
    auto it = made.find({bytes, oneParagraph});
    if (it != made.end()) return it->second;
    fs::path dir = fs::temp_directory_path() / "korvane-bench-cards";
    fs::create_directories(dir);
    XmlRecordSet rs;
    rs.card.title = plat::Gbk("基准卡片");
    rs.card.klass = plat::Gbk("类别0");
    rs.card.source = plat::Gbk("读书");
    rs.card.content = RealisticGbkText(static_cast<size_t>(bytes), 11);
    if (oneParagraph) std::erase_if(rs.card.content, [](char c) { return c == '\r' || c == '\n'; });
    rs.card.href = "simple.xsl";
    rs.card.dtdPath = "x.dtd";
    plat::StringSink sink;
    rs.WriteCard(sink);
    std::string native =
        (dir / ("card" + std::to_string(bytes) + (oneParagraph ? "p1" : "") + ".datum.xml")).string();
    std::ofstream(native, std::ios::binary | std::ios::trunc) << sink.data;
    return made.emplace(std::pair{bytes, oneParagraph}, native).first->second;
}

std::string PlainRead(const std::string& nativePath) {
    std::ifstream in(nativePath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void FsyncWrite(const std::string& nativePath, const std::string& bytes) {
    int fd = ::open(nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + off, bytes.size() - off);
        if (w <= 0) break;
        off += static_cast<size_t>(w);
    }
    ::fsync(fd);
    ::close(fd);
}

double PeakRssMiB() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReleaseWindows();
    return 0;
}
