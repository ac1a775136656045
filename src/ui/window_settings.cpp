#include "ui/window_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <map>

#include "platform/fs.h"
#include "platform/path.h"

namespace ui {

namespace {

constexpr int kGrip = 100;  // pixels of a title bar that must show for the user to take hold of it
constexpr qint64 kMaxBytes = 64 * 1024;  // far more than the program writes

// The file's bytes, when it is a regular file of reasonable size: a link is not followed (its target is
// not the program's), a pipe does not block the start, a device is not read.
QByteArray ReadOwn(const QString& file) {
    const QByteArray native = QFile::encodeName(file);
    struct stat st;
    if (lstat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxBytes) return {};
    const int fd = open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    QByteArray bytes;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxBytes) {
        bytes.resize(static_cast<qsizetype>(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += n;
        }
        bytes.truncate(got);
    }
    close(fd);
    return bytes;
}

// The program's own keys only: "<window>/geometry" (a rectangle as Qt writes it, "@Rect(x y w h)"),
// "<window>/maximized" (true or false), "<window>/split" and "<window>/wrap" (whole numbers). False for a file that holds a
// line of any other form: what could be read of a damaged file is not trusted.
bool ParseOwn(const QByteArray& bytes, QVariantMap& out) {
    static const QRegularExpression group(QStringLiteral("^\\[([A-Za-z]+)\\]$"));
    static const QRegularExpression entry(QStringLiteral("^([A-Za-z]+)=(.*)$"));
    static const QRegularExpression rect(QStringLiteral("^@Rect\\((-?\\d+) (-?\\d+) (-?\\d+) (-?\\d+)\\)$"));
    QString section;
    for (QByteArray raw : bytes.split('\n')) {
        if (raw.endsWith('\r')) raw.chop(1);
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty()) continue;
        if (const auto g = group.match(line); g.hasMatch()) {
            section = g.captured(1);
            continue;
        }
        const auto e = entry.match(line);
        if (!e.hasMatch() || section.isEmpty()) return false;
        const QString key = e.captured(1), value = e.captured(2).trimmed();
        if (key == "geometry") {
            if (const auto r = rect.match(value); r.hasMatch())
                out.insert(section + "/geometry", QRect(r.captured(1).toInt(), r.captured(2).toInt(),
                                                        r.captured(3).toInt(), r.captured(4).toInt()));
        } else if (key == "maximized") {
            out.insert(section + "/maximized", value);
        } else if (key == "split" || key == "wrap") {
            bool ok = false;
            if (const int n = value.toInt(&ok); ok) out.insert(section + "/" + key, n);
        }
    }
    return true;
}

}  // namespace

QString WindowSettings::File() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/korvane/korvane.ini";
}

WindowSettings::WindowSettings() {
    QVariantMap read;
    if (ParseOwn(ReadOwn(File()), read)) values_ = read;
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
    // Grouped by window, in the form Qt's own INI files have, so the file reads the same either way.
    std::map<QString, QStringList> groups;
    for (auto it = values_.begin(); it != values_.end(); ++it) {
        const qsizetype slash = it.key().indexOf('/');
        if (slash <= 0) continue;
        const QVariant& v = it.value();
        QString text;
        if (v.typeId() == QMetaType::QRect) {
            const QRect r = v.toRect();
            text = QStringLiteral("@Rect(%1 %2 %3 %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        } else if (v.typeId() == QMetaType::Bool) {
            text = v.toBool() ? "true" : "false";
        } else {
            text = v.toString();
        }
        groups[it.key().left(slash)].append(it.key().mid(slash + 1) + "=" + text);
    }
    QString ini;
    for (const auto& [name, lines] : groups) ini += "[" + name + "]\n" + lines.join('\n') + "\n\n";
    // The program's own atomic writer, which writes nothing through a link, a pipe or a device that stands
    // under the name: those are left as they are, and the place is simply not kept.
    QDir().mkpath(QFileInfo(File()).path());
    plat::AtomicFile file;
    const QByteArray bytes = ini.toUtf8();
    const std::optional<std::string> path = plat::FromNative(QFile::encodeName(File()).toStdString());
    if (path && file.OpenOwn(*path) && file.Write(bytes.toStdString())) file.Commit();
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
