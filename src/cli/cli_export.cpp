// korvane --export-html LIBRARY FOLDER, --export-md LIBRARY FOLDER and
// korvane --import FOLDER|FILE... --library NAME [--class CLASS] [--mark]: the library manager's export and
// import, for scripts. Ctrl+C stops them: an export then leaves nothing, an import the cards it wrote.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "cli/cli.h"
#include "cli/cli_archive.h"
#include "cli/program_dir.h"
#include "export/md_export.h"
#include "export/site_export.h"
#include "export/text_import.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/text.h"

namespace cli {
namespace {

using plat::Gbk;

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) { gInterrupted = true; }

void CatchInterrupt(exporting::Progress& progress) {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    progress.cancel = &gInterrupted;
}

int Usage() {
    std::fputs(
        "usage: korvane --export-html LIBRARY FOLDER [--newest-first]\n"
        "       korvane --export-md LIBRARY FOLDER\n"
        "       korvane --import FOLDER|FILE... --library NAME [--class CLASS] [--mark]\n",
        stderr);
    return 2;
}

// A name a file or folder has on disk (UTF-8, any character), taken from where the user started the program.
std::string NativeArg(const QString& arg) {
    std::filesystem::path p(arg.toStdString());
    if (p.is_relative()) p = std::filesystem::path(progdir::LaunchDir()) / p;
    return p.lexically_normal().string();
}

// Notes are said, not failures: the export or import did its work.
void Say(const std::string& gbkLines) {
    std::size_t at = 0;
    while (at < gbkLines.size()) {
        std::size_t end = gbkLines.find("\r\n", at);
        if (end == std::string::npos) end = gbkLines.size();
        if (end > at) Fail(gbkLines.substr(at, end - at));
        at = end + 2;
    }
}

int Export(const QStringList& args, bool html) {
    QStringList plain;
    exporting::SiteOptions options;
    for (const QString& a : args) {
        if (html && a == QLatin1String("--newest-first")) options.newestFirst = true;
        else if (a.isEmpty() || a.startsWith(QLatin1String("--"))) return Usage();
        else plain << a;
    }
    if (plain.size() != 2) return Usage();
    std::string root;
    if (const int status = ResolveLibrary(plain[0], root)) return status;
    exporting::Progress progress;
    CatchInterrupt(progress);
    const exporting::Outcome out = html ? exporting::ExportSite(root, NativeArg(plain[1]), options, progress)
                                        : exporting::ExportMarkdown(root, NativeArg(plain[1]), progress);
    if (out.cancelled) return Fail(Gbk("导出已取消，没有留下任何文件"));
    if (!out.ok) return Fail(out.error);
    Say(out.notes);
    std::printf("%s\n", plat::GbkToUtf8(Gbk("导出了 ") + std::to_string(out.cards) + Gbk(" 张资料卡")).c_str());
    return 0;
}

}  // namespace

int RunExportHtml(const QStringList& args) { return Export(args, true); }
int RunExportMd(const QStringList& args) { return Export(args, false); }

int RunImport(const QStringList& args) {
    QStringList sources;
    QString library, klass;
    bool haveLibrary = false, haveClass = false;
    exporting::ImportOptions options;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--library") && i + 1 < args.size() && !haveLibrary) {
            library = args[++i];
            haveLibrary = true;
        } else if (args[i] == QLatin1String("--class") && i + 1 < args.size() && !haveClass) {
            klass = args[++i];
            haveClass = true;
        } else if (args[i] == QLatin1String("--mark")) {
            options.replaceUnstorable = true;
        } else if (args[i].isEmpty() || args[i].startsWith(QLatin1String("--"))) {
            return Usage();
        } else {
            sources << args[i];
        }
    }
    if (sources.isEmpty() || !haveLibrary) return Usage();
    if (const int status = ResolveLibrary(library, options.root)) return status;
    if (haveClass) {
        std::string gbk;
        if (!plat::FromQ(klass, gbk)) return Fail(Gbk("类别名称中有无法保存的字符: ") + plat::Utf8ToGbk(klass.toStdString()));
        gbk = WithoutFinalSeparators(plat::ReplaceAll(gbk, "/", "\\"));
        while (!gbk.empty() && (gbk[0] == '\\')) gbk.erase(0, 1);
        options.klass = gbk;
    }
    std::vector<std::string> natives;
    for (const QString& s : sources) natives.push_back(NativeArg(s));
    exporting::Progress progress;
    CatchInterrupt(progress);
    const exporting::ImportOutcome out = exporting::ImportFiles(natives, options, progress);
    for (const exporting::UnstorableFile& u : out.unstorable) {
        const QString c = u.first >= 0xD800 && u.first <= 0xDFFF ? QString(QChar::ReplacementCharacter)
                                                                  : QString::fromUcs4(&u.first, 1);
        Fail(Gbk("文件 ") + plat::Abbreviate(plat::Utf8ToGbk(u.file)) + Gbk(" 中有 ") + std::to_string(u.count) +
             Gbk(" 个 XML 文件不能容纳的字符（第一个是 U+") +
             QString::number(static_cast<uint>(u.first), 16).toUpper().rightJustified(4, QLatin1Char('0')).toStdString() +
             Gbk("），没有导入；加 --mark 把这些字符换成 〓 后导入"));
    }
    Say(out.error);
    Say(out.notes);
    std::string done = Gbk("导入了 ") + std::to_string(out.cards) + Gbk(" 张资料卡");
    if (out.cancelled) done = Gbk("导入已取消，") + done;
    std::printf("%s\n", plat::GbkToUtf8(done).c_str());
    if (out.cancelled) return 1;
    return out.ok && out.unstorable.empty() ? 0 : 1;
}

}  // namespace cli
