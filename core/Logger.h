#pragma once

#include <QObject>
#include <QString>

#include <atomic>

// The process-wide log. It only emits signals; whoever shows messages connects to them.
// Every operation may be called from any thread: signals emitted off the main thread reach
// main-thread receivers queued. The singleton is created on first use (on the main thread,
// during start-up, before any worker thread exists) and never destroyed.
//
// Errors and warnings are also written to standard error (unless SetStandardErrorEcho(false),
// which tests use), and so are info and output lines while no console shows messages
// (SetConsoleAttached), so that nothing logged before the interface exists goes unseen.
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
    // A console window shows every message from now on (true) or no longer (false).
    static void SetConsoleAttached(bool attached);

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
    static std::atomic<bool> s_consoleAttached;
};
