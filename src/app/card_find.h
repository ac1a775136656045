// The terms of the search a card was opened from, and where they are in that card on the form. Opening
// puts the cursor on the first match in the body, or selects it in the title or keyword field when the body
// holds none; F3 and Shift+F3 in the main window go to the next and previous match in the body, round its
// ends. A match is what the index matches: ASCII letters in either case and full-width ASCII are one
// character, and the joints the body field shows in a long paragraph are no characters.
#pragma once

#include <QObject>
#include <QStringList>

class QWidget;

class CardFind : public QObject {
    Q_OBJECT
public:
    // `window`: the main window, whose fields are found by control ID; F3 and Shift+F3 are set on it.
    explicit CardFind(QWidget* window);

    // The terms of `query` (split at blanks); goes to their first match in the card on the form.
    void Start(const QString& query);
    // The next (or previous) match in the body after (before) the selection; false when there is none.
    bool Step(bool back);

    // Text as matching sees it: ASCII letters lowered, full-width ASCII (what GBK keeps in row A3) as the
    // half-width character.
    static QString Fold(const QString& text);

private:
    QWidget* window_;
    QStringList terms_;  // folded
};
