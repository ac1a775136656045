#!/usr/bin/env python3
"""Writes the program directory that ships with Korvane (data/).

data/ is installed as-is as the program's working directory: the library registry, the template of a new
library, the card stylesheets, the card DTD and a small sample library. Every text file is GB2312 text with
CR LF line ends (the program reads and writes nothing else); file names on disk are UTF-8.

The output is committed; rerun this script after changing it and commit the result.

    scripts/make_sample_data.py          rewrite data/set, data/xmlstyle and data/datum
    scripts/make_sample_data.py --check  rewrite, then validate every card against the DTD (xmllint) and
                                         render it through every stylesheet (xsltproc)
"""

import html as html_module
import pathlib
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "data"

CARD_DTD_URL = "http://www.korvane.org/subject/doc/qvrt_xml_1.0/02_2003_datum01.dtd"
INDEX_DTD_URL = "http://www.korvane.org/subject/doc/qvrt_xml_1.0/03_2003_lineindex01.dtd"

MAX_LIBRARIES = 50
MAX_SLOTS = 100

LIBRARY_NAME = "示例资料库"
LIBRARY_PATH = "datum\\示例"  # as the registry stores it: relative, '\' separators, no final '\'
LIBRARY_DIR = "datum/示例"

STYLES = {"simple": "simple.xsl", "report": "report.xsl"}

CLASSES = ["读书笔记", "工作日志", "技术资料", "技术资料\\编程"]
SOURCES = ["书籍", "网络", "会议", "个人"]


def enc(text):
    # Strict GB2312 rather than GBK: everything we ship declares encoding="gb2312", and parsers that take
    # that declaration literally must read it as well.
    return text.encode("gb2312")


def xml_text(text):
    """Character data as the program writes it: entities for the markup signs, and every character that
    strict GB2312 does not hold, or reads otherwise than GBK does (A1A4), as a character reference."""
    out = []
    for ch in text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;"):
        try:
            b = ch.encode("gb2312")
            out.append(b if b.decode("gb18030") == ch else f"&#x{ord(ch):X};".encode())
        except UnicodeEncodeError:
            out.append(f"&#x{ord(ch):X};".encode())
    return b"".join(out)


def write(rel, data):
    path = DATA / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def lines_bytes(lines):
    """Every line, the last one included, ends in CR LF."""
    return b"".join(enc(line) + b"\r\n" for line in lines)


# ---- settings list files -------------------------------------------------------------------------------
# The program rewrites these through a replace-only operation, so every slot line must already be there.

def registry():
    lines = ["# Korvane 资料库列表：count 为资料库个数，use 为默认资料库的序号，nameN/pathN 为第 N 个资料库",
             "count=1", "use=0"]
    for i in range(MAX_LIBRARIES):
        name, path = (LIBRARY_NAME, LIBRARY_PATH) if i == 0 else ("", "")
        lines += [f"name{i}={name}", f"path{i}={path}"]
    return lines_bytes(lines)


def class_list(classes, lib_root):
    lines = ["# 类别列表：count 为类别个数，nameN 为类别名，pathN 为类别目录", f"count={len(classes)}"]
    for i in range(MAX_SLOTS):
        name, path = (classes[i], lib_root + classes[i] + "\\") if i < len(classes) else ("", "")
        lines += [f"name{i}={name}", f"path{i}={path}"]
    return lines_bytes(lines)


def source_list(sources):
    lines = ["# 来源列表：count 为来源个数，nameN 为来源名", f"count={len(sources)}"]
    for i in range(MAX_SLOTS):
        lines.append(f"name{i}={sources[i] if i < len(sources) else ''}")
    return lines_bytes(lines)


# ---- line index files ----------------------------------------------------------------------------------

def line_index(links):
    out = enc(f'<?xml version="1.0" encoding="gb2312"?>\r\n<!DOCTYPE lineindex SYSTEM "{INDEX_DTD_URL}">\r\n'
              "\r\n\r\n<lineindex>\r\n\t<title>索引;书签</title>\r\n\t<keyword>资料卡</keyword>\r\n")
    for card in links:
        out += b"\t<link>\r\n\t\t<name>" + xml_text(card["title"]) + b"</name>\r\n\t\t<url>" + \
            xml_text(card_url(card)) + b"</url>\r\n\t\t<class>" + xml_text(card["class"]) + \
            b"</class>\r\n\t\t<date>" + xml_text(card["found"]) + b"</date>\r\n\t\t<keyword>" + \
            xml_text(card["keyword"]) + b"</keyword>\r\n\t\t<source>" + xml_text(card["source"]) + \
            b"</source>\r\n\t</link>\r\n"
    return out + b"</lineindex>\r\n\t\t\t\t<!-- QVRT.LINEINDEX.WRITE -->"


