#include "history/place.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace history {

std::string Canonical(const std::string& native) {
    std::error_code ec;
    const fs::path abs = fs::absolute(native, ec);
    std::string s = fs::weakly_canonical(abs, ec).string();
    if (ec) s = abs.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string InLibrary(const std::string& root, const std::string& native) {
    if (root.empty() || native.empty()) return {};
    const std::string s = fs::path(Canonical(native)).lexically_relative(root).generic_string();
    if (s.empty() || s == "." || s == ".." || s.rfind("../", 0) == 0) return {};
    return s;
}

std::string LibraryOf(const std::string& native) {
    std::error_code ec;
    for (fs::path p = fs::path(Canonical(native)).parent_path(); !p.empty(); p = p.parent_path()) {
        if (fs::is_directory(p / "_ _SETS_ _", ec)) return p.string();
        if (p == p.root_path()) break;
    }
    return {};
}

}  // namespace history
