#include "support/trash_look.h"

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace {

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

std::string TrashedFrom(const std::string& nativeOriginal) {
    namespace fs = std::filesystem;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (!data) return {};
    const fs::path trash = fs::path(data) / "Trash";
    std::error_code ec;
    std::string found;
    fs::file_time_type newest{};
    for (const auto& e : fs::directory_iterator(trash / "info", ec)) {
        const std::string text = ReadNativeFile(e.path().string());
        const std::size_t at = text.find("\nPath=");
        if (at == std::string::npos) continue;
        const std::size_t end = text.find('\n', at + 6);
        if (Unescape(text.substr(at + 6, end - at - 6)) != nativeOriginal) continue;
        const std::string name = e.path().filename().string();
        const fs::path file = trash / "files" / name.substr(0, name.size() - std::string(".trashinfo").size());
        if (!fs::exists(fs::symlink_status(file)) || (!found.empty() && e.last_write_time() < newest)) continue;
        found = file.string();
        newest = e.last_write_time();
    }
    return found;
}