def card_url(card):
    # Links hold the card's path relative to the program directory, in lower case.
    folder = LIBRARY_PATH + "\\" + (card["class"] + "\\" if card["class"] else "")
    return (folder + card["title"] + ".datum.xml").lower()


# ---- cards ---------------------------------------------------------------------------------------------

def card_bytes(card):
    depth = LIBRARY_DIR.count("/") + 1 + (card["class"].count("\\") + 1 if card["class"] else 0)
    up = "../" * depth
    dtd_path = up + "xmlstyle/qvrt_xml_1.0/02_2003_datum01.dtd"
    href = up + "xmlstyle/datumstyle/" + STYLES[card["style"]]
    head = ('<?xml version="1.0" encoding="gb2312"?>\r\n'
            f'<!DOCTYPE datum SYSTEM "{dtd_path}">\r\n'
            f"\t\t\t\t\t\t\t<!-- copy from {CARD_DTD_URL} -->\r\n"
            f'<?xml-stylesheet type="text/xsl" href="{href}"?>\r\n'
            "\r\n"
            "<datum>\r\n").encode("gb2312")
    for tag, key in (("title", "title"), ("class", "class"), ("founddate", "found"), ("modifieddate", "modified"),
                     ("source", "source"), ("keyword", "keyword")):
        head += b"\t<" + tag.encode() + b">" + xml_text(card[key]) + b"</" + tag.encode() + b">\r\n"
    body = b"</part>\r\n\t\t<part>".join(xml_text(p) for p in card["parts"])
    return (head + b"\t<content>\r\n\t\t<part>" + body + b"</part>\r\n\t</content>\r\n"
            b"\t<correlativelink>\r\n\t</correlativelink>\r\n</datum>")


def card_rel(card):
    folder = LIBRARY_DIR + "/" + (card["class"].replace("\\", "/") + "/" if card["class"] else "")
    return folder + card["title"] + ".datum.xml"


def card(cls, **fields):
    # "class" is a Python keyword, hence the detour.
    return dict(fields, **{"class": cls})


