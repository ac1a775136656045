#include "render/card_render.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxslt/documents.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "library/registry.h"
#include "library/registry_styles.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/text.h"
#include "store/xml_record_set.h"

using plat::Gbk;

namespace render {

namespace {

// Never XML_PARSE_NOENT or XML_PARSE_DTDLOAD: entities stay unexpanded and no DTD is fetched.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOWARNING;

// Steps a stylesheet may take: instructions, and XPath steps. The shipped styles take three of each per
// paragraph at most, so a card of a million paragraphs (near the 16 MB that open) stays well below; a runaway
// recursion reaches the limit in a few seconds.
constexpr unsigned long kMaxSteps = 20'000'000;
constexpr unsigned long kMaxXPathSteps = 200'000'000;

// The libraries' error sink, loader and security policy are process-wide while a render runs.
std::mutex gRenderLock;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    std::size_t n = std::char_traits<char>::length(prefix);
    return s.size() >= n && plat::EqualsIgnoreAsciiCase(s.substr(0, n), prefix);
}

// "http:", "ftp:", "C:" ...: letters, then ':' before any separator.
bool HasScheme(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && ((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z'))) ++i;
    return i > 0 && i < s.size() && s[i] == ':';
}

std::string Unescape(const std::string& s) {
    char* raw = xmlURIUnescapeString(s.c_str(), 0, nullptr);
    std::string out = raw ? raw : s;
    xmlFree(raw);
    return out;
}

// The local file a URI names (UTF-8 native path), or "" for anything that is not a local file.
std::string LocalPathOf(const std::string& uri) {
    std::string rest = uri;
    if (StartsWithNoCase(rest, "file://")) {
        rest = rest.substr(7);
        if (StartsWithNoCase(rest, "localhost/")) rest = rest.substr(9);
        if (rest.empty() || rest[0] != '/') return std::string();
    } else if (HasScheme(rest)) {
        return std::string();
    }
    return Unescape(rest);
}

std::string RealPath(const std::string& native) {
    char buf[PATH_MAX];
    return realpath(native.c_str(), buf) ? std::string(buf) : std::string();
}

std::string FirstLine(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) return line;
    }
    return std::string();
}

// One render: what the stylesheet may read, and everything libxml2 and libxslt say. While it lives it is the
// libraries' error sink, document loader and security policy; the previous ones come back when it ends.
class Session {
public:
    explicit Session(const std::string& styleNative) {
        std::string real = RealPath(styleNative);
        std::size_t slash = real.rfind('/');
        if (slash != std::string::npos) folder_ = real.substr(0, slash + 1);

        current_ = this;
        xmlSetGenericErrorFunc(this, &Session::OnError);
        xsltSetGenericErrorFunc(this, &Session::OnError);
        oldEntityLoader_ = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(&Session::DenyEntity);
        xsltSetLoaderFunc(&Session::LoadDocument);

        prefs_ = xsltNewSecurityPrefs();
        xsltSetSecurityPrefs(prefs_, XSLT_SECPREF_READ_FILE, &Session::CheckRead);
        xsltSetSecurityPrefs(prefs_, XSLT_SECPREF_WRITE_FILE, &Session::Forbid);
        xsltSetSecurityPrefs(prefs_, XSLT_SECPREF_CREATE_DIRECTORY, &Session::Forbid);
        xsltSetSecurityPrefs(prefs_, XSLT_SECPREF_READ_NETWORK, &Session::Forbid);
        xsltSetSecurityPrefs(prefs_, XSLT_SECPREF_WRITE_NETWORK, &Session::Forbid);
        oldPrefs_ = xsltGetDefaultSecurityPrefs();
        xsltSetDefaultSecurityPrefs(prefs_);  // imports are checked against the default ones
    }
    ~Session() {
        xsltSetDefaultSecurityPrefs(oldPrefs_);
        xsltFreeSecurityPrefs(prefs_);
        xsltSetLoaderFunc(nullptr);
        xmlSetExternalEntityLoader(oldEntityLoader_);
        xsltSetGenericErrorFunc(nullptr, nullptr);
        xmlSetGenericErrorFunc(nullptr, nullptr);
        current_ = nullptr;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    xsltSecurityPrefsPtr Prefs() const { return prefs_; }
    bool Refused() const { return refused_; }
    std::string FirstError() const { return FirstLine(errors_); }

private:
    void Refuse(const std::string& utf8Message) {
        refused_ = true;
        errors_ += utf8Message + "\n";
    }
    // A stylesheet reads only from the folder it lives in; the real path settles "..", links and the like.
    bool MayRead(const std::string& native) const {
        if (folder_.empty() || native.empty()) return false;
        std::string real = RealPath(native);
        return !real.empty() && real.compare(0, folder_.size(), folder_) == 0;
    }

    static void OnError(void* ctx, const char* fmt, ...) {
        auto* self = static_cast<Session*>(ctx);
        if (!self) return;
        char buf[2048];
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        self->errors_ += buf;
    }

    static xmlParserInputPtr DenyEntity(const char* url, const char*, xmlParserCtxtPtr) {
        if (current_) current_->Refuse(std::string("不读取外部实体或 DTD: ") + (url ? url : ""));
        return nullptr;
    }

    static int CheckRead(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
        if (!current_) return 0;
        const std::string path = LocalPathOf(value ? value : "");
        if (current_->MayRead(path)) return 1;
        current_->Refuse(std::string("风格文件只能读取它所在目录中的文件, 不能读取 ") + (value ? value : ""));
        return 0;
    }

    static int Forbid(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
        if (current_) current_->Refuse(std::string("风格文件不能写文件、建目录或访问网络: ") + (value ? value : ""));
        return 0;
    }

    // The one way a stylesheet, its imports and document() reach a file: inside the folder, parsed safely.
    static xmlDocPtr LoadDocument(const xmlChar* uri, xmlDictPtr dict, int, void*, xsltLoadType) {
        Session* self = current_;
        const std::string text = uri ? reinterpret_cast<const char*>(uri) : "";
        const std::string path = LocalPathOf(text);
        if (!self || !self->MayRead(path)) {
            if (self) self->Refuse("风格文件只能读取它所在目录中的文件, 不能读取 " + text);
            return nullptr;
        }
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        if (!in) {
            self->errors_ += "不能读取文件 " + text + "\n";
            return nullptr;
        }
        const std::string data = bytes.str();
        xmlParserCtxtPtr parser = xmlNewParserCtxt();
        if (!parser) return nullptr;
        if (dict) {
            // Stylesheets share their names through one dictionary, as libxslt's own loader arranges.
            if (parser->dict) xmlDictFree(parser->dict);
            parser->dict = dict;
            xmlDictReference(dict);
        }
        xmlDocPtr doc = xmlCtxtReadMemory(parser, data.data(), static_cast<int>(data.size()), text.c_str(), nullptr,
                                          kParseOptions);
        xmlFreeParserCtxt(parser);
        return doc;
    }

    static thread_local Session* current_;
    std::string folder_;  // real path of the stylesheet's folder, with a final '/'
    std::string errors_;  // UTF-8
    bool refused_ = false;
    xsltSecurityPrefsPtr prefs_ = nullptr;
    xsltSecurityPrefsPtr oldPrefs_ = nullptr;
    xmlExternalEntityLoader oldEntityLoader_ = nullptr;
};

thread_local Session* Session::current_ = nullptr;

std::string ToUri(const std::string& native) {
    xmlChar* uri = xmlPathToURI(reinterpret_cast<const xmlChar*>(native.c_str()));
    std::string out = uri ? reinterpret_cast<const char*>(uri) : native;
    xmlFree(uri);
    return out;
}

void AddField(xmlNodePtr parent, const char* name, const std::string& gbk) {
    // A text node holds the characters as they are: '&' and '<' in a title stay what the user typed.
    xmlNewTextChild(parent, nullptr, reinterpret_cast<const xmlChar*>(name),
                    reinterpret_cast<const xmlChar*>(plat::GbkToUtf8(gbk).c_str()));
}

// The card as the program reads it, as a document: the fields of the file, in its order.
xmlDocPtr CardDocument(const DatumCard& card, const std::string& cardNative) {
    xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    doc->URL = xmlStrdup(reinterpret_cast<const xmlChar*>(ToUri(cardNative).c_str()));
    xmlNodePtr root = xmlNewDocNode(doc, nullptr, reinterpret_cast<const xmlChar*>("datum"), nullptr);
    xmlDocSetRootElement(doc, root);
    AddField(root, "title", card.title);
    AddField(root, "class", card.klass);
    AddField(root, "founddate", card.founddate);
    AddField(root, "modifieddate", card.modifieddate);
    AddField(root, "source", card.source);
    AddField(root, "keyword", card.keyword);
    xmlNodePtr content = xmlNewChild(root, nullptr, reinterpret_cast<const xmlChar*>("content"), nullptr);
    std::size_t at = 0;
    const std::string& body = card.content;
    while (true) {
        std::size_t end = body.find("\r\n", at);
        AddField(content, "part", body.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 2;
    }
    xmlNewChild(root, nullptr, reinterpret_cast<const xmlChar*>("correlativelink"), nullptr);
    return doc;
}

std::string StyleError(const char* utf8Before, const std::string& stylePath, const char* utf8After,
                       const std::string& firstLine) {
    std::string text = Gbk(utf8Before) + stylePath + Gbk(utf8After);
    if (!firstLine.empty()) text += "\r\n" + plat::Utf8ToGbk(firstLine);
    return text;
}

// Stops a transform that the user cancelled or that runs too long. libxslt checks its operation limits at
// every instruction and every XPath step, so lowering them from here ends the run at its next step.
class Watchdog {
public:
    enum Why { None, Cancelled, Timeout };
    Watchdog(xsltTransformContextPtr ctxt, const RenderControl& control)
        : thread_([this, ctxt, &control] { Watch(ctxt, control); }) {}
    ~Watchdog() { Stop(); }
    Why Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        return why_;
    }

private:
    void Watch(xsltTransformContextPtr ctxt, const RenderControl& control) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(control.seconds);
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            wake_.wait_for(lock, std::chrono::milliseconds(50));
            if (done_) break;
            if (control.cancel && control.cancel->load())
                why_ = Cancelled;
            else if (std::chrono::steady_clock::now() >= deadline)
                why_ = Timeout;
            else
                continue;
            __atomic_store_n(&ctxt->opLimit, 1UL, __ATOMIC_RELAXED);
            if (ctxt->xpathCtxt) __atomic_store_n(&ctxt->xpathCtxt->opLimit, 1UL, __ATOMIC_RELAXED);
            break;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    Why why_ = None;
    std::thread thread_;  // last: it starts once the rest is there
};

// The last component of an internal path.
std::string FileNameOf(const std::string& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); i += plat::CharLen(path, i))
        if (path[i] == '\\' || path[i] == '/') start = i + 1;
    return path.substr(start);
}

