// The single-instance hand-over between real processes: this test process is the primary
// instance (it owns the shared-memory segment) and starts the program as later instances.
#include "app/PlovexBase.h"
#include "app/SingleApplication.h"
#include "core/Logger.h"
#include "project/Source.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

QTemporaryDir* g_home = nullptr;

QProcessEnvironment ChildEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), g_home->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// Starts the program with `arguments`; returns it once started.
std::unique_ptr<QProcess> Start(const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(ChildEnvironment());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(QStringLiteral(PLOVEX_BINARY), arguments);
    process->waitForStarted(30000);
    return process;
}

// Runs a later instance to its end; true when it forwarded and exited with code 0.
bool Forward(const QStringList& arguments)
{
    auto process = Start(arguments);
    return process->waitForFinished(60000) && process->exitStatus() == QProcess::NormalExit
           && process->exitCode() == 0;
}

// A later instance that must run on its own rather than forward: it goes on to open its
// file `missing` itself, which does not exist and says so, instead of exiting.
bool RunsIndependently(const QStringList& arguments, const QString& missing)
{
    QProcess process;
    process.setProcessEnvironment(ChildEnvironment());
    process.start(QStringLiteral(PLOVEX_BINARY), arguments);
    if (!process.waitForStarted(30000))
        return false;
    const QByteArray opened = QStringLiteral("File not found: %1").arg(missing).toUtf8();
    QByteArray errors;
    QElapsedTimer timer;
    timer.start();
    while (!errors.contains(opened) && process.state() == QProcess::Running && timer.elapsed() < 60000) {
        process.waitForReadyRead(100);
        errors += process.readAllStandardError();
    }
    errors += process.readAllStandardError();
    const bool ranOnItsOwn = errors.contains(opened);
    process.kill();
    process.waitForFinished(10000);
    if (!ranOnItsOwn)
        qWarning("%s", errors.constData());
    return ranOnItsOwn;
}

