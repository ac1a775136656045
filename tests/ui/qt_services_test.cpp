// The desktop side of the services seam: message boxes and file dialogs as the user meets them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/codec.h"
#include "support/temp_dir.h"
#include "ui/qt_services.h"

namespace {

template <class T>
void WhenModal(std::function<void(T*)> step) {
    QTimer::singleShot(0, [step = std::move(step)] {
        T* w = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        step(w);
    });
}

TEST(QtNameFilters, ConvertsThePipeList) {
    EXPECT_EQ(ui::QtNameFilters("XML File(*.xml)|*.xml"), QStringList{"XML File(*.xml)"});
    // "*.*" matches every name, also names without a dot.
    EXPECT_EQ(ui::QtNameFilters("All File(*.*)|*.*|"), QStringList{"All File(*)"});
    EXPECT_EQ(ui::QtNameFilters("XSLT File|*.xsl|"), QStringList{"XSLT File (*.xsl)"});
    EXPECT_EQ(ui::QtNameFilters("Cards|*.xml;*.datum.*|All|*.*|"),
              (QStringList{"Cards (*.xml *.datum.*)", "All (*)"}));
    EXPECT_TRUE(ui::QtNameFilters("").isEmpty());
}

TEST(QtServices, ErrorBoxShowsPlainTextWithCaptionAndIcon) {
    QtServices svc;
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QString("ERROR"));
        EXPECT_EQ(box->text(), QString::fromUtf8("没有找到配置文件 set\\datumlib.lst <b>x</b>"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(svc.MessageBox(nullptr, plat::Gbk("没有找到配置文件 set\\datumlib.lst <b>x</b>"), std::string("ERROR"),
                             plat::MB_OK | plat::MB_ICONERROR),
              plat::IDOK);
}

TEST(QtServices, QuestionBoxAnswersYesOrNo) {
    QtServices svc;
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->windowTitle(), QString("QUESTION"));
        ASSERT_NE(box->button(QMessageBox::Yes), nullptr);
        ASSERT_NE(box->button(QMessageBox::No), nullptr);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(svc.MessageBox(nullptr, "q", std::string("QUESTION"), plat::MB_YESNO | plat::MB_ICONQUESTION),
              plat::IDYES);

    // Escape is No, never Yes.
    WhenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(svc.MessageBox(nullptr, "q", std::string("QUES"), plat::MB_YESNO | plat::MB_ICONQUESTION), plat::IDNO);

    // Without a caption: the application title, and no icon.
    const QString saved = QApplication::applicationDisplayName();
    QApplication::setApplicationDisplayName("Korvane");
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QString("Korvane"));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(svc.MessageBox(nullptr, "x", std::nullopt, plat::MB_OK), plat::IDOK);
    QApplication::setApplicationDisplayName(saved);
}

TEST(QtServices, FileDialogsReturnInternalPaths) {
    TempProgramDir dir;
    dir.WriteFile("卡片.xml", "<x/>");
    QtServices svc;

    WhenModal<QFileDialog>([&](QFileDialog* dlg) {
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dlg->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dlg->nameFilters(), QStringList{"XML File(*.xml)"});
        EXPECT_EQ(dlg->defaultSuffix(), QString("xml"));
        dlg->setDirectory(QString::fromStdString(dir.Native()));
        dlg->selectFile(QString::fromUtf8("卡片.xml"));
        static_cast<QDialog*>(dlg)->accept();
    });
    EXPECT_EQ(svc.AskFileName(nullptr, true, ".xml", "", "XML File(*.xml)|*.xml"),
              dir.Internal() + plat::Gbk("\\卡片.xml"));

    WhenModal<QFileDialog>([&](QFileDialog* dlg) {
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dlg->defaultSuffix(), QString("datum.xml"));
        // The initial name is placed: its folder opened, its name selected.
        EXPECT_EQ(QFileInfo(dlg->directory().absolutePath()).canonicalFilePath(),
                  QFileInfo(QString::fromStdString(dir.Native() + "/lib")).canonicalFilePath());
        dlg->selectFile(QString::fromStdString(dir.Native() + "/lib/new"));
        static_cast<QDialog*>(dlg)->accept();
    });
    dir.MakeDir("lib");
    EXPECT_EQ(svc.AskFileName(nullptr, false, ".datum.xml", plat::Gbk("lib\\old.datum.xml"), "All File(*.*)|*.*|"),
              dir.Internal() + "\\lib\\new.datum.xml");

    WhenModal<QFileDialog>([](QFileDialog* dlg) { dlg->reject(); });
    EXPECT_EQ(svc.AskFileName(nullptr, true, ".xsl", "", "XSLT File|*.xsl|"), "");
}

}  // namespace
