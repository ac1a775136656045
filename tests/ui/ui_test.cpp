// What the user sees of the dialogs: every template built whole and legible, how a modal run ends, Enter and
// Escape, the colours, the shaded buttons, the progress strip, the sorted boxes and the desktop's boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QXmlStreamReader>
#include <functional>

#include "platform/codec.h"
#include "res/dialog_template.h"
#include "res/program_icon.h"
#include "support/temp_dir.h"
#include "ui/dialog.h"
#include "ui/job_strip.h"
#include "ui/palette.h"
#include "ui/qt_services.h"
#include "ui/shaded_button.h"
#include "ui/show_msg_dlg.h"

namespace {

template <class T = QWidget>
void WhenModal(std::function<void(T*)> step) {
    QTimer::singleShot(0, [step = std::move(step)] {
        T* w = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        step(w);
    });
}

// At the default font every label shows whole: clipped Chinese text is the first thing a user notices. A
// dialog with a list can be made larger: the list grows as much, the buttons keep their size and their
// distance from the right edge (and the bottom, for those at the foot).
TEST(Templates, EveryDialogIsBuiltWholeAndLegibleAndItsListGrowsWithIt) {
    for (int id : res::DialogIds()) {
        SCOPED_TRACE(id);
        CDialog dlg(id);
        for (auto* l : dlg.findChildren<QLabel*>())
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
        EXPECT_EQ(dlg.grab().toImage().pixelColor(1, dlg.height() - 2), ui::kDialogBackground);
        if (id == 102 || dlg.minimumSize() == dlg.maximumSize()) continue;  // the main window: WindowTest
        std::vector<std::pair<QWidget*, QRect>> was;
        for (QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) was.push_back({w, w->geometry()});
        dlg.resize(dlg.size() + QSize(200, 100));
        dlg.show();
        for (const auto& [w, r] : was) {
            EXPECT_TRUE(!qobject_cast<QTreeWidget*>(w) || w->geometry() == r.adjusted(0, 0, 200, 100));
            EXPECT_TRUE(!qobject_cast<QPushButton*>(w) || w->geometry() == r.translated(200, (w->y() - r.y()) / 100 * 100));
        }
    }
}

// The menu shows the installed SVG: a markup slip there leaves the program without an icon. The window's own
// icon is painted at the size asked for, so it is as sharp on a dense screen.
TEST(ProgramIcon, TheScalableFormIsWellFormedSvgOfEveryShapeAndTheWindowsIsPaintedAtEachSize) {
    const QImage shown = res::ProgramIcon().pixmap(QSize(20, 20), 2.0).toImage();  // a screen at twice the scale
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied), res::ProgramIconImage(40));
    QXmlStreamReader xml(QByteArray::fromStdString(res::ProgramIconSvg()));
    QStringList shapes;
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError())
        if (xml.isStartElement()) shapes << xml.name().toString();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(shapes.join(' ').toStdString(), "svg rect rect rect line line line line circle");
}

class Probe : public CDialog {
public:
    using CDialog::CDialog;
    int oks = 0;

protected:
    void OnOK() override {
        if (++oks >= 2) CDialog::OnOK();  // the first OK refuses to end, as a failed save does
    }
};

TEST(Dialog, TheCloseBoxCancelsAndEnterInAManagerIsOk) {
    const std::pair<int, std::function<void(QWidget*)>> cases[] = {
        {plat::IDCANCEL, [](QWidget* w) { w->close(); }},
        {plat::IDOK, [](QWidget* w) {
             for (int i = 0; i < 2; ++i) QTest::keyClick(w->findChild<QLineEdit*>("1021"), Qt::Key_Return);
         }}};
    for (const auto& [result, step] : cases) {
        Probe dlg(133);
        WhenModal(step);
        EXPECT_EQ(dlg.DoModal(), result);
        EXPECT_EQ(dlg.oks, result == plat::IDOK ? 2 : 0);
    }
}