CARDS = [
    card(cls="", title="使用说明", found="2024-3-1 8:0", modified="2024-3-1 8:26", source="个人",
         keyword="说明;入门", style="simple", parts=[
             "这是随程序附带的示例资料库，其中的资料卡可以随意修改或删除，也可以在资料库管理中另建新的资料库。",
             "左侧的树列出资料库中的类别和资料卡。双击一张资料卡，它的内容就显示在右侧，修改后按保存写回文件；"
             "用上一则、下一则可以依次翻看。",
             "类别就是资料库中的文件夹，在类别框旁的管理按钮里添加、删除和排序。子类的名字由父类名、反斜杠和子类名组成，"
             "例如本库的“技术资料\\编程”。",
             "每张资料卡都指定一个样式表。点击“在IE中查看”时，浏览器按样式表显示这张资料卡。",
         ]),
    card(cls="读书笔记", title="论语摘抄", found="2024-3-5 9:7", modified="2024-3-12 21:30", source="书籍",
         keyword="论语;孔子;学习", style="simple", parts=[
             "学而时习之，不亦说乎？有朋自远方来，不亦乐乎？人不知而不愠，不亦君子乎？",
             "温故而知新，可以为师矣。读书不只是记住，更要从旧的知识里看出新的道理。",
             "三人行，必有我师焉。择其善者而从之，其不善者而改之。",
             "心得：每天抄一段，隔一周再回头读一遍，比一口气读完记得牢。",
         ]),
    card(cls="读书笔记", title="番茄工作法读后", found="2024-3-18 20:15", modified="2024-4-2 22:3",
         source="书籍", keyword="时间管理;专注", style="report", parts=[
             "番茄工作法把工作切成二十五分钟一段，每段之后休息五分钟，四段之后休息得长一些。",
             "关键不在计时器，而在于一段时间里只做一件事。中途想到别的事先记在纸上，等这一段结束再处理。",
             "试用两周的体会：上午的效率明显提高；下午会议多，很难凑满一整段，需要把会议集中安排。",
         ]),
    card(cls="工作日志", title="周会纪要", found="2024-4-1 10:0", modified="2024-4-1 11:45", source="会议",
         keyword="周会;进度;计划", style="report", parts=[
             "时间：四月一日上午十点；地点：三楼小会议室；参加：项目组全体。",
             "一、上周完成：数据导入模块已经联调通过，报表页面完成了八成。",
             "二、本周计划：修复导入时编码识别错误的问题；补齐报表的打印功能。",
             "三、风险：测试环境的服务器下周迁移，需要提前备份数据。",
         ]),
    card(cls="工作日志", title="出差安排", found="2024-5-20 8:5", modified="2024-5-20 8:40", source="个人",
         keyword="出差;行程", style="simple", parts=[
             "五月二十二日乘早班高铁去上海，下午拜访客户，讨论第二期的需求。",
             "二十三日上午参加产品演示，下午返程。",
             "要带的东西：笔记本电脑、投影转接头、合同草稿两份。",
         ]),
    card(cls="技术资料", title="正则表达式要点", found="2024-6-3 14:9", modified="2024-6-10 16:52",
         source="网络", keyword="正则表达式;文本处理", style="report", parts=[
             "正则表达式用来描述一类字符串的模式，几乎所有的文本编辑器和编程语言都支持它。",
             "常用元字符：点号匹配任意一个字符，星号表示前一项重复零次或多次，问号表示前一项可有可无。",
             "在 XML 里写模式要小心：像 <title> 这样的标签带尖括号，条件 a<b && b>c 里的 & 和尖括号也都要转义。",
             "零宽断言 (?<=x) 和 (?=y) 只检查位置，不消耗字符。",
         ]),
    card(cls="技术资料\\编程", title="智能指针用法", found="2024-7-8 19:30", modified="2024-7-9 9:2",
         source="书籍", keyword="C++;内存管理", style="simple", parts=[
             "unique_ptr 独占它所指的对象，不能复制，只能移动；离开作用域时自动释放对象。",
             "shared_ptr 用引用计数共享对象，最后一个持有者销毁时释放；两个对象互相持有时要用 weak_ptr 打破循环。",
             "建议：优先用 make_unique 和 make_shared 创建对象，不要直接写 new 和 delete。",
         ]),
]

INDEX_LINKS = ["论语摘抄", "正则表达式要点"]
BOOKMARK_LINKS = ["周会纪要"]


# ---- stylesheets, DTD, view page ----------------------------------------------------------------------

DTD = r"""<?xml version="1.0" encoding="gb2312"?>
<!-- Korvane 资料卡的文档类型定义。
     每张资料卡是一个 datum 元素：标题、类别、创建与修改时间、来源、关键字，正文按段落放在 part 中。 -->
<!ELEMENT datum (title, class, founddate, modifieddate, source, keyword, content, correlativelink)>
<!ELEMENT title (#PCDATA)>
<!ELEMENT class (#PCDATA)>
<!ELEMENT founddate (#PCDATA)>
<!ELEMENT modifieddate (#PCDATA)>
<!ELEMENT source (#PCDATA)>
<!ELEMENT keyword (#PCDATA)>
<!ELEMENT content (part*)>
<!ELEMENT part (#PCDATA)>
<!-- 相关链接：链接文字为标题，href 为相关资料卡或网页的地址。 -->
<!ELEMENT correlativelink (link*)>
<!ELEMENT link (#PCDATA)>
<!ATTLIST link href CDATA #IMPLIED>
"""

