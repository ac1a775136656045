#include "cli/cli.h"

#include <QCoreApplication>
#include <cstring>

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
