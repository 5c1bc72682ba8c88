#include "core/Logger.h"
#include "core/Settings.h"
#include "maya/MayaSync.h"
#include "maya/MayaToolsDialog.h"
#include "tests/TestSupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <atomic>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/socket.h>
#endif

namespace {

// A stand-in for Maya's commandPort, on a thread of its own so that a client blocking the
// main thread cannot stop it from accepting or answering. It records every byte received
// and, unless silent, answers each chunk it reads with one line.
class CommandPortWorker : public QObject
{
    Q_OBJECT

public:
    std::atomic<bool> silent{false};

    QByteArray Received()
    {
        QMutexLocker lock(&m_mutex);
        return m_received;
    }

public slots:
    quint16 Listen()
    {
        m_server = new QTcpServer(this);
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            return 0;
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                m_clients.append(socket);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    const QByteArray bytes = socket->readAll();
                    {
                        QMutexLocker lock(&m_mutex);
                        m_received += bytes;
                    }
                    if (!silent)
                        Answer(socket);
                });
            }
        });
        return m_server->serverPort();
    }
    // Answers once on every connection (the replies a silent port held back).
    void AnswerAll()
    {
        for (QTcpSocket* socket : std::as_const(m_clients))
            Answer(socket);
    }
    // Maya closing its port.
    void CloseClients()
    {
        for (QTcpSocket* socket : std::as_const(m_clients))
            socket->disconnectFromHost();
    }
#ifdef Q_OS_UNIX
    // Maya going away hard: each connection is reset (a zero linger makes close send RST).
    void ResetClients()
    {
        for (QTcpSocket* socket : std::as_const(m_clients)) {
            const linger reset{1, 0};
            ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            socket->abort();
        }
    }
#endif

private:
    static void Answer(QTcpSocket* socket)
    {
        socket->write("1\n");
        socket->flush();
    }

    QTcpServer* m_server = nullptr;
    QList<QTcpSocket*> m_clients;
    QMutex m_mutex;
    QByteArray m_received;
};

class FakeMaya
{
public:
    FakeMaya()
    {
        m_worker = new CommandPortWorker;
        m_worker->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
        QMetaObject::invokeMethod(m_worker, &CommandPortWorker::Listen, Qt::BlockingQueuedConnection, &m_port);
    }
    ~FakeMaya()
    {
        m_thread.quit();
        m_thread.wait();
    }
    FakeMaya(const FakeMaya&) = delete;
    FakeMaya& operator=(const FakeMaya&) = delete;

    quint16 Port() const { return m_port; }
    void SetSilent(bool silent) { m_worker->silent = silent; }
    void AnswerAll() { QMetaObject::invokeMethod(m_worker, &CommandPortWorker::AnswerAll, Qt::QueuedConnection); }
    void CloseClients() { QMetaObject::invokeMethod(m_worker, &CommandPortWorker::CloseClients, Qt::QueuedConnection); }
#ifdef Q_OS_UNIX
    // Returns when every connection has been reset, without running the caller's event loop.
    void ResetClients() { QMetaObject::invokeMethod(m_worker, &CommandPortWorker::ResetClients, Qt::BlockingQueuedConnection); }
#endif
    QByteArray Received() const { return m_worker->Received(); }
    // The scripts received so far, each up to and including its last line.
    QList<QByteArray> Scripts() const
    {
        static const QByteArray end = "scriptNode -e -st 7 MayaToPlovexScriptNode;\n";
        QList<QByteArray> scripts;
        const QByteArray bytes = Received();
        qsizetype start = 0;
        for (qsizetype at = bytes.indexOf(end); at >= 0; at = bytes.indexOf(end, start)) {
            scripts.append(bytes.mid(start, at + end.size() - start));
            start = at + end.size();
        }
        return scripts;
    }

private:
    QThread m_thread;
    CommandPortWorker* m_worker; // lives on m_thread, deleted when it ends
    quint16 m_port = 0;
};

