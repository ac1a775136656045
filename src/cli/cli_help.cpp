#include "cli/cli_help.h"

#include <QStringList>
#include <cstdio>
#include <sstream>

namespace cli {
namespace {

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string Usage(const ModeDoc& m) { return "korvane " + m.flag + (m.synopsis.empty() ? "" : " " + m.synopsis); }

// Text as roff shows it: a backslash is printed, '-' is a real hyphen-minus (options are typed), a line never
// begins with a control character, and a break may fall between two CJK characters (groff breaks lines only
// at spaces, which Chinese text does not have).
std::string Roff(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) out += "\\&" + std::string(1, s[i]);
        else if (c >= 0xE3 && c <= 0xEF && i + 2 < s.size()) {  // a three-byte UTF-8 character: the CJK ranges
            const std::string ch = s.substr(i, 3);
            out += ch;
            i += 2;
            // Never before a full-width punctuation mark, nor after an opening bracket.
            const bool punctuationNext = i + 2 < s.size() && (s.compare(i + 1, 2, "\xE3\x80") == 0 ||
                                                              s.compare(i + 1, 2, "\xEF\xBC") == 0);
            if (!punctuationNext && ch != "（" && ch != "“") out += "\\:";
        } else out += s[i];
    }
    return out;
}

bool NamesLibrary(const std::string& placeholder) {
    return placeholder.find("NAME") != std::string::npos || placeholder.find("名称") != std::string::npos;
}

// What completion offers after a mode: its options, the option before a library's name, and the positions
// (counted from the word after the mode) where a required argument names a library.
struct Completion {
    std::string options;
    std::vector<std::string> nameOptions;
    std::vector<int> namePositions;
};

Completion CompletionOf(const ModeDoc& m) {
    Completion c;
    const std::vector<std::string> words = Words(m.synopsis);
    int position = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        const bool optional = words[i].front() == '[';
        std::string w = words[i];
        while (!w.empty() && (w.front() == '[')) w.erase(0, 1);
        const bool closes = !w.empty() && w.back() == ']';
        while (!w.empty() && w.back() == ']') w.pop_back();
        if (w.empty()) continue;
        if (w.front() == '-') {
            c.options += (c.options.empty() ? "" : " ") + w;
            if (!closes && i + 1 < words.size() && words[i + 1].front() != '-' && words[i + 1].front() != '[') {
                if (NamesLibrary(words[i + 1])) c.nameOptions.push_back(w);
                ++i;
            }
            continue;
        }
        if (!optional && NamesLibrary(w)) c.namePositions.push_back(position);
        ++position;
    }
    return c;
}

}  // namespace

std::string HelpText(const std::vector<ModeDoc>& modes) {
    std::string out = "用法: korvane                 打开资料管理窗口\n";
    for (const ModeDoc& m : modes) out += "       " + Usage(m) + "\n";
    out += "\n";
    for (const ModeDoc& m : modes) out += "  " + m.flag + std::string(m.flag.size() < 12 ? 12 - m.flag.size() : 1, ' ') + m.summary + "\n";
    out += "\n退出状态: 0 成功; 1 失败, 标准错误输出上有一行说明 (--search: 没有找到资料卡); 2 参数有误 (--search: 出错)。\n"
           "相对路径从启动命令的文件夹算起。手册: man korvane\n";
    return out;
}

