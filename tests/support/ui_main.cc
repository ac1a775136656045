// Test entry point for dialog tests: one QApplication, offscreen unless a display was chosen.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every window keeps a search index in the user's cache folder: the tests keep theirs in a folder of
    // their own, never in $HOME.
    std::string cache = (std::filesystem::temp_directory_path() / "korvane-cache-XXXXXX").string();
    const bool ownCache = mkdtemp(cache.data()) != nullptr;
    if (ownCache) setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    int rc;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    std::error_code ec;
    if (ownCache) std::filesystem::remove_all(cache, ec);
    return rc;
}
