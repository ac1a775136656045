#include "export/site_export.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <vector>

#include "export/library_walk.h"
#include "export/site_page.h"
#include "export/staged_folder.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "render/card_render.h"
#include "store/xml_record_set.h"

namespace exporting {
namespace {

using plat::Gbk;

struct PageInfo {
    std::string href;  // from the site's root: "cards/类/名.html", each segment percent-encoded
    std::string file;  // native, from the site's root
    std::string title, modified;  // UTF-8, as the card's head has them
};

// Names ASCII-folded: a USB stick's file system tells no case apart.
std::string Folded(const std::string& s) {
    std::string f = s;
    for (char& c : f)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return f;
}

std::string Unique(std::set<std::string>& taken, const std::string& stem, const std::string& ext) {
    std::string name = stem + ext;
    for (int n = 2; !taken.insert(Folded(name)).second; ++n) name = stem + " (" + std::to_string(n) + ")" + ext;
    return name;
}

std::string Segments(const std::string& relGbk) {
    std::string out;
    std::size_t at = 0;
    const std::string native = plat::ToNative(relGbk);
    while (at <= native.size()) {
        std::size_t end = native.find('/', at);
        if (end == std::string::npos) end = native.size();
        out += UrlSegment(native.substr(at, end - at)) + "/";
        at = end + 1;
    }
    return out;
}

// From a page `from` (site-relative href) to another one.
std::string Relative(const std::string& from, const std::string& to) {
    std::string up;
    for (char c : from)
        if (c == '/') up += "../";
    return up + to;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

// Stamps order as the times they name ("2003-2-5 9:7" is before "2003-10-1 0:0").
std::vector<int> StampKey(const std::string& s) {
    std::vector<int> key;
    int v = 0;
    bool in = false;
    for (char c : s) {
        if (c >= '0' && c <= '9') {
            v = v * 10 + (c - '0');
            in = true;
        } else if (in) {
            key.push_back(v);
            v = 0;
            in = false;
        }
    }
    if (in) key.push_back(v);
    return key;
}

std::string IndexPage(const std::string& libraryName, const std::vector<WalkEntry>& entries,
                      const std::vector<PageInfo>& pages, const SiteOptions& options) {
    std::string h = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + HtmlEscape(libraryName) +
                    "</title>\n<style>\nbody { margin: 2em 10%; line-height: 1.6; }\n"
                    "ul.cards { list-style: none; padding-left: 1.5em; }\n.count { color: #666; }\n</style>\n"
                    "</head>\n<body>\n<h1>" + HtmlEscape(libraryName) + "</h1>\n";
    // Each class: its name and count, its cards, then its sub-classes, nested as in the tree.
    struct Level {
        int depth;
        std::vector<std::size_t> cards;
    };
    std::size_t page = 0;
    std::vector<std::size_t> pageOf(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].isClass) pageOf[i] = page++;
    auto cardsOf = [&](std::size_t from, int depth) {
        std::vector<std::size_t> list;
        for (std::size_t i = from; i < entries.size() && (entries[i].depth >= depth); ++i)
            if (!entries[i].isClass && entries[i].depth == depth) list.push_back(pageOf[i]);
        if (options.newestFirst)
            std::stable_sort(list.begin(), list.end(), [&](std::size_t a, std::size_t b) {
                return StampKey(pages[a].modified) > StampKey(pages[b].modified);
            });
        return list;
    };
    auto cardList = [&](const std::vector<std::size_t>& list) {
        if (list.empty()) return std::string();
        std::string s = "<ul class=\"cards\">\n";
        for (std::size_t p : list)
            s += "<li><a href=\"" + HtmlEscape(pages[p].href) + "\">" + HtmlEscape(pages[p].title) + "</a></li>\n";
        return s + "</ul>\n";
    };
    h += cardList(cardsOf(0, 0));
    int open = 0;  // class lists open
    h += "<ul class=\"classes\">\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const WalkEntry& e = entries[i];
        if (!e.isClass) continue;
        for (; open > e.depth; --open) h += "</ul>\n</li>\n";
        h += "<li><strong>" + HtmlEscape(plat::GbkToUtf8(e.label)) + "</strong> <span class=\"count\">(" +
             std::to_string(e.cards) + ")</span>\n" + cardList(cardsOf(i + 1, e.depth + 1)) + "<ul>\n";
        open = e.depth + 1;
    }
    for (; open > 0; --open) h += "</ul>\n</li>\n";
    h += "</ul>\n</body>\n</html>\n";
    // An empty <ul> is no error in a browser, but HTML checkers flag it.
    h = plat::ReplaceAll(h, "<ul>\n</ul>\n", "");
    return plat::ReplaceAll(h, "<ul class=\"classes\">\n</ul>\n", "");
}

}  // namespace

