// Internal text (GB18030: GBK's bytes as they are, four bytes for every other character) <-> Unicode, used only
// where text meets a widget or a native file name. The names keep "Gbk": every GBK text is such text.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace plat {

// Strict conversions: false when the input is not valid (bytes that are no character, half a surrogate
// pair). Every Unicode character has internal bytes. `out` is undefined on failure.
bool TryUtf8ToGbk(std::string_view utf8, std::string& out);
bool TryGbkToUtf8(std::string_view gbk, std::string& out);

// Lenient conversions for display: undecodable bytes become U+FFFD, unencodable characters '?'.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// The program's own literals are written in UTF-8 in the source; Gbk() gives their file bytes.
inline std::string Gbk(std::string_view utf8) { return Utf8ToGbk(utf8); }

QString ToQ(std::string_view gbk);
// False only for half a surrogate pair; nothing is written to `gbk` then.
bool FromQ(const QString& text, std::string& gbk);

// The characters of `text`, other than those in `ignore`, that an XML file cannot hold (controls other than
// tab and line breaks, half a surrogate pair, U+FFFE, U+FFFF), private-use characters (only GBK's
// user-defined areas would hold them), and U+FFFD, which stands for bytes read that were no character: how
// many, and the first.
struct Unstorable {
    qsizetype count = 0;
    char32_t first = 0;
};
Unstorable FindUnstorable(QStringView text, QStringView ignore = {});

// True when every character of the internal text is a GBK one: what a settings list file can hold.
bool IsGbk(std::string_view text);

}  // namespace plat
