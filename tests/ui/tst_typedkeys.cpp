#include "core/CommandTable.h"
#include "core/Logger.h"
#include "tests/TestSupport.h"

#include <QAction>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

namespace {

// The X key name of a Qt key, as xdotool types it; empty for keys this test does not type.
QString KeyName(Qt::Key key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QString(QChar(u'a' + (key - Qt::Key_A)));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(u'0' + (key - Qt::Key_0)));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    static const QHash<int, QString> names{
        {Qt::Key_Space, QStringLiteral("space")},         {Qt::Key_Left, QStringLiteral("Left")},
        {Qt::Key_Right, QStringLiteral("Right")},         {Qt::Key_Up, QStringLiteral("Up")},
        {Qt::Key_Down, QStringLiteral("Down")},           {Qt::Key_Home, QStringLiteral("Home")},
        {Qt::Key_End, QStringLiteral("End")},             {Qt::Key_Escape, QStringLiteral("Escape")},
        {Qt::Key_Delete, QStringLiteral("Delete")},       {Qt::Key_Comma, QStringLiteral("comma")},
        {Qt::Key_Period, QStringLiteral("period")},       {Qt::Key_Backslash, QStringLiteral("backslash")},
        {Qt::Key_BracketLeft, QStringLiteral("bracketleft")}, {Qt::Key_BracketRight, QStringLiteral("bracketright")},
        {Qt::Key_Semicolon, QStringLiteral("semicolon")}, {Qt::Key_Minus, QStringLiteral("minus")},
        {Qt::Key_Equal, QStringLiteral("equal")},         {Qt::Key_Plus, QStringLiteral("plus")},
        {Qt::Key_O, QStringLiteral("o")},
    };
    return names.value(key);
}

// "ctrl+shift+semicolon" for Ctrl+Shift+;
QString Typed(const QKeySequence& sequence)
{
    if (sequence.count() != 1)
        return {};
    const QKeyCombination combination = sequence[0];
    const QString key = KeyName(combination.key());
    if (key.isEmpty())
        return {};
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("ctrl");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("alt");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("shift");
    parts << key;
    return parts.join('+');
}

} // namespace

// Every default shortcut typed on the display's (US) keyboard, as a person types it, reaches
// its command: keys that need Shift on that keyboard ("+", Ctrl+Shift+;, Ctrl+Shift+2)
// included.
class TestTypedKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        const bool required = qEnvironmentVariableIsSet("PLOVEX_GL_REQUIRED");
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            if (required)
                QFAIL("no X display, although scripts/test.sh provides one");
            QSKIP("needs an X display");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            if (required)
                QFAIL("xdotool is not installed (scripts/install-deps.sh installs it)");
            QSKIP("xdotool is not installed");
        }
    }

    void defaultShortcutsReachTheirCommands()
    {
        CommandTable table{QString()};
        QWidget window;
        window.resize(200, 200);
        std::vector<std::unique_ptr<QAction>> actions;
        int triggered = 0;
        for (const Command& command : table.Commands()) {
            actions.push_back(std::make_unique<QAction>());
            QAction* action = actions.back().get();
            window.addAction(action);
            table.AttachAction(command.id, action);
            connect(action, &QAction::triggered, this, [&triggered, id = command.id] { triggered = id; });
        }
        table.Apply();
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QStringList missed;
        int typedCount = 0;
        for (const Command& command : table.Commands()) {
            for (const QKeySequence& sequence : command.action->shortcuts()) {
                const QString typed = Typed(sequence);
                if (typed.isEmpty())
                    continue;
                ++typedCount;
                triggered = 0;
                QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), typed}), 0);
                if (!QTest::qWaitFor([&] { return triggered != 0; }, 2000) || triggered != command.id)
                    missed << QStringLiteral("%1 %2 typed as %3 reached %4")
                                  .arg(command.name, sequence.toString(), typed)
                                  .arg(triggered);
                if (!window.isActiveWindow()) { // a key that closes or hides windows
                    window.activateWindow();
                    QVERIFY(QTest::qWaitForWindowActive(&window));
                }
            }
        }
        QVERIFY2(missed.isEmpty(), qPrintable(missed.join('\n')));
        QVERIFY(typedCount > 100);
    }
};

QTEST_MAIN(TestTypedKeys)
#include "tst_typedkeys.moc"