std::string UrlSegment(const std::string& utf8) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string HtmlEscape(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

Outcome ExportSite(const std::string& root, const std::string& target, const SiteOptions& options,
                   Progress& progress) {
    Outcome out;
    std::vector<WalkEntry> entries;
    if (!WalkLibrary(root, entries, out.error)) return out;
    std::vector<PageInfo> pages;
    std::set<std::string> folders;  // class folders made so far (native, from the site's root)
    {
        // Names taken in each folder of the site: a folder's cards need not stand together in library order
        // (a sub-class may come between them).
        std::map<std::string, std::set<std::string>> taken;
        for (const WalkEntry& c : entries) {
            if (!c.isClass) continue;
            const std::size_t cut = c.rel.size() - c.name.size();
            // A card page beside a class folder of the same name would stand in its way.
            taken[cut == 0 ? std::string() : c.rel.substr(0, cut - 1)].insert(Folded(plat::ToNative(c.name)));
        }
        for (const WalkEntry& e : entries) {
            if (e.isClass) continue;
            PageInfo p;
            const std::string name = Unique(taken[e.rel], plat::ToNative(e.label), ".html");
            const std::string dir = e.rel.empty() ? "cards/" : "cards/" + plat::ToNative(e.rel) + "/";
            p.file = dir + name;
            p.href = "cards/" + (e.rel.empty() ? std::string() : Segments(e.rel)) + UrlSegment(name);
            pages.push_back(std::move(p));
        }
    }
    progress.total = static_cast<long long>(pages.size());

    StagedFolder stage;
    if (!stage.Begin(target, plat::ToNative(root), out.error)) return out;
    auto failWrite = [&](const std::string& file) {
        out.error = Gbk("不能写入文件 ") + plat::Abbreviate(plat::Utf8ToGbk(stage.Dir() + "/" + file)) + Gbk("：") +
                    plat::SystemReason(errno);
        return out;
    };
    render::RenderControl control;
    control.cancel = progress.cancel;
    std::size_t p = 0;
    long long failed = 0;
    for (const WalkEntry& e : entries) {
        if (e.isClass) {
            const std::string dir = stage.Dir() + "/cards/" + plat::ToNative(e.rel);
            mkdir((stage.Dir() + "/cards").c_str(), 0755);
            if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return failWrite("cards/" + plat::ToNative(e.rel));
            continue;
        }
        if (progress.Cancelled()) {
            out.cancelled = true;
            return out;
        }
        PageInfo& info = pages[p];
        XmlRecordSet head;
        plat::LineReader reader;
        // Parsed whole: the title is what the card says, with its entities and references read.
        if (reader.Open(e.path) && head.ReadCard(reader)) {
            info.title = plat::GbkToUtf8(head.card.title);
            info.modified = head.card.modifieddate;
        }
        reader.Close();
        if (info.title.empty()) info.title = plat::GbkToUtf8(e.label);
        PageLinks links;
        links.index = Relative(info.href, "index.html");
        if (p > 0) links.prev = Relative(info.href, pages[p - 1].href);
        if (p + 1 < pages.size()) links.next = Relative(info.href, pages[p + 1].href);
        const render::Page page = render::RenderCard(e.path, std::string(), control);
        if (page.cancelled) {
            out.cancelled = true;
            return out;
        }
        std::string html;
        if (page.ok) {
            html = SitePage(page.html, links);
        } else {
            ++failed;
            html = ErrorPage(info.title, plat::GbkToUtf8(page.error), links);
            out.notes += page.error + "\r\n";
        }
        mkdir((stage.Dir() + "/cards").c_str(), 0755);
        if (!WriteFile(stage.Dir() + "/" + info.file, html)) return failWrite(info.file);
        ++p;
        progress.done = static_cast<long long>(p);
    }
    const std::string name = plat::GbkToUtf8(std::string(plat::LastComponent(root.substr(0, root.size() - 1))));
    if (!WriteFile(stage.Dir() + "/index.html", IndexPage(name, entries, pages, options)))
        return failWrite("index.html");
    if (!stage.Commit(out.error)) return out;
    out.ok = true;
    out.cards = static_cast<long long>(pages.size()) - failed;
    return out;
}

}  // namespace exporting
