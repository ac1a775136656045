#include "app/card_find.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextBlock>
#include <algorithm>
#include <vector>

#include "ui/body_edit.h"

namespace {

// The body's text as the index saw it in the card: a joint and the line end after it are no characters.
// at[i] is the document position of character i (one past the end at the end).
QString Searchable(const QPlainTextEdit* body, std::vector<int>& at) {
    const QString shown = body->document()->toPlainText();
    QString out;
    out.reserve(shown.size());
    at.clear();
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] == CBodyEdit::kJoint) {
            if (i + 1 < shown.size() && shown[i + 1] == QChar('\n')) ++i;
            continue;
        }
        out += shown[i];
        at.push_back(i);
    }
    at.push_back(static_cast<int>(shown.size()));
    return CardFind::Fold(out);
}

// The first match starting at or after `from` (forward), or the last one starting before `from` (back):
// its start and length, start -1 when none.
std::pair<int, int> Nearest(const QString& text, const QStringList& terms, int from, bool back) {
    std::pair<int, int> best{-1, 0};
    for (const QString& t : terms) {
        const int at = back ? (from > 0 ? static_cast<int>(text.lastIndexOf(t, from - 1)) : -1)
                            : static_cast<int>(text.indexOf(t, from));
        if (at < 0) continue;
        if (best.first < 0 || (back ? at > best.first : at < best.first)) best = {at, static_cast<int>(t.size())};
    }
    return best;
}

}  // namespace

CardFind::CardFind(QWidget* window) : QObject(window), window_(window) {
    auto* next = new QShortcut(QKeySequence(Qt::Key_F3), window);
    auto* prev = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), window);
    connect(next, &QShortcut::activated, this, [this] { Step(false); });
    connect(prev, &QShortcut::activated, this, [this] { Step(true); });
}

QString CardFind::Fold(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        char16_t u = c.unicode();
        // U+FF01..U+FF5D are GBK A3A1..A3FD; A3A4 is the yen sign, so U+FF04 comes from elsewhere (A1E7).
        if (u >= 0xFF01 && u <= 0xFF5D && u != 0xFF04) u = static_cast<char16_t>(u - 0xFEE0);
        if (u >= 'A' && u <= 'Z') u = static_cast<char16_t>(u + 32);
        c = QChar(u);
    }
    return out;
}

void CardFind::Start(const QString& query) {
    terms_.clear();
    static const QRegularExpression blanks(QStringLiteral("[\\s\\x{3000}]+"));
    for (const QString& t : query.split(blanks, Qt::SkipEmptyParts)) terms_ << Fold(t);
    if (terms_.isEmpty()) return;
    auto* body = window_->findChild<QPlainTextEdit*>(QStringLiteral("1018"));
    if (body) {
        QTextCursor c = body->textCursor();
        c.setPosition(0);
        body->setTextCursor(c);
        if (Step(false)) {
            window_->activateWindow();
            return;
        }
    }
    for (const char* id : {"1009", "1017"}) {
        auto* field = window_->findChild<QLineEdit*>(QString::fromLatin1(id));
        if (!field) continue;
        const auto [at, len] = Nearest(Fold(field->text()), terms_, 0, false);
        if (at < 0) continue;
        field->setSelection(at, len);
        field->setFocus();
        window_->activateWindow();
        return;
    }
}

bool CardFind::Step(bool back) {
    auto* body = window_->findChild<QPlainTextEdit*>(QStringLiteral("1018"));
    if (!body || terms_.isEmpty()) return false;
    std::vector<int> at;
    const QString text = Searchable(body, at);
    QTextCursor c = body->textCursor();
    const int pos = back ? c.selectionStart() : c.selectionEnd();
    const int from = static_cast<int>(std::lower_bound(at.begin(), at.end(), pos) - at.begin());
    auto [start, len] = Nearest(text, terms_, from, back);
    if (start < 0) std::tie(start, len) = Nearest(text, terms_, back ? static_cast<int>(text.size()) : 0, back);
    if (start < 0) return false;
    c.setPosition(at[start]);
    c.setPosition(at[start + len - 1] + 1, QTextCursor::KeepAnchor);
    body->setTextCursor(c);
    body->ensureCursorVisible();
    body->setFocus();
    return true;
}
