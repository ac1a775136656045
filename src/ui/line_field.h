// What a one-line field of the card form takes from the user. A card keeps each of these fields on one line
// of its file, so a line break entered there would end the line and the card would no longer read: pasted
// CR, LF and TAB (and the Unicode line and paragraph separators) become a space as they come in, CR LF one
// space, and any other control character is left out. Only what comes in is cleaned: text the field already
// held (a card's own title, shown exactly as the file has it) is never touched, nor is text the program puts
// in while the filter is paused.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace ui {

class LineFieldFilter : public QValidator {
public:
    // Filters `field` from now on; the field owns the filter. No length limit: the field holds any value a
    // card can hold, where Qt's default would cut it at 32,767 characters.
    explicit LineFieldFilter(QLineEdit* field);

    // While paused, text passes as it is.
    void Pause(bool paused) { paused_ = paused; }

    State validate(QString& text, int& pos) const override;

private:
    QString last_;  // the field's text after its last change: what is new is what differs from it
    bool paused_ = false;
};

}  // namespace ui
