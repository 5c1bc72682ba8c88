#include "core/Logger.h"
#include "core/Settings.h"
#include "project/ExportStatus.h"
#include "project/Project.h"
#include "project/ProjectManager.h"
#include "server/CmdServer.h"
#include "tests/FakeProjectEngine.h"

#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

namespace {

QByteArray Framed(const QByteArray& body)
{
    return QByteArray::number(body.size()).rightJustified(10, '0') + body;
}

QByteArray EchoRequest(const QByteArray& text)
{
    return Framed("{\"cmd\":\"echo\",\"text\":\"" + text + "\"}");
}

QByteArray EchoReply(const QByteArray& text)
{
    return Framed("{\"msg\":\"\",\"result\":\"" + text + "\",\"success\":true}");
}

// Everything the client has received, waited for until it holds at least `bytes` bytes.
bool WaitForBytes(QTcpSocket& socket, QByteArray& received, qsizetype bytes)
{
    return QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return received.size() >= bytes;
        },
        10000);
}

// Runs a nested QEventLoop, as an import or a project read does inside a request, until
// `done` holds; then keeps it running until an object deleted later from inside it has gone,
// so every deferred deletion posted meanwhile has been carried out by this loop.
void RunNestedLoopUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    bool flushed = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!done())
            return;
        poll.stop();
        auto* sentinel = new QObject;
        QObject::connect(sentinel, &QObject::destroyed, &loop, [&] {
            flushed = true;
            loop.quit();
        });
        sentinel->deleteLater();
    });
    poll.start(5);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY2(flushed, "the nested loop timed out");
}

// An engine whose parses end only when the test releases them, as a slow probe would: a
// blocking load waits for them in its nested event loop.
class HeldParseEngine : public FakeProjectEngine
{
public:
    bool ParseSource(Timeline* sourceTimeline) override
    {
        held.append(sourceTimeline);
        return true;
    }
    void Release()
    {
        for (Timeline* timeline : std::exchange(held, {}))
            TestSupport::FakeParsedVideo(*timeline->GetSource(), 10, 24.0);
    }
    QList<Timeline*> held;
};

} // namespace

class TestCmdServer : public QObject
{
    Q_OBJECT

private:
    FakeProjectEngine m_engine;
    std::unique_ptr<ProjectManager> m_manager;
    std::unique_ptr<CmdServer> m_server;

