#include "app/card_form.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "platform/codec.h"

void CardForm::Attach(const Fields& fields) {
    m_fields = fields;
    // The body can be megabytes: a flag set on change costs nothing, where keeping a copy to compare would
    // double the memory of a large card.
    QObject::connect(m_fields.body, &QPlainTextEdit::textChanged, m_fields.body, [this] { m_bodyEdited = true; });
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

void CardForm::Loaded(const std::string& path, const std::string& href, const std::string& founddate) {
    m_path = path;
    m_href = href;
    m_founddate = founddate;
    m_stamp = plat::StampOf(path);
    Baseline();
}

void CardForm::Saved(const std::string& path, const std::string& href, const std::string& founddate) {
    Loaded(path, href, founddate);
}

void CardForm::Clear() {
    m_fields.title->clear();
    m_fields.keyword->clear();
    for (QComboBox* combo : {m_fields.klass, m_fields.source, m_fields.style}) {
        combo->setCurrentIndex(-1);
        combo->setEditText(QString());
    }
    m_fields.file->clear();
    m_fields.body->clear();
    m_path.clear();
    m_href.clear();
    m_founddate.clear();
    m_stamp = {};
    Baseline();
}

bool CardForm::HasEdits() const { return m_bodyEdited || !(Take() == m_clean); }

void CardForm::FileNameRebuilt(bool hadEdits) {
    if (!hadEdits) m_clean.file = m_fields.file->text();
}

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
