// Test entry point for dialog tests: one QApplication, offscreen unless a display was chosen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Rendered pages, the user's program directory and window places go below a folder of this run, never
    // into $HOME.
    QTemporaryDir xdg;
    qputenv("XDG_CONFIG_HOME", (xdg.path() + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (xdg.path() + "/cache").toUtf8());
    qputenv("XDG_DATA_HOME", (xdg.path() + "/data").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
