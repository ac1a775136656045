#include "cli/cli.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/program_dir.h"
#include "platform/codec.h"
#include "platform/path.h"

namespace cli {
namespace {

struct Mode {
    const char* flag;
    int (*run)(const QStringList&);
};
constexpr Mode kModes[] = {
    {"--render", RunRender},
    {"--search", RunSearch},
    {"--backup", RunBackup},
    {"--restore", RunRestore},
};

const Mode* FindMode(int argc, char** argv) {
    if (argc < 2) return nullptr;
    for (const Mode& m : kModes)
        if (std::strcmp(argv[1], m.flag) == 0) return &m;
    return nullptr;
}

}  // namespace

bool FileArg(const QString& arg, std::string& internal, std::string& error) {
    // A relative argument names a file where the user started the program, which is not the program
    // directory when the program changed into the user's own one. Started in the program directory, it stays
    // relative, so a restored library is registered the way the shipped one is.
    std::filesystem::path native(arg.toStdString());
    std::error_code ec;
    if (native.is_relative() && !native.empty() && std::filesystem::current_path(ec).string() != progdir::LaunchDir())
        native = std::filesystem::path(progdir::LaunchDir()) / native;
    const std::optional<std::string> path = plat::FromNative(native.string());
    if (path && !path->empty()) {
        internal = *path;
        return true;
    }
    error = plat::Gbk("路径中有无法保存的字符: ") + plat::Utf8ToGbk(arg.toStdString());
    return false;
}

int Fail(const std::string& gbkMessage) {
    std::fprintf(stderr, "korvane: %s\n", plat::GbkToUtf8(gbkMessage).c_str());
    return 1;
}

bool IsCommandLineMode(int argc, char** argv) { return FindMode(argc, argv) != nullptr; }

int Run(int argc, char** argv) {
    const Mode* mode = FindMode(argc, argv);
    if (!mode) return 2;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    QStringList args = QCoreApplication::arguments().mid(2);
    return mode->run(args);
}

}  // namespace cli
