// Any bytes as a settings list file: loads, answers look-ups, and saving what it loaded is a fixed point
// (a second load and save writes the same bytes).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/path.h"
#include "store/list_file.h"

namespace {
std::string Dir() {
    // Every save is fsync'd: keep the scratch file in memory-backed /dev/shm when there is one.
    static std::string d = [] {
        char shm[] = "/dev/shm/korvane-fuzz-XXXXXX";
        if (char* p = mkdtemp(shm)) return std::string(p);
        char tmp[] = "/tmp/korvane-fuzz-XXXXXX";
        return std::string(mkdtemp(tmp));
    }();
    return d;
}
std::string Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string native = Dir() + "/list.lst";
    std::ofstream(native, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    const std::string path = *plat::FromNative(native);

    CListFile f;
    if (f.Load(path) != 1) abort();
    for (const char* key : {"count", "use", "name0", "path0", "", " #x"}) (void)f.GetValue(key);
    f.SetValue("count", "7");
    f.Put("name99", "x");
    if (f.Save() != 1) abort();
    f.Close();
    const std::string first = Slurp(native);

    CListFile g;
    if (g.Load(path) != 1) abort();
    if (g.Save() != 1) abort();
    g.Close();
    if (Slurp(native) != first) abort();  // what Save writes reads back to itself
    return 0;
}
