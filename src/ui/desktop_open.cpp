// Handing a file to the desktop's opener, and hearing whether it failed.
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "ui/qt_services.h"

namespace ui {

namespace {

// Long enough for xdg-open to find no application or for a browser to refuse; a browser that runs keeps
// xdg-open waiting under some desktops, and the window must not wait with it for long.
constexpr int kVerdictMs = 1500;

}  // namespace

bool OpenWithDesktop(const QUrl& url) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);
    auto* p = new QProcess;
    p->setProgram(opener);
    p->setArguments({url.toString(QUrl::FullyEncoded)});
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    p->start();
    if (!p->waitForStarted(kVerdictMs)) {
        delete p;
        return false;
    }
    if (p->waitForFinished(kVerdictMs)) {
        const bool ok = p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
        delete p;
        return ok;
    }
    // A browser in the foreground of its opener: it lives on, beyond this program's end too.
    QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
    return true;
}

}  // namespace ui