std::string ManPage(const std::vector<ModeDoc>& modes) {
    // Left-aligned: justifying a line of Chinese would have to stretch its few spaces. The name line stays as
    // it is, for whatis.
    std::string out = ".TH KORVANE 1 \"\" \"Korvane\" \"User Commands\"\n.ad l\n.SH NAME\n"
                      "korvane \\- 个人资料卡管理器\n.SH SYNOPSIS\n.B korvane\n";
    for (const ModeDoc& m : modes)
        out += ".br\n.B korvane " + Roff(m.flag) + (m.synopsis.empty() ? "" : "\n" + Roff(m.synopsis)) + "\n";
    out += ".SH DESCRIPTION\n" +
           Roff("Korvane 把个人的文字资料保存为资料卡：每张资料卡是一个 GB2312 编码的 XML 文件，放在资料库中，"
                "资料库的子文件夹就是类别。不带参数时打开资料管理窗口；带下面的一个模式时不打开窗口，"
                "在命令行上完成工作，不需要图形界面。") +
           "\n.PP\n" +
           Roff("命令行上的文件名是本机路径，照原样使用；相对路径从启动命令的文件夹算起。"
                "文件名中不能有 \\，它在本程序的路径中是分隔符。") +
           "\n.SH OPTIONS\n";
    for (const ModeDoc& m : modes)
        out += ".TP\n.B " + Roff(m.flag) + (m.synopsis.empty() ? "" : " " + Roff(m.synopsis)) + "\n" + Roff(m.summary) +
               "\n";
    out += ".SH \"EXIT STATUS\"\n.TP\n.B 0\n" + Roff("成功。") + "\n.TP\n.B 1\n" +
           Roff("失败：标准错误输出上有一行说明（--search：没有找到资料卡）。") + "\n.TP\n.B 2\n" +
           Roff("参数有误，或 --search 出错。") + "\n";
    out += ".SH FILES\n.TP\n.I set/datumlib.lst\n" +
           Roff("资料库的登记表。启动时当前文件夹中有这个文件，当前文件夹就是程序目录；否则程序在用户自己的程序目录中工作。") +
           "\n.TP\n.I ${XDG_DATA_HOME:\\-~/.local/share}/korvane/\n" +
           Roff("用户自己的程序目录：登记表、资料库模板、样式表和示例资料库。第一次启动时从 /usr/share/korvane/ 复制，"
                "从不覆盖已有的。") +
           "\n.TP\n.I /usr/share/korvane/\n" + Roff("随程序安装的程序目录，只读。") +
           "\n.TP\n.I ${XDG_CACHE_HOME:\\-~/.cache}/korvane/\n" +
           Roff("检索索引（每个资料库一个文件）和在浏览器中查看的网页；可以随时删除，需要时重新生成。") +
           "\n.TP\n.I ${XDG_CONFIG_HOME:\\-~/.config}/korvane/korvane.ini\n" +
           Roff("窗口的大小和位置；删除后恢复默认。") + "\n";
    out += ".SH ENVIRONMENT\n.TP\n.B HOME\n" + Roff("没有 HOME 和下面的变量时，没有用户自己的程序目录，也没有检索索引。") +
           "\n.TP\n.B XDG_DATA_HOME\n" + Roff("用户自己的程序目录所在的文件夹（默认 ~/.local/share）。") +
           "\n.TP\n.B XDG_CACHE_HOME\n" + Roff("检索索引和网页所在的文件夹（默认 ~/.cache）。") +
           "\n.TP\n.B XDG_CONFIG_HOME\n" + Roff("设置文件所在的文件夹（默认 ~/.config）。") + "\n";
    return out;
}

std::string BashCompletion(const std::vector<ModeDoc>& modes) {
    std::string flags;
    for (const ModeDoc& m : modes) flags += (flags.empty() ? "" : " ") + m.flag;
    std::string out =
        "# bash completion for korvane: its modes, their options, and the registered libraries' names.\n"
        "_korvane_libraries() {\n"
        "    local list=set/datumlib.lst\n"
        "    [ -f \"$list\" ] || list=${XDG_DATA_HOME:-$HOME/.local/share}/korvane/set/datumlib.lst\n"
        "    [ -r \"$list\" ] || return 0\n"
        "    iconv -f GBK -t UTF-8 -- \"$list\" 2>/dev/null | tr -d '\\r' | sed -n 's/^name[0-9][0-9]*=\\(..*\\)$/\\1/p'\n"
        "}\n"
        "_korvane() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} options='' names=0 n\n"
        "    COMPREPLY=()\n"
        "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
        "        mapfile -t COMPREPLY < <(compgen -W '" + flags + "' -- \"$cur\")\n"
        "        return 0\n"
        "    fi\n"
        "    case ${COMP_WORDS[1]} in\n";
    for (const ModeDoc& m : modes) {
        const Completion c = CompletionOf(m);
        out += "    " + m.flag + ")\n        options='" + c.options + "'\n";
        for (const std::string& o : c.nameOptions) out += "        [ \"$prev\" = " + o + " ] && names=1\n";
        for (int p : c.namePositions) out += "        [ \"$COMP_CWORD\" -eq " + std::to_string(p + 2) + " ] && names=1\n";
        out += "        ;;\n";
    }
    out += "    esac\n"
           "    if [[ $cur == -* && -n $options ]]; then\n"
           "        mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
           "    elif [ $names = 1 ]; then\n"
           "        while IFS= read -r n; do [[ $n == \"$cur\"* ]] && COMPREPLY+=(\"$n\"); done < <(_korvane_libraries)\n"
           "    fi\n"
           "    return 0\n"
           "}\n"
           "# Where nothing above fits (or no library's name does), file names.\n"
           "complete -o default -F _korvane korvane\n";
    return out;
}

std::string ReadmeOptions(const std::vector<ModeDoc>& modes) {
    std::string out;
    for (const ModeDoc& m : modes) out += "- `" + Usage(m) + "`: " + m.summary + "\n";
    return out;
}

int RunHelp(const QStringList& args) {
    if (!args.isEmpty()) {
        std::fputs("korvane: 用法: korvane --help\n", stderr);
        return 2;
    }
    std::fputs(HelpText(ModeDocs()).c_str(), stdout);
    return 0;
}

}  // namespace cli
