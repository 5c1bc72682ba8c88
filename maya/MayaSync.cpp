#include "maya/MayaSync.h"

#include "core/Logger.h"
#include "core/Settings.h"

#include <QTcpSocket>

#include <algorithm>
#include <cmath>

namespace {

// `mayaSyncTimeout` in ms for both the connect and the reply. A negative value is taken as
// zero: Qt reads -1 as "wait forever", and the connect would block the caller without bound.
int SyncTimeoutMs()
{
    return std::max(0, Settings::Get().mayaSyncTimeout);
}

} // namespace

MayaSync::MayaSync(QObject* parent)
    : QObject(parent)
{
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &MayaSync::OnReplyTimeout);
    m_pauseTimer.setSingleShot(true);
}

MayaSync::~MayaSync()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        delete m_socket;
    }
}

qint64 MayaSync::MayaFrame(int playbackFrame, int timeControlOffset, float multiplier, int syncOffset,
                           bool fromRangeStart)
{
    // Single precision on purpose: 0.7f * 90.0f is exactly 63.0f, where double arithmetic
    // would give 62.999... and truncate to 62.
    const float product = static_cast<float>(playbackFrame) * multiplier;
    // A multiplier read from a hand-edited settings file may be anything.
    constexpr float kLimit = 1.0e15f;
    const qint64 scaled = std::isfinite(product) && std::fabs(product) < kLimit
                              ? static_cast<qint64>(std::trunc(product))
                              : 0;
    return scaled + (fromRangeStart ? 0 : timeControlOffset) + syncOffset;
}

QString MayaSync::Script(qint64 mayaFrame, bool fromRangeStart)
{
    QString script = QStringLiteral("if(`objExists %1`) scriptNode -e -st 0 %1;\n").arg(kScriptNode);
    if (fromRangeStart) {
        script += QStringLiteral("$rangeStart = `playbackOptions -q -min`;\n");
        script += QStringLiteral("currentTime ($rangeStart + %1);\n").arg(mayaFrame);
    } else {
        script += QStringLiteral("currentTime %1;\n").arg(mayaFrame);
    }
    script += QStringLiteral("if(`objExists %1`) scriptNode -e -st 7 %1;\n").arg(kScriptNode);
    return script;
}

void MayaSync::ToggleSync()
{
    if (m_socket)
        Disconnect();
    else
        Connect();
}

void MayaSync::Connect()
{
    if (m_socket)
        return;
    const Settings& settings = Settings::Get();
    const quint16 port = settings.mayaCommandPort;
    auto* socket = new QTcpSocket(this);
    socket->connectToHost(kHost, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    // The one wait that blocks: the user pressed the button and looks at it.
    if (!socket->waitForConnected(SyncTimeoutMs())) {
        Logger::error(QStringLiteral("Failed to connect to Maya: %1:%2").arg(kHost).arg(port));
        Logger::error(QStringLiteral("A commandport must be open in Maya that matches the port number: %1").arg(port));
        socket->abort();
        delete socket;
        emit ConnectionChanged(false);
        return;
    }
    m_socket = socket;
    // Nothing the previous connection sent is awaited on this one.
    m_replyTimer.stop();
    m_sendWhenReplied = false;
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        DropSocket();
        emit ConnectionChanged(false);
    });
    connect(socket, &QTcpSocket::readyRead, this, &MayaSync::OnReadyRead);
    emit ConnectionChanged(true);
    SendCurrentFrame();
}

void MayaSync::Disconnect()
{
    if (!m_socket)
        return;
    DropSocket();
    emit ConnectionChanged(false);
}

void MayaSync::DropSocket()
{
    m_replyTimer.stop();
    m_sendWhenReplied = false;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    if (!socket)
        return;
    // The socket may be the sender of the signal being handled: it goes later, and says
    // nothing more to this object meanwhile.
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void MayaSync::SetPlaybackFrame(int playbackFrame, int timeControlOffset)
{
    m_playbackFrame = playbackFrame;
    m_timeControlOffset = timeControlOffset;
    SendCurrentFrame();
}

void MayaSync::SendCurrentFrame()
{
    if (!m_socket || m_pauseTimer.isActive())
        return;
    if (m_replyTimer.isActive()) {
        m_sendWhenReplied = true;
        return;
    }
    const Settings& settings = Settings::Get();
    const bool fromRangeStart = settings.mayaSyncFromRangeStart;
    const qint64 frame = MayaFrame(m_playbackFrame, m_timeControlOffset, settings.mayaSyncMultiplier,
                                   settings.mayaSyncOffset, fromRangeStart);
    m_socket->write(Script(frame, fromRangeStart).toLocal8Bit());
    // A connection Maya has reset fails here: the socket aborts and says so at once, and
    // DropSocket has run by the time flush returns. No answer is awaited then.
    m_socket->flush();
    if (!m_socket)
        return;
    m_replyTimer.start(SyncTimeoutMs());
}

void MayaSync::OnReadyRead()
{
    if (!m_socket)
        return;
    m_socket->readAll(); // what Maya answers is not used
    if (!m_replyTimer.isActive())
        return; // more of an earlier answer
    m_replyTimer.stop();
    if (m_sendWhenReplied) {
        m_sendWhenReplied = false;
        SendCurrentFrame();
    }
}

void MayaSync::OnReplyTimeout()
{
    if (!m_socket)
        return;
    DropSocket();
    Logger::error(QStringLiteral("Timeout waiting for Maya Sync respose. Sync disconnected."));
    emit ConnectionChanged(false);
}

void MayaSync::PauseSyncTemporarily()
{
    m_pauseTimer.start(kPauseMs);
}
