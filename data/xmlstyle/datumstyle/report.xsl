<?xml version="1.0" encoding="gb2312"?>
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
