#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/path.h"

namespace fs = std::filesystem;

TempProgramDir::TempProgramDir() {
    previousCwd_ = fs::current_path().string();
    std::string tmpl = (fs::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    native_ = tmpl;
    fs::current_path(native_);
}

TempProgramDir::~TempProgramDir() {
    std::error_code ec;
    fs::current_path(previousCwd_, ec);
    // Make everything writable again so read-only test folders can be removed.
    for (auto it = fs::recursive_directory_iterator(native_, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(native_, ec);
}

std::string TempProgramDir::Internal() const { return *plat::FromNative(native_); }

void TempProgramDir::WriteFile(const std::string& rel, const std::string& bytes) const {
    fs::path p = fs::path(native_) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write test file " << p;
}

std::string TempProgramDir::ReadFile(const std::string& rel) const { return ReadNativeFile(native_ + "/" + rel); }

bool TempProgramDir::Exists(const std::string& rel) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(native_) / rel, ec));
}

void TempProgramDir::MakeDir(const std::string& rel) const { fs::create_directories(fs::path(native_) / rel); }

void TempProgramDir::CopyShippedData() const {
    fs::copy(KORVANE_SHIPPED_DATA, native_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::string ReadNativeFile(const std::string& nativePath) {
    std::ostringstream ss;
    ss << std::ifstream(nativePath, std::ios::binary).rdbuf();
    return ss.str();
}

std::string Golden(const std::string& name) {
    std::string path = std::string(KORVANE_TEST_DATA) + "/" + name;
    std::string s = ReadNativeFile(path);
    if (s.empty()) ADD_FAILURE() << "golden file missing or empty: " << path;
    return s;
}
