#include "ui/qt_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>

#include "platform/codec.h"
#include "platform/path.h"

namespace ui {

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = plat::ToQ(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        if (name.isEmpty() && pattern.isEmpty()) continue;
        QStringList globs = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& g : globs) {
            g = g.trimmed();
            if (g == QLatin1String("*.*")) g = QStringLiteral("*");
        }
        const QString qtPattern = globs.isEmpty() ? QStringLiteral("*") : globs.join(QLatin1Char(' '));
        const QString own = QLatin1Char('(') + pattern + QLatin1Char(')');
        if (name.endsWith(own)) {
            // The name already shows its pattern; only swap in Qt's form of it where that differs.
            out << (qtPattern == pattern ? name : name.chopped(own.size()) + QLatin1Char('(') + qtPattern + QLatin1Char(')'));
        } else {
            out << (name.isEmpty() ? qtPattern : name + QStringLiteral(" (") + qtPattern + QLatin1Char(')'));
        }
    }
    return out;
}

}  // namespace ui

namespace {

std::string InternalPath(const QString& native) {
    if (native.isEmpty()) return std::string();
    // A name that GBK cannot hold cannot be used by the program; it counts as no choice.
    return plat::FromNative(native.toStdString()).value_or(std::string());
}

}  // namespace

int QtServices::MessageBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                           unsigned flags) {
    return UnicodeMessageBox(parent, plat::ToQ(text), caption, flags);
}

int QtServices::UnicodeMessageBox(QWidget* parent, const QString& text,
                                  const std::optional<std::string>& caption, unsigned flags) {
    return Ask(parent, text, caption, flags, {});
}

int QtServices::ChoiceBox(QWidget* parent, const std::string& text, const std::optional<std::string>& caption,
                          unsigned flags, const std::vector<std::string>& answers) {
    QStringList labels;
    for (const std::string& a : answers) labels << plat::ToQ(a);
    return Ask(parent, plat::ToQ(text), caption, flags, labels);
}

int QtServices::Ask(QWidget* parent, const QString& text, const std::optional<std::string>& caption,
                    unsigned flags, const QStringList& answers) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case plat::MB_ICONERROR: icon = QMessageBox::Critical; break;
    case plat::MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case plat::MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
    }
    const bool yesNo = (flags & 0x0F) == plat::MB_YESNO;
    const bool yesNoCancel = (flags & 0x0F) == plat::MB_YESNOCANCEL;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if (yesNo) buttons = QMessageBox::Yes | QMessageBox::No;
    if (yesNoCancel) buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    const QString title = caption ? plat::ToQ(*caption) : QApplication::applicationDisplayName();
    QMessageBox box(icon, title, text, buttons, parent);
    // Texts carry paths and user input; never read them as markup.
    box.setTextFormat(Qt::PlainText);
    // The buttons speak the program's language whatever the desktop's locale, and where a question's answers
    // are more than yes or no, they name the answers.
    const QList<QPair<QMessageBox::StandardButton, QString>> texts = {
        {QMessageBox::Yes, answers.value(0, QStringLiteral("是"))},
        {QMessageBox::No, answers.value(1, QStringLiteral("否"))},
        {QMessageBox::Cancel, answers.value(2, QStringLiteral("取消"))},
        {QMessageBox::Ok, QStringLiteral("确定")}};
    for (const auto& [which, label] : texts) {
        QAbstractButton* b = box.button(which);
        if (!b) continue;
        b->setText(label);
        // A yes / no icon beside an answer of its own would say yes or no again.
        if (!answers.isEmpty()) b->setIcon(QIcon());
    }
    if (yesNo || yesNoCancel) {
        box.setDefaultButton((flags & plat::MB_DEFBUTTON2) ? QMessageBox::No : QMessageBox::Yes);
        // Escape never chooses to act: with a Cancel button it stays, else it declines.
        box.setEscapeButton(yesNoCancel ? QMessageBox::Cancel : QMessageBox::No);
    }
    const int answer = box.exec();
    if (!yesNo && !yesNoCancel) return plat::IDOK;
    if (answer == QMessageBox::Yes) return plat::IDYES;
    return answer == QMessageBox::No ? plat::IDNO : plat::IDCANCEL;
}

std::string QtServices::AskFileName(QWidget* parent, bool open, const std::string& defaultExt,
                                    const std::string& initialName, const std::string& filter) {
    QFileDialog dlg(parent);
    // Qt's own dialog rather than the desktop's: it speaks the program's language under any locale.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dlg.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = ui::QtNameFilters(filter);
    if (!filters.isEmpty()) dlg.setNameFilters(filters);
    QString suffix = plat::ToQ(defaultExt);
    while (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    if (!suffix.isEmpty()) dlg.setDefaultSuffix(suffix);
    if (!initialName.empty()) {
        const QFileInfo initial(QString::fromStdString(plat::ToNative(initialName)));
        dlg.setDirectory(initial.absolutePath());
        dlg.selectFile(initial.fileName());
    }
    if (dlg.exec() != QDialog::Accepted) return std::string();
    const QStringList chosen = dlg.selectedFiles();
    return chosen.isEmpty() ? std::string() : InternalPath(chosen.first());
}

std::string QtServices::BrowseForFolder(QWidget* parent, const std::string& title) {
    const QString dir = QFileDialog::getExistingDirectory(parent, plat::ToQ(title), QString(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    return InternalPath(dir);
}

bool QtServices::ShellOpen(const std::string& path, bool /*maximised*/) {
    // The desktop's default application decides its own window size; the request cannot be passed on.
    const QString absolute = QFileInfo(QString::fromStdString(plat::ToNative(path))).absoluteFilePath();
    const std::string onDisk = plat::ResolveIgnoringCase(absolute.toStdString());
    return ui::OpenWithDesktop(QUrl::fromLocalFile(QString::fromStdString(onDisk)));
}

void QtServices::Sleep(int ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}
