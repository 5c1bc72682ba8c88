#include "core/Logger.h"

#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

std::atomic<bool> Logger::s_echo{true};
std::atomic<bool> Logger::s_consoleAttached{false};

Logger* Logger::Instance()
{
    static Logger* const logger = new Logger; // never destroyed: worker threads may log late
    return logger;
}

void Logger::error(const QString& text)
{
    Echo("ERROR", text);
    emit Instance()->ErrorLogged(text);
}

void Logger::error(const QString& text, int code)
{
    // The text is appended as it is: filling it into a template would let placeholders in
    // it (a file name holding "%1") take the code.
    error(text + QStringLiteral(" (%1)").arg(code));
}

void Logger::warning(const QString& text)
{
    Echo("WARNING", text);
    emit Instance()->WarningLogged(text);
}

void Logger::info(const QString& text)
{
    if (!s_consoleAttached)
        Echo(nullptr, text);
    emit Instance()->InfoLogged(text);
}

void Logger::output(const QString& text)
{
    if (!s_consoleAttached)
        Echo(nullptr, text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text);
    emit Instance()->OutputLogged(text);
}

void Logger::debugInfo(const QString& text)
{
    emit Instance()->DebugInfoLogged(text);
}

void Logger::SetStandardErrorEcho(bool enabled)
{
    s_echo = enabled;
}

void Logger::SetConsoleAttached(bool attached)
{
    s_consoleAttached = attached;
}

void Logger::Echo(const char* tag, const QString& text)
{
    if (!s_echo)
        return;
    static QMutex mutex; // keeps lines from different threads whole
    const QByteArray line = (tag ? QStringLiteral("[%1] %2\n").arg(QLatin1String(tag), text) : text + QLatin1Char('\n')).toUtf8();
    QMutexLocker lock(&mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}
