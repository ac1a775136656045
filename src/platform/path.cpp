#include "platform/path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/codec.h"
#include "platform/text.h"

namespace plat {

namespace {
std::string FoldAscii(std::string_view utf8) {
    std::string s(utf8);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool Exists(const std::string& native) {
    struct stat st;
    return lstat(native.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` ignoring ASCII case; the byte-wise smallest one when
// several do, so the answer does not depend on the order the folder happens to list them in.
std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view name) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return std::nullopt;
    const std::string want = FoldAscii(name);
    std::optional<std::string> best;
    while (dirent* e = readdir(dir)) {
        std::string_view entry = e->d_name;
        if (entry.size() == want.size() && FoldAscii(entry) == want && (!best || entry < *best)) best = entry;
    }
    closedir(dir);
    return best;
}
}  // namespace

std::string ToNative(std::string_view internal) {
    std::string slashed(internal);
    for (std::size_t i = 0; i < slashed.size(); i += CharLen(slashed, i))
        if (slashed[i] == '\\') slashed[i] = '/';
    return GbkToUtf8(slashed);
}

std::optional<std::string> FromNative(std::string_view native) {
    std::string gbk;
    if (!TryUtf8ToGbk(native, gbk)) return std::nullopt;
    // '/' is never part of a two-byte GBK character (trail bytes start at 0x40).
    for (char& c : gbk)
        if (c == '/') c = '\\';
    return gbk;
}

bool IsAbsolute(std::string_view internal) {
    return !internal.empty() && (internal[0] == '\\' || internal[0] == '/');
}

std::string ResolveIgnoringCase(std::string_view native) {
    std::string found;
    std::size_t pos = 0;
    while (pos < native.size()) {
        std::size_t end = native.find('/', pos);
        if (end == std::string_view::npos) end = native.size();
        std::string_view part = native.substr(pos, end - pos);
        if (!part.empty() && part != "." && part != ".." && !Exists(found + std::string(part))) {
            std::optional<std::string> match = FindIgnoringCase(found, part);
            if (!match) return std::string(native);
            found += *match;
        } else {
            found += part;
        }
        if (end < native.size()) found += '/';
        pos = end + 1;
    }
    return found;
}

std::optional<std::string> WriteThroughLink(const std::string& native) {
    struct stat st;
    if (lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return native;
    char* resolved = realpath(native.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string out = resolved;
    free(resolved);
    return out;
}

std::string_view LastComponent(std::string_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); i += CharLen(path, i))
        if (path[i] == '\\' || path[i] == '/') start = i + 1;
    return path.substr(start);
}

}  // namespace plat
