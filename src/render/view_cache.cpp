#include "render/view_cache.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/codec.h"

namespace fs = std::filesystem;

namespace render {

namespace {

constexpr char kPrefix[] = "card-";
constexpr char kSuffix[] = ".html";

bool IsPage(const std::string& name) {
    return name.size() > sizeof kPrefix + sizeof kSuffix - 2 && name.rfind(kPrefix, 0) == 0 &&
           name.compare(name.size() - (sizeof kSuffix - 1), sizeof kSuffix - 1, kSuffix) == 0;
}

// Only the program's own pages are candidates; anything else in the folder is left alone.
void Prune(const fs::path& folder) {
    struct Found {
        fs::file_time_type time;
        fs::path path;
    };
    std::vector<Found> pages;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        if (!e.is_regular_file(ec) || !IsPage(e.path().filename().string())) continue;
        pages.push_back({e.last_write_time(ec), e.path()});
    }
    if (pages.size() <= static_cast<std::size_t>(kKeptPages)) return;
    // Newest first; names carry the write time, so they order pages written within one clock tick.
    std::sort(pages.begin(), pages.end(), [](const Found& a, const Found& b) {
        return a.time != b.time ? a.time > b.time : a.path.filename() > b.path.filename();
    });
    for (std::size_t i = kKeptPages; i < pages.size(); ++i) fs::remove(pages[i].path, ec);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string ViewFolder() {
    // A relative XDG_CACHE_HOME is to be ignored, as the base directory rules say.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    fs::path base;
    if (cache && cache[0] == '/') {
        base = cache;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return std::string();
        base = fs::path(home) / ".cache";
    }
    return (base / "korvane" / "view").string();
}

std::string WriteViewPage(const std::string& html, std::string& error) {
    const std::string folder = ViewFolder();
    if (folder.empty()) {
        error = plat::Gbk("找不到缓存目录: HOME 和 XDG_CACHE_HOME 都没有设置");
        return std::string();
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        error = plat::Gbk("不能创建目录 ") + plat::Utf8ToGbk(folder);
        return std::string();
    }
    const long long stamp = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    std::string path;
    int fd = -1;
    for (int n = 0; n < 1000 && fd < 0; ++n) {
        path = folder + "/" + kPrefix + std::to_string(stamp) + "-" + std::to_string(getpid()) + "-" +
               std::to_string(n) + kSuffix;
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    bool ok = fd >= 0 && WriteAll(fd, html);
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (!ok) {
        if (fd >= 0) ::unlink(path.c_str());
        error = plat::Gbk("不能写入文件 ") + plat::Utf8ToGbk(path);
        return std::string();
    }
    Prune(folder);
    return path;
}

}  // namespace render
