#include "ui/body_edit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
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

// What the check for characters a card can store passes over: joints, and a selection's paragraph breaks.
constexpr char16_t kNotText[] = {CBodyEdit::kJoint.unicode(), QChar::ParagraphSeparator};

CBodyEdit::CBodyEdit(QWidget* parent) : QPlainTextEdit(parent) {
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { KeepCaretOutOfJoints(); });
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { FollowUnstorable(position, added); });
}

// A card of megabytes is checked whole only while it holds such a character; otherwise only what came in.
void CBodyEdit::FollowUnstorable(int position, int added) {
    const QStringView ignore(kNotText, std::size(kNotText));
    if (filling_) return;
    if (unstorable_.count == 0) {
        if (added == 0) return;
        QTextCursor c(document());
        c.setPosition(position);
        c.setPosition(std::min(position + added, document()->characterCount() - 1), QTextCursor::KeepAnchor);
        if (plat::FindUnstorable(c.selectedText(), ignore).count == 0) return;
    }
    unstorable_ = plat::FindUnstorable(toPlainText(), ignore);
    emit UnstorableChanged();
}

void CBodyEdit::SetNotice(const QString& text) {
    if (text.isEmpty() && !notice_) return;
    if (!notice_) {
        notice_ = new QLabel(this);
        notice_->setWordWrap(true);
        notice_->setAutoFillBackground(true);
        notice_->setMargin(2);
        QPalette p = notice_->palette();
        p.setColor(QPalette::Window, QColor(255, 236, 200));
        p.setColor(QPalette::WindowText, QColor(150, 0, 0));
        notice_->setPalette(p);
    }
    notice_->setText(text);
    notice_->setVisible(!text.isEmpty());
    PlaceNotice();
}

QString CBodyEdit::Notice() const {
    return notice_ && notice_->isVisibleTo(this) ? notice_->text() : QString();
}

// Right under the text: the text area gives up the notice's height rather than being covered by it.
void CBodyEdit::PlaceNotice() {
    const bool shown = notice_ && !notice_->text().isEmpty();
    const int height = shown ? notice_->heightForWidth(viewport()->width()) : 0;
    setViewportMargins(0, 0, 0, height);
    const QRect text = viewport()->geometry();
    if (shown) notice_->setGeometry(text.left(), text.bottom() + 1, text.width(), height);
}

void CBodyEdit::resizeEvent(QResizeEvent* e) {
    QPlainTextEdit::resizeEvent(e);
    PlaceNotice();
}

void CBodyEdit::SetBody(const QString& text) {
    // The text is checked as it is given, in one pass, rather than read back out of the document.
    filling_ = true;
    setPlainText(WithJoints(text));
    filling_ = false;
    unstorable_ = plat::FindUnstorable(text, QStringView(kNotText, std::size(kNotText)));
    emit UnstorableChanged();
}

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
    if (e->text().contains(kJoint)) {
        QString typed = e->text();
        typed.remove(kJoint);
        QKeyEvent without(e->type(), typed.isEmpty() ? Qt::Key_unknown : e->key(), e->modifiers(), typed,
                          e->isAutoRepeat(), static_cast<quint16>(e->count()));
        if (!typed.isEmpty()) keyPressEvent(&without);
        e->accept();
        return;
    }
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

void CBodyEdit::inputMethodEvent(QInputMethodEvent* e) {
    if (!e->commitString().contains(kJoint)) return QPlainTextEdit::inputMethodEvent(e);
    QString commit = e->commitString();
    commit.remove(kJoint);
    QInputMethodEvent without(e->preeditString(), e->attributes());
    without.setCommitString(commit, e->replacementStart(), e->replacementLength());
    QPlainTextEdit::inputMethodEvent(&without);
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
