#include "export/FfmpegProcess.h"

#include <QElapsedTimer>

namespace {

constexpr int kPollMs = 20;        // how often a wait looks at the stop condition
constexpr int kErrorTailChars = 2000;

} // namespace

FfmpegProcess::FfmpegProcess(const QString& program, std::function<bool()> stopRequested, QObject* parent)
    : QObject(parent)
    , m_process(this)
    , m_stopRequested(std::move(stopRequested))
{
    m_process.setProgram(program);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &FfmpegProcess::ReadOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &FfmpegProcess::ReadError);
}

FfmpegProcess::~FfmpegProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool FfmpegProcess::Start(const QStringList& arguments, int timeoutMs)
{
    m_process.setArguments(arguments);
    m_process.start(QIODevice::ReadWrite);
    QElapsedTimer timer;
    timer.start();
    while (!m_process.waitForStarted(kPollMs)) {
        if (m_process.state() == QProcess::NotRunning || timer.elapsed() >= timeoutMs
            || (m_stopRequested && m_stopRequested())) {
            Kill();
            return false;
        }
    }
    m_started = true;
    return true;
}

bool FfmpegProcess::Write(const char* data, qint64 size, int timeoutMs)
{
    if (m_process.state() != QProcess::Running)
        return false;
    if (m_process.write(data, size) != size) {
        Kill();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (m_process.bytesToWrite() > 0) {
        if (m_process.state() != QProcess::Running)
            return false; // ended (or crashed) before taking everything
        if ((m_stopRequested && m_stopRequested()) || timer.elapsed() >= timeoutMs) {
            m_writeTimedOut = timer.elapsed() >= timeoutMs;
            Kill();
            return false;
        }
        m_process.waitForBytesWritten(kPollMs);
    }
    return true;
}

bool FfmpegProcess::CloseAndWait(int timeoutMs)
{
    m_process.closeWriteChannel();
    return WaitUntilEnded(timeoutMs);
}

bool FfmpegProcess::WaitForEnd(int timeoutMs)
{
    return WaitUntilEnded(timeoutMs);
}

bool FfmpegProcess::WaitUntilEnded(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_process.state() != QProcess::NotRunning) {
        if ((m_stopRequested && m_stopRequested()) || timer.elapsed() >= timeoutMs) {
            Kill();
            return false;
        }
        m_process.waitForFinished(kPollMs);
    }
    ReadOutput();
    ReadError();
    return true;
}

void FfmpegProcess::Kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_killed = true;
    m_process.kill();
    m_process.waitForFinished(2000);
}

bool FfmpegProcess::Succeeded() const
{
    return m_started && !m_killed && m_process.state() == QProcess::NotRunning
           && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString FfmpegProcess::FailureText() const
{
    if (Succeeded())
        return {};
    QString text;
    if (!m_started)
        text = QStringLiteral("ffmpeg did not start: %1").arg(m_process.errorString());
    else if (m_killed)
        text = QStringLiteral("ffmpeg was stopped");
    else if (m_process.state() != QProcess::NotRunning)
        text = QStringLiteral("ffmpeg is still running");
    else if (m_process.exitStatus() == QProcess::CrashExit)
        text = QStringLiteral("ffmpeg crashed");
    else
        text = QStringLiteral("ffmpeg exited with code %1").arg(m_process.exitCode());
    const QString tail = m_errorTail.trimmed();
    if (!tail.isEmpty())
        text += QStringLiteral(":\n") + tail;
    return text;
}

void FfmpegProcess::ReadOutput()
{
    const QByteArray bytes = m_process.readAllStandardOutput();
    if (!bytes.isEmpty())
        emit OutputReceived(QString::fromLocal8Bit(bytes));
}

void FfmpegProcess::ReadError()
{
    const QByteArray bytes = m_process.readAllStandardError();
    if (bytes.isEmpty())
        return;
    const QString text = QString::fromLocal8Bit(bytes);
    m_errorTail += text;
    if (m_errorTail.size() > kErrorTailChars)
        m_errorTail = m_errorTail.right(kErrorTailChars);
    emit ErrorReceived(text);
}