const QByteArray kNodeOff = "if(`objExists MayaToPlovexScriptNode`) scriptNode -e -st 0 MayaToPlovexScriptNode;\n";
const QByteArray kNodeOn = "if(`objExists MayaToPlovexScriptNode`) scriptNode -e -st 7 MayaToPlovexScriptNode;\n";

QByteArray TimeScript(const QByteArray& frame)
{
    return kNodeOff + "currentTime " + frame + ";\n" + kNodeOn;
}

// A port that listens but answers no new connection: its accept queue holds one connection
// and is filled by one, so the SYN of any further connect is dropped and that connect never
// completes. After `ReleaseAfter`, the queue is drained and a connect still trying succeeds.
class FullPortWorker : public QObject
{
    Q_OBJECT

public slots:
    quint16 Listen()
    {
        m_server = new QTcpServer(this);
        m_server->setListenBacklogSize(0);
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            return 0;
        m_server->pauseAccepting();
        return m_server->serverPort();
    }
    void ReleaseAfter(int ms)
    {
        QTimer::singleShot(ms, m_server, &QTcpServer::resumeAccepting);
    }

private:
    QTcpServer* m_server = nullptr;
};

class FullPort
{
public:
    FullPort()
    {
        m_worker = new FullPortWorker;
        m_worker->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
        QMetaObject::invokeMethod(m_worker, &FullPortWorker::Listen, Qt::BlockingQueuedConnection, &m_port);
        m_filler.connectToHost(QHostAddress::LocalHost, m_port);
    }
    ~FullPort()
    {
        m_filler.abort();
        m_thread.quit();
        m_thread.wait();
    }
    FullPort(const FullPort&) = delete;
    FullPort& operator=(const FullPort&) = delete;

    quint16 Port() const { return m_port; }
    // The filler connection is in the accept queue.
    bool Full() { return m_filler.waitForConnected(30000); }
    void ReleaseAfter(int ms)
    {
        QMetaObject::invokeMethod(m_worker, [worker = m_worker, ms] { worker->ReleaseAfter(ms); }, Qt::QueuedConnection);
    }

private:
    QThread m_thread;
    FullPortWorker* m_worker; // lives on m_thread, deleted when it ends
    quint16 m_port = 0;
    QTcpSocket m_filler;
};

// A port on this machine that nobody listens on.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace

class TestMayaSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init() { Settings::ResetToDefaults(); }

    // The frame arithmetic on its own: single precision, truncation toward zero, offsets.
    void frameArithmetic()
    {
        QCOMPARE(MayaSync::MayaFrame(7, 1, 0.5f, 0, false), 4);   // 3.5 -> 3, plus 1
        QCOMPARE(MayaSync::MayaFrame(90, 0, 0.7f, 0, false), 63); // 0.7f * 90.0f == 63.0f
        QCOMPARE(MayaSync::MayaFrame(-7, 0, 0.5f, 0, false), -3); // toward zero, not down
        QCOMPARE(MayaSync::MayaFrame(10, 100, 1.0f, 5, true), 15); // the bar's offset left out
        QCOMPARE(MayaSync::MayaFrame(10, 100, 1.0f, 5, false), 115);
    }

    // Connecting sends the current frame at once, byte for byte as Maya is to read it.
    void defaultLines()
    {
        FakeMaya maya;
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 60000; // answers may come late on a loaded machine
        MayaSync sync;
        sync.SetPlaybackFrame(12, 0); // not connected: only kept
        sync.Connect();
        QVERIFY(sync.IsConnected());
        QTRY_COMPARE(maya.Received(),
                     QByteArray("if(`objExists MayaToPlovexScriptNode`) scriptNode -e -st 0 MayaToPlovexScriptNode;\n"
                                "currentTime 12;\n"
                                "if(`objExists MayaToPlovexScriptNode`) scriptNode -e -st 7 MayaToPlovexScriptNode;\n"));
        QTRY_VERIFY(!sync.ReplyPending()); // the answer was read
        QVERIFY(sync.IsConnected());
    }

    // The options set in the dialog reach the frame sent; each change sends again.
    void multiplierAndOffsets()
    {
        FakeMaya maya;
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 60000; // answers may come late on a loaded machine
        MayaToolsDialog dialog;
        dialog.MultiplierSpinBox()->setValue(0.5);
        dialog.SetPlaybackFrame(7, 1);
        dialog.ToggleSync();
        QTRY_COMPARE(maya.Scripts().size(), 1);
        QCOMPARE(maya.Scripts().at(0), TimeScript("4"));

        // 0.7 as the spin box gives it, at frame 90: 63 in single precision (62 in double).
        QTRY_VERIFY(!dialog.Sync()->ReplyPending());
        dialog.MultiplierSpinBox()->setValue(0.7);
        QTRY_COMPARE(maya.Scripts().size(), 2);
        QTRY_VERIFY(!dialog.Sync()->ReplyPending());
        dialog.SetPlaybackFrame(90, 0);
        QTRY_COMPARE(maya.Scripts().size(), 3);
        QCOMPARE(maya.Scripts().at(2), TimeScript("63"));

        QTRY_VERIFY(!dialog.Sync()->ReplyPending());
        dialog.OffsetSpinBox()->setValue(-70);
        QTRY_COMPARE(maya.Scripts().size(), 4);
        QCOMPARE(maya.Scripts().at(3), TimeScript("-7"));
    }

    // From the range start: Maya adds its own playback start, the bar's offset is left out.
    void rangeStartLines()
    {
        FakeMaya maya;
        Settings& settings = Settings::Get();
        settings.mayaCommandPort = maya.Port();
        settings.mayaSyncFromRangeStart = true;
        settings.mayaSyncOffset = 5;
        MayaSync sync;
        sync.SetPlaybackFrame(10, 100);
        sync.Connect();
        QTRY_COMPARE(maya.Received(),
                     QByteArray("if(`objExists MayaToPlovexScriptNode`) scriptNode -e -st 0 MayaToPlovexScriptNode;\n"
                                "$rangeStart = `playbackOptions -q -min`;\n"
                                "currentTime ($rangeStart + 15);\n"
                                "if(`objExists MayaToPlovexScriptNode`) scriptNode -e -st 7 MayaToPlovexScriptNode;\n"));
    }

    // A Maya that never answers: sync is dropped after the timeout, with its message.
    void replyTimeoutDisconnects()
    {
        FakeMaya maya;
        maya.SetSilent(true);
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 200;
        TestSupport::LogCapture log;
        MayaToolsDialog dialog;
        dialog.ToggleSync();
        QVERIFY(dialog.Sync()->IsConnected());
        QCOMPARE(dialog.SyncButton()->text(), QStringLiteral("SYNCED"));
        QTRY_VERIFY(!dialog.Sync()->IsConnected());
        QVERIFY(log.HasError(QStringLiteral("Timeout waiting for Maya Sync respose. Sync disconnected.")));
        QCOMPARE(dialog.SyncButton()->text(), QStringLiteral("SYNC"));
        QTRY_COMPARE(maya.Scripts().size(), 1); // the port's thread may not have read it yet
    }

    // A Maya that answers late does not hold the caller: the frame call returns while the
    // answer is still awaited, frames meanwhile are held back, and once the answer comes only
    // the newest of them goes out.
    void silentMayaDoesNotBlock()
    {
        FakeMaya maya;
        maya.SetSilent(true);
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 20000; // far longer than the test waits for anything
        MayaSync sync;
        sync.SetPlaybackFrame(1, 0);
        sync.Connect();
        QVERIFY(sync.IsConnected());
        QVERIFY(sync.ReplyPending());
        sync.SetPlaybackFrame(20, 0);
        // A sync that waited here for the answer would come back disconnected (the port never
        // answers by itself).
        QVERIFY(sync.IsConnected());
        QVERIFY(sync.ReplyPending());
        sync.SetPlaybackFrame(21, 0);
        sync.SetPlaybackFrame(22, 0);
        QTRY_COMPARE(maya.Scripts().size(), 1);

        maya.AnswerAll();
        QTRY_COMPARE(maya.Scripts().size(), 2);
        QCOMPARE(maya.Scripts().at(1), TimeScript("22"));
        maya.AnswerAll();
        QTRY_VERIFY(!sync.ReplyPending());
        sync.SetPlaybackFrame(30, 0);
        QTRY_COMPARE(maya.Scripts().size(), 3);
        // Nothing of 20 or 21 went out between.
        QCOMPARE(maya.Scripts(), (QList<QByteArray>{TimeScript("1"), TimeScript("22"), TimeScript("30")}));
        QVERIFY(sync.IsConnected());
    }

    // Nobody listening: both messages, and the button still offers to sync.
    void noListener()
    {
        Settings::Get().mayaCommandPort = ClosedPort();
        const quint16 port = Settings::Get().mayaCommandPort;
        TestSupport::LogCapture log;
        MayaToolsDialog dialog;
        dialog.SyncButton()->click();
        QVERIFY(!dialog.Sync()->IsConnected());
        QCOMPARE(log.errors, (QStringList{QStringLiteral("Failed to connect to Maya: 127.0.0.1:%1").arg(port),
                                          QStringLiteral("A commandport must be open in Maya that matches the port number: %1").arg(port)}));
        QCOMPARE(dialog.SyncButton()->text(), QStringLiteral("SYNC"));
        QVERIFY(!dialog.SyncButton()->isChecked());
        QCOMPARE(dialog.SyncButton()->palette().color(QPalette::Button), dialog.DefaultButtonColor());
    }

    // A negative timeout is no timeout at all: connecting gives up at once instead of waiting
    // without bound for a port that does not answer. (A connect still waiting when the port
    // is released, seconds later, would succeed: that is how a wait without bound shows.)
    void negativeTimeoutConnectsWithoutWaiting()
    {
        FullPort port;
        QVERIFY(port.Full());
        Settings::Get().mayaCommandPort = port.Port();
        Settings::Get().mayaSyncTimeout = -1;
        TestSupport::LogCapture log;
        MayaSync sync;
        port.ReleaseAfter(5000);
        sync.Connect();
        QVERIFY(!sync.IsConnected());
        QVERIFY(log.HasError(QStringLiteral("Failed to connect to Maya: 127.0.0.1:%1").arg(port.Port())));
    }

    // After a frame change asked for by the client API, the frames of the next second are not
    // sent, nor is anything when the pause ends; later frames are.
    void pauseSuppressesFrames()
    {
        FakeMaya maya;
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 60000; // answers may come late on a loaded machine
        MayaToolsDialog dialog;
        dialog.SetPlaybackFrame(5, 0);
        dialog.ToggleSync();
        QTRY_COMPARE(maya.Scripts().size(), 1);
        QTRY_VERIFY(!dialog.Sync()->ReplyPending());
        dialog.PauseSyncTemporarily();
        QVERIFY(dialog.Sync()->Paused());
        dialog.SetPlaybackFrame(6, 0);
        dialog.SetPlaybackFrame(7, 0);
        dialog.OffsetSpinBox()->setValue(2);
        QTRY_VERIFY(!dialog.Sync()->Paused());
        dialog.SetPlaybackFrame(8, 0);
        QTRY_COMPARE(maya.Scripts().size(), 2);
        QCOMPARE(maya.Scripts(), (QList<QByteArray>{TimeScript("5"), TimeScript("10")}));
    }

    // Maya closing its port ends sync; the button says so. Pressing it again connects anew,
    // and pressing it while synced disconnects.
    void disconnectedHandling()
    {
        FakeMaya maya;
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 60000; // answers may come late on a loaded machine
        MayaToolsDialog dialog;
        dialog.SyncButton()->click();
        QVERIFY(dialog.Sync()->IsConnected());
        QCOMPARE(dialog.SyncButton()->text(), QStringLiteral("SYNCED"));
        QVERIFY(dialog.SyncButton()->isChecked());
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            QCOMPARE(dialog.SyncButton()->palette().color(group, QPalette::Button), QColor(12, 60, 156));
        QTRY_COMPARE(maya.Scripts().size(), 1); // the port has taken the connection
        maya.CloseClients();
        QTRY_VERIFY(!dialog.Sync()->IsConnected());
        QCOMPARE(dialog.SyncButton()->text(), QStringLiteral("SYNC"));
        QCOMPARE(dialog.SyncButton()->palette().color(QPalette::Button), dialog.DefaultButtonColor());

        dialog.SyncButton()->click();
        QVERIFY(dialog.Sync()->IsConnected());
        dialog.SyncButton()->click();
        QVERIFY(!dialog.Sync()->IsConnected());
        QCOMPARE(dialog.SyncButton()->text(), QStringLiteral("SYNC"));
    }

    // Maya resetting the connection is noticed by the next send, inside the socket's flush: that
    // send must leave no reply awaited, so that connecting again sends its first frame at once
    // and is not dropped for an answer the old connection never got.
    void resetDuringSendThenReconnect()
    {
#ifndef Q_OS_UNIX
        QSKIP("resets the fake port's connection through POSIX socket calls");
#else
        FakeMaya maya;
        Settings::Get().mayaCommandPort = maya.Port();
        Settings::Get().mayaSyncTimeout = 60000;
        TestSupport::LogCapture log;
        MayaSync sync;
        sync.SetPlaybackFrame(1, 0);
        sync.Connect();
        QTRY_COMPARE(maya.Scripts().size(), 1);
        QTRY_VERIFY(!sync.ReplyPending());

        auto* socket = sync.findChild<QTcpSocket*>();
        QVERIFY(socket);
        maya.ResetClients();
        // Wait for the reset to reach this end without letting Qt see it first: the send below
        // is then the first to learn of it.
        pollfd watched{static_cast<int>(socket->socketDescriptor()), POLLIN, 0};
        QCOMPARE(::poll(&watched, 1, 30000), 1);
        QVERIFY(watched.revents & (POLLHUP | POLLERR));

        QSignalSpy changed(&sync, &MayaSync::ConnectionChanged);
        sync.SetPlaybackFrame(2, 0);
        QVERIFY(!sync.IsConnected());
        QCOMPARE(changed.count(), 1);
        QVERIFY(!sync.ReplyPending());

        sync.SetPlaybackFrame(3, 0);
        sync.Connect();
        QVERIFY(sync.IsConnected());
        QTRY_COMPARE(maya.Scripts().size(), 2);
        QCOMPARE(maya.Scripts().at(1), TimeScript("3"));
        QTRY_VERIFY(!sync.ReplyPending());
        QVERIFY(sync.IsConnected());
        QVERIFY(!log.HasError(QStringLiteral("Timeout waiting for Maya Sync respose. Sync disconnected.")));
#endif
    }

    // The dialog as built, and its controls storing their settings.
    void dialogControls()
    {
        Settings& settings = Settings::Get();
        settings.mayaSyncOffset = 12;
        settings.mayaSyncMultiplier = 2.5f;
        settings.mayaSyncFromRangeStart = true;
        MayaToolsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Maya Tools"));
        QCOMPARE(dialog.minimumWidth(), 280);
        QCOMPARE(dialog.OffsetSpinBox()->value(), 12);
        QCOMPARE(dialog.OffsetSpinBox()->minimum(), -999999);
        QCOMPARE(dialog.OffsetSpinBox()->maximum(), 999999);
        QCOMPARE(dialog.MultiplierSpinBox()->value(), 2.5);
        QCOMPARE(dialog.MultiplierSpinBox()->minimum(), 0.1);
        QCOMPARE(dialog.MultiplierSpinBox()->maximum(), 10.0);
        QCOMPARE(dialog.MultiplierSpinBox()->singleStep(), 0.1);
        QVERIFY(dialog.FromRangeStartCheckBox()->isChecked());
        QCOMPARE(dialog.FromRangeStartCheckBox()->text(), QStringLiteral("From Range Start"));
        QCOMPARE(dialog.CurrentButton()->text(), QStringLiteral("Current"));
        QCOMPARE(dialog.CurrentButton()->width(), 50);
        QCOMPARE(dialog.ResetOffsetButton()->text(), QStringLiteral("Reset"));
        QCOMPARE(dialog.ResetOffsetButton()->width(), 50);
        QCOMPARE(dialog.ResetMultiplierButton()->text(), QStringLiteral("Reset"));
        QPushButton* sync = dialog.SyncButton();
        QCOMPARE(sync->text(), QStringLiteral("SYNC"));
        QCOMPARE(sync->objectName(), QStringLiteral("mayaSyncButton"));
        QCOMPARE(sync->styleSheet(), QStringLiteral("#mayaSyncButton {font-weight: bold; color:#ffffff}"));
        QCOMPARE(sync->height(), 24);

        QSignalSpy changed(&dialog, &MayaToolsDialog::SyncOptionsChanged);
        dialog.OffsetSpinBox()->setValue(-40);
        QCOMPARE(settings.mayaSyncOffset, -40);
        dialog.ResetOffsetButton()->click();
        QCOMPARE(settings.mayaSyncOffset, 0);
        QCOMPARE(dialog.OffsetSpinBox()->value(), 0);
        dialog.SetPlaybackFrame(42, 3);
        dialog.CurrentButton()->click();
        QCOMPARE(dialog.OffsetSpinBox()->value(), 42);
        QCOMPARE(settings.mayaSyncOffset, 42);
        dialog.MultiplierSpinBox()->setValue(0.7);
        QCOMPARE(settings.mayaSyncMultiplier, 0.7f);
        dialog.ResetMultiplierButton()->click();
        QCOMPARE(settings.mayaSyncMultiplier, 1.0f);
        QCOMPARE(dialog.MultiplierSpinBox()->value(), 1.0);
        dialog.SetMultiplier(50.0); // the spin box's range holds
        QCOMPARE(settings.mayaSyncMultiplier, 10.0f);
        dialog.FromRangeStartCheckBox()->click();
        QVERIFY(!settings.mayaSyncFromRangeStart);
        dialog.OnFromRangeStartToggled(true);
        QVERIFY(dialog.FromRangeStartCheckBox()->isChecked());
        QVERIFY(settings.mayaSyncFromRangeStart);
        QCOMPARE(changed.count(), 8);
    }

    // Stored options outside the spin boxes' ranges (a hand-edited settings file) become what the
    // spin boxes show, and that is what is sent.
    void storedOptionsOutOfRange()
    {
        FakeMaya maya;
        Settings& settings = Settings::Get();
        settings.mayaCommandPort = maya.Port();
        settings.mayaSyncTimeout = 60000;
        settings.mayaSyncMultiplier = 50.0f;
        settings.mayaSyncOffset = 5000000;
        MayaToolsDialog dialog;
        QCOMPARE(dialog.MultiplierSpinBox()->value(), 10.0);
        QCOMPARE(dialog.OffsetSpinBox()->value(), 999999);
        QCOMPARE(settings.mayaSyncMultiplier, 10.0f);
        QCOMPARE(settings.mayaSyncOffset, 999999);

        dialog.SetPlaybackFrame(3, 0);
        dialog.ToggleSync();
        QTRY_COMPARE(maya.Scripts().size(), 1);
        QCOMPARE(maya.Scripts().at(0), TimeScript("1000029")); // 3 x 10 + 999999
    }

    // Moving the shown dialog stores its geometry; showing it again where it was hidden puts it
    // back there.
    void geometry()
    {
        Settings& settings = Settings::Get();
        QVERIFY(settings.mayaToolsGeometry.isEmpty());
        MayaToolsDialog dialog;
        dialog.ShowAndActivate();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.move(123, 145);
        QTRY_VERIFY(!settings.mayaToolsGeometry.isEmpty());
        const QByteArray stored = settings.mayaToolsGeometry;
        const QPoint place = dialog.pos();
        dialog.hide();
        dialog.move(10, 10); // hidden: nothing stored
        QCOMPARE(settings.mayaToolsGeometry, stored);
        dialog.ShowAndActivate();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.pos(), place);
    }
};

QTEST_MAIN(TestMayaSync)
#include "tst_mayasync.moc"
