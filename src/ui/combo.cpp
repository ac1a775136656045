#include "ui/combo.h"

#include <QCollator>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>

namespace ui {
namespace {

const QCollator& ChineseCollator() {
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Chinese, QLocale::China));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// Inserting must not change what the box shows: Qt selects the first entry put into an empty box, where the
// original control keeps an empty selection and leaves typed text alone. Nothing is selected by the user
// either, so no selection signal goes out.
int InsertAt(QComboBox* combo, int row, const QString& text, int tableIndex) {
    const QSignalBlocker block(combo);
    const int before = combo->currentIndex();
    const QString typed = combo->currentText();
    combo->insertItem(row, text, tableIndex);
    if (before < 0 && combo->currentIndex() >= 0) {
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) combo->setEditText(typed);
    }
    return row;
}

}  // namespace

int AddBound(QComboBox* combo, const QString& text, int tableIndex) {
    if (!combo) return -1;
    return InsertAt(combo, combo->count(), text, tableIndex);
}

int AddSorted(QComboBox* combo, const QString& text, int tableIndex) {
    if (!combo) return -1;
    const QCollator& collator = ChineseCollator();
    // Upper bound: an entry equal to existing ones goes after them, so equal names keep their table order.
    int lo = 0, hi = combo->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (collator.compare(text, combo->itemText(mid)) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return InsertAt(combo, lo, text, tableIndex);
}

int RowOfEntry(const QComboBox* combo, int tableIndex) {
    if (!combo || tableIndex < 0) return -1;
    return combo->findData(tableIndex);
}

void SelectEntry(QComboBox* combo, int tableIndex) {
    if (!combo) return;
    const int row = RowOfEntry(combo, tableIndex);
    combo->setCurrentIndex(row);
    if (row < 0 && combo->isEditable()) combo->clearEditText();
}

void ClearEntries(QComboBox* combo) {
    // The text does not change: nobody is told of the moment it is away.
    const QSignalBlocker block(combo), blockField(combo->lineEdit());
    const QString text = combo->currentText();
    combo->clear();
    if (combo->isEditable()) combo->setEditText(text);
}

int SelectedEntry(const QComboBox* combo) {
    if (!combo) return -1;
    const int row = combo->currentIndex();
    if (row < 0) return -1;
    if (combo->isEditable() && combo->currentText() != combo->itemText(row)) return -1;
    bool ok = false;
    const int index = combo->itemData(row).toInt(&ok);
    return ok ? index : -1;
}

}  // namespace ui