STYLE_SIMPLE = r"""<?xml version="1.0" encoding="gb2312"?>
<!-- 简洁样式：标题在上，各项信息一行，正文逐段显示。 -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="gb2312" indent="yes"/>

<xsl:template match="/datum">
<html>
<head>
<title><xsl:value-of select="title"/></title>
<style type="text/css">
body { margin: 2em 12%; line-height: 1.8; color: #222; background: #fdfdf8;
       font-family: "SimSun", "Noto Serif CJK SC", serif; }
h1 { font-size: 1.6em; font-weight: normal; border-bottom: 1px solid #aaa; padding-bottom: 0.3em; }
.meta { color: #666; font-size: 0.9em; margin-bottom: 1.5em; }
.meta span { margin-right: 1.5em; }
p { text-indent: 2em; margin: 0.6em 0; }
</style>
</head>
<body>
<h1><xsl:value-of select="title"/></h1>
<div class="meta">
<span>类别：<xsl:call-template name="class-name"/></span>
<span>来源：<xsl:value-of select="source"/></span>
<span>关键字：<xsl:value-of select="keyword"/></span>
<br/>
<span>创建：<xsl:value-of select="founddate"/></span>
<span>修改：<xsl:value-of select="modifieddate"/></span>
</div>
<xsl:for-each select="content/part">
<p><xsl:value-of select="."/></p>
</xsl:for-each>
<xsl:apply-templates select="correlativelink[link]"/>
</body>
</html>
</xsl:template>

<xsl:template name="class-name">
<xsl:choose>
<xsl:when test="normalize-space(class)"><xsl:value-of select="class"/></xsl:when>
<xsl:otherwise>（未分类）</xsl:otherwise>
</xsl:choose>
</xsl:template>

<xsl:template match="correlativelink">
<div class="meta">相关：
<xsl:for-each select="link">
<a href="{@href}"><xsl:value-of select="."/></a><xsl:text> </xsl:text>
</xsl:for-each>
</div>
</xsl:template>

</xsl:stylesheet>
"""

STYLE_REPORT = r"""<?xml version="1.0" encoding="gb2312"?>
<!-- 报告样式：资料卡的各项信息列成表格，正文各段编号。 -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="gb2312" indent="yes"/>

<xsl:template match="/datum">
<html>
<head>
<title><xsl:value-of select="title"/></title>
<style type="text/css">
body { margin: 1.5em 8%; color: #111; background: #fff; font-family: "SimHei", "Noto Sans CJK SC", sans-serif; }
h1 { text-align: center; font-size: 1.5em; margin-bottom: 1em; }
table.info { border-collapse: collapse; width: 100%; margin-bottom: 1.5em; }
table.info th, table.info td { border: 1px solid #999; padding: 0.3em 0.6em; text-align: left; }
table.info th { width: 6em; background: #e3e2f6; font-weight: normal; }
ol.body li { line-height: 1.7; margin: 0.5em 0; }
</style>
</head>
<body>
<h1><xsl:value-of select="title"/></h1>
<table class="info">
<tr><th>类别</th><td><xsl:value-of select="class"/></td><th>来源</th><td><xsl:value-of select="source"/></td></tr>
<tr><th>创建日期</th><td><xsl:value-of select="founddate"/></td>
<th>修改日期</th><td><xsl:value-of select="modifieddate"/></td></tr>
<tr><th>关键字</th><td colspan="3"><xsl:value-of select="keyword"/></td></tr>
</table>
<ol class="body">
<xsl:for-each select="content/part">
<li><p><xsl:value-of select="."/></p></li>
</xsl:for-each>
</ol>
<xsl:if test="correlativelink/link">
<h2>相关资料</h2>
<ul>
<xsl:for-each select="correlativelink/link">
<li><a href="{@href}"><xsl:value-of select="."/></a></li>
</xsl:for-each>
</ul>
</xsl:if>
</body>
</html>
</xsl:template>

</xsl:stylesheet>
"""

VIEW_PAGE = r"""<!DOCTYPE html>
<html>
<head>
<meta charset="gb2312">
<title>资料库视图</title>
<style type="text/css">
body { margin: 2em 10%; line-height: 1.8; background: #e2e1f6; color: #222; font-family: sans-serif; }
h1 { font-size: 1.5em; }
code { background: #fff; padding: 0 0.3em; }
</style>
</head>
<body>
<h1>资料库视图</h1>
<p>这一页在主窗口中点击“在IE中打开”时显示，它位于资料库的 <code>_ _VIEW_ _</code> 文件夹中，可以按自己的需要改写。</p>
<h2>资料库的结构</h2>
<ul>
<li>资料库中的每个文件夹是一个类别，子文件夹是它的子类；资料卡就放在所属类别的文件夹中。</li>
<li>资料卡是文件名中含有 <code>.datum.</code> 的 XML 文件，文件名由标题加上 <code>.datum.xml</code> 组成。</li>
<li><code>_ _SETS_ _</code> 文件夹保存本库的类别列表、来源列表、索引和书签。</li>
</ul>
<h2>查看资料卡</h2>
<p>在主窗口中选中一张资料卡，点击“在IE中查看”，浏览器会按资料卡指定的样式表显示它。
样式表保存在程序目录的 <code>xmlstyle/datumstyle</code> 文件夹中，可以在样式管理中添加或删除。</p>
</body>
</html>
"""


