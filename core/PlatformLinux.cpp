// Linux (freedesktop) implementation of the platform layer.
#include "core/Platform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWindow>

#include <unistd.h>

namespace Platform {

TimerResolution::TimerResolution() = default; // Linux timers are already fine-grained
TimerResolution::~TimerResolution() = default;

namespace {

const char kScreenSaverService[] = "org.freedesktop.ScreenSaver";
const char kScreenSaverPath[] = "/org/freedesktop/ScreenSaver";
quint32 g_inhibitCookie = 0;
bool g_inhibited = false;

// Whether a session bus is there to talk to: its address is given, or the user's bus socket
// exists. Without either, connecting would make the bus library try to launch a bus of its
// own through the X server, which can block the caller indefinitely.
bool SessionBusAvailable()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

bool HasService(const QDBusConnection& bus, const QString& name)
{
    if (!bus.isConnected())
        return false;
    // Asked with a short timeout: a bus that does not answer must not hold up playback.
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("NameHasOwner"));
    call << name;
    const QDBusReply<bool> reply = bus.call(call, QDBus::Block, 500);
    return reply.isValid() && reply.value();
}

} // namespace

void KeepDisplayAwake(bool awake)
{
    if (awake == g_inhibited)
        return;
    if (!SessionBusAvailable()) {
        g_inhibited = awake;
        return;
    }
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
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = SessionBusAvailable() ? QDBusConnection::sessionBus() : QDBusConnection(QString());
    if (HasService(bus, service)) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                           service,
                                                           // A file is shown selected in its folder;
                                                           // a folder is opened itself.
                                                           info.isDir() ? QStringLiteral("ShowFolders")
                                                                        : QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    const QString folder = info.isDir() ? absolute : info.absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QString PerUserKey(const QString& key)
{
    return QStringLiteral("%1-%2").arg(key).arg(static_cast<qulonglong>(getuid()));
}

void PreventBusAutolaunch()
{
    if (!SessionBusAvailable())
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/plovex-no-session-bus");
}

void SetAlwaysOnTop(QWindow* window, bool onTop)
{
    if (!window)
        return;
    // A window takes changed flags while shown (a widget's setWindowFlag would hide it).
    window->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

} // namespace Platform
