#include "export/front_matter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace notes {
namespace {

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        char esc[16];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
            // C1 controls: a YAML stream may not hold them as they are.
            std::snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned char>(s[++i]));
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A time stamp in the writer's form goes out as an ISO 8601 time; any other text stands quoted as it is.
std::string Stamp(const std::string& stamp) {
    const std::string iso = StampToIso(stamp);
    return iso.empty() ? Quote(stamp) : iso;
}

std::string_view Trim(std::string_view s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos) return {};
    const std::size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

int Hex(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

void Utf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One scalar at the start of `s`: double-quoted, single-quoted, or plain up to `stop` (',' in a flow list)
// or a comment. `s` moves past it.
std::string Scalar(std::string_view& s, bool inFlow) {
    s = Trim(s);
    std::string out;
    if (!s.empty() && s[0] == '"') {
        std::size_t i = 1;
        for (; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] != '\\' || i + 1 >= s.size()) {
                out += s[i];
                continue;
            }
            const char e = s[++i];
            const int digits = e == 'x' ? 2 : e == 'u' ? 4 : e == 'U' ? 8 : 0;
            if (digits) {
                unsigned long cp = 0;
                int n = 0;
                for (; n < digits && i + 1 < s.size() && Hex(s[i + 1]) >= 0; ++n) cp = cp * 16 + Hex(s[++i]);
                Utf8(out, cp);
                continue;
            }
            static constexpr char kFrom[] = "0abtnvfre N_LP";
            static const char* const kTo[] = {"\0",         "\a",         "\b",          "\t",         "\n",
                                              "\v",         "\f",         "\r",          "\x1B",       " ",
                                              "\xC2\x85", "\xC2\xA0", "\xE2\x80\xA8", "\xE2\x80\xA9"};
            const char* at = e ? std::char_traits<char>::find(kFrom, sizeof kFrom - 1, e) : nullptr;
            if (at && e == '0')
                out += '\0';
            else if (at)
                out += kTo[at - kFrom];
            else
                out += e;  // \" \\ \/ and the like
        }
        s.remove_prefix(i < s.size() ? i + 1 : s.size());
        return out;
    }
    if (!s.empty() && s[0] == '\'') {
        std::size_t i = 1;
        for (; i < s.size(); ++i) {
            if (s[i] == '\'' && i + 1 < s.size() && s[i + 1] == '\'') {
                out += '\'';
                ++i;
            } else if (s[i] == '\'') {
                break;
            } else {
                out += s[i];
            }
        }
        s.remove_prefix(i < s.size() ? i + 1 : s.size());
        return out;
    }
    std::size_t end = 0;
    while (end < s.size() && !(inFlow && (s[end] == ',' || s[end] == ']')) &&
           !(s[end] == '#' && end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t')))
        ++end;
    out = std::string(Trim(s.substr(0, end)));
    s.remove_prefix(end);
    if (out == "~" || out == "null" || out == "Null" || out == "NULL") out.clear();
    return out;
}

std::vector<std::string> FlowList(std::string_view s) {
    std::vector<std::string> items;
    s = Trim(s);
    if (!s.empty() && s[0] == '[') s.remove_prefix(1);
    while (true) {
        s = Trim(s);
        if (s.empty() || s[0] == ']') break;
        std::string item = Scalar(s, true);
        if (!item.empty()) items.push_back(item);
        s = Trim(s);
        if (!s.empty() && s[0] == ',') s.remove_prefix(1);
        else if (s.empty() || s[0] != ']') break;
    }
    return items;
}

bool IsFence(std::string_view line, bool closing) {
    line = Trim(line);
    return line == "---" || (closing && line == "...");
}

}  // namespace

std::string WriteFrontMatter(const Note& note) {
    std::string out = "---\n";
    out += "title: " + Quote(note.title) + "\n";
    out += "keywords: " + Quote(note.keyword) + "\n";
    const std::vector<std::string> tags = SplitKeywords(note.keyword);
    if (tags.empty()) out += "tags: []\n";
    else out += "tags:\n";
    for (const std::string& tag : tags) out += "  - " + Quote(tag) + "\n";
    out += "class: " + Quote(note.klass) + "\n";
    out += "source: " + Quote(note.source) + "\n";
    out += "stylesheet: " + Quote(note.stylesheet) + "\n";
    out += "created: " + Stamp(note.created) + "\n";
    out += "modified: " + Stamp(note.modified) + "\n";
    return out + "---\n";
}

std::size_t ReadFrontMatter(std::string_view text, Note& note) {
    std::size_t at = 0;
    auto nextLine = [&](std::string_view& line) {
        if (at >= text.size()) return false;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = end + 1;
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || !IsFence(line, false)) return 0;
    Note read;  // taken only when the front matter is closed: an unclosed one is text
    struct Key {
        const char* name;
        std::string* value;
        bool* has;
    };
    const Key keys[] = {{"title", &read.title, &read.hasTitle},
                        {"keywords", &read.keyword, &read.hasKeyword},
                        {"keyword", &read.keyword, &read.hasKeyword},
                        {"class", &read.klass, &read.hasClass},
                        {"source", &read.source, &read.hasSource},
                        {"stylesheet", &read.stylesheet, &read.hasStylesheet},
                        {"created", &read.created, &read.hasCreated},
                        {"date", &read.created, &read.hasCreated},
                        {"modified", &read.modified, &read.hasModified},
                        {"updated", &read.modified, &read.hasModified}};
    const Key* current = nullptr;
    bool inTags = false;
    while (nextLine(line)) {
        if (IsFence(line, true)) {
            note = std::move(read);
            return std::min(at, text.size());
        }
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        if ((line[0] == ' ' || line[0] == '\t' || line[0] == '-') && trimmed[0] == '-') {
            std::string_view item = trimmed.substr(1);
            if (inTags) {
                std::string tag = Scalar(item, false);
                if (!tag.empty()) read.tags.push_back(tag);
            }
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t') continue;  // the rest of a value we do not read
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name(Trim(line.substr(0, colon)));
        std::string_view value = line.substr(colon + 1);
        inTags = name == "tags";
        current = nullptr;
        if (inTags) {
            if (!Trim(value).empty() && Trim(value)[0] == '[') read.tags = FlowList(value);
            continue;
        }
        for (const Key& k : keys)
            if (name == k.name) current = &k;
        if (!current) continue;
        *current->value = Scalar(value, false);
        *current->has = true;
    }
    return 0;
}

}  // namespace notes
