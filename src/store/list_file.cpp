#include "store/list_file.h"

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {
const std::string kNotLoaded(1, '\x01');
const std::string kNoSuchKey(1, '\x02');
}  // namespace

CListFile::~CListFile() {
    if (loaded_) Close();
}

int CListFile::Load(const std::string& path) {
    if (loaded_) return -2;
    path_ = path;
    plat::LineReader reader;
    if (!reader.Open(path)) return -1;

    std::vector<ListEntry> entries;
    std::string line;
    while (reader.ReadLine(line)) {
        if (line.empty()) continue;
        if (line[0] == '#') {
            entries.push_back({'n', {}, line});
        } else if (line[0] == '[') {
            entries.push_back({'d', line, {}});
        } else if (std::size_t eq = plat::Find(line, "="); eq != plat::npos) {
            entries.push_back({'o', line.substr(0, eq), line.substr(eq + 1)});
        }
        // Anything else (no "=") is not kept and so disappears on the next save.
    }
    // A file that broke off while being read must not be loaded half: a later Save would cut it short.
    if (reader.Failed()) return -1;

    entries_ = std::move(entries);
    first_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].kind == 'o') first_.try_emplace(entries_[i].key, i);
    }
    loaded_ = true;
    return 1;
}

std::string CListFile::GetValue(const std::string& key) const {
    if (!loaded_) return kNotLoaded;
    auto it = first_.find(key);
    return it == first_.end() ? kNoSuchKey : entries_[it->second].value;
}

std::string CListFile::SlotValue(const std::string& key) const {
    auto it = first_.find(key);
    return !loaded_ || it == first_.end() ? std::string() : entries_[it->second].value;
}

std::string CListFile::LoadErrorText(const std::string& path) {
    return plat::Utf8ToGbk(plat::PathExists(path) ? "不能读取文件 " : "找不到文件 ") + path;
}

int CListFile::SetValue(const std::string& key, const std::string& value) {
    if (!loaded_) return -1;
    auto it = first_.find(key);
    if (it == first_.end()) return -2;
    entries_[it->second].value = value;
    return 1;
}

int CListFile::AppendValue(const std::string& key, const std::string& value) {
    if (!loaded_) return -1;
    entries_.push_back({'o', key, value});
    first_.try_emplace(key, entries_.size() - 1);
    return 1;
}

void CListFile::Put(const std::string& key, const std::string& value) {
    if (SetValue(key, value) == -2) AppendValue(key, value);
}

int CListFile::Save() {
    if (!loaded_) return -2;
    std::string text;
    for (const ListEntry& e : entries_) {
        switch (e.kind) {
            case 'n':
                text += e.value;
                break;
            case 'd':
                text += e.key;
                break;
            default:
                text += e.key;
                text += '=';
                text += e.value;
                break;
        }
        text += "\r\n";
    }
    plat::AtomicFile file;
    if (!file.Open(path_)) return -1;
    if (!file.Write(text) || !file.Commit()) return -1;
    return 1;
}

int CListFile::Close() {
    path_.clear();
    entries_.clear();
    first_.clear();
    loaded_ = false;
    return 1;
}
