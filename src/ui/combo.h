// Combo boxes whose entries stay bound to the table entry they were added from.
#pragma once

#include <QString>

class QComboBox;

namespace ui {
// Appends (unsorted combo) with the table index as the entry's data.
int AddBound(QComboBox* combo, const QString& text, int tableIndex);
// Inserts in sorted place: ascending, ignoring letter case, Chinese (pinyin) collation.
int AddSorted(QComboBox* combo, const QString& text, int tableIndex);
// The combo row bound to tableIndex, or -1.
int RowOfEntry(const QComboBox* combo, int tableIndex);
// Selects the row bound to tableIndex; -1 (or no such row) clears the selection and the text.
void SelectEntry(QComboBox* combo, int tableIndex);
// Removes every entry; the text the box shows stays, as typed. A list reloaded under a card's class or
// source must not take it out of the form, even when the reload fails.
void ClearEntries(QComboBox* combo);
// The table index bound to the current selection, or -1 when nothing is selected or the text was typed.
int SelectedEntry(const QComboBox* combo);
}  // namespace ui
