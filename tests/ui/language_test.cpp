// Qt's own texts in the program's language: every box's buttons, a question whose buttons name its answers,
// and with Qt's Chinese translations loaded, what Qt draws itself (the text fields' menu).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <memory>

#include "platform/codec.h"
#include "ui/qt_services.h"

namespace {

// The buttons of the box that is up, left to right; presses the one at `press`.
QString ButtonsThenPress(int press) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QList<QAbstractButton*> items = box ? box->buttons() : QList<QAbstractButton*>();
    std::sort(items.begin(), items.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    QStringList texts;
    for (QAbstractButton* i : items) texts << i->text();
    if (press < items.size()) items[press]->click();
    return texts.join(QLatin1Char('|'));
}

TEST(QtLanguage, BoxesAndMenusAreChineseAndAThreeWayQuestionNamesItsAnswers) {
    const std::vector<std::string> named = {plat::Gbk("覆盖"), plat::Gbk("另存为副本"), plat::Gbk("取消")};
    const struct { unsigned flags; bool named; int press; const char* buttons; int result; } cases[] = {
        {plat::MB_OK | plat::MB_ICONERROR, false, 0, "确定", plat::IDOK},
        {plat::MB_YESNO, false, 1, "是|否", plat::IDNO},
        {plat::MB_YESNOCANCEL, false, 2, "是|否|取消", plat::IDCANCEL},
        {plat::MB_YESNOCANCEL, true, 1, "覆盖|另存为副本|取消", plat::IDNO},
    };
    QtServices svc;
    for (const auto& c : cases) {
        QString seen;
        QTimer::singleShot(0, [&] { seen = ButtonsThenPress(c.press); });
        EXPECT_EQ(c.named ? svc.ChoiceBox(nullptr, "q", std::string("Q"), c.flags, named)
                          : svc.MessageBox(nullptr, "q", std::string("Q"), c.flags), c.result) << c.buttons;
        EXPECT_EQ(seen.toStdString(), c.buttons) << c.press;
    }

    ASSERT_TRUE(ui::InstallQtChinese()) << "qtbase_zh_CN.qm (qt6-translations-l10n) is not installed";
    QLineEdit field(QStringLiteral("x"));
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("撤消")) && texts.join(' ').contains(QStringLiteral("全选")))
        << texts.join(' ').toStdString();
}

}  // namespace
