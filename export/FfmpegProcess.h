#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// One run of the ffmpeg executable with its standard input as a pipe. Every wait is bounded
// and polls a stop condition (the export's cancelled flag), so a hung ffmpeg is killed instead
// of blocking the thread that drives it. Lives on the thread that created it; the waits do not
// need that thread's event loop, but the output signals are delivered from inside them.
class FfmpegProcess : public QObject
{
    Q_OBJECT

public:
    // `stopRequested` is polled while waiting; true kills the process.
    FfmpegProcess(const QString& program, std::function<bool()> stopRequested, QObject* parent = nullptr);
    ~FfmpegProcess() override; // kills a process still running

    // Starts ffmpeg; false when it did not start within `timeoutMs` (or a stop came first).
    bool Start(const QStringList& arguments, int timeoutMs);
    // Writes all of `data` and waits until ffmpeg has taken it. False when that took longer
    // than `timeoutMs`, ffmpeg ended meanwhile, or a stop came; the process is then killed.
    bool Write(const char* data, qint64 size, int timeoutMs);
    // Closes ffmpeg's input and waits for it to end; false on timeout or stop (killed then).
    bool CloseAndWait(int timeoutMs);
    // Waits for ffmpeg to end without closing its input.
    bool WaitForEnd(int timeoutMs);
    void Kill();

    bool Running() const { return m_process.state() != QProcess::NotRunning; }
    // A write was given up on because ffmpeg took nothing for the whole timeout.
    bool WriteTimedOut() const { return m_writeTimedOut; }
    // Ended by itself with exit code 0.
    bool Succeeded() const;
    // Why it did not succeed ("ffmpeg exited with code 1", "ffmpeg crashed", ...), followed by
    // the end of what it wrote on its standard error; empty after a success.
    QString FailureText() const;
    QString ErrorTail() const { return m_errorTail; }

signals:
    // What ffmpeg wrote on its standard output or standard error, as it arrives.
    void OutputReceived(const QString& text);
    void ErrorReceived(const QString& text);

private:
    void ReadOutput();
    void ReadError();
    bool WaitUntilEnded(int timeoutMs);

    QProcess m_process;
    std::function<bool()> m_stopRequested;
    QString m_errorTail; // the last few thousand characters of standard error
    bool m_killed = false;
    bool m_writeTimedOut = false;
    bool m_started = false;
};
