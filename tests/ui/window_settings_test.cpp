// The settings file is the program's own: what a peer or another program put under its name (a link, a
// pipe) is neither read nor written through, and only the program's keys are kept.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ui/window_settings.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(WindowSettingsFile, ALinkOrAPipeUnderItsNameIsNeitherReadNorWrittenThrough) {
    const std::string file = QFile::encodeName(ui::WindowSettings::File()).toStdString();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ui::WindowSettings::File()).path()));
    const std::string target = file + ".card";
    const std::string kept = "[w]\ngeometry=@Rect(10 20 300 200)\n";
    const struct { const char* what; std::function<void()> plant; } cases[] = {
        {"a link to a card", [&] { std::ofstream(target, std::ios::binary) << kept; fs::create_symlink(target, file); }},
        {"a pipe", [&] { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(file);
        fs::remove(target);
        c.plant();
        ui::WindowSettings settings;  // a pipe would block here if it were opened for reading
        QWidget w;
        EXPECT_FALSE(settings.Restore(&w, "w")) << "nothing read through it";
        w.setGeometry(1, 2, 300, 200);
        settings.Remember(&w, "w");
        settings.Save();
        const fs::file_status st = fs::symlink_status(file);
        EXPECT_TRUE(fs::is_symlink(st) || fs::is_fifo(st)) << "what stood there stays";
        if (fs::is_symlink(st)) {
            EXPECT_EQ(Read(target), kept);
        }
    }
    fs::remove(file);
    fs::remove(target);

    // A regular file: the window's place comes back, a key of anyone else's is not written again.
    std::ofstream(file, std::ios::binary) << "[w]\ngeometry=@Rect(10 20 300 200)\nmaximized=false\n[General]\nevil=1\n";
    ui::WindowSettings settings;
    QWidget w;
    EXPECT_TRUE(settings.Restore(&w, "w"));
    settings.SetNumber("w/split", 7);
    settings.Save();
    EXPECT_EQ(Read(file), "[w]\ngeometry=@Rect(10 20 300 200)\nmaximized=false\nsplit=7\n\n");
    EXPECT_EQ(ui::WindowSettings().Number("w/split", 0), 7);
    fs::remove(file);
}

}  // namespace
