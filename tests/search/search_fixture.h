// A library of real cards in a temporary program directory, with the cache folder inside it, and a
// brute-force search of what was written as the oracle: the texts compared as Unicode, ASCII letters and
// full-width ASCII folded, independent of how the index cuts GBK text.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <QStringList>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "store/xml_record_set.h"
#include "support/temp_dir.h"

namespace searchfx {

// The fields of one written card, GBK.
struct Card {
    std::string title, keyword, klass, source, body;
};

inline QString Folded(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) u = static_cast<char16_t>(u - 0xFEE0);
        if (u >= 'A' && u <= 'Z') u = static_cast<char16_t>(u + 32);
        c = QChar(u);
    }
    return out;
}

class SearchLibrary : public ::testing::Test {
protected:
    TempProgramDir dir;
    std::map<std::string, Card> cards;  // internal path ("lib\..." GBK) -> fields
    std::string oldCache;

    void SetUp() override {
        const char* c = getenv("XDG_CACHE_HOME");
        oldCache = c ? c : "";
        setenv("XDG_CACHE_HOME", (dir.Native() + "/cache").c_str(), 1);
    }
    void TearDown() override { setenv("XDG_CACHE_HOME", oldCache.c_str(), 1); }

    // Writes a card at `rel` below the library folder "lib" ('/' between folders, UTF-8 names).
    std::string Write(const std::string& rel, const Card& c) {
        XmlRecordSet rs;
        rs.card.title = c.title;
        rs.card.keyword = c.keyword;
        rs.card.klass = c.klass;
        rs.card.source = c.source;
        rs.card.content = c.body;
        rs.card.href = "simple.xsl";
        plat::StringSink sink;
        rs.WriteCard(sink);
        dir.WriteFile("lib/" + rel, sink.data);
        std::string internal = "lib\\" + plat::Utf8ToGbk(rel);
        for (char& ch : internal)
            if (ch == '/') ch = '\\';
        cards[internal] = c;
        return internal;
    }

    // Every card whose fields hold all whitespace-separated terms of the query (GBK).
    std::set<std::string> Oracle(const std::string& queryGbk) const {
        const QStringList terms = Folded(plat::ToQ(queryGbk)).split(QChar(' '), Qt::SkipEmptyParts);
        std::set<std::string> out;
        for (const auto& [path, c] : cards) {
            const QString text = Folded(plat::ToQ(c.title + "\n" + c.keyword + "\n" + c.klass + "\n" + c.source +
                                                  "\n" + c.body));
            bool all = !terms.isEmpty();
            for (const QString& t : terms) all = all && text.contains(t);
            if (all) out.insert(path);
        }
        return out;
    }
};

}  // namespace searchfx
