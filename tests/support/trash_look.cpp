#include <QByteArray>
#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

std::string TrashedFrom(const std::string& nativeOriginal) {
    namespace fs = std::filesystem;
    const fs::path trash = fs::path(std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "/nonexistent") / "Trash";
    std::error_code ec;
    std::string found;
    fs::file_time_type newest{};
    for (const auto& e : fs::directory_iterator(trash / "info", ec)) {
        const std::string text = ReadNativeFile(e.path().string());
        const std::size_t at = text.find("\nPath=") + 6, end = text.find('\n', at);
        const std::string name = e.path().stem().string();
        if (at < 6 || QByteArray::fromPercentEncoding(QByteArray::fromStdString(text.substr(at, end - at))).toStdString() !=
                          nativeOriginal ||
            !fs::exists(fs::symlink_status(trash / "files" / name)) || (!found.empty() && e.last_write_time() < newest))
            continue;
        found = (trash / "files" / name).string();
        newest = e.last_write_time();
    }
    return found;
}
