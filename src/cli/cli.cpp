#include "cli/cli.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/cli_help.h"
#include "cli/program_dir.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

namespace cli {
namespace {

// One row per mode: the flag, what it runs, its arguments as a usage line shows them and one line on what it
// does. The rows are the one list of the command-line modes.
struct Mode {
    const char* flag;
    int (*run)(const QStringList&);
    const char* synopsis;
    const char* summary;
};
constexpr Mode kModes[] = {
    {"--help", RunHelp, "", "列出命令行的各个模式"},
    {"--render", RunRender, "CARD [OUT.html] [--style STYLE.xsl]", "写出资料卡的网页"},
    {"--search", RunSearch, "[-0] 检索词 [--library 资料库名称]", "列出含有检索词的资料卡"},
    {"--backup", RunBackup, "NAME-OR-FOLDER ARCHIVE.zip", "把资料库备份为一个 ZIP 文件"},
    {"--restore", RunRestore, "ARCHIVE.zip FOLDER [NAME]", "从 ZIP 备份恢复资料库并登记"},
    {"--watch", RunWatch, "[--library 资料库名称]", "不开窗口，随时更新资料库的检索索引"},
    {"--export-html", RunExportHtml, "LIBRARY FOLDER [--newest-first]", "把资料库导出为静态网站"},
    {"--export-md", RunExportMd, "LIBRARY FOLDER", "把资料库导出为 Markdown 文件"},
    {"--import", RunImport, "FOLDER|FILE... --library NAME [--class CLASS] [--mark]", "把 .txt 和 .md 文件导入为资料卡"},
    {"--history", RunHistory, "CARD", "列出资料卡记录下来的各个版本"},
    {"--show-version", RunShowVersion, "CARD ID", "写出资料卡的一个版本的内容"},
    {"--add-library", RunAddLibrary, "FOLDER [NAME]", "登记一个已有的资料库目录"},
};

const Mode* FindMode(int argc, char** argv) {
    if (argc < 2) return nullptr;
    for (const Mode& m : kModes)
        if (std::strcmp(argv[1], m.flag) == 0) return &m;
    return nullptr;
}

}  // namespace

std::vector<ModeDoc> ModeDocs() {
    std::vector<ModeDoc> docs;
    for (const Mode& m : kModes) docs.push_back({m.flag, m.synopsis, m.summary});
    return docs;
}

namespace {

// True when the program works in another folder than the one the user started it in.
bool Moved() {
    std::error_code ec;
    return std::filesystem::current_path(ec).string() != progdir::LaunchDir();
}

}  // namespace

int FileArg(const QString& arg, std::string& internal) {
    if (arg.contains(QLatin1Char('\\'))) {
        Fail(plat::Gbk("文件名中的 \\ 在本程序的路径中是分隔符，不能照原样使用: ") +
             plat::Utf8ToGbk(arg.toStdString()));
        return 2;
    }
    // A relative argument names a file where the user started the program, which is not the program
    // directory when the program changed into the user's own one. Started in the program directory, it stays
    // relative, so a restored library is registered the way the shipped one is.
    std::filesystem::path native(arg.toStdString());
    if (native.is_relative() && !native.empty() && Moved())
        native = std::filesystem::path(progdir::LaunchDir()) / native;
    const std::optional<std::string> path = plat::FromNative(native.string());
    if (path && !path->empty()) {
        internal = *path;
        return 0;
    }
    return Fail(plat::Gbk("路径中有无法保存的字符: ") + plat::Utf8ToGbk(arg.toStdString()));
}

int Fail(const std::string& gbkMessage) {
    // One line whatever the message holds: a name with a line break must not forge a second message.
    const std::string line = plat::EscapeControls(plat::GbkToUtf8(plat::ReplaceAll(gbkMessage, "\r\n", " ")));
    std::fprintf(stderr, "korvane: %s\n", line.c_str());
    return 1;
}

std::string ShellPath(const std::string& internal) {
    const std::string native = plat::ToNative(internal);
    if (plat::IsAbsolute(internal) || !Moved()) return native;
    std::error_code ec;
    return (std::filesystem::current_path(ec) / native).string();
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
