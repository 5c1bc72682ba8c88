#include "core/Logger.h"
#include "core/Settings.h"
#include "tests/TestSupport.h"
#include "ui/ConsoleOutput.h"
#include "ui/ConsoleWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThread>

namespace {

// The colour given to `length` characters from `start` of the first line holding `text`.
QColor ColourAt(const QPlainTextEdit* pane, const QString& text, int offset)
{
    for (QTextBlock block = pane->document()->begin(); block.isValid(); block = block.next()) {
        const int at = static_cast<int>(block.text().indexOf(text));
        if (at < 0)
            continue;
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            if (range.start <= at + offset && at + offset < range.start + range.length)
                return range.format.foreground().color();
        return {};
    }
    return {};
}

void Drain()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

class TestConsoleWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void init()
    {
        Settings::ResetToDefaults();
        Drain(); // messages of the test before go nowhere
    }

    // An error logged on a worker thread pops the hidden console up with the tag in red;
    // the rest of the line keeps the pane's colour.
    void workerErrorPopsUp()
    {
        ConsoleWindow console;
        QVERIFY(console.isHidden());
        QThread* worker = QThread::create([] { Logger::error(QStringLiteral("Failed to open file: a.mov")); });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        QTRY_VERIFY(console.isVisible());
        QCOMPARE(console.OutputPane()->toPlainText(), QStringLiteral("[ERROR] Failed to open file: a.mov\n"));
        QCOMPARE(ColourAt(console.OutputPane(), QStringLiteral("[ERROR]"), 0), QColor(Qt::red));
        QCOMPARE(ColourAt(console.OutputPane(), QStringLiteral("[ERROR]"), 6), QColor(Qt::red));
        QVERIFY(ColourAt(console.OutputPane(), QStringLiteral("[ERROR]"), 8) != QColor(Qt::red));
    }

    // Every message is appended; the window shows only for kinds at or above "Show on".
    void showOnLevels_data()
    {
        QTest::addColumn<int>("showOn");
        QTest::addColumn<QList<bool>>("shows"); // error, warning, info, output
        QTest::newRow("Disabled") << 0 << QList<bool>{false, false, false, false};
        QTest::newRow("Errors Only") << 1 << QList<bool>{true, false, false, false};
        QTest::newRow("Errors and Warnings") << 2 << QList<bool>{true, true, false, false};
        QTest::newRow("Errors, Warnings and Info") << 3 << QList<bool>{true, true, true, false};
        QTest::newRow("Any Output") << 4 << QList<bool>{true, true, true, true};
        QTest::newRow("unset means Errors Only") << -1 << QList<bool>{true, false, false, false};
        QTest::newRow("out of range means Errors Only") << 9 << QList<bool>{true, false, false, false};
    }

    void showOnLevels()
    {
        QFETCH(int, showOn);
        QFETCH(QList<bool>, shows);
        Settings::Get().consoleShowOnType = showOn;
        const QList<void (*)(const QString&)> loggers{
            [](const QString& t) { Logger::error(t); }, [](const QString& t) { Logger::warning(t); },
            [](const QString& t) { Logger::info(t); }, [](const QString& t) { Logger::output(t); }};
        for (int kind = 0; kind < loggers.size(); ++kind) {
            ConsoleWindow console;
            QCOMPARE(console.ShowOnType(), showOn >= 0 && showOn <= 4 ? showOn : 1);
            loggers.at(kind)(QStringLiteral("message"));
            Drain();
            QVERIFY(console.OutputPane()->toPlainText().contains(QStringLiteral("message")));
            QCOMPARE(console.isVisible(), shows.at(kind));
        }
    }

    // Outputs carry their own line ends; the other kinds end their line. "[ERROR]" within an
    // info line is coloured too, "[WARNING]" yellow.
    void appendedText()
    {
        Settings::Get().consoleShowOnType = 0;
        ConsoleWindow console;
        Logger::output(QStringLiteral("Plovex"));
        Logger::output(QStringLiteral(" v1\n"));
        Logger::info(QStringLiteral("saw [ERROR] in a name"));
        Logger::warning(QStringLiteral("careful"));
        Drain();
        QCOMPARE(console.OutputPane()->toPlainText(),
                 QStringLiteral("Plovex v1\nsaw [ERROR] in a name\n[WARNING] careful\n"));
        QCOMPARE(ColourAt(console.OutputPane(), QStringLiteral("[ERROR]"), 1), QColor(Qt::red));
        QCOMPARE(ColourAt(console.OutputPane(), QStringLiteral("[WARNING]"), 1), QColor(Qt::yellow));
        QVERIFY(!console.isVisible());
    }

