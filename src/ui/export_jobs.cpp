#include "ui/export_jobs.h"

#include <QElapsedTimer>
#include <QTimer>

#include "export/md_export.h"
#include "export/site_export.h"
#include "export/text_import.h"
#include "platform/codec.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/text.h"
#include "ui/job_strip.h"

using plat::Gbk;

namespace exportui {
namespace {

void Inform(QWidget* owner, const std::string& text) {
    plat::Svc().MessageBox(owner, text, std::string("INFOMATION"), plat::MB_OK | plat::MB_ICONINFORMATION);
}

void ShowError(QWidget* owner, const std::string& text) {
    plat::Svc().MessageBox(owner, text, std::string("ERROR"), plat::MB_OK | plat::MB_ICONERROR);
}

// "1234/100000，还剩约 3 分钟": the rate so far, once there is one to go by.
std::string ProgressText(const std::string& what, long long done, long long total, qint64 ms) {
    std::string text = what + " " + plat::FormatInt(done) + "/" + plat::FormatInt(total);
    if (done >= 20 && ms >= 1000 && total > done) {
        const long long left = static_cast<long long>(static_cast<double>(ms) / done * (total - done) / 1000) + 1;
        text += left < 120 ? Gbk("，还剩约 ") + plat::FormatInt(left) + Gbk(" 秒")
                           : Gbk("，还剩约 ") + plat::FormatInt((left + 59) / 60) + Gbk(" 分钟");
    }
    return text + "......";
}

// The work on a thread of its own under the strip; the strip's 取消 sets what the work polls.
void RunWithProgress(QWidget* owner, const std::string& what, exporting::Progress& progress,
                     const std::function<void()>& work) {
    std::atomic<bool> cancel{false};
    progress.cancel = &cancel;
    CJobStrip strip(what + "......", owner, cancel);
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &strip, [&] {
        const long long done = progress.done, total = progress.total;
        strip.SetMessage(ProgressText(what, done, total, clock.elapsed()));
        strip.SetProgress(done, total);
    });
    tick.start(200);
    strip.Run(work);
    tick.stop();
    progress.cancel = nullptr;
}

std::string Lines(const std::string& gbk, std::size_t max = 10) {
    // A box of a thousand refusals would not fit the screen: the first ones and how many more.
    std::string out;
    std::size_t at = 0, n = 0, lines = 0;
    while (at < gbk.size()) {
        std::size_t end = gbk.find("\r\n", at);
        if (end == std::string::npos) end = gbk.size();
        if (end > at && lines++ < max) out += gbk.substr(at, end - at) + "\n";
        n += end > at;
        at = end + 2;
    }
    if (n > max) out += Gbk("……另有 ") + plat::FormatInt(static_cast<long long>(n - max)) + Gbk(" 项\n");
    return out;
}

std::string Describe(const exporting::UnstorableFile& u) {
    const QString c = u.first >= 0xD800 && u.first <= 0xDFFF ? QString(QChar::ReplacementCharacter)
                                                              : QString::fromUcs4(&u.first, 1);
    std::string shown;
    if (!plat::FromQ(c, shown)) shown = "?";
    const std::string code = QString::number(static_cast<uint>(u.first), 16).toUpper().rightJustified(4, '0').toStdString();
    return plat::Abbreviate(plat::Utf8ToGbk(u.file)) + Gbk(" 中有 ") + plat::FormatInt(u.count) +
           Gbk(" 个 XML 文件不能容纳的字符（第一个是 U+") + code + Gbk("）") + "\r\n";
}

}  // namespace

void Export(QWidget* owner, Kind kind, const std::string& root, const std::string& folder) {
    exporting::Progress progress;
    exporting::Outcome out;
    const std::string target = plat::ToNative(folder);
    RunWithProgress(owner, Gbk(kind == Kind::Site ? "正在导出网站" : "正在导出 Markdown"), progress, [&] {
        out = kind == Kind::Site ? exporting::ExportSite(root, target, {}, progress)
                                 : exporting::ExportMarkdown(root, target, progress);
    });
    if (out.cancelled) return Inform(owner, Gbk("导出已取消，没有留下任何文件。"));
    if (!out.ok) return ShowError(owner, out.error);
    std::string text = Gbk("导出完成: ") + plat::FormatInt(out.cards) + Gbk(" 张资料卡，已写入 ") + folder;
    if (!out.notes.empty()) text += Gbk("\n\n没有导出的资料卡:\n") + Lines(out.notes);
    Inform(owner, text);
}

long long Import(QWidget* owner, const std::vector<std::string>& sources, const std::string& root,
                 const std::string& klass) {
    exporting::ImportOptions options{root, klass, false};
    exporting::Progress progress;
    exporting::ImportOutcome out;
    RunWithProgress(owner, Gbk("正在导入"), progress, [&] { out = exporting::ImportFiles(sources, options, progress); });
    long long cards = out.cards;
    std::string refused = out.error;
    if (!out.cancelled && !out.unstorable.empty()) {
        std::string list;
        std::vector<std::string> files;
        for (const exporting::UnstorableFile& u : out.unstorable) {
            list += Describe(u);
            files.push_back(u.file);
        }
        const int answer = plat::Svc().MessageBox(
            owner,
            Gbk("下面的文件中有资料卡无法保存的字符，还没有导入:\n") + Lines(list) +
                Gbk("\n要把这些字符换成 〓 后导入这些文件吗？选\"否\"则不导入它们。"),
            std::string("QUESTION"), plat::MB_YESNO | plat::MB_ICONQUESTION);
        if (answer == plat::IDYES) {
            options.replaceUnstorable = true;
            exporting::Progress again;
            RunWithProgress(owner, Gbk("正在导入"), again, [&] { out = exporting::ImportFiles(files, options, again); });
            cards += out.cards;
            refused += out.error;
        }
    }
    std::string text = (out.cancelled ? Gbk("导入已取消，已导入 ") : Gbk("导入完成: ")) + plat::FormatInt(cards) +
                       Gbk(" 张资料卡");
    if (!refused.empty()) text += Gbk("\n\n没有导入的文件:\n") + Lines(refused);
    if (!out.notes.empty()) text += "\n" + Lines(out.notes);
    if (refused.empty())
        Inform(owner, text);
    else
        ShowError(owner, text);
    return cards;
}

}  // namespace exportui
