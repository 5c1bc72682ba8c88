#pragma once

#include "project/ClientApiHost.h"
#include "project/ProjectManager.h"
#include "server/CmdFrameReader.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

// The client API's TCP end: listens on the local host only, keeps one client (a new
// connection replaces the previous one), cuts its bytes into messages (CmdFrameReader) and
// emits ExecuteCmd for each; replies are framed and sent back by Write. Main thread only.
//
// While a request executes (an import waits for parsing in a nested event loop) no other
// request is dispatched: bytes that arrive meanwhile are buffered and taken once it returns.
// The same holds while a blocking load the user started (a project open, an import) runs the
// event loop: requests wait for its end rather than change the project it is reading.
// A client that leaves a message unfinished for the stall timeout is disconnected.
class CmdServer : public QObject, public ClientApiHost
{
    Q_OBJECT

public:
    static constexpr int kDefaultStallTimeoutMs = 30000;

    explicit CmdServer(QObject* parent = nullptr);
    ~CmdServer() override;

    // Listens on the local host; port 0 picks a free one. False (and a logged error) when
    // the port cannot be taken.
    bool Listen(quint16 port);
    // Listens on the configured port (`clientApiPort`): outside 1..65535 it refuses, with a
    // logged error, rather than wrap the number onto another port.
    bool ListenOnConfiguredPort(int port);
    quint16 Port() const { return m_server.serverPort(); }
    bool IsConnected() const { return m_connected; }
    // How long a partial message may wait for the rest of its bytes.
    void SetStallTimeout(int ms) { m_stallTimer.setInterval(ms); }
    // Requests go to the manager's OnExecuteCmd and its replies come back here.
    void Attach(ProjectManager* manager);

    // ClientApiHost.
    bool IsInitialized() const override { return m_initialized; }
    void SetInitialized() override { m_initialized = true; }
    void Write(const QString& reply) override;

    // The body sent for a header that is not a number.
    static QString InvalidHeaderBody();
    // Header and body as they go on the wire.
    static QByteArray Frame(const QString& body);

signals:
    void ExecuteCmd(const QString& body);

public slots:
    void Establish();
    void Read();
    void WriteError(QAbstractSocket::SocketError error);
    // The manager's BlockUserInputChanged: requests are held while a blocking load runs.
    void SetLoadRunning(bool running);

private:
    // Dispatches every complete buffered message, unless a request is executing.
    void ProcessBuffered();
    void DropClient();
    // Deletes a socket the server no longer uses, once no request is executing.
    void Retire(QTcpSocket* socket);
    void UpdateStallTimer();

    QTcpServer m_server; // a child too: the sockets it accepts are its children
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_executingClient; // whose request runs; replies go only to it
    QList<QPointer<QTcpSocket>> m_retired;   // dropped while a request ran, deleted after it
    QPointer<ProjectManager> m_manager;
    CmdFrameReader m_reader;
    QTimer m_stallTimer;
    bool m_connected = false;
    bool m_initialized = false;
    bool m_executing = false;
    bool m_loadRunning = false;
};