    // A message logged on a worker before one logged on the main thread comes first.
    void messagesKeepTheirOrder()
    {
        Settings::Get().consoleShowOnType = 0;
        ConsoleWindow console;
        for (int i = 0; i < 20; ++i) {
            QThread* worker = QThread::create([i] { Logger::info(QStringLiteral("worker %1").arg(i)); });
            worker->start();
            QVERIFY(worker->wait(10000));
            delete worker;
            Logger::info(QStringLiteral("main %1").arg(i));
        }
        Drain();
        QStringList expected;
        for (int i = 0; i < 20; ++i)
            expected << QStringLiteral("worker %1").arg(i) << QStringLiteral("main %1").arg(i);
        QCOMPARE(console.OutputPane()->toPlainText(), expected.join('\n') + '\n');
    }

    // The command line hands what was typed to the owner and empties itself; the script
    // pane's three keys pick the whole script, the current line or the selection.
    void commandAndScript()
    {
        ConsoleWindow console;
        console.show();
        QSignalSpy commands(&console, &ConsoleWindow::CommandExecuted);
        QSignalSpy scripts(&console, &ConsoleWindow::ScriptExecuted);
        QTest::keyClicks(console.CommandField(), QStringLiteral("reset audio"));
        QTest::keyClick(console.CommandField(), Qt::Key_Return);
        QCOMPARE(commands.size(), 1);
        QCOMPARE(commands.at(0).at(0).toString(), QStringLiteral("reset audio"));
        QVERIFY(console.CommandField()->text().isEmpty());

        QPlainTextEdit* script = console.ScriptPane();
        script->setPlainText(QStringLiteral("first\n  second line  \nthird"));
        QTextCursor cursor = script->textCursor();
        cursor.setPosition(8); // inside "second line"
        script->setTextCursor(cursor);
        QTest::keyClick(script, Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(script, Qt::Key_Enter, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(script, Qt::Key_Return, Qt::ControlModifier); // no selection: all
        cursor.setPosition(0);
        cursor.setPosition(10, QTextCursor::KeepAnchor); // across a line end
        script->setTextCursor(cursor);
        QTest::keyClick(script, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(scripts.size(), 4);
        QCOMPARE(scripts.at(0).at(0).toString(), QStringLiteral("second line"));
        QCOMPARE(scripts.at(1).at(0).toString(), QStringLiteral("first\n  second line  \nthird"));
        QCOMPARE(scripts.at(2).at(0).toString(), QStringLiteral("first\n  second line  \nthird"));
        QCOMPARE(scripts.at(3).at(0).toString(), QStringLiteral("first\n  se"));
        // The keys ran scripts; they typed nothing.
        QCOMPARE(script->toPlainText(), QStringLiteral("first\n  second line  \nthird"));
    }

    // The chosen "Show on" and the window's place are kept in the settings.
    void settingsKept()
    {
        {
            ConsoleWindow console;
            console.ShowOnBox()->setCurrentIndex(console.ShowOnBox()->findData(2));
            QCOMPARE(Settings::Get().consoleShowOnType, 2);
            console.show();
            console.setGeometry(120, 140, 420, 330);
            QTRY_VERIFY(!Settings::Get().consoleWindowGeometry.isEmpty());
        }
        ConsoleWindow again;
        QCOMPARE(again.ShowOnType(), 2);
        again.show();
        QTRY_COMPARE(again.size(), QSize(420, 330));
    }

    void clearAndSave()
    {
        Settings::Get().consoleShowOnType = 0;
        ConsoleWindow console;
        Logger::error(QStringLiteral("one"));
        Logger::info(QStringLiteral("twö"));
        Drain();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("console.log"));
        QVERIFY(console.OutputPane()->SaveToFile(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), QStringLiteral("[ERROR] one\ntwö\n"));
        TestSupport::LogCapture log;
        QVERIFY(!console.OutputPane()->SaveToFile(dir.filePath(QStringLiteral("no/such/folder/x.log"))));
        QCOMPARE(log.errors.size(), 1);
        console.ClearOutput();
        QVERIFY(console.OutputPane()->toPlainText().isEmpty());
    }
};

QTEST_MAIN(TestConsoleWindow)
#include "tst_consolewindow.moc"
