// Qt's own texts in the program's language: the buttons of every box, a question whose buttons name its
// answers, and (with Qt's Chinese translations loaded) the text fields' menu and the file dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "platform/codec.h"
#include "ui/qt_services.h"

namespace {

// The box's buttons left to right as the user reads them, then presses the one at `press`.
QStringList ButtonsThenPress(int press) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return {QStringLiteral("no box")};
    QList<QAbstractButton*> buttons = box->buttons();
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    QStringList texts;
    for (QAbstractButton* b : buttons) texts << b->text();
    if (press < buttons.size()) buttons[press]->click();
    return texts;
}

TEST(QtLanguage, EveryBoxNamesItsButtonsInChineseAndAThreeWayQuestionItsAnswers) {
    const std::vector<std::string> named = {plat::Gbk("覆盖"), plat::Gbk("另存为副本"), plat::Gbk("取消")};
    struct Case {
        unsigned flags;
        std::vector<std::string> answers;
        int press;
        const char* buttons;  // in the order the box shows them
        int result;
    } cases[] = {
        {plat::MB_OK | plat::MB_ICONERROR, {}, 0, "确定", plat::IDOK},
        {plat::MB_YESNO | plat::MB_ICONQUESTION, {}, 0, "是|否", plat::IDYES},
        {plat::MB_YESNO | plat::MB_ICONQUESTION, {}, 1, "是|否", plat::IDNO},
        {plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION, {}, 2, "是|否|取消", plat::IDCANCEL},
        {plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION, named, 0, "覆盖|另存为副本|取消", plat::IDYES},
        {plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION, named, 1, "覆盖|另存为副本|取消", plat::IDNO},
        {plat::MB_YESNOCANCEL | plat::MB_ICONQUESTION, named, 2, "覆盖|另存为副本|取消", plat::IDCANCEL},
    };
    QtServices svc;
    for (const Case& c : cases) {
        QStringList seen;
        QTimer::singleShot(0, [&] { seen = ButtonsThenPress(c.press); });
        const int result = c.answers.empty() ? svc.MessageBox(nullptr, "q", std::string("Q"), c.flags)
                                             : svc.ChoiceBox(nullptr, "q", std::string("Q"), c.flags, c.answers);
        EXPECT_EQ(seen.join(QLatin1Char('|')), QString::fromUtf8(c.buttons)) << c.flags << " press " << c.press;
        EXPECT_EQ(result, c.result) << c.buttons << " press " << c.press;
    }
}

TEST(QtLanguage, TheTextFieldMenuAndTheFileDialogAreChinese) {
    ASSERT_TRUE(ui::InstallQtChinese()) << "qtbase_zh_CN.qm (qt6-translations-l10n) is not installed";
    EXPECT_TRUE(ui::InstallQtChinese()) << "a second call keeps the first translator";
    QLineEdit field(QStringLiteral("x"));
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text();
    EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("撤消"))) << texts.join(' ').toStdString();
    EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("全选"))) << texts.join(' ').toStdString();
    EXPECT_FALSE(texts.join(' ').contains(QStringLiteral("Paste"))) << texts.join(' ').toStdString();

    QtServices svc;
    QStringList labels, buttons;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        for (QLabel* l : d->findChildren<QLabel*>()) labels << l->text();
        for (QPushButton* b : d->findChildren<QPushButton*>()) buttons << b->text();
        d->reject();
    });
    svc.AskFileName(nullptr, false, ".xml", "", "XML File(*.xml)|*.xml|");
    EXPECT_TRUE(labels.join(' ').contains(QStringLiteral("文件名"))) << labels.join(' ').toStdString();
    EXPECT_TRUE(buttons.join(' ').contains(QStringLiteral("保存"))) << buttons.join(' ').toStdString();
}

}  // namespace
