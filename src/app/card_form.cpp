#include "app/card_form.h"

#include <QComboBox>
#include <QLineEdit>
#include <filesystem>
#include <system_error>

#include "platform/codec.h"
#include "platform/path.h"
#include "ui/body_edit.h"
#include "ui/line_field.h"

namespace {

// The folders of a file name, to compare two names: '/' and '\' alike, empty and "." parts left out.
QStringList FolderOf(const QString& file) {
    QString slashed = file;
    slashed.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList parts = slashed.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    if (!parts.isEmpty()) parts.removeLast();
    if (slashed.startsWith(QLatin1Char('\\'))) parts.prepend(QStringLiteral("\\"));
    return parts;
}

bool SameFolder(const QString& a, const QString& b) {
    if (FolderOf(a) == FolderOf(b)) return true;
    // One folder named two ways: a card opened by its absolute path (a bookmark), renamed below the library
    // root.
    std::string ga, gb;
    if (!plat::FromQ(a, ga) || !plat::FromQ(b, gb)) return false;
    auto folder = [](const std::string& gbk) {
        const std::filesystem::path p = std::filesystem::path(plat::ToNative(gbk)).parent_path();
        return p.empty() ? std::filesystem::path(".") : p;
    };
    std::error_code ec;
    return std::filesystem::equivalent(folder(ga), folder(gb), ec) && !ec;
}

QString Refusal(const char* field, const plat::Unstorable& found) {
    const char32_t c = found.first;
    const QString shown =
        c >= 0xD800 && c <= 0xDFFF ? QString(QChar::ReplacementCharacter) : QString::fromUcs4(&c, 1);
    return QString::fromUtf8(field) + QStringLiteral("中有 %1 个 XML 文件不能容纳的字符（第一个是 “").arg(found.count) +
           shown + QStringLiteral("” U+%1）").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

#include "platform/codec.h"

void CardForm::Attach(const Fields& fields) {
    m_fields = fields;
    QLineEdit* lines[] = {m_fields.title, m_fields.keyword, m_fields.klass->lineEdit(),
                          m_fields.source->lineEdit(), m_fields.file};
    for (int i = 0; i < 5; ++i) {
        m_filters[i] = new ui::LineFieldFilter(lines[i]);
        QObject::connect(lines[i], &QLineEdit::textChanged, lines[i], [this] { ShowUnstorable(); });
    }
    // The body can be megabytes: a flag set on change costs nothing, where keeping a copy to compare would
    // double the memory of a large card.
    QObject::connect(m_fields.body, &QPlainTextEdit::textChanged, m_fields.body, [this] { m_bodyEdited = true; });
    QObject::connect(m_fields.body, &CBodyEdit::UnstorableChanged, m_fields.body,
                     [this] { ShowUnstorable(); });
    Baseline();
}

CardForm::Snapshot CardForm::Take() const {
    return {m_fields.title->text(),        m_fields.keyword->text(),     m_fields.klass->currentText(),
            m_fields.source->currentText(), m_fields.style->currentText(), m_fields.file->text()};
}

void CardForm::Baseline() {
    m_clean = Take();
    m_bodyEdited = false;
    m_agreedOverwrite.clear();
    Notice(Disk::Unchanged);
}

void CardForm::Notice(Disk state) {
    m_noticed = state;
    QLineEdit* file = m_fields.file;
    if (!file) return;
    // The field's own palette comes back by resetting it; the tint is the only colour set here.
    file->setPalette(QPalette());
    if (state == Disk::Unchanged) {
        file->setToolTip(QString());
        return;
    }
    QPalette tinted = file->palette();
    tinted.setColor(QPalette::Base, QColor(255, 224, 220));
    file->setPalette(tinted);
    file->setToolTip(
        plat::ToQ(plat::Gbk(state == Disk::Changed ? "这个文件在载入后已被其他程序修改过"
                                                   : "这个文件在载入后已被其他程序删除或移走了")));
}

void CardForm::PauseFilters(bool paused) {
    for (ui::LineFieldFilter* f : m_filters) f->Pause(paused);
}

void CardForm::Show(const Texts& texts) {
    PauseFilters(true);
    m_fields.title->setText(texts.title);
    m_fields.keyword->setText(texts.keyword);
    ShowText(m_fields.klass, texts.klass);
    ShowText(m_fields.source, texts.source);
    m_fields.file->setText(texts.file);
    m_fields.body->SetBody(texts.body);
    PauseFilters(false);
}

void CardForm::Loaded(const std::string& path, const std::string& href, const std::string& founddate,
                      const plat::FileStamp& stamp) {
    m_path = path;
    m_href = href;
    m_founddate = founddate;
    m_stamp = stamp;
    m_link = plat::LinkText(path).value_or(std::string());
    Baseline();
}

void CardForm::Saved(const std::string& path, const std::string& href, const std::string& founddate,
                     const plat::FileStamp& stamp) {
    Loaded(path, href, founddate, stamp);
}

void CardForm::Clear() {
    Show({});
    m_fields.style->setCurrentIndex(-1);
    m_fields.style->setEditText(QString());
    m_path.clear();
    m_href.clear();
    m_founddate.clear();
    m_stamp = {};
    m_link.clear();
    Baseline();
}

bool CardForm::HasEdits() const { return m_bodyEdited || !(Take() == m_clean); }

void CardForm::FileNameRebuilt(bool hadEdits) {
    const QString file = m_fields.file->text();
    if (!hadEdits && SameFolder(m_clean.file, file)) m_clean.file = file;
}

QString CardForm::Unstorable() const {
    const std::pair<const char*, QString> lines[] = {
        {"标题", m_fields.title->text()},        {"关键字", m_fields.keyword->text()},
        {"类别", m_fields.klass->currentText()}, {"来源", m_fields.source->currentText()},
        {"文件名", m_fields.file->text()}};
    for (const auto& [name, text] : lines) {
        const plat::Unstorable found = plat::FindUnstorable(text);
        if (found.count) return Refusal(name, found);
    }
    const plat::Unstorable body = m_fields.body->Unstorable();
    return body.count ? Refusal("正文", body) : QString();
}

void CardForm::ShowUnstorable() { m_fields.body->SetNotice(Unstorable()); }

CardForm::Disk CardForm::DiskState() const {
    if (m_path.empty()) return Disk::Unchanged;
    const plat::FileStamp now = plat::StampOf(m_path);
    if (!now.exists) return Disk::Gone;
    return now == m_stamp ? Disk::Unchanged : Disk::Changed;
}

void CardForm::ShowText(QComboBox* combo, const QString& text) {
    const int row = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(row);
    if (row < 0) combo->setEditText(text);
}
