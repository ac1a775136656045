// One card as a Markdown note and back: YAML front matter with the card's fields, then the paragraphs. The
// text is what notes programs (Obsidian, Zettlr, QOwnNotes) read as plain paragraphs: whatever they would take
// for markup is escaped, and what Markdown would fold away (runs of spaces, empty paragraphs, tabs) is written
// in a form it keeps. Reading undoes exactly that, so a card written and read again has every field it had.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace notes {

// A card's fields in UTF-8; `body` holds the paragraphs separated by CR LF, as a card's content does.
struct Note {
    std::string title, keyword, klass, source, stylesheet, created, modified, body;
    std::vector<std::string> tags;  // read from the front matter; written from `keyword`
    // Which fields the file named: a note from elsewhere lacks most of them.
    bool hasTitle = false, hasKeyword = false, hasClass = false, hasSource = false, hasStylesheet = false;
    bool hasCreated = false, hasModified = false;
};

// The whole .md file (UTF-8, LF line ends, ending with a line end).
std::string WriteMarkdown(const Note& note);
// A .md file's text (UTF-8, without a BOM). Without a front-matter title, a first heading "# ..." gives the
// title (and leaves the body).
Note ReadMarkdown(std::string_view text);
// A .txt file: every line a paragraph, as it stands; front matter is read as in a .md file.
Note ReadPlainText(std::string_view text);

// The keywords as a list: split at blanks and at the commas and stops people put between keywords.
std::vector<std::string> SplitKeywords(std::string_view keyword);

// A card's stamp "2003-2-5 9:7" as ISO 8601 "2003-02-05T09:07:00"; "" when it is not such a stamp.
std::string StampToIso(std::string_view stamp);
// "2003-02-05T09:07[:SS...]" or "2003-02-05 09:07" or "2003-02-05" as the card's stamp; "" when it is not.
std::string IsoToStamp(std::string_view iso);

}  // namespace notes
