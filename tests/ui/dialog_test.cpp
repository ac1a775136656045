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

class Probe : public CDialog {
public:
    explicit Probe(int id, std::function<void(Probe&)> init = {}) : CDialog(id), init_(std::move(init)) {}
    int oks = 0, cancels = 0, inits = 0;
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
        ++oks;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++cancels;
        CDialog::OnCancel();
    }

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
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(everShown);
    EXPECT_EQ(dlg.inits, 1);
    EXPECT_FALSE(dlg.shownDuringInit);
}

TEST(DialogRun, EndDialogWhileNotShownIsRecorded) {
    Probe dlg(131);
    EXPECT_FALSE(dlg.Ended());
    dlg.EndDialog(plat::IDOK);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_FALSE(dlg.isVisible());
}

TEST(DialogRun, ButtonsOneAndTwoEndWithOkAndCancel) {
    Probe ok(130);
    WhenModal([](QWidget* w) { QTest::mouseClick(w->findChild<QWidget*>("1"), Qt::LeftButton); });
    EXPECT_EQ(ok.DoModal(), plat::IDOK);
    EXPECT_EQ(ok.oks, 1);
    EXPECT_FALSE(ok.isVisible());

    Probe cancel(130);
    WhenModal([](QWidget* w) { QTest::mouseClick(w->findChild<QWidget*>("2"), Qt::LeftButton); });
    EXPECT_EQ(cancel.DoModal(), plat::IDCANCEL);
    EXPECT_EQ(cancel.cancels, 1);
}

TEST(DialogRun, EscapeAndCloseBoxCancel) {
    Probe esc(134);  // no button 2: Escape still cancels
    WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(esc.DoModal(), plat::IDCANCEL);
    EXPECT_EQ(esc.cancels, 1);
    EXPECT_EQ(esc.oks, 0);

    Probe closed(102);
    WhenModal([](QWidget* w) { w->close(); });
    EXPECT_EQ(closed.DoModal(), plat::IDCANCEL);
    EXPECT_EQ(closed.cancels, 1);
}

// A dialog that refuses to end (an OK whose save failed) stays open.
class Stubborn : public CDialog {
public:
    Stubborn() : CDialog(133) {}
    int tries = 0;

protected:
    void OnOK() override {
        if (++tries == 2) EndDialog(plat::IDOK);
    }
};

TEST(DialogRun, OkThatDoesNotEndKeepsTheDialogOpen) {
    Stubborn dlg;
    WhenModal([](QWidget* w) {
        auto* ok = w->findChild<QWidget*>("1");
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_TRUE(w->isVisible());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(), plat::IDOK);
    EXPECT_EQ(dlg.tries, 2);
}

TEST(DialogRun, ClickHandlersAreRouted) {
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
        // Enter on a focused button presses it.
        quit->setFocus();
        QTest::keyClick(quit, Qt::Key_Return);
    });
    EXPECT_EQ(main.DoModal(), plat::IDOK);
    EXPECT_EQ(main.oks, 1);
    for (auto* b : main.findChildren<CShadedButton*>()) EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
}

TEST(DialogKeys, EnterInAManagerIsOk) {
    Probe classes(133);
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
    const QImage img = root->grab().toImage();
    return img.pixelColor(child ? child->mapTo(root, at) : at);
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
        // Labels are drawn straight on the dialog colour.
        for (auto* l : dlg.findChildren<QLabel*>()) {
            const int x = std::min(l->fontMetrics().horizontalAdvance(l->text()) + 1, l->width() - 1);
            EXPECT_EQ(PixelAt(&dlg, l, QPoint(x, l->height() - 1)), ui::kDialogBackground);
        }
    }
    CDialog dlg(131);
    dlg.SetBackground(QColor(10, 20, 30));
    EXPECT_EQ(PixelAt(&dlg, nullptr, QPoint(1, 1)), QColor(10, 20, 30));
}

}  // namespace