    std::unique_ptr<QTcpSocket> Connect()
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, m_server->Port());
        if (!socket->waitForConnected(10000))
            return nullptr;
        // The server has taken it as its client once it says so.
        if (!QTest::qWaitFor([&] { return m_server->IsConnected(); }, 10000))
            return nullptr;
        return socket;
    }

    // Sends `bytes`, then an echo whose reply proves everything before it was handled.
    QByteArray SendAndSync(QTcpSocket& socket, const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.write(EchoRequest("sync"));
        socket.flush();
        QByteArray received;
        const QByteArray sync = EchoReply("sync");
        const bool synced = QTest::qWaitFor(
            [&] {
                received += socket.readAll();
                return received.endsWith(sync);
            },
            10000);
        return synced ? received.chopped(sync.size()) : QByteArray("<no sync reply>") + received;
    }

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void init()
    {
        Settings::ResetToDefaults();
        m_manager = std::make_unique<ProjectManager>(&m_engine);
        m_server = std::make_unique<CmdServer>();
        m_server->Attach(m_manager.get());
        QVERIFY(m_server->Listen(0));
    }

    void cleanup()
    {
        ExportStatus::SetRunning(false);
        m_server.reset();
        m_manager.reset();
    }

    // A configured port out of range is refused, not wrapped (70000 would be 4464).
    void configuredPortOutOfRangeIsRefused()
    {
        QStringList errors;
        connect(Logger::Instance(), &Logger::ErrorLogged, this, [&](const QString& text) { errors.append(text); });
        for (const int port : {70000, 65536, 0, -1}) {
            CmdServer server;
            QVERIFY(!server.ListenOnConfiguredPort(port));
            QCOMPARE(server.Port(), quint16(0));
        }
        disconnect(Logger::Instance(), &Logger::ErrorLogged, this, nullptr);
        QCOMPARE(errors.size(), 4);
        QCOMPARE(errors.first(), QStringLiteral("Client API server not started: port 70000 is outside 1..65535"));
        // In range it listens.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 free = probe.serverPort();
        probe.close();
        CmdServer server;
        QVERIFY(server.ListenOnConfiguredPort(free));
        QCOMPARE(server.Port(), free);
    }

    void replyHeaderIsTheZeroPaddedLength()
    {
        auto socket = Connect();
        QVERIFY(socket);
        socket->write(EchoRequest("hi"));
        QByteArray received;
        QVERIFY(WaitForBytes(*socket, received, EchoReply("hi").size()));
        QCOMPARE(received, QByteArray("0000000039{\"msg\":\"\",\"result\":\"hi\",\"success\":true}"));
    }

    void repliesAreLatin1WithOneByteACharacter()
    {
        QCOMPARE(CmdServer::Frame(QString::fromUtf8("é\u20ac")), QByteArray("0000000002\xe9?"));
    }

    void tenLettersGiveTheInvalidHeaderBodyAndDropThePendingInput()
    {
        auto socket = Connect();
        QVERIFY(socket);
        // The echo in the same write is part of the discarded input.
        socket->write("abcdefghij" + EchoRequest("lost"));
        const QByteArray expected("0000000045{ \"success\": \"false\", \"msg\": Invalid Header }");
        QByteArray received;
        QVERIFY(WaitForBytes(*socket, received, expected.size()));
        QCOMPARE(received, expected);
        // The connection is still usable; nothing of the discarded echo comes late.
        QCOMPARE(SendAndSync(*socket, {}), QByteArray());
    }

    void zeroLengthIsDroppedAndTheNextTenBytesAreAHeader()
    {
        auto socket = Connect();
        QVERIFY(socket);
        QCOMPARE(SendAndSync(*socket, "0000000000" + EchoRequest("after")), EchoReply("after"));
    }

    void bodySentByteByByte()
    {
        auto socket = Connect();
        QVERIFY(socket);
        const QByteArray request = EchoRequest("slow");
        for (char byte : request) {
            socket->write(&byte, 1);
            socket->flush();
            QTest::qWait(1); // separate packets: the server sees every split point
        }
        QByteArray received;
        QVERIFY(WaitForBytes(*socket, received, EchoReply("slow").size()));
        QCOMPARE(received, EchoReply("slow"));
    }

    void splitHeaderAndTwoRequestsInOneWrite()
    {
        auto socket = Connect();
        QVERIFY(socket);
        const QByteArray first = EchoRequest("one");
        socket->write(first.left(4));
        socket->flush();
        QTest::qWait(20);
        QCOMPARE(SendAndSync(*socket, first.mid(4) + EchoRequest("two")), EchoReply("one") + EchoReply("two"));
    }

    void disconnectMidBodyThenANewClientStartsClean()
    {
        {
            auto first = Connect();
            QVERIFY(first);
            const QByteArray request = EchoRequest("cut");
            first->write(request.left(request.size() - 5));
            first->flush();
            first->disconnectFromHost();
            QTRY_VERIFY(!m_server->IsConnected());
        }
        auto second = Connect();
        QVERIFY(second);
        QCOMPARE(SendAndSync(*second, EchoRequest("fresh")), EchoReply("fresh"));
    }

    void aSecondClientReplacesTheFirst()
    {
        auto first = Connect();
        QVERIFY(first);
        // Half a message from the first, sent with a whole one whose reply shows the server
        // has read that far (it reads everything waiting before it answers): the second client
        // must not inherit the half.
        first->write(EchoRequest("first") + EchoRequest("first").left(12));
        first->flush();
        QByteArray received;
        QVERIFY(WaitForBytes(*first, received, EchoReply("first").size()));
        QCOMPARE(received, EchoReply("first"));
        auto second = std::make_unique<QTcpSocket>();
        second->connectToHost(QHostAddress::LocalHost, m_server->Port());
        QVERIFY(second->waitForConnected(10000));
        QTRY_COMPARE(first->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(SendAndSync(*second, EchoRequest("second")), EchoReply("second"));
    }

    void oversizedHeaderClosesTheConnection()
    {
        auto socket = Connect();
        QVERIFY(socket);
        socket->write("0067108865");
        const QByteArray expected("0000000045{ \"success\": \"false\", \"msg\": Invalid Header }");
        QByteArray received;
        QVERIFY(WaitForBytes(*socket, received, expected.size()));
        QCOMPARE(received, expected);
        QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    }

    void stalledClientIsDropped()
    {
        m_server->SetStallTimeout(200);
        auto socket = Connect();
        QVERIFY(socket);
        socket->write(EchoRequest("stall").left(15));
        socket->flush();
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 10000);
        QVERIFY(!m_server->IsConnected());
    }

    void partialMessageAfterACompleteExchangeIsTimed()
    {
        m_server->SetStallTimeout(100);
        auto socket = Connect();
        QVERIFY(socket);
        QCOMPARE(SendAndSync(*socket, {}), QByteArray());
        // A complete exchange leaves nothing pending: a partial message later is what counts.
        socket->write(EchoRequest("late").left(3));
        socket->flush();
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 10000);
    }

    // The second request arrives while the first is executing (inside a nested event loop, as
    // an import does): it is taken only after the first has replied.
    void noRequestIsDispatchedWhileOneExecutes()
    {
        CmdServer server;
        QVERIFY(server.Listen(0));
        QStringList order;
        QTcpSocket client;
        connect(&server, &CmdServer::ExecuteCmd, this, [&](const QString& body) {
            order.append(QStringLiteral("start ") + body);
            if (body == QLatin1String("A")) {
                QTcpSocket* serverSide = server.findChildren<QTcpSocket*>().value(0);
                QVERIFY(serverSide);
                client.write(Framed("B"));
                client.flush();
                // B has reached the server while A still runs.
                QTRY_VERIFY(serverSide->bytesAvailable() > 0 || order.size() > 1);
            }
            server.Write(body);
            order.append(QStringLiteral("end ") + body);
        });
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(client.waitForConnected(10000));
        client.write(Framed("A"));
        QByteArray received;
        QVERIFY(WaitForBytes(client, received, 22));
        QCOMPARE(received, Framed("A") + Framed("B"));
        QCOMPARE(order, QStringList({"start A", "end A", "start B", "end B"}));
    }

    // An export asked for by "queue_export" runs after the request has been answered, and a
    // viewer capture's nested event loop then drops requests (no reply) rather than holding
    // them back to answer when the export is over.
    void requestsDuringAnExportAreDropped()
    {
        auto socket = Connect();
        QVERIFY(socket);
        QSignalSpy dispatched(m_server.get(), &CmdServer::ExecuteCmd);
        bool exported = false;
        connect(m_manager.get(), &ProjectManager::ExportRequested, this, [&] {
            // What a viewer capture does: running, with the event loop turning.
            ExportStatus::SetRunning(true);
            socket->write(EchoRequest("during"));
            socket->flush();
            const qsizetype before = dispatched.size();
            RunNestedLoopUntil([&] { return dispatched.size() > before; });
            ExportStatus::SetRunning(false);
            exported = true;
        });
        const QByteArray initialize = Framed("{\"cmd\":\"initialize\",\"api_version\":\"1.0.0\"}");
        QCOMPARE(SendAndSync(*socket, initialize), Framed("{\"msg\":\"\",\"success\":true}"));
        const QByteArray queue = Framed("{\"cmd\":\"queue_export\",\"output_dir_path\":\"/out\",\"base_file_name\":\"b\","
                                        "\"ext\":\"mov\",\"width\":2,\"height\":2}");
        socket->write(queue);
        socket->flush();
        QTRY_VERIFY_WITH_TIMEOUT(exported, 20000);
        // The queue_export reply, then nothing for "during": the next reply is the sync's.
        QCOMPARE(SendAndSync(*socket, {}), Framed("{\"msg\":\"\",\"success\":true}"));
    }

    // A request arriving while a load the user started waits in its nested event loop is
    // taken once the load has ended: a "new_project" would otherwise replace the project
    // being read.
    void requestsWaitForALoadTheUserStarted()
    {
        HeldParseEngine engine;
        ProjectManager manager(&engine);
        CmdServer server;
        server.Attach(&manager);
        QVERIFY(server.Listen(0));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(client.waitForConnected(10000));
        const QByteArray success = Framed("{\"msg\":\"\",\"success\":true}");
        client.write(Framed("{\"cmd\":\"initialize\",\"api_version\":\"1.0.0\"}"));
        QByteArray received;
        QVERIFY(WaitForBytes(client, received, success.size()));
        QCOMPARE(received, success);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("shot.mov"));
        TestSupport::Touch(path);
        QStringList order;
        connect(&server, &CmdServer::ExecuteCmd, this, [&] { order.append(QStringLiteral("request")); });
        // Sent once the import waits for its parse, which ends when the server has read it.
        QTimer::singleShot(0, this, [&] {
            QTcpSocket* serverSide = server.findChild<QTcpSocket*>();
            QVERIFY(serverSide);
            connect(serverSide, &QTcpSocket::readyRead, this, [&] { engine.Release(); });
            client.write(Framed("{\"cmd\":\"new_project\"}"));
            client.flush();
        });
        const QList<QUuid> ids = manager.ImportFiles({path + QLatin1Char('@')}, {});
        order.append(QStringLiteral("load ended"));
        QCOMPARE(ids.size(), 1);
        QVERIFY(manager.GetProject()->SourceItem(ids.first()));
        received.clear();
        QVERIFY(WaitForBytes(client, received, success.size()));
        QCOMPARE(received, success);
        QCOMPARE(order, QStringList({"load ended", "request"}));
        QVERIFY(!manager.GetProject()->SourceItem(ids.first())); // the new project came after
    }

    // A request that runs a nested event loop (an import, a project read) while its client
    // leaves: the client's socket, whose data-ready notification is still on the stack, must
    // outlive the request.
    void clientLeavingDuringANestedLoop()
    {
        CmdServer server;
        QVERIFY(server.Listen(0));
        QTcpSocket client;
        bool ran = false;
        connect(&server, &CmdServer::ExecuteCmd, this, [&](const QString&) {
            ran = true;
            const QPointer<QTcpSocket> serverSide = server.findChild<QTcpSocket*>();
            QVERIFY(serverSide);
            client.disconnectFromHost();
            RunNestedLoopUntil([&] { return !server.IsConnected(); });
            // Its notification is on the stack: freeing it now crashes when that returns (a
            // sanitizer does not see it, the freed memory is read inside uninstrumented Qt).
            QVERIFY(serverSide);
            server.Write(QStringLiteral("late"));
        });
        client.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(client.waitForConnected(10000));
        client.write(Framed("A"));
        client.flush();
        QTRY_VERIFY(ran);
        // The server goes on: a new client is served.
        QTcpSocket next;
        next.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(next.waitForConnected(10000));
        QTRY_VERIFY(server.IsConnected());
        disconnect(&server, &CmdServer::ExecuteCmd, this, nullptr);
        connect(&server, &CmdServer::ExecuteCmd, &server, &CmdServer::Write);
        next.write(Framed("again"));
        QByteArray received;
        QVERIFY(WaitForBytes(next, received, Framed("again").size()));
        QCOMPARE(received, Framed("again"));
    }

    // The same while a second client connects and replaces the first: the reply of the first
    // request does not reach the second client, whose own request is answered afterwards.
    void clientReplacedDuringANestedLoop()
    {
        CmdServer server;
        QVERIFY(server.Listen(0));
        QTcpSocket first;
        QTcpSocket second;
        QStringList order;
        connect(&server, &CmdServer::ExecuteCmd, this, [&](const QString& body) {
            order.append(body);
            if (body == QLatin1String("A")) {
                const QPointer<QTcpSocket> serverSide = server.findChild<QTcpSocket*>();
                QVERIFY(serverSide);
                second.connectToHost(QHostAddress::LocalHost, server.Port());
                RunNestedLoopUntil([&] { return first.state() == QAbstractSocket::UnconnectedState; });
                QVERIFY(serverSide);
                second.write(Framed("B"));
                second.flush();
            }
            server.Write(body);
        });
        first.connectToHost(QHostAddress::LocalHost, server.Port());
        QVERIFY(first.waitForConnected(10000));
        first.write(Framed("A"));
        first.flush();
        QTRY_VERIFY(!order.isEmpty()); // the second client has connected
        QByteArray received;
        QVERIFY(WaitForBytes(second, received, Framed("B").size()));
        QCOMPARE(received, Framed("B"));
        QCOMPARE(order, QStringList({"A", "B"}));
    }
};

QTEST_MAIN(TestCmdServer)
#include "tst_cmdserver.moc"
