// The key/value settings list file: the registry and each library's class and source lists.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class CListFile {
public:
    CListFile() = default;
    ~CListFile();
    CListFile(const CListFile&) = delete;
    CListFile& operator=(const CListFile&) = delete;

    int Load(const std::string& path);        // 1; -1 cannot open (path kept); -2 already loaded
    std::string GetValue(const std::string& key) const;  // value; "\x02" no such key; "\x01" not loaded
    // For the numbered slots: a slot line the file lacks reads as empty, never as the 0x02 marker, which
    // would otherwise show as a blank row and be written back as a value.
    std::string SlotValue(const std::string& key) const;
    int SetValue(const std::string& key, const std::string& value);  // 1; -2 no such key; -1 not loaded
    // Appends a pair before the end of the list, for the slot writers when SetValue answers -2, so that a
    // file lacking a slot line does not silently lose that slot. 1; -1 not loaded.
    int AppendValue(const std::string& key, const std::string& value);
    int Save();   // 1; -1 cannot open for writing (file untouched); -2 not loaded
    int Close();  // always 1

    bool IsLoaded() const { return loaded_; }
    const std::string& Path() const { return path_; }

    // Set, or append when the file lacks the key (see AppendValue).
    void Put(const std::string& key, const std::string& value);

    // Why Load failed, for the class and source lists: "找不到文件 " + path, or "不能读取文件 " + path when
    // something is there but cannot be read (permissions, a folder, a read error).
    static std::string LoadErrorText(const std::string& path);

private:
    struct ListEntry {
        char kind;  // 'n' comment, 'd' section, 'o' pair
        std::string key;
        std::string value;
    };
    std::string path_;
    bool loaded_ = false;
    std::vector<ListEntry> entries_;                  // file order; the end of the vector is the end entry
    std::unordered_map<std::string, size_t> first_;  // key -> index of its first pair
};
