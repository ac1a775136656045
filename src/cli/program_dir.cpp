#include "cli/program_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace progdir {

namespace {

constexpr char kRegistry[] = "set/datumlib.lst";

std::string& Launch() {
    static std::string dir;
    return dir;
}

bool IsProgramDir(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / kRegistry, ec);
}

// A folder with set/ is a program directory even when its registry is gone: the program then reports the
// missing registry there instead of quietly working somewhere else.
bool LooksLikeProgramDir(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir / "set", ec);
}

// Makes what was written below `folder` survive a power cut: with `all`, everything on its file system (one
// flush for a whole tree of files); else the folder's own names. Best effort, as a failure would show on reading.
void Flush(const fs::path& folder, bool all) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    all ? ::syncfs(fd) : ::fsync(fd);
    ::close(fd);
}

// Copies the tree into a fresh folder beside the target and renames it into place, so that an interrupted
// first start never leaves a half-made program directory that later starts would take as complete. Every
// copy is made writable by its owner: the installed data is read-only, the user's copy is not.
bool CopyInto(const fs::path& from, const fs::path& to, std::string& why) {
    std::error_code ec, ignored;
    // Where nothing can be made, say which folder refuses: the user's HOME, most often.
    auto fail = [&] {
        why = ec.message();
        if (ec != std::errc::read_only_file_system && ec != std::errc::permission_denied) return false;
        fs::path writable = to.parent_path();
        while (writable.has_relative_path() && !fs::exists(writable, ignored)) writable = writable.parent_path();
        why = writable.string() + " is read-only (" + why + ")";
        return false;
    };
    if (fs::create_directories(to.parent_path(), ec); ec) return fail();
    const fs::path partial = to.parent_path() / (to.filename().string() + ".partial-" + std::to_string(getpid()));
    fs::remove_all(partial, ec);
    fs::copy(from, partial, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (!ec) fs::permissions(partial, fs::perms::owner_all, fs::perm_options::add, ec);
    if (!ec) {
        for (auto it = fs::recursive_directory_iterator(partial, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            const fs::file_type type = it->symlink_status(ec).type();
            if (type == fs::file_type::directory)
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            else if (type == fs::file_type::regular)
                fs::permissions(it->path(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
        }
    }
    // The copy's bytes reach the disk before it takes its name, and the name after: the disk may otherwise
    // keep the name and lose the bytes, and later starts would take a directory of empty files as complete.
    if (!ec) Flush(partial, true);
    if (!ec) fs::rename(partial, to, ec);
    if (!ec) Flush(to.parent_path(), false);
    // Another start that raced this one may have put its copy in place first; that copy serves as well.
    if (ec && IsProgramDir(to)) ec.clear();
    fs::remove_all(partial, ignored);
    return !ec || fail();
}

}  // namespace

const std::string& LaunchDir() {
    if (Launch().empty()) {
        std::error_code ec;
        Launch() = fs::current_path(ec).string();
    }
    return Launch();
}

std::string UserProgramDir() {
    // A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return (fs::path(data) / "korvane").string();
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return std::string();
    return (fs::path(home) / ".local" / "share" / "korvane").string();
}

std::string ShippedData() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path installed = exe.parent_path().parent_path() / "share" / "korvane";
        if (IsProgramDir(installed)) return installed.string();
    }
#ifdef KORVANE_SOURCE_DATA
    if (IsProgramDir(KORVANE_SOURCE_DATA)) return KORVANE_SOURCE_DATA;
#endif
    return std::string();
}

void Enter() {
    LaunchDir();
    std::error_code ec;
    if (LooksLikeProgramDir(fs::current_path(ec))) return;
    const std::string user = UserProgramDir();
    if (user.empty()) {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            std::fputs("korvane: HOME is not set; no program directory to work in\n", stderr);
        else
            std::fprintf(stderr,
                         "korvane: HOME (%s) is not an absolute path; no program directory to work in\n",
                         home);
        return;
    }
    // A folder made empty beforehand (by hand, by a package) is filled as a missing one would be.
    const bool empty = fs::is_directory(fs::symlink_status(user, ec)) && fs::is_empty(user, ec) && !ec;
    if (!fs::exists(fs::symlink_status(user, ec)) || empty) {
        const std::string shipped = ShippedData();
        std::string why;
        if (shipped.empty()) {
            std::fprintf(stderr, "korvane: no shipped program directory found to create %s from\n", user.c_str());
            return;
        }
        if (!CopyInto(shipped, user, why)) {
            std::fprintf(stderr, "korvane: cannot create the program directory %s: %s\n", user.c_str(), why.c_str());
            return;
        }
        std::fprintf(stderr, "Program directory created: %s\n", user.c_str());
    } else if (!IsProgramDir(user)) {
        std::fprintf(stderr, "korvane: %s is not a program directory (it has no %s)\n", user.c_str(),
                     kRegistry);
    }
    if (::chdir(user.c_str()) != 0) std::fprintf(stderr, "korvane: cannot change into %s\n", user.c_str());
}

}  // namespace progdir
