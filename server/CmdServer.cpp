#include "server/CmdServer.h"

#include "core/Logger.h"
#include "project/ProjectManager.h"

#include <QTcpSocket>

#include <utility>

CmdServer::CmdServer(QObject* parent)
    : QObject(parent)
    , m_server(this)
{
    connect(&m_server, &QTcpServer::newConnection, this, &CmdServer::Establish);
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(kDefaultStallTimeoutMs);
    connect(&m_stallTimer, &QTimer::timeout, this, &CmdServer::DropClient);
}

CmdServer::~CmdServer()
{
    if (m_manager)
        m_manager->SetClientApiHost(nullptr);
    if (m_client)
        m_client->abort();
}

bool CmdServer::Listen(quint16 port)
{
    if (m_server.listen(QHostAddress::LocalHost, port))
        return true;
    Logger::error(QStringLiteral("Client API server could not listen on port %1: %2").arg(port).arg(m_server.errorString()));
    return false;
}

bool CmdServer::ListenOnConfiguredPort(int port)
{
    if (port < 1 || port > 65535) {
        Logger::error(QStringLiteral("Client API server not started: port %1 is outside 1..65535").arg(port));
        return false;
    }
    return Listen(static_cast<quint16>(port));
}

void CmdServer::Attach(ProjectManager* manager)
{
    if (m_manager) {
        m_manager->SetClientApiHost(nullptr);
        disconnect(this, &CmdServer::ExecuteCmd, m_manager, nullptr);
        disconnect(m_manager, &ProjectManager::BlockUserInputChanged, this, nullptr);
    }
    m_manager = manager;
    SetLoadRunning(false);
    if (!manager)
        return;
    manager->SetClientApiHost(this);
    connect(this, &CmdServer::ExecuteCmd, manager, &ProjectManager::OnExecuteCmd);
    connect(manager, &ProjectManager::BlockUserInputChanged, this, &CmdServer::SetLoadRunning);
}

void CmdServer::SetLoadRunning(bool running)
{
    if (running == m_loadRunning)
        return;
    m_loadRunning = running;
    if (running) {
        // The client is not stalling while its complete message waits for the load.
        m_stallTimer.stop();
        return;
    }
    // From the event loop: the load's own nested loop is still on the stack here.
    QMetaObject::invokeMethod(this, &CmdServer::ProcessBuffered, Qt::QueuedConnection);
}

QString CmdServer::InvalidHeaderBody()
{
    return QStringLiteral("{ \"success\": \"false\", \"msg\": %1 }").arg(QStringLiteral("Invalid Header"));
}

QByteArray CmdServer::Frame(const QString& body)
{
    // Latin-1 keeps one byte per character (others become "?"), so the length in characters
    // is the length in bytes.
    return (QStringLiteral("%1").arg(body.size(), CmdFrameReader::kHeaderBytes, 10, QLatin1Char('0')) + body).toLatin1();
}

void CmdServer::Establish()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            Retire(m_client);
        }
        m_reader.Reset();
        m_stallTimer.stop();
        m_client = socket;
        m_connected = socket->state() == QAbstractSocket::ConnectedState;
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket != m_client)
                return;
            m_connected = false;
            m_stallTimer.stop();
            m_reader.Reset();
            Retire(socket);
        });
        connect(socket, &QTcpSocket::readyRead, this, &CmdServer::Read);
        connect(socket, &QAbstractSocket::errorOccurred, this, &CmdServer::WriteError);
        if (socket->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, &CmdServer::Read, Qt::QueuedConnection);
    }
}

void CmdServer::Read()
{
    if (!m_client)
        return;
    m_reader.Append(m_client->readAll());
    if (m_executing || m_loadRunning)
        return; // taken when the running request has returned or the load has ended
    ProcessBuffered();
}

void CmdServer::ProcessBuffered()
{
    if (m_executing || m_loadRunning)
        return;
    m_stallTimer.stop();
    QString body;
    while (m_client && !m_executing && !m_loadRunning) {
        // Bytes that came while a request executed raised no new notification (the socket
        // does not signal again from inside its own notification): they are taken here.
        m_reader.Append(m_client->readAll());
        if (!m_reader.Next(body)) {
            const CmdFrameReader::Error error = m_reader.LastError();
            if (error == CmdFrameReader::Error::None)
                break;
            Write(InvalidHeaderBody());
            if (error == CmdFrameReader::Error::TooLarge) {
                // Nothing of what follows can be trusted to be a header: the connection ends.
                m_client->disconnectFromHost();
                return;
            }
            m_client->readAll(); // the rest of the pending input is discarded
            break;
        }
        m_executing = true;
        m_executingClient = m_client;
        emit ExecuteCmd(body);
        m_executing = false;
        m_executingClient = nullptr;
        // Sockets let go of while the request ran: its nested loop had to keep them.
        for (const QPointer<QTcpSocket>& socket : std::exchange(m_retired, {}))
            if (socket)
                socket->deleteLater();
    }
    UpdateStallTimer();
}

void CmdServer::Retire(QTcpSocket* socket)
{
    // A request runs inside this socket's (or the previous client's) data-ready notification;
    // a nested event loop in it would carry out a deferred deletion at once, under the
    // notification that is still on the stack.
    if (m_executing)
        m_retired.append(socket);
    else
        socket->deleteLater();
}

void CmdServer::UpdateStallTimer()
{
    if (m_client && m_reader.Partial())
        m_stallTimer.start();
    else
        m_stallTimer.stop();
}

void CmdServer::DropClient()
{
    if (!m_client)
        return;
    Logger::warning(QStringLiteral("Client API client sent an incomplete message and stalled; disconnected."));
    QTcpSocket* socket = m_client;
    m_client = nullptr;
    m_connected = false;
    m_reader.Reset();
    socket->disconnect(this);
    socket->abort();
    Retire(socket);
}

void CmdServer::Write(const QString& reply)
{
    if (!m_client || m_client->state() != QAbstractSocket::ConnectedState)
        return;
    // A reply to a request from a client that has since been replaced is not the new one's.
    if (m_executing && m_executingClient != m_client)
        return;
    m_client->write(Frame(reply));
    m_client->flush();
}

void CmdServer::WriteError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return; // a client leaving is no fault
    if (auto* socket = qobject_cast<QTcpSocket*>(sender()))
        Logger::warning(QStringLiteral("Client API socket error: %1").arg(socket->errorString()));
}
