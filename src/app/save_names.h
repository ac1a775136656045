// What a save needs to know of names on disk before it writes: whether two spellings name one file, the file
// name a title makes, the name of "save mine beside it"'s copy, and whether a symbolic link in place of a
// card may be written through.
#pragma once

#include <QString>
#include <string>

namespace savenames {

// Two spellings of one file ('/' against '\', a relative against an absolute path).
bool SameFile(const std::string& a, const std::string& b);

// A title as one file name: the signs a name cannot hold on Linux or on Windows (where cards travel too)
// become their full-width look-alikes, control characters spaces. The title itself keeps them.
QString FileNamePart(QString title);

// Beside the card `original` (internal path): "<title> (我的修改 <when>).datum.xml", or with " <n>" before the
// ')' from the second try on; the title is shortened by whole characters until the name fits the 255 bytes a
// Linux file name may have in UTF-8. `title` is GBK, `when` "2026-12-07 10-31".
std::string CopyName(const std::string& original, const std::string& title, const std::string& when, int n);

// The name at `path` is a symbolic link; "" when it may be written through: it is the link the card was
// loaded through (`loadedLink`, its text then) and the file it names lies inside `libRoot`. Otherwise what it
// points to, for the question (GBK where it can be).
std::string RefusedLink(const std::string& path, const std::string& loadedLink, const std::string& libRoot);

}  // namespace savenames