// True when the stylesheet (native path) stands in the program directory's style folder, where only the user
// puts stylesheets. The file itself may be a link the user made there.
bool InStyleFolder(const std::string& native) {
    const std::string folder = RealPath(plat::ToNative(plat::GetCurrentDir() + "\\" + layout::kStyleDir));
    const std::size_t slash = native.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    return !folder.empty() && RealPath(parent) == folder;
}

struct StyleChoice {
    std::string path;  // internal
    std::string note;  // GBK; set when the card's own stylesheet is not the one used
};

StyleChoice ChooseStyle(const std::string& href, const std::string& cardPath, const std::string& selected) {
    // Cards written on a case-blind disk may name simple.xsl as SIMPLE.XSL.
    const std::string own = ResolveHref(href, cardPath);
    if (!own.empty()) {
        const std::string native = plat::ResolveIgnoringCase(plat::ToNative(own));
        struct stat st;
        if (InStyleFolder(native) && stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return {plat::FromNative(native).value_or(own), std::string()};
    }
    StyleChoice choice{FallbackStyle(selected), std::string()};
    if (!href.empty() && !choice.path.empty())
        choice.note = Gbk("资料卡指定的风格文件 ") + plat::Abbreviate(href) +
                      Gbk(" 不在风格目录 xmlstyle\\datumstyle\\ 中或不存在，已改用风格 ") +
                      FileNameOf(choice.path);
    return choice;
}

// Whether a page written in this output can carry the mark: not plain text, and an encoding ASCII bytes fit.
bool TakesMark(xsltStylesheetPtr style) {
    const xmlChar* method = nullptr;
    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(method, style, method);
    XSLT_GET_IMPORT_PTR(encoding, style, encoding);
    const std::string enc = encoding ? plat::AsciiLower(reinterpret_cast<const char*>(encoding)) : "";
    return !(method && xmlStrEqual(method, reinterpret_cast<const xmlChar*>("text"))) &&
           enc.rfind("utf-16", 0) != 0 && enc.rfind("utf-32", 0) != 0 && enc.rfind("ucs", 0) != 0;
}

}  // namespace