// The owner-drawn button: the face's last ramp colour, the frame's edge
// colours drawn inward, the text moving by exactly one pixel when pressed, and no hover on a disabled button.
TEST(ShadedButton, PaintsEachStateWithItsColours) {
    CDialog dlg(130);
    auto* b = dlg.ItemAs<CShadedButton>(5);
    const int W = b->width(), H = b->height();
    auto dark = [](const QImage& img) {
        QRect box;
        for (int y = 2; y < img.height() - 2; ++y)
            for (int x = 2; x < img.width() - 2; ++x)
                if (img.pixelColor(x, y).lightness() < 110) box |= QRect(x, y, 1, 1);
        return box;
    };
    const QImage idle = b->Render(false, false, false, false, false);
    const struct { bool focused, hover; QColor left, right, top, bottom; } frames[] = {
        {true, false, {153, 198, 252}, {162, 189, 252}, {162, 201, 255}, {162, 201, 255}},
        {false, true, {250, 196, 88}, {251, 202, 106}, {252, 210, 121}, {229, 151, 0}}};
    for (const auto& f : frames) {
        const QImage img = b->Render(f.focused, false, false, false, f.hover);
        EXPECT_EQ(img.pixelColor(4, H / 2), f.left);
        EXPECT_EQ(img.pixelColor(W - 5, H / 2), f.right);
        EXPECT_EQ(img.pixelColor(W / 2 + 1, 3), f.top);
        EXPECT_EQ(img.pixelColor(W / 2, H - 3), f.bottom);
    }
    EXPECT_EQ(dark(b->Render(false, true, false, false, false)), dark(idle).translated(1, 1));
    EXPECT_TRUE(dark(b->Render(false, false, true, false, false)).isEmpty());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    for (QEvent* e : {static_cast<QEvent*>(&enter), &leave, static_cast<QEvent*>(&enter)}) {
        QCoreApplication::sendEvent(b, e);
        EXPECT_EQ(b->IsHover(), e == &enter);
    }
    // With two device pixels per pixel the ramp steps at device rows: a face drawn in bands two rows high
    // would change colour only at even rows.
    const QImage dense = b->Render(false, false, false, false, false, 2);
    int oddSteps = 0;
    for (int y = 5; y < dense.height() - 4; y += 2) oddSteps += dense.pixel(6, y) != dense.pixel(6, y - 1);
    EXPECT_GT(oddSteps, 3);
    b->setEnabled(false);
    EXPECT_FALSE(b->IsHover());
    QCoreApplication::sendEvent(b, &enter);
    EXPECT_FALSE(b->IsHover());
}

TEST(ShowMsgDlg, ShowsAtTheOwnersFixedPointAndRepaintsAtOnce) {
    CDialog owner(102);
    owner.move(120, 80);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    CShowMsgDlg strip(plat::Gbk("开始"), &owner);
    strip.ShowAt();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));
    EXPECT_EQ(strip.pos(), owner.mapToGlobal(QPoint(50, 160)));
    struct : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override { return paints += e->type() == QEvent::Paint, false; }
    } counter;
    auto* label = strip.ItemAs<QLabel>(1019);
    label->installEventFilter(&counter);
    // No event processing in between: the caller blocks the thread right after it.
    strip.SetMessage(plat::Gbk("扫描资料库中的文件出现错误!!"));
    EXPECT_GE(counter.paints, 1);
    CJobStrip::ShowNote(&owner, std::string(300, 'x'));  // a note made wider for its text keeps that width
    const QLabel* note = owner.findChildren<CShowMsgDlg*>().last()->ItemAs<QLabel>(1019);
    EXPECT_GE(note->width(), note->fontMetrics().horizontalAdvance(note->text()));
    // The strip's notices: as wide as the text where the owner has room, else wrapped, never cut; a short one
    // after a long one gives the strip its own size back.
    const QSize own = strip.size();
    for (int ownerWidth : {1200, 400}) {
        owner.setFixedWidth(ownerWidth);
        strip.SetMessage(plat::Gbk("可监视的文件夹数已用完（max_user_watches），有些变化不会立刻显示；已重新扫描"));
        const QSize needed = label->wordWrap() ? QSize(label->width(), label->heightForWidth(label->width()))
                                               : QSize(label->fontMetrics().horizontalAdvance(label->text()), 0);
        EXPECT_GE(label->width(), needed.width()) << ownerWidth;
        EXPECT_GE(label->height(), needed.height()) << ownerWidth;
        EXPECT_TRUE(strip.rect().contains(label->geometry())) << ownerWidth;
        EXPECT_EQ(label->wordWrap(), ownerWidth == 400);
    }
    strip.SetMessage(plat::Gbk("开始"));
    EXPECT_EQ(strip.size(), own);
}

TEST(QtServices, BoxesAndFileDialogsAsTheUserMeetsThem) {
    QtServices svc;
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle() + box->text(), QString::fromUtf8("ERROR不能 <b>x</b>"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(svc.MessageBox(nullptr, plat::Gbk("不能 <b>x</b>"), std::string("ERROR"), plat::MB_ICONERROR), plat::IDOK);
    WhenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });  // Escape is No
    EXPECT_EQ(svc.MessageBox(nullptr, "q", std::string("Q"), plat::MB_YESNO | plat::MB_ICONQUESTION), plat::IDNO);

    TempProgramDir dir;
    dir.MakeDir("lib");
    WhenModal<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(d->nameFilters(), QStringList{"All File(*)"});  // "*.*" also matches names without a dot
        EXPECT_EQ(QFileInfo(d->directory().absolutePath()).canonicalFilePath(),
                  QFileInfo(QString::fromStdString(dir.Native() + "/lib")).canonicalFilePath());
        d->selectFile(QString::fromStdString(dir.Native() + "/lib/新"));
        static_cast<QDialog*>(d)->accept();
    });
    EXPECT_EQ(svc.AskFileName(nullptr, false, ".datum.xml", "lib\\old.datum.xml", "All File(*.*)|*.*|"),
              dir.Internal() + plat::Gbk("\\lib\\新.datum.xml"));
    WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(svc.AskFileName(nullptr, true, ".xsl", "", "XSLT File|*.xsl|"), "");
    WhenModal<QFileDialog>([](QFileDialog* d) { EXPECT_EQ(d->fileMode(), QFileDialog::Directory); d->reject(); });
    EXPECT_EQ(svc.BrowseForFolder(nullptr, "t"), "");
}

}  // namespace
