#include "app/history_dlg.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>

#include "app/card_history.h"
#include "history/diff.h"
#include "platform/codec.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "store/xml_record_set.h"

namespace {

constexpr int kList = 1040, kCaption = 1041, kText = 1042, kVersion = 1043, kCompare = 1044, kRestore = 1045,
              kDeleted = 1046;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

QString When(long long seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Para(const QString& html, const char* style) {
    return QStringLiteral("<p style=\"margin:0;%1\">%2</p>").arg(Q(style), html.isEmpty() ? QStringLiteral("&nbsp;") : html);
}

constexpr char kAddedStyle[] = "background-color:#c8f0c8;";
constexpr char kRemovedStyle[] = "background-color:#f6c8c8;text-decoration:line-through;";

std::string FileText(const std::string& native) {
    std::ifstream in(native, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

CHistoryDlg::CHistoryDlg(CardHistory& history, const std::string& card,
                         std::function<void(const std::string&)> restore, QWidget* parent)
    : CDialog(136, parent), history_(history), card_(card), restore_(std::move(restore)) {
    list_ = ItemAs<QTreeWidget>(kList);
    caption_ = ItemAs<QLabel>(kCaption);
    text_ = ItemAs<QTextBrowser>(kText);
    list_->setColumnCount(3);
    list_->setAccessibleName(Q("资料卡的各个版本"));
    text_->setAccessibleName(Q("版本的内容"));
    const int unit = BaseUnitX();
    list_->header()->resizeSection(0, 72 * unit / 4);
    list_->header()->resizeSection(1, 42 * unit / 4);
    inStore_ = history_.InStore(card_);
    OnClicked(kVersion, [this] { ShowVersion(); });
    OnClicked(kCompare, [this] { ShowDifferences(); });
    OnClicked(kRestore, [this] { OnRestore(); });
    OnClicked(kDeleted, [this] { OnDeleted(); });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { deleted_ ? ShowLastText() : ShowDifferences(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnRestore(); });
    ListVersions();
}

int CHistoryDlg::Rows() const { return list_->topLevelItemCount(); }
QString CHistoryDlg::Shown() const { return text_->toPlainText(); }
QString CHistoryDlg::ShownHtml() const { return text_->toHtml(); }
QString CHistoryDlg::Caption() const { return caption_->text(); }

void CHistoryDlg::Say(const QString& text) {
    caption_->setText(text);
    text_->clear();
}

void CHistoryDlg::ListVersions() {
    deleted_ = false;
    ItemAs<QWidget>(kDeleted)->setProperty("text", Q("已删除的资料卡"));
    ItemAs<QWidget>(kRestore)->setProperty("text", Q("恢复此版本"));
    list_->setHeaderLabels({Q("时间"), Q("大小"), Q("修改者")});
    list_->clear();
    versions_.clear();
    std::string error;
    history::Store* store = history_.Store(error);
    if (store && !inStore_.empty()) versions_ = store->Versions(inStore_, error);
    for (const history::Version& v : versions_) {
        const QString size = v.Deleted() ? Q("已删除") : QString::number(v.size) + Q(" 字节");
        list_->addTopLevelItem(new QTreeWidgetItem({When(v.time), size, Q(history::WhoLabel(v.who))}));
    }
    if (!error.empty())
        Say(Q("历史读不出来：") + Q(error));
    else if (inStore_.empty())
        Say(Q("表单中没有本资料库的资料卡"));
    else if (versions_.empty())
        Say(Q("这张资料卡还没有记录下来的版本"));
    else
        Select(0);
}

void CHistoryDlg::Select(int row) {
    if (row >= 0 && row < Rows()) list_->setCurrentItem(list_->topLevelItem(row));
}

bool CHistoryDlg::Read(std::string& bytes) {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (deleted_ || row < 0 || row >= static_cast<int>(versions_.size())) return false;
    const history::Version& v = versions_[row];
    std::string error;
    history::Store* store = history_.Store(error);
    if (v.Deleted()) {
        Say(Q("这是资料卡被删除的记录，没有内容"));
        return false;
    }
    if (!store || !store->BlobText(v.blob, bytes, error)) {
        Say(Q("这个版本读不出来：") + Q(error));
        return false;
    }
    return true;
}

std::vector<QString> CHistoryDlg::CardLines(const std::string& bytes) {
    std::vector<QString> lines;
    XmlRecordSet xml;
    plat::LineReader reader = plat::LineReader::FromString(bytes);
    if (!bytes.empty() && xml.ReadCard(reader)) {
        const DatumCard& c = xml.card;
        lines = {Q("标题: ") + plat::ToQ(c.title), Q("类别: ") + plat::ToQ(c.klass), Q("来源: ") + plat::ToQ(c.source),
                 Q("关键词: ") + plat::ToQ(c.keyword), QString()};
        for (const QString& p : plat::ToQ(c.content).split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))))
            lines.push_back(p);
        return lines;
    }
    // Not a card this program reads: shown as the text it is.
    for (const QString& p : plat::ToQ(bytes).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) lines.push_back(p);
    return lines;
}

void CHistoryDlg::ShowVersion() {
    std::string bytes;
    if (!Read(bytes)) return;
    caption_->setText(Q("此版本的内容:"));
    QString html;
    for (const QString& line : CardLines(bytes)) html += Para(line.toHtmlEscaped(), "");
    text_->setHtml(html);
}

void CHistoryDlg::ShowDifferences() {
    std::string bytes;
    if (!Read(bytes)) return;
    const std::string now = FileText(history_.OnDisk(inStore_));
    std::vector<std::u32string> before, after;
    for (const QString& l : CardLines(bytes)) before.push_back(l.toStdU32String());
    for (const QString& l : CardLines(now)) after.push_back(l.toStdU32String());
    caption_->setText(now.empty() ? Q("资料卡现在已不在了；此版本的内容都标为删去:")
                                  : Q("与现在的资料卡比较（绿色是现在多出的，红色是现在没有的）:"));
    QString html;
    for (const history::Paragraph& p : history::Compare(before, after)) {
        QString inner;
        for (const history::Piece& piece : p.pieces) {
            const QString t = QString::fromStdU32String(piece.text).toHtmlEscaped();
            if (p.kind != history::Paragraph::Changed || piece.kind == history::Piece::Same)
                inner += t;
            else
                inner += QStringLiteral("<span style=\"%1\">%2</span>")
                             .arg(Q(piece.kind == history::Piece::Added ? kAddedStyle : kRemovedStyle), t);
        }
        html += Para(inner, p.kind == history::Paragraph::Added     ? kAddedStyle
                            : p.kind == history::Paragraph::Removed ? kRemovedStyle
                                                                    : "");
    }
    text_->setHtml(html);
}

void CHistoryDlg::OnRestore() {
    if (deleted_) {
        const int row = list_->indexOfTopLevelItem(list_->currentItem());
        if (row < 0 || row >= static_cast<int>(gone_.size())) return;
        std::string error;
        if (!history_.BringBack(gone_[row], error)) {
            Say(Q("资料卡没有恢复：") + Q(error));
            return;
        }
        const QString where = Q(gone_[row].path);
        ListDeleted();
        caption_->setText(Q("已恢复: ") + where);
        return;
    }
    std::string bytes;
    if (!Read(bytes)) return;
    restore_(bytes);
    EndDialog(plat::IDOK);
}

void CHistoryDlg::OnDeleted() {
    if (deleted_)
        ListVersions();
    else
        ListDeleted();
}

void CHistoryDlg::ListDeleted() {
    deleted_ = true;
    ItemAs<QWidget>(kDeleted)->setProperty("text", Q("返回版本列表"));
    ItemAs<QWidget>(kRestore)->setProperty("text", Q("恢复到原类别"));
    list_->setHeaderLabels({Q("删除时间"), Q("类别"), Q("资料卡")});
    list_->clear();
    std::string error;
    history::Store* store = history_.Store(error);
    gone_ = store ? store->Deleted(error) : std::vector<history::DeletedCard>();
    for (const history::DeletedCard& d : gone_) {
        const std::filesystem::path p(d.path);
        QString name = Q(p.filename().string());
        name.truncate(name.indexOf(Q(".datum.")) < 0 ? name.size() : name.indexOf(Q(".datum.")));
        list_->addTopLevelItem(new QTreeWidgetItem({When(d.time), Q(p.parent_path().string()), name}));
    }
    if (!error.empty())
        Say(Q("历史读不出来：") + Q(error));
    else if (gone_.empty())
        Say(Q("本资料库没有已删除的资料卡"));
    else
        Select(0);
}

void CHistoryDlg::ShowLastText() {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0 || row >= static_cast<int>(gone_.size())) return;
    std::string error, bytes;
    history::Store* store = history_.Store(error);
    if (!store || !store->BlobText(gone_[row].blob, bytes, error)) {
        Say(Q("这个版本读不出来：") + Q(error));
        return;
    }
    caption_->setText(Q("删除前最后的内容:"));
    QString html;
    for (const QString& line : CardLines(bytes)) html += Para(line.toHtmlEscaped(), "");
    text_->setHtml(html);
}
