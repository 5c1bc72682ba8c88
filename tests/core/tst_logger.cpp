#include "core/Logger.h"
#include "tests/TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTemporaryFile>
#include <QThread>

#include <cstdio>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void eachOperationEmitsItsSignal()
    {
        Logger* logger = Logger::Instance();
        QSignalSpy errors(logger, &Logger::ErrorLogged);
        QSignalSpy warnings(logger, &Logger::WarningLogged);
        QSignalSpy infos(logger, &Logger::InfoLogged);
        QSignalSpy outputs(logger, &Logger::OutputLogged);
        QSignalSpy debug(logger, &Logger::DebugInfoLogged);
        Logger::error(QStringLiteral("e"));
        Logger::error(QStringLiteral("Failed to open codec."), -22);
        Logger::warning(QStringLiteral("w"));
        Logger::info(QStringLiteral("i"));
        Logger::output(QStringLiteral("o"));
        Logger::debugInfo(QStringLiteral("d"));
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("e"));
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Failed to open codec. (-22)"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(infos.size(), 1);
        QCOMPARE(outputs.size(), 1);
        QCOMPARE(debug.size(), 1);
    }

    // The text of an error with a code is user data (a file name, say): placeholders in it
    // are kept as they are, and only the code is added.
    void errorCodeLeavesPlaceholdersInTheText()
    {
        QSignalSpy errors(Logger::Instance(), &Logger::ErrorLogged);
        Logger::error(QStringLiteral("Failed to open /renders/a%2b%1c 100%.mov"), -5);
        Logger::error(QStringLiteral("%1"), 7);
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Failed to open /renders/a%2b%1c 100%.mov (-5)"));
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("%1 (7)"));
    }

    // Messages logged on other threads reach a main-thread receiver queued, all of them.
    void loggingFromManyThreads()
    {
        QStringList received;
        QObject receiver;
        connect(Logger::Instance(), &Logger::WarningLogged, &receiver, [&](const QString& text) {
            QCOMPARE(QThread::currentThread(), receiver.thread());
            received << text;
        });
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([t] {
                for (int i = 0; i < 250; ++i)
                    Logger::warning(QStringLiteral("%1:%2").arg(t).arg(i));
            });
            threads.last()->start();
        }
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(10000));
            delete thread;
        }
        QTRY_COMPARE(received.size(), 1000);
    }

    // Before a console shows messages every kind reaches standard error; while one does, only
    // errors and warnings.
    void standardErrorUntilConsole()
    {
#ifdef Q_OS_UNIX
        QTemporaryFile capture;
        QVERIFY(capture.open());
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        QVERIFY(saved >= 0);
        QVERIFY(dup2(capture.handle(), STDERR_FILENO) >= 0);
        Logger::SetStandardErrorEcho(true);
        Logger::info(QStringLiteral("Source: a.mov"));
        Logger::output(QStringLiteral("Plovex v1\n"));
        Logger::SetConsoleAttached(true);
        Logger::info(QStringLiteral("seen in the console only"));
        Logger::output(QStringLiteral("likewise"));
        Logger::warning(QStringLiteral("w"));
        Logger::SetConsoleAttached(false);
        Logger::error(QStringLiteral("e"));
        Logger::SetStandardErrorEcho(false);
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        capture.seek(0);
        QCOMPARE(QString::fromUtf8(capture.readAll()), QStringLiteral("Source: a.mov\nPlovex v1\n[WARNING] w\n[ERROR] e\n"));
#else
        QSKIP("standard error is redirected with POSIX calls");
#endif
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
