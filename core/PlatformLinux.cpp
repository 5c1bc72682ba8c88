// Linux (freedesktop) implementation of the platform layer.
#include "Platform.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

namespace Platform {

TimerResolution::TimerResolution() = default; // Linux timers are already fine-grained
TimerResolution::~TimerResolution() = default;

namespace {

const char kScreenSaverService[] = "org.freedesktop.ScreenSaver";
const char kScreenSaverPath[] = "/org/freedesktop/ScreenSaver";
quint32 g_inhibitCookie = 0;
bool g_inhibited = false;

bool HasService(const QDBusConnection& bus, const QString& name)
{
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(name);
    return reply.isValid() && reply.value();
}

} // namespace

void KeepDisplayAwake(bool awake)
{
    if (awake == g_inhibited)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!HasService(bus, QLatin1String(kScreenSaverService))) {
        g_inhibited = awake; // nothing to ask; remember the state so calls stay paired
        g_inhibitCookie = 0;
        return;
    }
    if (awake) {
        QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kScreenSaverService),
                                                           QLatin1String(kScreenSaverPath),
                                                           QLatin1String(kScreenSaverService),
                                                           QStringLiteral("Inhibit"));
        call << QStringLiteral("Plovex") << QStringLiteral("Playing media");
        const QDBusReply<quint32> reply = bus.call(call, QDBus::Block, 500);
        g_inhibitCookie = reply.isValid() ? reply.value() : 0;
    } else if (g_inhibitCookie != 0) {
        QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kScreenSaverService),
                                                           QLatin1String(kScreenSaverPath),
                                                           QLatin1String(kScreenSaverService),
                                                           QStringLiteral("UnInhibit"));
        call << g_inhibitCookie;
        bus.call(call, QDBus::NoBlock);
        g_inhibitCookie = 0;
    }
    g_inhibited = awake;
}

bool RevealInFileBrowser(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    const QString absolute = info.absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    if (HasService(bus, service)) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                           service, QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    const QString folder = info.isDir() ? absolute : info.absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void SetAlwaysOnTop(QWidget* window, bool onTop)
{
    if (!window)
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible)
        window->show(); // changing window flags hides a visible window
}

} // namespace Platform
