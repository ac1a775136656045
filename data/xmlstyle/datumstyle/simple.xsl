<?xml version="1.0" encoding="gb2312"?>
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
