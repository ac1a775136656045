// Internal text into the character data of the XML files the program writes, and the file bytes back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace xmltext {

// Appends `text` (internal GB18030) as GB2312 character data: '<', '>' and '&' as entities, every character
// that GB2312 does not hold as GB18030 reads it as a numeric character reference ("&#x95DC;"). GB2312's
// tables read some codes otherwise than GBK does (A1A4 is U+30FB there, U+00B7 in GBK): such characters are
// references too, so that a strict GB2312 reader and this program read the same character.
void Append(std::string_view text, std::string& out);
inline std::string Escaped(std::string_view text) {
    std::string out;
    Append(text, out);
    return out;
}

}  // namespace xmltext
