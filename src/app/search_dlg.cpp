#include "app/search_dlg.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "app/card_find.h"
#include "platform/codec.h"
#include "search/indexer.h"
#include "search/searcher.h"

namespace {

constexpr int kEdit = 1030, kFind = 1031, kStatus = 1032, kList = 1033, kOpen = 1034;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// The snippet column: its text with the ranges in kMarksRole drawn bold.
class MarkedTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        const QRect r = opt.widget->style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        QFont bold = opt.font;
        bold.setBold(true);
        p->save();
        p->setClipRect(r);
        p->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        int x = r.left() + 2, done = 0;
        auto draw = [&](int from, int to, const QFont& f) {
            if (to <= from || x > r.right()) return;
            p->setFont(f);
            const QString piece = text.mid(from, to - from);
            p->drawText(QRect(x, r.top(), r.right() - x + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter, piece);
            x += QFontMetrics(f).horizontalAdvance(piece);
        };
        for (const QVariant& v : index.data(CSearchDlg::kMarksRole).toList()) {
            const QPoint m = v.toPoint();
            draw(done, m.x(), opt.font);
            draw(m.x(), m.x() + m.y(), bold);
            done = m.x() + m.y();
        }
        draw(done, static_cast<int>(text.size()), opt.font);
        p->restore();
    }
};

// The snippet as the list shows it, with its marked byte ranges turned into ranges of characters.
QString SnippetText(const search::Hit& h, QVariantList& marks) {
    QString out;
    std::size_t done = 0;
    for (const auto& [from, to] : h.marks) {
        out += plat::ToQ(std::string_view(h.snippet).substr(done, from - done));
        const QString marked = plat::ToQ(std::string_view(h.snippet).substr(from, to - from));
        marks << QPoint(static_cast<int>(out.size()), static_cast<int>(marked.size()));
        out += marked;
        done = to;
    }
    return out + plat::ToQ(std::string_view(h.snippet).substr(done));
}

}  // namespace

CSearchDlg::CSearchDlg(search::Indexer& indexer, std::function<bool(const std::string&)> open, QWidget* parent)
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
    list_->setItemDelegateForColumn(3, new MarkedTextDelegate(list_));
    // Every row is one line: without this the view lays out each of the 200 snippets to learn its height.
    list_->setUniformRowHeights(true);

    // Answers come on the searcher's thread; they are shown on the window's.
    searcher_ = std::make_unique<search::Searcher>(indexer_, [this](std::uint64_t ticket, search::Result r) {
        QMetaObject::invokeMethod(
            this, [this, ticket, r = std::move(r)]() mutable { OnAnswer(ticket, std::move(r)); }, Qt::QueuedConnection);
    });
    if (parent) find_ = new CardFind(parent);
    connect(edit_, &QLineEdit::textEdited, this, [this] {
        openWhenAnswered_ = false;  // an Enter before this keystroke was for another query
        RunQuery();
    });
    poll_ = new QTimer(this);
    poll_->setInterval(300);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });

    OnClicked(kFind, [this] { RunQuery(); });
    OnClicked(kOpen, [this] { OnOpen(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnOpen(); });
    setModal(false);
    ShowStatus();
}

// The searcher goes first: no answer is handed to a window being taken apart.
CSearchDlg::~CSearchDlg() { searcher_.reset(); }

void CSearchDlg::RunQuery() {
    std::string query;
    // A character GBK cannot hold is in no card: the query then finds nothing, without asking.
    const bool encodable = plat::FromQ(edit_->text(), query);
    const search::Indexer::Status st = indexer_.GetStatus();
    if (st.libRoot.empty() || edit_->text().trimmed().isEmpty() || !encodable) {
        cleared_ = asked_;
        asking_.clear();
        search::Result none;
        ran_ = encodable ? false : !st.libRoot.empty();
        Show(none);
        return;
    }
    asked_ = searcher_->Ask(query, kMaxRows);
    asking_.insert(asked_, edit_->text());
}

void CSearchDlg::OnAnswer(quint64 ticket, search::Result r) {
    // The newest answer that came is shown; one that comes after a newer one, or after the field was
    // emptied, is not.
    const QString query = asking_.value(ticket);
    while (!asking_.isEmpty() && asking_.firstKey() <= ticket) asking_.erase(asking_.begin());
    if (ticket <= shown_ || ticket <= cleared_) return;
    shown_ = ticket;
    shownQuery_ = query;
    // No index yet (it is being made), or a damaged one the indexer now rebuilds: asked again when ready.
    waiting_ = r.unavailable || r.damaged;
    ran_ = !r.unavailable;
    Show(r);
    if (openWhenAnswered_ && ticket == asked_ && !waiting_) {
        openWhenAnswered_ = false;
        OnOpen();
    }
}

void CSearchDlg::Show(const search::Result& r) {
    last_ = r;
    list_->clear();
    paths_.clear();
    QList<QTreeWidgetItem*> rows;
    for (const search::Hit& h : r.hits) {
        QVariantList marks;
        const QString snippet = SnippetText(h, marks);
        auto* item =
            new QTreeWidgetItem(QStringList{plat::ToQ(h.title), plat::ToQ(h.klass), plat::ToQ(h.modified), snippet});
        item->setData(3, kMarksRole, marks);
        item->setToolTip(3, snippet);
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
    } else if (st.rebuilding || last_.damaged) {
        text = Q("正在重建检索索引");
    } else if (!last_.ok) {
        text = plat::ToQ(last_.error);
    } else if (ran_) {
        text = Q("找到 %1 则资料卡").arg(last_.total);
        if (last_.total > last_.hits.size()) text += Q("，列出前 %1 则").arg(last_.hits.size());
    }
    if (st.building && st.total > 0 && st.error.empty()) {
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
    if ((waiting_ && !st.rebuilding) || (ran_ && (finished || grown))) {
        lastDone_ = st.done;
        waiting_ = false;
        RunQuery();
        return;
    }
    ShowStatus();
}

void CSearchDlg::OnOpen() {
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    if (row < 0 || row >= static_cast<int>(paths_.size())) return;
    const std::string path = paths_[row];
    if (open_ && open_(path) && find_) find_->Start(shownQuery_);
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
        // The best match of what the field holds: listed already, or as soon as its answer comes.
        if (Answering() || shownQuery_ != edit_->text()) {
            if (!Answering()) RunQuery();
            openWhenAnswered_ = Answering();
        } else {
            OnOpen();
        }
        e->accept();
        return;
    }
    const bool upDown = e->key() == Qt::Key_Up || e->key() == Qt::Key_Down;
    if (upDown && focusWidget() == edit_ && list_->topLevelItemCount() > 0) {
        // The results are walked from the field, so that the user can go on typing.
        const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
        const int to = std::clamp(row + (e->key() == Qt::Key_Up ? -1 : 1), 0, list_->topLevelItemCount() - 1);
        list_->setCurrentItem(list_->topLevelItem(to));
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
