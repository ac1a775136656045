// A card's history (Ctrl+H): its versions newest first (time, size, who), what the selected one holds, and
// how it differs from the card now, paragraphs added and removed and the characters changed inside a
// paragraph marked. "恢复此版本" hands the version to the form as an unsaved edit: saving it is a new version,
// so a restore can be undone like any edit. "已删除的资料卡" lists the library's cards whose last version is
// a delete and brings one back into its class.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "history/store.h"
#include "ui/dialog.h"

class CardHistory;
class QLabel;
class QTextBrowser;
class QTreeWidget;

class CHistoryDlg : public CDialog {
    Q_OBJECT
public:
    // `card`: the internal path of the card in the form ("" for none). `restore` is handed a version's bytes.
    CHistoryDlg(CardHistory& history, const std::string& card, std::function<void(const std::string&)> restore,
                QWidget* parent);

    void Select(int row);         // a row of the list, as the user clicks it
    void ShowVersion();           // what the selected version holds
    void ShowDifferences();       // the selected version against the card now
    void OnRestore();
    void OnDeleted();             // the list becomes the library's deleted cards, and back
    QString Shown() const;        // the text view as plain text (tests)
    QString ShownHtml() const;
    QString Caption() const;      // the line above the text
    int Rows() const;

    // A card's bytes as the window shows them: its fields, an empty line, its paragraphs.
    static std::vector<QString> CardLines(const std::string& bytes);

private:
    void ListVersions();
    void ListDeleted();
    void ShowLastText();  // of the deleted card selected
    bool Read(std::string& bytes);  // the selected version's bytes; false after saying why
    void Say(const QString& text);

    CardHistory& history_;
    std::string card_, inStore_;
    std::function<void(const std::string&)> restore_;
    std::vector<history::Version> versions_;
    std::vector<history::DeletedCard> gone_;
    bool deleted_ = false;  // the list shows deleted cards
    QTreeWidget* list_ = nullptr;
    QLabel* caption_ = nullptr;
    QTextBrowser* text_ = nullptr;
};
