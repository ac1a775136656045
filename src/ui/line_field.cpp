#include "ui/line_field.h"

#include <QLineEdit>
#include <limits>

namespace ui {

namespace {

bool BreaksLine(char16_t c) { return c == u'\r' || c == u'\n' || c == u'\t' || c == 0x2028 || c == 0x2029; }

QString Cleaned(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (BreaksLine(c.unicode())) {
            out += QLatin1Char(' ');
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c.category() != QChar::Other_Control) {
            out += c;
        }
    }
    return out;
}

}  // namespace

LineFieldFilter::LineFieldFilter(QLineEdit* field) : QValidator(field), last_(field->text()) {
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setValidator(this);
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) { last_ = text; });
}

QValidator::State LineFieldFilter::validate(QString& text, int& pos) const {
    if (paused_) return Acceptable;
    // The part that came in: what lies between the text kept at the front and the text kept at the end.
    const qsizetype n = text.size(), m = last_.size();
    qsizetype front = 0, back = 0;
    while (front < n && front < m && text[front] == last_[front]) ++front;
    while (back < n - front && back < m - front && text[n - 1 - back] == last_[m - 1 - back]) ++back;
    const QStringView entered = QStringView(text).mid(front, n - front - back);
    bool clean = true;
    for (QChar c : entered) clean = clean && c.category() != QChar::Other_Control && !BreaksLine(c.unicode());
    if (clean) return Acceptable;
    const QString cleaned = Cleaned(entered);
    if (pos >= n - back)
        pos += static_cast<int>(cleaned.size() - entered.size());
    else if (pos > front)
        pos = static_cast<int>(front + cleaned.size());
    text = text.left(front) + cleaned + text.right(back);
    return Acceptable;
}

}  // namespace ui
