// Windows implementation of the platform layer.
#include "core/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QWindow>

#include <windows.h>
#include <timeapi.h>

namespace Platform {

TimerResolution::TimerResolution()
{
    TIMECAPS caps;
    if (timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR && timeBeginPeriod(caps.wPeriodMin) == TIMERR_NOERROR)
        m_period = caps.wPeriodMin;
}

TimerResolution::~TimerResolution()
{
    if (m_period != 0)
        timeEndPeriod(m_period);
}

void KeepDisplayAwake(bool awake)
{
    SetThreadExecutionState(awake ? (ES_CONTINUOUS | ES_DISPLAY_REQUIRED) : ES_CONTINUOUS);
}

bool RevealInFileBrowser(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    QStringList arguments;
    if (info.isDir())
        arguments << QDir::toNativeSeparators(info.absoluteFilePath());
    else
        arguments << QStringLiteral("/select,") << QDir::toNativeSeparators(info.absoluteFilePath());
    return QProcess::startDetached(QStringLiteral("explorer"), arguments);
}

void SetAlwaysOnTop(QWindow* window, bool onTop)
{
    if (!window)
        return;
    SetWindowPos(reinterpret_cast<HWND>(window->winId()), onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

QString PerUserKey(const QString& key)
{
    // Named objects without a "Global\" prefix are created in the session's own namespace.
    return key;
}

void PreventBusAutolaunch()
{
    // Windows has no session bus that a library would launch.
}

} // namespace Platform
