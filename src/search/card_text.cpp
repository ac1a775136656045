// A card file read as the index sees it, for indexing and for the snippets of an answer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/fs.h"
#include "platform/path.h"
#include "search/index.h"
#include "search/index_internal.h"
#include "store/xml_record_set.h"

namespace search {

// At most the first kMaxIndexedBytes of the file: a larger card cannot be opened by the form either, and
// reading all of a huge one would take memory many times its size.
CardText ReadCardText(const std::string& nativePath, std::string_view fileName) {
    CardText out;
    std::string data;
    const int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            data.resize(static_cast<std::size_t>(std::min<std::int64_t>(st.st_size, kMaxIndexedBytes)));
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = read(fd, data.data() + got, data.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);
        close(fd);
    }
    XmlRecordSet rs;
    plat::LineReader reader = plat::LineReader::FromString(data);
    if (rs.ReadCard(reader)) {
        DatumCard& c = rs.card;
        out.fields[kBody] = std::move(c.content);
        out.fields[kTitle] = std::move(c.title);
        out.fields[kKeyword] = std::move(c.keyword);
        out.fields[kClass] = std::move(c.klass);
        out.fields[kSource] = std::move(c.source);
        out.modified = std::move(c.modifieddate);
    } else {
        // A card the form cannot open is still found by its text, under its file name; its markup is left
        // out, or every such card would match "xml" or "title". '<' and '>' are below 0x40, so they are never
        // the second byte of a GBK character and a byte scan is safe.
        const auto name = plat::FromNative(fileName);
        const std::string gbkName = name ? *name : std::string();
        out.fields[kTitle] = gbkName.substr(0, gbkName.find(".datum."));
        bool inTag = false;
        for (char ch : data) {
            if (ch == '<') inTag = true;
            else if (ch == '>' && inTag) inTag = false;
            else if (!inTag) out.fields[kBody].push_back(ch);
        }
    }
    return out;
}


}  // namespace search
