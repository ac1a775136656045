#include "app/search_dlg.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include "platform/codec.h"
#include "search/indexer.h"

namespace {

constexpr int kEdit = 1030, kFind = 1031, kStatus = 1032, kList = 1033, kOpen = 1034;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

CSearchDlg::CSearchDlg(search::Indexer& indexer, std::function<void(const std::string&)> open, QWidget* parent)
    : CDialog(135, parent), indexer_(indexer), open_(std::move(open)) {
    edit_ = ItemAs<QLineEdit>(kEdit);
    status_ = ItemAs<QLabel>(kStatus);
    list_ = ItemAs<QTreeWidget>(kList);
    list_->setColumnCount(4);
    list_->setHeaderLabels({Q("标题"), Q("类别"), Q("修改日期"), Q("摘要")});
    const int unit = BaseUnitX();
    list_->header()->resizeSection(0, 60 * unit / 4);
    list_->header()->resizeSection(1, 50 * unit / 4);
    list_->header()->resizeSection(2, 52 * unit / 4);
    list_->header()->setStretchLastSection(true);
    list_->setAccessibleName(Q("查找结果"));

    typing_ = new QTimer(this);
    typing_->setSingleShot(true);
    typing_->setInterval(150);
    connect(typing_, &QTimer::timeout, this, [this] { RunQuery(); });
    connect(edit_, &QLineEdit::textEdited, this, [this] { typing_->start(); });
    poll_ = new QTimer(this);
    poll_->setInterval(300);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });

    OnClicked(kFind, [this] { RunQuery(); });
    OnClicked(kOpen, [this] { OnOpen(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnOpen(); });
    setModal(false);
    ShowStatus();
}

CSearchDlg::~CSearchDlg() = default;

void CSearchDlg::RunQuery() {
    typing_->stop();
    list_->clear();
    paths_.clear();
    last_ = {};
    ran_ = false;
    waiting_ = false;
    std::string query;
    // A character GBK cannot hold is in no card: the query then finds nothing.
    const bool encodable = plat::FromQ(edit_->text(), query);
    const search::Indexer::Status st = indexer_.GetStatus();
    if (st.libRoot.empty() || edit_->text().trimmed().isEmpty()) {
        ShowStatus();
        return;
    }
    if (!index_ || indexRoot_ != st.libRoot) {
        std::string error;
        index_ = indexer_.OpenForQuery(error);
        indexRoot_ = index_ ? st.libRoot : std::string();
        if (!index_) {
            // Usually the worker is still creating the file: the poll asks again.
            waiting_ = true;
            status_->setText(plat::ToQ(error));
            return;
        }
    }
    ran_ = true;
    waiting_ = false;
    if (encodable) last_ = index_->Query(query, kMaxRows);
    if (!last_.ok) index_.reset();  // opened afresh next time, after the worker has rebuilt it
    QList<QTreeWidgetItem*> rows;
    for (const search::Hit& h : last_.hits) {
        auto* item = new QTreeWidgetItem(
            QStringList{plat::ToQ(h.title), plat::ToQ(h.klass), plat::ToQ(h.modified), plat::ToQ(h.snippet)});
        item->setToolTip(3, plat::ToQ(h.snippet));
        rows.push_back(item);
        paths_.push_back(h.path);
    }
    list_->addTopLevelItems(rows);
    if (!rows.isEmpty()) list_->setCurrentItem(rows.front());
    ShowStatus();
}

void CSearchDlg::ShowStatus() {
    const search::Indexer::Status st = indexer_.GetStatus();
    QString text;
    if (!st.error.empty()) {
        text = plat::ToQ(st.error);
    } else if (st.libRoot.empty()) {
        text = Q("没有打开资料库");
    } else if (!last_.ok) {
        text = plat::ToQ(last_.error);
    } else if (ran_) {
        text = Q("找到 %1 则资料卡").arg(last_.total);
        if (last_.total > last_.hits.size()) text += Q("，列出前 %1 则").arg(last_.hits.size());
    }
    if (st.busy && st.total > 0) {
        if (!text.isEmpty()) text += Q("；");
        text += Q("正在建立索引: %1 / %2 则").arg(st.done).arg(st.total);
    }
    status_->setText(text);
}

void CSearchDlg::Poll() {
    const search::Indexer::Status st = indexer_.GetStatus();
    // While the index grows the answer is taken again from what is indexed so far: every couple of
    // seconds (the worker commits in batches), and once more when it is done.
    const bool finished = busy_ && !st.busy;
    const bool grown = st.done != lastDone_ && ++ticks_ % 6 == 0;
    busy_ = st.busy;
    if (waiting_ || (ran_ && (finished || grown))) {
        lastDone_ = st.done;
        RunQuery();
        return;
    }
    ShowStatus();
}

void CSearchDlg::OnOpen() {
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    if (row < 0 || row >= static_cast<int>(paths_.size())) return;
    const std::string path = paths_[row];
    if (open_) open_(path);
}

std::vector<std::string> CSearchDlg::ShownPaths() const { return paths_; }

QString CSearchDlg::StatusText() const { return status_->text(); }

void CSearchDlg::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && focusWidget() == list_) {
        OnOpen();
        e->accept();
        return;
    }
    if (enter && focusWidget() == edit_) {
        RunQuery();
        e->accept();
        return;
    }
    CDialog::keyPressEvent(e);
}

void CSearchDlg::showEvent(QShowEvent* e) {
    CDialog::showEvent(e);
    poll_->start();
}

void CSearchDlg::hideEvent(QHideEvent* e) {
    poll_->stop();
    CDialog::hideEvent(e);
}
