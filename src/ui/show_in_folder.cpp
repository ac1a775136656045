// 在文件夹中显示: the file manager's own D-Bus interface opens the folder with the card selected (Nautilus,
// Dolphin, Nemo, Thunar, Caja answer it); without one on the session bus, the folder is opened as any
// folder is, by the desktop's default application (xdg-open).
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

#include "platform/path.h"
#include "ui/qt_services.h"

void QtServices::ShowInFolder(const std::string& path) {
    const QString absolute = QFileInfo(QString::fromStdString(plat::ToNative(path))).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    if (bus.isConnected() && bus.interface() &&
        (bus.interface()->isServiceRegistered(service) ||
         bus.interface()->activatableServiceNames().value().contains(service))) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                           service, QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    Services::ShowInFolder(path);
}
