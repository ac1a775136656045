#include "ui/window_settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>

namespace ui {

namespace {

constexpr int kGrip = 100;  // pixels of a title bar that must show for the user to take hold of it

}  // namespace

QString WindowSettings::File() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/korvane/korvane.ini";
}

WindowSettings::WindowSettings() {
    QSettings file(File(), QSettings::IniFormat);
    if (file.status() != QSettings::NoError) return;  // what could be read of a damaged file is not trusted
    for (const QString& key : file.allKeys()) values_.insert(key, file.value(key));
}

bool WindowSettings::Restore(QWidget* w, const QString& key) const {
    const QVariant kept = values_.value(key + "/geometry");
    if (kept.typeId() != QMetaType::QRect) return false;
    const QRect r = kept.toRect();
    if (r.width() <= 0 || r.height() <= 0) return false;
    w->setGeometry(OnScreen(QRect(r.topLeft(), r.size().expandedTo(w->minimumSize()))));
    if (values_.value(key + "/maximized").toString() == "true") w->setWindowState(w->windowState() | Qt::WindowMaximized);
    return true;
}

void WindowSettings::Remember(const QWidget* w, const QString& key) {
    const bool maximised = w->isMaximized();
    values_.insert(key + "/geometry", maximised ? w->normalGeometry() : w->geometry());
    values_.insert(key + "/maximized", maximised);
}

int WindowSettings::Number(const QString& key, int fallback) const {
    bool ok = false;
    const int n = values_.value(key).toInt(&ok);
    return ok ? n : fallback;
}

void WindowSettings::SetNumber(const QString& key, int value) { values_.insert(key, value); }

void WindowSettings::Save() const {
    QSettings file(File(), QSettings::IniFormat);
    file.clear();  // a damaged file is replaced whole
    for (auto it = values_.begin(); it != values_.end(); ++it) file.setValue(it.key(), it.value());
    file.sync();
}

QRect OnScreen(const QRect& r) {
    const QRect topEdge(r.left(), r.top(), r.width(), 1);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect free = screen->availableGeometry();
        if (free.intersected(topEdge).width() >= std::min(kGrip, r.width()))
            return QRect(r.topLeft(), r.size().boundedTo(free.size()));
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return r;
    const QRect free = primary->availableGeometry();
    const QSize size = r.size().boundedTo(free.size());
    return QRect(QPoint(std::clamp(r.left(), free.left(), free.right() + 1 - size.width()),
                        std::clamp(r.top(), free.top(), free.bottom() + 1 - size.height())),
                 size);
}

}  // namespace ui
