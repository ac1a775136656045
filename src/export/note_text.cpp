#include "export/note_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "export/front_matter.h"

namespace notes {
namespace {

bool IsAsciiPunct(char c) { return c > 0x20 && c < 0x7F && !std::isalnum(static_cast<unsigned char>(c)); }

// Characters some Markdown dialect reads as markup anywhere in a line: emphasis, code, links, HTML and
// entities, tables, strike-through, and the notes programs' tags (#), comments (%%), highlights (==) and
// formulas ($).
constexpr char kMarkup[] = "\\*_`[]<>&#|~%=$";

std::string EscapeParagraph(std::string_view p) {
    // Markdown drops an empty paragraph between two others; a line break alone keeps its place.
    if (p.empty()) return "<br>";
    std::string out;
    out.reserve(p.size() + 8);
    // What would start a list, a rule or a heading underline at the start of a line.
    std::size_t digits = 0;
    while (digits < p.size() && p[digits] >= '0' && p[digits] <= '9') ++digits;
    const std::size_t listDot = digits > 0 && digits < p.size() && (p[digits] == '.' || p[digits] == ')')
                                    ? digits
                                    : std::string_view::npos;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == ' ') {
            // One blank between two other characters stays; Markdown folds the others of a run and drops
            // those at either end, so they are written as no-break spaces, which it keeps.
            out += i > 0 && p[i - 1] != ' ' && i + 1 < p.size() ? " " : "&nbsp;";
        } else if (u < 0x20 || u == 0x7F) {
            char ref[8];
            std::snprintf(ref, sizeof ref, "&#%d;", u);
            out += ref;
        } else if (std::strchr(kMarkup, c) || i == listDot || (i == 0 && (c == '-' || c == '+'))) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character an entity at the start of `s` stands for, and its length; 0 when it is none we read.
std::size_t Entity(std::string_view s, std::string& out) {
    static constexpr struct {
        const char* name;
        char c;
    } kNamed[] = {{"&nbsp;", ' '}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& e : kNamed)
        if (s.substr(0, std::strlen(e.name)) == e.name) {
            out += e.c;
            return std::strlen(e.name);
        }
    if (s.size() < 4 || s[1] != '#') return 0;
    const bool hex = s[2] == 'x' || s[2] == 'X';
    std::size_t i = hex ? 3 : 2;
    unsigned long cp = 0;
    const std::size_t start = i;
    for (; i < s.size() && i - start < 7; ++i) {
        const char c = s[i];
        const int d = c >= '0' && c <= '9'                ? c - '0'
                      : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                    : -1;
        if (d < 0) break;
        cp = cp * (hex ? 16 : 10) + d;
    }
    if (i == start || i >= s.size() || s[i] != ';' || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    AppendUtf8(out, cp);
    return i + 1;
}

std::string UnescapeLine(std::string_view line) {
    if (line == "<br>" || line == "<br/>" || line == "<br />") return std::string();
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size() && IsAsciiPunct(line[i + 1])) {
            out += line[i + 1];
            i += 2;
        } else if (c == '&') {
            const std::size_t n = Entity(line.substr(i), out);
            if (n == 0) out += c;
            i += n ? n : 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// "# Title #" as the title; false when the line is no heading.
bool Heading(std::string_view line, std::string& title) {
    std::size_t n = 0;
    while (n < line.size() && n < 7 && line[n] == '#') ++n;
    if (n == 0 || n > 6 || n >= line.size() || (line[n] != ' ' && line[n] != '\t')) return false;
    std::string_view rest = line.substr(n);
    const std::size_t first = rest.find_first_not_of(" \t");
    rest = first == std::string_view::npos ? std::string_view() : rest.substr(first);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
    while (!rest.empty() && rest.back() == '#') rest.remove_suffix(1);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    title = UnescapeLine(rest);
    return true;
}

void AppendParagraph(std::string& body, bool& any, std::string_view paragraph) {
    if (any) body += "\r\n";
    body += paragraph;
    any = true;
}

}  // namespace

std::string WriteMarkdown(const Note& note) {
    std::string out = WriteFrontMatter(note);
    std::size_t at = 0;
    const std::string& body = note.body;
    for (bool first = true;; first = false) {
        std::size_t end = body.find("\r\n", at);
        if (!first) out += '\n';
        out += EscapeParagraph(std::string_view(body).substr(at, end == std::string::npos ? end : end - at));
        out += '\n';
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return out;
}

Note ReadMarkdown(std::string_view text) {
    Note note;
    text.remove_prefix(ReadFrontMatter(text, note));
    std::vector<std::string_view> lines = Lines(text);
    std::size_t from = 0;
    while (from < lines.size() && IsBlank(lines[from])) ++from;
    for (std::size_t i = from; i < lines.size() && !note.hasTitle; ++i) {
        if (!Heading(lines[i], note.title)) continue;
        note.hasTitle = true;
        if (i == from) ++from;  // a heading that opens the note is its title, not a paragraph
    }
    bool any = false;
    for (std::size_t i = from; i < lines.size(); ++i)
        if (!IsBlank(lines[i])) AppendParagraph(note.body, any, UnescapeLine(lines[i]));
    return note;
}

Note ReadPlainText(std::string_view text) {
    Note note;
    text.remove_prefix(ReadFrontMatter(text, note));
    bool any = false;
    for (std::string_view line : Lines(text)) AppendParagraph(note.body, any, line);
    return note;
}

std::vector<std::string> SplitKeywords(std::string_view keyword) {
    static const char* const kSeparators[] = {" ", "\t", ",", ";", "\xEF\xBC\x8C" /* ， */, "\xE3\x80\x81" /* 、 */,
                                              "\xEF\xBC\x9B" /* ； */, "\xE3\x80\x80" /* full-width blank */};
    std::vector<std::string> out;
    std::string word;
    for (std::size_t i = 0; i <= keyword.size();) {
        std::size_t sep = 0;
        if (i < keyword.size())
            for (const char* s : kSeparators)
                if (keyword.substr(i, std::strlen(s)) == s) sep = std::strlen(s);
        if (i == keyword.size() || sep) {
            if (!word.empty()) out.push_back(word);
            word.clear();
            i += sep ? sep : 1;
        } else {
            word += keyword[i++];
        }
    }
    return out;
}

std::string StampToIso(std::string_view stamp) {
    int v[5];
    char tail;
    const std::string s(stamp);
    if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d%c", &v[0], &v[1], &v[2], &v[3], &v[4], &tail) != 5) return "";
    char back[64];
    std::snprintf(back, sizeof back, "%d-%d-%d %d:%d", v[0], v[1], v[2], v[3], v[4]);
    // Only the writer's own form: anything else would not come back as the same bytes.
    if (s != back || v[0] < 1 || v[0] > 9999 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] < 0 ||
        v[3] > 23 || v[4] < 0 || v[4] > 59)
        return "";
    char iso[32];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:00", v[0], v[1], v[2], v[3], v[4]);
    return iso;
}

std::string IsoToStamp(std::string_view iso) {
    auto number = [&](std::size_t at, std::size_t len, int& out) {
        if (at + len > iso.size()) return false;
        out = 0;
        for (std::size_t i = at; i < at + len; ++i) {
            if (iso[i] < '0' || iso[i] > '9') return false;
            out = out * 10 + (iso[i] - '0');
        }
        return true;
    };
    int y, mo, d, h = 0, mi = 0;
    if (!number(0, 4, y) || iso.size() < 10 || iso[4] != '-' || !number(5, 2, mo) || iso[7] != '-' ||
        !number(8, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31 || y < 1)
        return "";
    if (iso.size() > 10) {
        if ((iso[10] != 'T' && iso[10] != ' ') || !number(11, 2, h) || iso.size() < 16 || iso[13] != ':' ||
            !number(14, 2, mi) || h > 23 || mi > 59)
            return "";
    }
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d-%d-%d %d:%d", y, mo, d, h, mi);
    return stamp;
}

}  // namespace notes
