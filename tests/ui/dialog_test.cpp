// The dialog base: modal runs and how they end, keyboard behaviour, and the colours a dialog paints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "ui/dialog.h"
#include "ui/palette.h"
#include "ui/shaded_button.h"

namespace {

// Counts its hooks; OK ends the dialog only from the `okEndsAt`-th press on.
class Probe : public CDialog {
public:
    explicit Probe(int id, std::function<void(Probe&)> init = {}) : CDialog(id), init_(std::move(init)) {}
    int oks = 0, cancels = 0, inits = 0, okEndsAt = 1;
    bool shownDuringInit = false;
    using CDialog::OnClicked;

protected:
    bool OnInitDialog() override {
        ++inits;
        shownDuringInit = isVisible();
        if (init_) init_(*this);
        return true;
    }
    void OnOK() override {
        if (++oks >= okEndsAt) CDialog::OnOK();
    }
    void OnCancel() override { ++cancels, CDialog::OnCancel(); }

private:
    std::function<void(Probe&)> init_;
};

// Runs `step` once the modal dialog is up; the dialog under test must end because of it.
void WhenModal(std::function<void(QWidget*)> step) {
    QTimer::singleShot(0, [step = std::move(step)] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        step(w);
    });
}
void ClickChild(QWidget* w, const char* id) { QTest::mouseClick(w->findChild<QWidget*>(id), Qt::LeftButton); }

TEST(DialogRun, EndDuringInitReturnsWithoutShowing) {
    bool everShown = false;
    Probe dlg(133, [&](Probe& d) { d.EndDialog(plat::IDCANCEL); });
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        everShown |= dlg.isVisible();
        if (dlg.isVisible()) dlg.done(0);  // do not hang the run when the dialog was shown after all
    });
    probe.start(0);
    EXPECT_EQ(dlg.DoModal(), plat::IDCANCEL);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_FALSE(everShown);
    EXPECT_EQ(dlg.inits, 1);
    EXPECT_FALSE(dlg.shownDuringInit);

    Probe unshown(131);  // ended while not shown: recorded
    EXPECT_FALSE(unshown.Ended());
    unshown.EndDialog(plat::IDOK);
    EXPECT_TRUE(unshown.Ended());
    EXPECT_FALSE(unshown.isVisible());
}

TEST(DialogRun, ButtonsEscapeAndCloseBoxEndTheRun) {
    struct Case {
        int id;
        std::function<void(QWidget*)> step;
        int result, oks, cancels;
    };
    const Case cases[] = {
        {130, [](QWidget* w) { ClickChild(w, "1"); }, plat::IDOK, 1, 0},
        {130, [](QWidget* w) { ClickChild(w, "2"); }, plat::IDCANCEL, 0, 1},
        {134, [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, plat::IDCANCEL, 0, 1},  // no button 2
        {102, [](QWidget* w) { w->close(); }, plat::IDCANCEL, 0, 1},
        // An OK that refuses to end (a failed save) keeps the dialog open.
        {133, [](QWidget* w) {
             ClickChild(w, "1");
             EXPECT_TRUE(w->isVisible());
             ClickChild(w, "1");
         }, plat::IDOK, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Probe dlg(c.id);
        dlg.okEndsAt = c.oks;
        WhenModal(c.step);
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_EQ(dlg.oks, c.oks);
        EXPECT_EQ(dlg.cancels, c.cancels);
        EXPECT_FALSE(dlg.isVisible());
    }
    Probe dlg(133);
    int adds = 0;
    dlg.OnClicked(3, [&] { ++adds; });
    dlg.OnClicked(9999, [&] { ++adds; });  // no such control: ignored
    QTest::mouseClick(dlg.Item(3), Qt::LeftButton);
    EXPECT_EQ(adds, 1);
    EXPECT_FALSE(dlg.Ended());
}

TEST(DialogKeys, EnterInAFieldOfTheMainWindowDoesNotEndIt) {
    Probe main(102);
    WhenModal([&](QWidget* w) {
        // Focus visits a button first, which must not leave it behind as a default button.
        auto* quit = w->findChild<QWidget*>("1");
        quit->setFocus();
        auto* title = w->findChild<QLineEdit*>("1009");
        title->setFocus();
        QTest::keyClick(title, Qt::Key_Return);
        auto* cls = w->findChild<QComboBox*>("1011");
        cls->setFocus();
        QTest::keyClick(cls->lineEdit(), Qt::Key_Enter);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(main.oks, 0);
        // The body field takes Enter as a line break.
        auto* body = w->findChild<QPlainTextEdit*>("1018");
        body->setFocus();
        QTest::keyClicks(body, "a");
        QTest::keyClick(body, Qt::Key_Return);
        QTest::keyClicks(body, "b");
        EXPECT_EQ(body->toPlainText(), QString("a\nb"));
        quit->setFocus();  // Enter on a focused button presses it
        QTest::keyClick(quit, Qt::Key_Return);
    });
    EXPECT_EQ(main.DoModal(), plat::IDOK);
    EXPECT_EQ(main.oks, 1);
    for (auto* b : main.findChildren<CShadedButton*>()) EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();

    Probe classes(133);  // in a manager Enter is OK
    WhenModal([](QWidget* w) {
        auto* name = w->findChild<QLineEdit*>("1021");
        name->setFocus();
        QTest::keyClicks(name, "abc");
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_EQ(classes.DoModal(), plat::IDOK);
    EXPECT_EQ(classes.oks, 1);
}

QColor PixelAt(QWidget* root, QWidget* child, QPoint at) {
    return root->grab().toImage().pixelColor(child ? child->mapTo(root, at) : at);
}

TEST(DialogColours, DialogsAndListsPaintTheirColours) {
    for (int id : {102, 130, 131, 132, 133, 134}) {
        SCOPED_TRACE(id);
        CDialog dlg(id);
        // A corner of the client area holds no control.
        EXPECT_EQ(PixelAt(&dlg, nullptr, QPoint(1, dlg.height() - 2)), ui::kDialogBackground);
        if (auto* list = dlg.ItemAs<QTreeWidget>(id == 102 ? 1005 : 1020)) {
            QWidget* vp = list->viewport();
            EXPECT_EQ(PixelAt(&dlg, vp, QPoint(vp->width() / 2, vp->height() - 4)), ui::kListBackground);
            EXPECT_EQ(list->palette().color(QPalette::Text), QColor(Qt::black));
        }
        for (auto* l : dlg.findChildren<QLabel*>()) {  // labels are drawn straight on the dialog colour
            const int x = std::min(l->fontMetrics().horizontalAdvance(l->text()) + 1, l->width() - 1);
            EXPECT_EQ(PixelAt(&dlg, l, QPoint(x, l->height() - 1)), ui::kDialogBackground);
        }
    }
    CDialog dlg(131);
    dlg.SetBackground(QColor(10, 20, 30));
    EXPECT_EQ(PixelAt(&dlg, nullptr, QPoint(1, 1)), QColor(10, 20, 30));
}

}  // namespace
