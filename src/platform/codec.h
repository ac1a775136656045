// GBK <-> Unicode, used only where text meets a widget or a native file name.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace plat {

// Strict conversions: false when the input cannot be represented (invalid GBK bytes, or a character
// that GBK cannot hold). `out` is undefined on failure.
bool TryUtf8ToGbk(std::string_view utf8, std::string& out);
bool TryGbkToUtf8(std::string_view gbk, std::string& out);

// Lenient conversions for display: undecodable bytes become U+FFFD, unencodable characters '?'.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// The program's own literals are written in UTF-8 in the source; Gbk() gives their file bytes.
inline std::string Gbk(std::string_view utf8) { return Utf8ToGbk(utf8); }

QString ToQ(std::string_view gbk);
// False when the text holds a character that GBK cannot hold; nothing is written to `gbk` then. A character
// that only GB2312's tables hold (U+30FB) is written as GB2312 writes it.
bool FromQ(const QString& text, std::string& gbk);

// The characters of `text`, other than those in `ignore`, that FromQ cannot store: how many, and the first
// (half of a surrogate pair on its own counts as one character).
struct Unstorable {
    qsizetype count = 0;
    char32_t first = 0;
};
Unstorable FindUnstorable(QStringView text, QStringView ignore = {});

}  // namespace plat
