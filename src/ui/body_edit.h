// The card body field.
//
// Qt lays out a paragraph as one piece whenever it is shown or edited: a paragraph of millions of characters
// takes seconds to appear, a long run of Latin letters without spaces minutes. The field therefore shows a
// paragraph longer than kMaxLineChars as several lines tied by joints. A joint is an invisible mark at the end of
// a line saying that the paragraph goes on in the next line, which shows a grey bar in its margin. Body() leaves the
// joints out, so a saved paragraph is whole. The editing keys treat a joint as one thing: Enter on it turns it
// into a paragraph break, Backspace or Delete across it joins the two lines, the caret never stops inside it.
// Copying leaves joints out; pasting splits long paragraphs the same way; undo restores joints with the text,
// since they are text. The mark is never the user's: typed, composed or pasted, it is left out as it comes
// in, or a paragraph break after it would be taken for a joint and lost.
//
// The field also follows which of its characters a card cannot store, and shows a notice line at its foot.
#pragma once

#include <QPlainTextEdit>

#include "platform/codec.h"

class QLabel;

class CBodyEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    // Long enough that ordinary paragraphs are never split; short enough that laying out the lines on screen
    // and relaying out a line at each keystroke stay far below a frame.
    static constexpr int kMaxLineChars = 2048;
    static constexpr QChar kJoint{0x2060};  // WORD JOINER: zero width, and no GBK text can hold it

    explicit CBodyEdit(QWidget* parent = nullptr);

    // Paragraphs separated by '\n', as the card holds them.
    void SetBody(const QString& text);
    QString Body() const;

    // The text as the field holds it for display: `text` with each paragraph longer than kMaxLineChars cut into
    // lines ended by kJoint, and the way back.
    static QString WithJoints(const QString& text);
    static QString WithoutJoints(const QString& shown);

    // The characters of the body that a card cannot store, as of the last change.
    plat::Unstorable Unstorable() const { return unstorable_; }
    // A line at the foot of the field, above the text; empty hides it.
    void SetNotice(const QString& text);
    QString Notice() const;

    // Long lines wrap at the field's width (the default) or run on under a scroll bar: only the view
    // changes, never the text. The body's context menu offers the toggle "自动换行" (body_wrap.cpp).
    void SetWrap(bool on);
    bool Wrap() const;

signals:
    void UnstorableChanged();
    void WrapToggled(bool on);  // by the user, from the context menu

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool JointAt(int pos) const;  // the character at pos is a joint mark at the end of a line
    void KeepCaretOutOfJoints();
    void FollowUnstorable(int position, int added);
    void PlaceNotice();

    int lastCaret_ = 0;
    plat::Unstorable unstorable_;
    bool filling_ = false;  // SetBody is putting a whole text in
    QLabel* notice_ = nullptr;
};
