// Combo boxes bound to table entries: sorted insertion with the Chinese collation, selection by entry.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>

#include "ui/combo.h"
#include "ui/dialog.h"

namespace {

QStringList Items(const QComboBox* cb) {
    QStringList out;
    for (int i = 0; i < cb->count(); ++i) out << cb->itemText(i);
    return out;
}

class ComboTest : public ::testing::Test {
protected:
    ComboTest() : dlg(102), sorted(dlg.ItemAs<QComboBox>(1011)), plain(dlg.ItemAs<QComboBox>(1000)) {}
    CDialog dlg;
    QComboBox* sorted;
    QComboBox* plain;
};

TEST_F(ComboTest, SortedIgnoringCaseInPinyinOrder) {
    const char* names[] = {"中文", "beta", "Alpha", "啊", "gamma", "Beta", "北京", "alpha"};
    for (int i = 0; i < 8; ++i) ui::AddSorted(sorted, QString::fromUtf8(names[i]), i);
    const QStringList items = Items(sorted);
    ASSERT_EQ(items.size(), 8);
    // Letter case does not separate names; equal names keep the order they were added in.
    EXPECT_LT(items.indexOf("Alpha"), items.indexOf("beta"));
    EXPECT_EQ(items.indexOf("alpha"), items.indexOf("Alpha") + 1);
    EXPECT_EQ(items.indexOf("Beta"), items.indexOf("beta") + 1);
    EXPECT_LT(items.indexOf("beta"), items.indexOf("gamma"));
    // Pinyin: a (啊) < bei (北京) < zhong (中文).
    EXPECT_LT(items.indexOf(QString::fromUtf8("啊")), items.indexOf(QString::fromUtf8("北京")));
    EXPECT_LT(items.indexOf(QString::fromUtf8("北京")), items.indexOf(QString::fromUtf8("中文")));
    // Every row stays bound to the table entry it came from.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(sorted->itemText(ui::RowOfEntry(sorted, i)), QString::fromUtf8(names[i]));
    EXPECT_EQ(ui::RowOfEntry(sorted, 8), -1);
    EXPECT_EQ(ui::RowOfEntry(sorted, -1), -1);
}

TEST_F(ComboTest, AddingSelectsNothingAndKeepsTypedText) {
    QSignalSpy changed(sorted, &QComboBox::currentIndexChanged);
    ui::AddSorted(sorted, "b", 0);
    ui::AddSorted(sorted, "a", 1);
    EXPECT_EQ(sorted->currentIndex(), -1);
    EXPECT_EQ(sorted->currentText(), QString());
    EXPECT_EQ(ui::SelectedEntry(sorted), -1);
    EXPECT_EQ(changed.count(), 0);

    sorted->setEditText("typed");
    ui::AddSorted(sorted, "c", 2);
    EXPECT_EQ(sorted->currentText(), QString("typed"));

    // A selection survives later insertions in front of it.
    ui::SelectEntry(sorted, 0);  // "b"
    ui::AddSorted(sorted, "0", 3);
    EXPECT_EQ(sorted->currentText(), QString("b"));
    EXPECT_EQ(ui::SelectedEntry(sorted), 0);
}

TEST_F(ComboTest, SelectedEntryFollowsSelectionAndTypedText) {
    for (int i = 0; i < 3; ++i) ui::AddBound(plain, QString("lib%1").arg(i), i);
    EXPECT_EQ(Items(plain), (QStringList{"lib0", "lib1", "lib2"}));
    ui::SelectEntry(plain, 2);
    EXPECT_EQ(plain->currentText(), QString("lib2"));
    EXPECT_EQ(ui::SelectedEntry(plain), 2);
    // Text typed over the selection is not an entry.
    plain->lineEdit()->setText("lib2x");
    EXPECT_EQ(ui::SelectedEntry(plain), -1);
    plain->lineEdit()->setText("lib2");
    EXPECT_EQ(ui::SelectedEntry(plain), 2);
    // -1 (or an entry without a row) clears selection and text.
    ui::SelectEntry(plain, -1);
    EXPECT_EQ(plain->currentIndex(), -1);
    EXPECT_EQ(plain->currentText(), QString());
    EXPECT_EQ(ui::SelectedEntry(plain), -1);
    ui::SelectEntry(plain, 1);
    ui::SelectEntry(plain, 7);
    EXPECT_EQ(plain->currentText(), QString());
    EXPECT_EQ(ui::SelectedEntry(plain), -1);
}

}  // namespace
