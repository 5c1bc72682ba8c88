#pragma once

#include <QString>

class QWindow;

// The few operating-system services that have no Qt equivalent. Each has a Windows and a
// Linux implementation; nothing outside this file calls the operating system directly.
// Main thread only.
namespace Platform {

// Raises the system timer resolution for the life of the object where the system has such a
// setting (Windows multimedia timer); elsewhere it does nothing.
class TimerResolution
{
public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

    bool IsRaised() const { return m_period != 0; }

private:
    unsigned m_period = 0; // minimum period in ms that was begun, 0 when none
};

// Keeps the display awake while `awake` is true (playback); false lets it sleep again.
void KeepDisplayAwake(bool awake);

// Shows a file selected in the desktop's file browser, or opens a folder.
// Returns false when the path does not exist or nothing could be started.
bool RevealInFileBrowser(const QString& path);

// Keeps a top-level window above all others, or releases it. A widget passes its
// windowHandle(); core knows windows, not widgets.
void SetAlwaysOnTop(QWindow* window, bool onTop);

// `key` (the name of a shared-memory segment) made private to the user running the program,
// so that each user's login has its own. Linux appends the user id; on Windows a named object
// already lives in the namespace of its login session and the key is returned unchanged.
QString PerUserKey(const QString& key);

// Call before the application object exists. Where the desktop has a message bus that a
// library would launch on its own when none is running (D-Bus: Qt's accessibility bridge asks
// for it as soon as a widget changes), points the bus address somewhere that fails at once
// instead; launching forks the process, which is slow and can hang a process that has
// threads. Does nothing where a bus is running or there is no such bus.
void PreventBusAutolaunch();

} // namespace Platform
