// The command line's documentation says what the table of modes holds now: --help, the manual page that was
// built, the README's list and the bash completion, which offers modes, options and registered libraries.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "app/main_fixture.h"
#include "cli/cli_help.h"

namespace {

// Exit status and standard output of a bash script run in `dir`, with HOME there.
std::pair<int, std::string> Sh(const TempProgramDir& dir, const std::string& script) {
    dir.WriteFile("run.sh", "cd '" + dir.Native() + "'\nexport HOME=\"$PWD\" XDG_DATA_HOME=\"$PWD/data\"\n" + script + "\n");
    FILE* p = popen(("bash '" + dir.Native() + "/run.sh'").c_str(), "r");
    std::string out;
    for (int c; p && (c = std::fgetc(p)) != EOF;) out += static_cast<char>(c);
    return {p ? WEXITSTATUS(pclose(p)) : -1, out};
}

TEST(CommandLineDocs, HelpTheManualAndTheReadmeSayWhatTheTableHoldsAndBashCompletesIt) {
    const std::vector<cli::ModeDoc> modes = cli::ModeDocs();
    TempProgramDir dir;
    const auto [status, help] = Sh(dir, "'" KORVANE_EXE "' --help");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(help, cli::HelpText(modes));
    const std::string man = ReadNativeFile(KORVANE_MAN_PAGE);
    EXPECT_EQ(man, cli::ManPage(modes)) << "the manual page was not built from the table as it is";
    EXPECT_NE(ReadNativeFile(KORVANE_README).find(cli::ReadmeOptions(modes)), std::string::npos)
        << "README.md lacks these lines (korvane_make_docs --readme prints them):\n" << cli::ReadmeOptions(modes);
    for (const cli::ModeDoc& m : modes) {  // each row, in --help's usage lines and among the manual's options
        std::string roff;  // groff's minus for every hyphen of the flag
        for (const char c : m.flag) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(help.find("korvane " + m.flag + (m.synopsis.empty() ? "" : " " + m.synopsis) + "\n") != std::string::npos &&
                    man.find(".TP\n.B " + roff) != std::string::npos) << m.flag;
    }

    mainfx::WriteRegistry(dir, {{"资料 一", "lib"}, {"资料二", "lib2"}, {"Notes", "n"}}, 0);
    const struct { const char* words, *offered; } cases[] = {
        {"--re", "--render|--restore"},
        {"--search -", "-0|--library"},
        {"--search --library 资", "资料 一|资料二"},
        {"--backup ''", "资料 一|资料二|Notes"},
        {"--backup 资料二 a", ""},         // the archive: a file name
        {"--restore a.zip folder 资", ""},  // a new name, not a registered one
    };
    for (const auto& c : cases) {
        const std::string script = "source '" KORVANE_COMPLETION "'; COMP_WORDS=(korvane " + std::string(c.words) +
                                   "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _korvane; IFS='|'; echo \"${COMPREPLY[*]}\"";
        EXPECT_EQ(Sh(dir, script).second, std::string(c.offered) + "\n") << c.words;
    }
}

}  // namespace
