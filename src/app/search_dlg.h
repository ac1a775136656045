// The search window: a query field that answers while the user types, the matching cards of the current
// library (title, class, modification date, the text around the first hit), and how far the index is
// built. It stays open beside the main window; opening a result goes through the main window's own path.
#pragma once

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
namespace search {
class Indexer;
}

class CSearchDlg : public CDialog {
    Q_OBJECT
public:
    // `open` is handed the internal path of the card to open.
    CSearchDlg(search::Indexer& indexer, std::function<void(const std::string&)> open, QWidget* parent);
    ~CSearchDlg() override;

    // Runs the query in the field now (typing runs it after a short pause).
    void RunQuery();
    // Opens the selected result, if any.
    void OnOpen();
    // The paths of the rows shown, in order (for tests and the window's own use).
    std::vector<std::string> ShownPaths() const;
    QString StatusText() const;

    static constexpr int kMaxRows = 200;  // every match is counted; the first ones are listed

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void OnCancel() override { hide(); }  // closing only hides: the window keeps its place and query

private:
    void Poll();
    void ShowStatus();

    search::Indexer& indexer_;
    std::function<void(const std::string&)> open_;
    std::unique_ptr<search::Index> index_;
    std::string indexRoot_;  // the library index_ belongs to
    QLineEdit* edit_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QTimer* typing_ = nullptr;
    QTimer* poll_ = nullptr;
    std::vector<std::string> paths_;
    search::Result last_;
    bool ran_ = false;
    bool waiting_ = false;  // the index could not be opened yet
    int lastDone_ = -1;
    int ticks_ = 0;
    bool busy_ = false;
};