void WriteSettings(const QString& text)
{
    QDir(g_home->path()).mkpath(QStringLiteral("Documents/plovex/config"));
    QFile file(g_home->filePath(QStringLiteral("Documents/plovex/config/plovex.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    SingleApplication* app() { return static_cast<SingleApplication*>(qApp); }

    // What the primary receives at its next poll, or an empty list.
    QStringList Poll()
    {
        QSignalSpy spy(app(), &SingleApplication::MessageAvailable);
        app()->CheckForMessage();
        return spy.isEmpty() ? QStringList() : spy.first().first().toStringList();
    }

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        QVERIFY2(!app()->IsRunning(), "another instance owns the segment");
        Poll();
    }

    void init() { QFile::remove(g_home->filePath(QStringLiteral("Documents/plovex/config/plovex.ini"))); }

    void forwardsArgumentsAsTyped()
    {
        QVERIFY(Forward({QStringLiteral("c.mov"), QStringLiteral("relative/dir/d.wav")}));
        QCOMPARE(Poll(), (QStringList{QStringLiteral("c.mov"), QStringLiteral("relative/dir/d.wav")}));
        QCOMPARE(Poll(), QStringList()); // the area is empty again
    }

    void noArgumentsSendsNoargs()
    {
        QVERIFY(Forward({}));
        QCOMPARE(Poll(), QStringList{QStringLiteral("noargs")});
    }

    void lastRecordOfABatchWins()
    {
        QVERIFY(Forward({QStringLiteral("first.mov")}));
        QVERIFY(Forward({QStringLiteral("second.mov"), QStringLiteral("third.mov")}));
        QCOMPARE(Poll(), (QStringList{QStringLiteral("second.mov"), QStringLiteral("third.mov")}));
    }

    void newInstanceRunsOnItsOwn()
    {
        QVERIFY(RunsIndependently({QStringLiteral("--new"), QStringLiteral("x.mov")}, QStringLiteral("x.mov")));
        QVERIFY(RunsIndependently({QStringLiteral("x.mov"), QStringLiteral("-n")}, QStringLiteral("x.mov")));
        QCOMPARE(Poll(), QStringList());
    }

    void openMediaInNewPlayersSetting()
    {
        WriteSettings(QStringLiteral("[preferences]\nopenMediaInNewPlayers=true\n"));
        QVERIFY(RunsIndependently({QStringLiteral("y.mov")}, QStringLiteral("y.mov")));
        QCOMPARE(Poll(), QStringList());
    }

    // A long list (a handful of studio paths, with spaces and non-ASCII letters) is handed
    // over whole, by a real later start.
    void longArgumentListArrivesWhole()
    {
        QStringList paths;
        for (int i = 0; i < 40; ++i) {
            QString path = QStringLiteral("/studio/projects/Épisode %1/séquence 0%1/plan ünï кадр %1/").arg(i);
            path += QString(120 - 4 - path.size(), QLatin1Char('x')) + QStringLiteral(".mov");
            QCOMPARE(path.size(), 120);
            paths << path;
        }
        QVERIFY(paths.join(SingleApplication::kSeparator).toUtf8().size() > 5000);
        QVERIFY(Forward(paths));
        QCOMPARE(Poll(), paths);
    }

    // One instance runs per user login: users sharing the machine do not see each other.
    void keyIsPerUser()
    {
        QVERIFY(app()->Key().startsWith(QStringLiteral("pXUniqueIdentifier")));
#ifdef Q_OS_LINUX
        QVERIFY2(app()->Key().contains(QString::number(getuid())), qPrintable(app()->Key()));
#endif
    }

    // A list that cannot fit in the area is refused with a reason, and nothing is written.
    void tooLongIsRefused()
    {
        TestSupport::LogCapture log;
        const QString huge(SingleApplication::kSegmentSize, QLatin1Char('h'));
        QVERIFY(!app()->SendMessage({QStringLiteral("program"), huge}, true));
        QCOMPARE(log.warnings,
                 QStringList{QStringLiteral("The arguments are too long to hand to the running instance "
                                            "(%1 bytes, at most %2).")
                                 .arg(SingleApplication::kSegmentSize)
                                 .arg(SingleApplication::kSegmentSize - 2 * SingleApplication::kLengthBytes)});
        QCOMPARE(Poll(), QStringList());
    }

    // A full area refuses further records instead of writing past the segment.
    void fullAreaRefuses()
    {
        constexpr qint64 size = SingleApplication::kSegmentSize;
        constexpr qint64 lengthBytes = SingleApplication::kLengthBytes;
        const QString text(size / 4, QLatin1Char('z'));
        qint64 written = 0;
        while (app()->SendMessage({QStringLiteral("program"), text}, true))
            ++written;
        QCOMPARE(written, (size - lengthBytes) / (text.size() + lengthBytes));
        // A record that takes what is left, with the end marker, fills the area exactly.
        const QString last(size - written * (text.size() + lengthBytes) - 2 * lengthBytes, QLatin1Char('y'));
        QVERIFY(app()->SendMessage({QStringLiteral("program"), last}, true));
        QVERIFY(!app()->SendMessage({QStringLiteral("program"), QStringLiteral("x")}, true));
        QVERIFY(RunsIndependently({QStringLiteral("late.mov")}, QStringLiteral("late.mov"))); // no room to forward
        QCOMPARE(Poll(), QStringList{last});
        QVERIFY(app()->SendMessage({QStringLiteral("program"), QStringLiteral("again.mov")}, true));
        QCOMPARE(Poll(), QStringList{QStringLiteral("again.mov")});
    }

    // The whole road: a later start names a file, the window of this instance opens it.
    void windowTakesForwardedFiles()
    {
        PlovexBase window({});
        connect(app(), &SingleApplication::MessageAvailable, &window, &PlovexBase::ProcessMessageFromOtherInstance);
        app()->StartMessagePolling();
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        QSignalSpy parsed(&window, &PlovexBase::SourceParsed);
        QVERIFY(Forward({clip}));
        QTRY_COMPARE_WITH_TIMEOUT(parsed.size(), 1, 30000);
        QCOMPARE(window.Sources().size(), 1);
        QCOMPARE(window.Sources().first()->Path(), clip);
        QCOMPARE(window.Sources().first()->FrameCount(), 25);
        QVERIFY(window.isVisible());
        // The same single file again adds nothing. The window handles a message as it is
        // taken, before the spy (connected later) sees it.
        QSignalSpy taken(app(), &SingleApplication::MessageAvailable);
        QVERIFY(Forward({clip}));
        QTRY_COMPARE_WITH_TIMEOUT(taken.size(), 1, 30000);
        QCOMPARE(taken.first().first().toStringList(), QStringList{clip});
        QCOMPARE(window.Sources().size(), 1);
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    g_home = &home;
    qputenv("HOME", home.path().toLocal8Bit());
    SingleApplication app(argc, argv, QStringLiteral("pXUniqueIdentifier"));
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