std::string ResolveHref(const std::string& href, const std::string& cardPath) {
    if (href.empty()) return std::string();
    if (StartsWithNoCase(href, "file:")) {
        // A URL holds UTF-8, percent-escaped: it names a native path.
        const std::string native = LocalPathOf(plat::GbkToUtf8(href));
        if (native.empty()) return std::string();
        return plat::FromNative(native).value_or(std::string());
    }
    if (HasScheme(href)) return std::string();  // a web address or a drive letter: nothing on this machine
    if (plat::IsAbsolute(href)) return href;
    std::size_t slash = plat::npos;
    for (std::size_t i = 0; i < cardPath.size(); i += plat::CharLen(cardPath, i))
        if (cardPath[i] == '\\' || cardPath[i] == '/') slash = i;
    return slash == plat::npos ? href : cardPath.substr(0, slash + 1) + href;
}

std::string FallbackStyle(const std::string& selected) {
    if (!selected.empty()) return selected;
    std::vector<StyleFile> styles;
    if (!ListStyleFolder(plat::GetCurrentDir(), styles) || styles.empty()) return std::string();
    return styles.front().path;
}

Page RenderCard(const std::string& cardPath, const std::string& selectedStyle, const RenderControl& control) {
    Page page;
    XmlRecordSet xml;
    plat::LineReader reader;
    if (!reader.Open(cardPath) || !xml.ReadCard(reader)) {
        page.error = Gbk("读取文件 ") + plat::Abbreviate(cardPath) + Gbk(" 的XML数据时出错了!");
        return page;
    }
    reader.Close();

    StyleChoice choice{control.style, std::string()};
    if (choice.path.empty()) choice = ChooseStyle(xml.card.href, cardPath, selectedStyle);
    const std::string& stylePath = choice.path;
    page.note = choice.note;
    if (stylePath.empty()) {
        page.error = Gbk("资料卡没有指定可用的风格文件, 目录 xmlstyle\\datumstyle\\ 中也没有风格文件");
        return page;
    }
    const std::string styleNative = plat::ToNative(stylePath);
    if (!plat::IsFile(stylePath)) {
        page.error = Gbk("找不到风格文件 ") + plat::Abbreviate(stylePath);
        return page;
    }

    std::lock_guard<std::mutex> lock(gRenderLock);
    xmlInitParser();
    Session session(styleNative);
    xsltStylesheetPtr style = xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(ToUri(styleNative).c_str()));
    if (!style || style->errors > 0 || session.Refused()) {
        if (style) xsltFreeStylesheet(style);
        page.error = StyleError("风格文件 ", stylePath, " 有错误, 不能使用:", session.FirstError());
        return page;
    }

    xmlDocPtr doc = CardDocument(xml.card, plat::ToNative(cardPath));
    xsltTransformContextPtr ctxt = xsltNewTransformContext(style, doc);
    xmlDocPtr result = nullptr;
    Watchdog::Why stopped = Watchdog::None;
    if (ctxt) {
        xsltSetCtxtSecurityPrefs(session.Prefs(), ctxt);
        ctxt->opLimit = kMaxSteps;
        if (ctxt->xpathCtxt) ctxt->xpathCtxt->opLimit = kMaxXPathSteps;
        Watchdog watchdog(ctxt, control);
        result = xsltApplyStylesheetUser(style, doc, nullptr, nullptr, nullptr, ctxt);
        stopped = watchdog.Stop();
    }
    const bool exhausted = ctxt && (ctxt->opCount >= kMaxSteps ||
                                    (ctxt->xpathCtxt && ctxt->xpathCtxt->opCount >= kMaxXPathSteps));
    const bool failed =
        !ctxt || !result || ctxt->state != XSLT_STATE_OK || session.Refused() || stopped || exhausted;
    if (!failed) {
        xmlChar* out = nullptr;
        int len = 0;
        if (xsltSaveResultToString(&out, &len, result, style) == 0) {
            page.html.assign(out ? reinterpret_cast<const char*>(out) : "", out ? static_cast<std::size_t>(len) : 0);
            if (TakesMark(style)) page.html += kPageMark;
            page.ok = true;
        }
        xmlFree(out);
    }
    page.cancelled = stopped == Watchdog::Cancelled;
    if (stopped == Watchdog::Timeout || exhausted)
        page.error =
            StyleError("用风格文件 ", stylePath, " 显示资料卡时出错:",
                       stopped ? "风格文件运行超过 " + std::to_string(control.seconds) + " 秒，已停止"
                               : std::string("风格文件运行的步骤太多(可能是无尽的递归)，已停止"));
    else if (!page.ok && !page.cancelled)
        page.error = StyleError("用风格文件 ", stylePath, " 显示资料卡时出错:", session.FirstError());
    if (result) xmlFreeDoc(result);
    if (ctxt) xsltFreeTransformContext(ctxt);
    xmlFreeDoc(doc);
    xsltFreeStylesheet(style);
    return page;
}

bool IsRenderedPage(const std::string& native) {
    const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    const std::size_t n = sizeof kPageMark - 1;
    std::string tail(n, '\0');
    const bool read =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= static_cast<off_t>(n) &&
        pread(fd, tail.data(), n, st.st_size - static_cast<off_t>(n)) == static_cast<ssize_t>(n);
    close(fd);
    return read && tail == kPageMark;
}

}  // namespace render
