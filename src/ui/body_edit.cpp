#include "ui/body_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocumentFragment>

namespace {

// Where a long paragraph is cut, if one of these falls in the second half of a line: after a sentence or a
// clause the cut reads like any other line end.
bool EndsClause(QChar c) {
    static const QString marks = QStringLiteral("。！？；，、：.!?;,:");
    return c.isSpace() || marks.contains(c);
}

// The end of the next line of a paragraph that runs from `from` to `end`.
qsizetype LineEnd(const QChar* text, qsizetype from, qsizetype end) {
    qsizetype cut = from + CBodyEdit::kMaxLineChars;
    if (cut >= end) return end;
    for (qsizetype i = cut; i > from + CBodyEdit::kMaxLineChars / 2; --i) {
        if (EndsClause(text[i - 1])) return i;
    }
    if (text[cut - 1].isHighSurrogate()) --cut;  // never between the halves of one character
    return cut;
}

}  // namespace

CBodyEdit::CBodyEdit(QWidget* parent) : QPlainTextEdit(parent) {
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { KeepCaretOutOfJoints(); });
}

void CBodyEdit::SetBody(const QString& text) { setPlainText(WithJoints(text)); }

QString CBodyEdit::Body() const { return WithoutJoints(toPlainText()); }

QString CBodyEdit::WithJoints(const QString& text) {
    const qsizetype n = text.size();
    const QChar* const in = text.constData();
    bool longParagraph = false;
    for (qsizetype start = 0; start < n && !longParagraph;) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) end = n;
        longParagraph = end - start > kMaxLineChars;
        start = end + 1;
    }
    if (!longParagraph) return text;  // the common case, without a copy

    QString out;
    out.reserve(n + n / (kMaxLineChars / 2) * 2);
    for (qsizetype start = 0; start <= n;) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0) end = n;
        for (qsizetype at = start; at < end;) {
            const qsizetype cut = LineEnd(in, at, end);
            out.append(in + at, cut - at);
            if (cut < end) out.append(kJoint).append(QLatin1Char('\n'));
            at = cut;
        }
        if (end < n) out.append(QLatin1Char('\n'));
        start = end + 1;
    }
    return out;
}

QString CBodyEdit::WithoutJoints(const QString& shown) {
    qsizetype at = shown.indexOf(kJoint);
    if (at < 0) return shown;
    const qsizetype n = shown.size();
    const QChar* const in = shown.constData();
    QString out;
    out.reserve(n);
    qsizetype from = 0;
    for (; at >= 0; at = shown.indexOf(kJoint, from)) {
        out.append(in + from, at - from);
        from = at + 1;
        // A mark before a line break is a joint: that break is no break of the body. A mark anywhere else
        // carries nothing the user wrote.
        if (from < n && (in[from] == u'\n' || in[from] == QChar::ParagraphSeparator)) ++from;
    }
    out.append(in + from, n - from);
    return out;
}

bool CBodyEdit::JointAt(int pos) const {
    if (pos < 0 || document()->characterAt(pos) != kJoint) return false;
    const QTextBlock block = document()->findBlock(pos);
    return block.next().isValid() && pos == block.position() + block.length() - 2;
}

// A joint has three caret positions that look alike (before the mark, after it, at the next line's start);
// text typed after the mark would end the paragraph there. The middle one is skipped in the direction the
// caret was going.
void CBodyEdit::KeepCaretOutOfJoints() {
    QTextCursor c = textCursor();
    const int pos = c.position();
    const int anchor = c.anchor();
    auto outside = [this](int p) {
        if (!JointAt(p - 1)) return p;
        return lastCaret_ == p - 1 ? p + 1 : p - 1;
    };
    const int newPos = outside(pos);
    const int newAnchor = anchor == pos ? newPos : outside(anchor);
    lastCaret_ = newPos;
    if (newPos == pos && newAnchor == anchor) return;
    c.setPosition(newAnchor);
    c.setPosition(newPos, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void CBodyEdit::keyPressEvent(QKeyEvent* e) {
    QTextCursor c = textCursor();
    if (isReadOnly() || c.hasSelection()) return QPlainTextEdit::keyPressEvent(e);

    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    const bool backward = e->key() == Qt::Key_Backspace || e->matches(QKeySequence::DeleteStartOfWord);
    const bool forward = e->matches(QKeySequence::Delete) || e->matches(QKeySequence::DeleteEndOfWord);
    const int pos = c.position();
    int joint = -1;
    if (JointAt(pos) && (enter || forward)) joint = pos;
    if (c.atBlockStart() && JointAt(pos - 2) && (enter || backward)) joint = pos - 2;
    if (joint < 0) return QPlainTextEdit::keyPressEvent(e);

    // Enter drops the mark and keeps the line break, now a paragraph break; Backspace and Delete drop both,
    // joining the lines. One step each for undo.
    c.beginEditBlock();
    c.setPosition(joint);
    c.setPosition(joint + (enter ? 1 : 2), QTextCursor::KeepAnchor);
    c.removeSelectedText();
    c.endEditBlock();
    if (enter) c.setPosition(joint + 1);
    setTextCursor(c);
    e->accept();
}

QMimeData* CBodyEdit::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(WithoutJoints(textCursor().selection().toPlainText()));
    return data;
}

void CBodyEdit::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source || !source->hasText()) return;
    QString text = source->text();
    text.remove(kJoint);  // a mark from elsewhere would tie two of the pasted paragraphs together
    QTextCursor c = textCursor();
    // A drop places the cursor where the mouse is, which can be inside a joint, without telling.
    if (!c.hasSelection() && JointAt(c.position() - 1)) c.setPosition(c.position() - 1);
    c.beginEditBlock();
    c.insertText(WithJoints(text));
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
}

void CBodyEdit::paintEvent(QPaintEvent* e) {
    QPlainTextEdit::paintEvent(e);
    // A grey bar in the left margin of each line that goes on with the paragraph of the line above: without it
    // a joint would look like a paragraph break, and Enter on it would seem to do nothing.
    QPainter p(viewport());
    const QPointF offset = contentOffset();
    const int bottom = viewport()->height();
    QTextBlock b = firstVisibleBlock();
    bool continues = b.previous().isValid() && b.previous().text().endsWith(kJoint);
    for (; b.isValid(); b = b.next()) {
        const QRectF box = blockBoundingGeometry(b).translated(offset);
        if (box.top() > bottom) break;
        if (continues) p.fillRect(QRectF(box.left() + 1, box.top() + 2, 2, box.height() - 4), Qt::lightGray);
        continues = b.text().endsWith(kJoint);
    }
}
