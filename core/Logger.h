#pragma once

#include <QObject>
#include <QString>

#include <atomic>

// The process-wide log. It only emits signals; whoever shows messages connects to them.
// Every operation may be called from any thread: signals emitted off the main thread reach
// main-thread receivers queued. The singleton is created on first use (on the main thread,
// during start-up, before any worker thread exists) and never destroyed.
//
// Until a console window takes over (SetStandardErrorEcho(false)), errors and warnings are
// also written to standard error, so that nothing goes unseen before the interface exists.
class Logger : public QObject
{
    Q_OBJECT

public:
    static Logger* Instance();

    static void error(const QString& text);
    static void error(const QString& text, int code); // appends " (code)"
    static void warning(const QString& text);
    static void info(const QString& text);
    static void output(const QString& text);
    static void debugInfo(const QString& text);

    static void SetStandardErrorEcho(bool enabled);

signals:
    void OutputLogged(const QString& output);
    void InfoLogged(const QString& info);
    void WarningLogged(const QString& warning);
    void ErrorLogged(const QString& error);
    void DebugInfoLogged(const QString& debugInfo);

private:
    Logger() = default;
    static void Echo(const char* tag, const QString& text);

    static std::atomic<bool> s_echo;
};
