// The search window: a query field that answers while the user types, the matching cards of the current
// library, best first (title, class, modification date, the text around the first hit with the matches
// marked), and how far the index is built. Queries run on a thread of their own: a keystroke never waits
// for one, and each keystroke drops the query still running. It stays open beside the main window; opening
// a result goes through the main window's own path and then to the first match in the card.
#pragma once

#include <QMap>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "search/index.h"
#include "ui/dialog.h"

class QTimer;
class QLineEdit;
class QLabel;
class QTreeWidget;
class CardFind;
namespace search {
class Indexer;
class Searcher;
}  // namespace search

class CSearchDlg : public CDialog {
    Q_OBJECT
public:
    // `open` is handed the internal path of the card to open; true when the card is now on the form.
    CSearchDlg(search::Indexer& indexer, std::function<bool(const std::string&)> open, QWidget* parent);
    ~CSearchDlg() override;

    // Asks the query in the field (typing asks at each change).
    void RunQuery();
    // Opens the selected result, if any.
    void OnOpen();
    // The paths of the rows shown, in order (for tests and the window's own use).
    std::vector<std::string> ShownPaths() const;
    QString StatusText() const;
    // A query asked and not answered yet (tests wait for the answer).
    bool Answering() const { return asked_ > shown_ && asked_ > cleared_; }

    static constexpr int kMaxRows = 200;  // every match is counted; the best ones are listed
    static constexpr int kMarksRole = Qt::UserRole + 1;  // the snippet's marked ranges, QPoint(start, length)

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void OnCancel() override { hide(); }  // closing only hides: the window keeps its place and query

private:
    void OnAnswer(quint64 ticket, search::Result r);
    void Show(const search::Result& r);
    void Poll();
    void ShowStatus();

    search::Indexer& indexer_;
    std::function<bool(const std::string&)> open_;
    std::unique_ptr<search::Searcher> searcher_;
    CardFind* find_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QTimer* poll_ = nullptr;
    std::vector<std::string> paths_;
    search::Result last_;
    QMap<quint64, QString> asking_;  // the text of each query asked and not answered
    QString shownQuery_;              // the query whose answer is listed
    quint64 asked_ = 0, shown_ = 0, cleared_ = 0;  // tickets: the last asked, shown, and before a clear
    bool ran_ = false;
    bool waiting_ = false;  // no index to ask yet, or it is being rebuilt: asked again when it is there
    int lastDone_ = -1;
    int ticks_ = 0;
    bool busy_ = false;
    bool openWhenAnswered_ = false;  // Enter came before the answer to what the field holds
};
