#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "ui/qt_services.h"

namespace ui {

bool InstallQtChinese() {
    static QTranslator* installed = nullptr;
    if (installed) return true;
    auto* t = new QTranslator(QCoreApplication::instance());
    // qtbase_zh_CN holds the texts of Qt's widgets and dialogs; the locale is named, not the desktop's, since
    // a program whose own texts are all Chinese with English buttons reads as two programs.
    if (!t->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    // Sizes and dates in the file dialogs ("977 字节", "2026/12/8") in the same language as their labels.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    installed = t;
    return true;
}

}  // namespace ui
