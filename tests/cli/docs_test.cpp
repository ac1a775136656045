// The command line's documentation agrees with itself: --help, the manual page that was built and installed,
// the README's list of options and the bash completion all come from the table of modes, and each says what
// that table holds now.
#include <gtest/gtest.h>

#include <QProcess>
#include <fstream>
#include <sstream>

#include "app/main_fixture.h"
#include "cli/cli_help.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int status;
    std::string out, err;
};
Outcome Start(const QString& program, const QStringList& args, const QString& cwd, const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_DATA_HOME", home + "/data");
    QProcess p;
    p.setWorkingDirectory(cwd);
    p.setProcessEnvironment(env);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

TEST(CommandLineDocs, HelpTheManualPageAndTheReadmeListEveryModeOfTheTable) {
    const std::vector<cli::ModeDoc> modes = cli::ModeDocs();
    ASSERT_GE(modes.size(), 2u);
    TempProgramDir dir;
    const QString root = QString::fromStdString(dir.Native());
    const Outcome help = Start(KORVANE_EXE, {"--help"}, root, root);
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out, cli::HelpText(modes));
    EXPECT_EQ(Start(KORVANE_EXE, {"--help", "x"}, root, root).status, 2);

    const std::string man = ReadAll(KORVANE_MAN_PAGE);
    EXPECT_EQ(man, cli::ManPage(modes)) << "the manual page was not built from the table as it is";
    const std::string readme = ReadAll(KORVANE_README);
    EXPECT_NE(readme.find(cli::ReadmeOptions(modes)), std::string::npos)
        << "README.md lacks these lines (korvane_make_docs --readme prints them):\n" << cli::ReadmeOptions(modes);
    for (const cli::ModeDoc& m : modes) {
        const std::string usage = "korvane " + m.flag + (m.synopsis.empty() ? "" : " " + m.synopsis);
        EXPECT_NE(help.out.find(usage + "\n"), std::string::npos) << usage;
        EXPECT_NE(help.out.find(m.summary), std::string::npos) << m.summary;
        std::string roffFlag;
        for (char c : m.flag) roffFlag += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(man.find(".TP\n.B " + roffFlag), std::string::npos) << m.flag << " in the manual's options";
        EXPECT_NE(man.find(".B korvane " + roffFlag), std::string::npos) << m.flag << " in the manual's synopsis";
    }
    // Nothing stale: the README lists no mode the table lacks.
    size_t listed = 0;
    for (size_t at = readme.find("\n- `korvane --"); at != std::string::npos; at = readme.find("\n- `korvane --", at + 1))
        ++listed;
    EXPECT_EQ(listed, modes.size());
}

// What Tab offers after the words typed so far, from the completion script that was built.
std::vector<std::string> Complete(const TempProgramDir& dir, const std::string& words) {
    const std::string script = "source '" + std::string(KORVANE_COMPLETION) + "'\nCOMP_WORDS=(" + words +
                               ")\nCOMP_CWORD=$((${#COMP_WORDS[@]}-1))\n_korvane\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const QString root = QString::fromStdString(dir.Native());
    const Outcome r = Start("bash", {"-c", QString::fromStdString(script)}, root, root);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> out;
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);)
        if (!l.empty()) out.push_back(l);
    return out;
}

TEST(CommandLineDocs, BashCompletesTheModesTheirOptionsAndTheRegisteredLibraries) {
    TempProgramDir dir;
    mainfx::WriteRegistry(dir, {{"资料 一", "lib"}, {"资料二", "lib2"}, {"Notes", "n"}}, 0);
    using V = std::vector<std::string>;
    const struct {
        const char* words;
        V offered;
    } cases[] = {
        {"korvane --re", V{"--render", "--restore"}},
        {"korvane --search -", V{"-0", "--library"}},
        {"korvane --search --library 资", V{"资料 一", "资料二"}},
        {"korvane --search --library ''", V{"资料 一", "资料二", "Notes"}},
        {"korvane --backup N", V{"Notes"}},
        {"korvane --backup 资料二 a", V{}},           // the archive: a file name
        {"korvane --render 资", V{}},                  // a card: a file name
        {"korvane --restore a.zip folder 资", V{}},    // a new name, not a registered one
        {"korvane --render c.xml --style ''", V{}},
    };
    for (const auto& c : cases) EXPECT_EQ(Complete(dir, c.words), c.offered) << c.words;
}

}  // namespace
