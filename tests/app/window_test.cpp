// The main window as a desktop window: its layout at the template size and larger or smaller, the bar between
// tree and form, and the place it is left in, kept across runs whatever the settings file holds.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>

#include "app/main_fixture.h"
#include "app/search_dlg.h"
#include "res/dialog_template.h"
#include "ui/split_bar.h"
#include "ui/window_settings.h"

namespace {

class WindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        mainfx::MakeStandardProgramDir(dir);
        QFile::remove(ui::WindowSettings::File());  // no place left by another test
    }
    QRect At(int id) { return dlg->Item(id)->geometry(); }
    int Du(int units) { return dlg->MapDialogRect(0, 0, units, units).width(); }
    void DragBar(int dx) {
        auto* bar = dlg->findChild<ui::SplitBar*>();
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 20));
        QTest::mouseMove(bar, QPoint(2 + dx, 20));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2 + dx, 20));
    }
    // Starts the window shown, lets `act` use it, and ends it as 退出 does.
    void Run(const std::function<void()>& act) {
        Load();
        dlg->show();
        act();
        Click(1);
    }
};

TEST_F(WindowTest, TheTreeGrowsInHeightTheFieldsInWidthAndTheBodyTakesTheRest) {
    Load();
    dlg->show();
    for (const res::ControlTemplate& c : res::Dialog(102).controls) {  // the template size: the template places
        const QRect want = dlg->MapDialogRect(c.x, c.y, c.w, c.h);
        EXPECT_TRUE(c.id < 0 || At(c.id).adjusted(0, 0, 0, want.height() - At(c.id).height()) == want) << c.id;
    }
    const QRect tree = At(1005), title = At(1009), manage = At(1012), body = At(1018), save = At(1006);
    dlg->resize(dlg->size() + QSize(400, 300));
    DragBar(60);  // the boundary: the tree takes what the form's fields give; the buttons at the right stay
    const std::pair<QRect, QRect> split[] = {
        {At(1005), tree.adjusted(0, 0, 60, 300)},  {At(1009), title.adjusted(60, 0, 400, 0)},
        {At(1012), manage.translated(400, 0)},     {At(1018), body.adjusted(60, 0, 400, 300)},
        {At(1006), save.translated(60, 0)}};
    for (const auto& [got, want] : split) EXPECT_EQ(got, want);
    // Neither pane can be dragged away, nor can the window be made too small for its controls.
    DragBar(-2000);
    EXPECT_EQ(At(1005).width(), Du(50));
    DragBar(4000);
    EXPECT_EQ(At(1011).width(), Du(40));
    dlg->resize(10, 10);
    EXPECT_EQ(dlg->size(), dlg->MapDialogRect(0, 0, 321, 203).size());
    EXPECT_TRUE(dlg->rect().contains(At(1018)) && At(1018).height() >= 4 * dlg->fontMetrics().height());
}

TEST_F(WindowTest, PlaceSizeMaximisedStateBoundaryAndSearchWindowAreKeptAcrossRuns) {
    const QRect place(40, 30, 700, 520), search(60, 50, 720, 480);
    Run([&] {
        dlg->setGeometry(place);
        DragBar(-30);
        Click(1023);
        dlg->SearchWindow()->setGeometry(search);
        dlg->showMaximized();
    });
    Run([&] {
        EXPECT_TRUE(dlg->isMaximized());
        Click(1023);
        EXPECT_EQ(dlg->SearchWindow()->geometry(), search);
        dlg->showNormal();
        EXPECT_EQ(dlg->geometry(), place) << "the size it had before it was maximised";
        EXPECT_EQ(At(1005).width(), Du(117) - 30);
    });
}

// Nothing the file holds can stop a window or put it out of reach.
TEST(WindowSettings, ADamagedOrStrangeFileKeepsNothingAndAPlaceOffTheScreensComesBackOnOne) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const std::pair<QByteArray, QRect> rows[] = {
        {QByteArray("\0\xff\xfe[[[=\x01", 9), {}},
        {"[w]\ngeometry=@Rect(10 20 300 200)\nmaximized=maybe\n", {10, 20, 300, 200}},
        {"[w]\ngeometry=@Rect(10 10 -5 0)\n", {}},
        {"[w]\ngeometry=@Rect(5000 -3000 600 500)\n", {QPoint(screen.right() - 599, screen.top()), QSize(600, 500)}},
        {"[w]\ngeometry=@Rect(0 0 9000 9000)\n", screen}};
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ui::WindowSettings::File()).path()));
    for (const auto& [bytes, place] : rows) {
        QFile file(ui::WindowSettings::File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
        file.close();
        QWidget w;
        w.setGeometry(1, 2, 3, 4);
        EXPECT_EQ(ui::WindowSettings().Restore(&w, "w"), place.isValid()) << bytes.toStdString();
        EXPECT_TRUE(w.geometry() == (place.isValid() ? place : QRect(1, 2, 3, 4)) && !w.isMaximized());
    }
}

}  // namespace
