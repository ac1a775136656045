// Where the user left the program's windows, kept between runs in ${XDG_CONFIG_HOME:-~/.config}/korvane/
// korvane.ini (Qt's INI form): each window's place and size, whether it was maximised, and whole numbers a
// window keeps of its own (where the main window's tree ends). Nothing in it is needed: a missing, unreadable
// or damaged file, one that is no regular file (a link, a pipe, a device), or a value that makes no sense,
// gives the defaults, and a place on no screen attached now is moved onto one. Only the program's own keys
// are kept. The file is read once, at construction, and written only by Save, with the program's atomic
// writer and only over a regular file of its own.
#pragma once

#include <QRect>
#include <QString>
#include <QVariantMap>

class QWidget;

namespace ui {

class WindowSettings {
public:
    WindowSettings();
    static QString File();

    // Puts the top-level window `w`, not yet shown, where it was left under `key`; false, with `w` untouched,
    // when nothing usable is kept.
    bool Restore(QWidget* w, const QString& key) const;
    void Remember(const QWidget* w, const QString& key);
    int Number(const QString& key, int fallback) const;
    void SetNumber(const QString& key, int value);
    // Writes everything remembered and read. A place that cannot be kept is nothing the user must be told.
    void Save() const;

private:
    QVariantMap values_;
};

// `r` as it is when its top edge shows on an attached screen; else moved (and shrunk if need be) onto the
// primary screen's free area.
QRect OnScreen(const QRect& r);

}  // namespace ui
