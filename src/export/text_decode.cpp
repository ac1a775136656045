// Which encoding a text file is in, from its bytes; and what of a text a card cannot store.
#include <QString>
#include <QStringDecoder>

#include "export/text_import.h"
#include "platform/codec.h"

namespace exporting {
namespace {

// The bytes are the whole file: a character cut off at its end is an error, not one to be continued.
constexpr QStringConverter::Flags kWhole = QStringConverter::Flag::Stateless;

bool Decode(QStringDecoder decoder, QByteArrayView bytes, std::string& utf8) {
    if (!decoder.isValid()) return false;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) return false;
    utf8 = text.toStdString();
    return true;
}

}  // namespace

bool DecodeText(const std::string& bytes, std::string& utf8) {
    const QByteArrayView b(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (b.startsWith("\xEF\xBB\xBF")) return Decode(QStringDecoder(QStringDecoder::Utf8, kWhole), b.sliced(3), utf8);
    if ((b.startsWith("\xFF\xFE") || b.startsWith("\xFE\xFF")) && b.size() % 2) return false;  // cut in a character
    if (b.startsWith("\xFF\xFE")) return Decode(QStringDecoder(QStringDecoder::Utf16LE, kWhole), b.sliced(2), utf8);
    if (b.startsWith("\xFE\xFF")) return Decode(QStringDecoder(QStringDecoder::Utf16BE, kWhole), b.sliced(2), utf8);
    // A NUL is in no text file of these encodings: it is UTF-16 without its BOM, or no text at all.
    if (b.contains('\0')) return false;
    if (Decode(QStringDecoder(QStringDecoder::Utf8, kWhole), b, utf8)) return true;
    return Decode(QStringDecoder("GB18030", kWhole), b, utf8);
}

// The one place that says what a card can hold: the characters its GB2312 file stores (GBK, as the rest of
// the program writes it). Control characters are the card writer's to judge, as for a card typed in the form.
plat::Unstorable CardUnstorable(const QString& text) { return plat::FindUnstorable(text); }

}  // namespace exporting