def crlf(text):
    return text.replace("\n", "\r\n")


# ---- assembling -----------------------------------------------------------------------------------------

def write_library_settings(base, classes, sources, index_cards, bookmark_cards, lib_root):
    write(f"{base}/_ _SETS_ _/class.list", class_list(classes, lib_root))
    write(f"{base}/_ _SETS_ _/source.list", source_list(sources))
    write(f"{base}/_ _SETS_ _/lineindex.list", line_index(index_cards))
    write(f"{base}/_ _SETS_ _/bookmark.list", line_index(bookmark_cards))
    write(f"{base}/_ _VIEW_ _/ViewDatum.html", enc(crlf(VIEW_PAGE)))


def generate():
    for sub in ("set", "xmlstyle", "datum"):
        shutil.rmtree(DATA / sub, ignore_errors=True)

    write("set/datumlib.lst", registry())
    write_library_settings("set/null.daum", [], [], [], [], "")

    write("xmlstyle/qvrt_xml_1.0/02_2003_datum01.dtd", enc(crlf(DTD)))
    write("xmlstyle/datumstyle/" + STYLES["simple"], enc(crlf(STYLE_SIMPLE)))
    write("xmlstyle/datumstyle/" + STYLES["report"], enc(crlf(STYLE_REPORT)))

    by_title = {c["title"]: c for c in CARDS}
    write_library_settings(LIBRARY_DIR, CLASSES, SOURCES, [by_title[t] for t in INDEX_LINKS],
                           [by_title[t] for t in BOOKMARK_LINKS], LIBRARY_PATH + "\\")
    for cls in CLASSES:
        (DATA / LIBRARY_DIR / cls.replace("\\", "/")).mkdir(parents=True, exist_ok=True)
    for card in CARDS:
        assert card["class"] in CLASSES + [""] and card["source"] in SOURCES
        write(card_rel(card), card_bytes(card))


# ---- checking with the XML tools ------------------------------------------------------------------------

def check():
    failures = 0
    for card in CARDS:
        path = DATA / card_rel(card)
        # Cards name the DTD and the stylesheet by paths relative to the card. libxml2 cannot follow a
        # relative DTD path below a folder with a non-ASCII name, so the DTD is given explicitly and its
        # relative path is only checked to lead to the file.
        head = path.read_bytes().decode("gb2312").split("\r\n")
        for line, what in ((head[1], "SYSTEM"), (head[3], "href=")):
            rel = line.split(what + ' "' if what == "SYSTEM" else what + '"')[1].split('"')[0]
            if not (path.parent / rel).resolve().is_file():
                failures += 1
                print(f"BROKEN {path}: {rel} leads nowhere")
        dtd = DATA / "xmlstyle/qvrt_xml_1.0/02_2003_datum01.dtd"
        r = subprocess.run(["xmllint", "--dtdvalid", str(dtd), "--noout", str(path)], capture_output=True)
        if r.returncode != 0:
            failures += 1
            print(f"INVALID {path}:\n{r.stderr.decode(errors='replace')}")
        expected = [card["title"], card["class"], card["found"], card["modified"], card["source"],
                    card["keyword"]]
        expected += card["parts"]
        runs = [("PI", ["xsltproc", str(path)])]
        runs += [(f, ["xsltproc", str(DATA / "xmlstyle/datumstyle" / f), str(path)]) for f in STYLES.values()]
        for label, cmd in runs:
            r = subprocess.run(cmd, capture_output=True)
            html = html_module.unescape(r.stdout.decode("gb2312", errors="replace"))
            missing = [e for e in expected if e and e not in html]
            if r.returncode != 0 or missing:
                failures += 1
                print(f"RENDER {label} {path}: rc={r.returncode} missing={missing}\n"
                      f"{r.stderr.decode(errors='replace')}")
    print(f"checked {len(CARDS)} cards against the DTD and {len(STYLES)} stylesheets: {failures} failure(s)")
    return failures == 0


if __name__ == "__main__":
    generate()
    if "--check" in sys.argv[1:] and not check():
        sys.exit(1)
