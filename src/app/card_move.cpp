#include "app/card_move.h"

#include <cerrno>
#include <cstdio>

#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/trash.h"

using plat::Gbk;

namespace {

bool Rewrite(const std::string& path, const std::string& bytes, std::string& error) {
    plat::AtomicFile file;
    if (!file.Open(path)) {
        error = Gbk("不能打开文件 ") + path + Gbk(" 进行写入：") + plat::SystemReason(errno);
        return false;
    }
    const bool written = file.Write(bytes);
    if (!file.Commit() || !written) {
        error = Gbk("写入文件 ") + path + Gbk(" 时出错：") + plat::SystemReason(errno);
        return false;
    }
    return true;
}

// The card's bytes as they are, to put them back should the rename fail.
std::string WholeFile(const std::string& path, bool& ok) {
    std::string bytes;
    FILE* f = std::fopen(plat::ToNative(path).c_str(), "rb");
    ok = f != nullptr;
    if (!f) return bytes;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    ok = !std::ferror(f);
    std::fclose(f);
    return bytes;
}

}  // namespace

bool RelocateCard(const std::string& from, const std::string& to, const std::function<void(DatumCard&)>& change,
                  std::string& error) {
    if (to != from && plat::PathExists(to)) {
        error = Gbk("文件 ") + to + Gbk(" 已经存在，没有覆盖它。");
        return false;
    }
    bool readable = false;
    const std::string before = WholeFile(from, readable);
    plat::LineReader reader;
    XmlRecordSet xml;
    // A card that does not read whole would be written back shorter: it is left as it is.
    if (!readable || before.size() > static_cast<std::size_t>(kMaxCardBytes) || !reader.Open(from) ||
        !xml.ReadCard(reader) || reader.Failed() || !xml.bodyWhole) {
        error = Gbk("读取文件 ") + from + Gbk(" 的XML数据时出错了!");
        return false;
    }
    reader.Close();
    change(xml.card);
    if (!Rewrite(from, xml.CardText(), error)) return false;
    if (to == from) return true;
    int err = 0;
    if (plat::RenameNoReplace(from, to, err)) return true;
    error = Gbk("不能把文件 ") + from + Gbk(" 改名为 ") + to + Gbk("：") +
            (err == EEXIST ? Gbk("那里已经有一个文件") : plat::SystemReason(err));
    std::string ignored;
    Rewrite(from, before, ignored);  // the card as it was: nothing else changed
    return false;
}

std::string CardTitle(const std::string& path) {
    plat::LineReader reader;
    XmlRecordSet card;
    return reader.Open(path) && card.ReadCard(reader) ? card.card.title : std::string();
}
