#include "core/CommandTable.h"
#include "core/Logger.h"
#include "tests/TestSupport.h"

#include <QAction>
#include <QObject>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// A table with an action attached to every command, as the window makes it.
struct Attached
{
    explicit Attached(const QString& path)
        : table(path)
    {
        for (const Command& command : table.Commands()) {
            actions.push_back(std::make_unique<QAction>());
            table.AttachAction(command.id, actions.back().get());
        }
    }
    QAction* Action(int id) const { return table.Find(id)->action; }

    CommandTable table;
    std::vector<std::unique_ptr<QAction>> actions;
};

QList<QKeySequence> Keys(std::initializer_list<const char*> texts)
{
    QList<QKeySequence> keys;
    for (const char* text : texts)
        keys.append(QKeySequence(QString::fromLatin1(text)));
    return keys;
}

void WriteBindings(const QString& path, const QString& name, const QStringList& value)
{
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("user_bindings/") + name, value);
    file.sync();
}

} // namespace

class TestCommandTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    // The 126 commands in their fixed order, with the spellings users' files use, applied
    // without a single conflict among the defaults.
    void defaultTable()
    {
        TestSupport::LogCapture log;
        Attached attached{QString()};
        attached.table.Apply();
        QVERIFY2(log.warnings.isEmpty(), qPrintable(log.warnings.join('\n')));

        const QList<Command>& commands = attached.table.Commands();
        QCOMPARE(commands.size(), CommandId::kCount);
        QSet<QString> names;
        for (int i = 0; i < commands.size(); ++i) {
            QCOMPARE(commands.at(i).id, i + 1);
            QVERIFY(!commands.at(i).name.isEmpty());
            names.insert(commands.at(i).name);
        }
        QCOMPARE(names.size(), CommandId::kCount);

        const CommandTable& table = attached.table;
        QCOMPARE(table.Find(CommandId::TooglePingPong)->name, QStringLiteral("tooglePingPong"));
        QCOMPARE(table.Find(CommandId::AnnotationsOffDuringPlayback)->label, QStringLiteral("Annoations Off During Playback"));
        QCOMPARE(table.Find(CommandId::AnnotationsOff)->label, QStringLiteral("Annoatations Off"));
        QCOMPARE(table.FindByName(QStringLiteral("toggleConsole"))->id, 110);
        QCOMPARE(table.Find(CommandId::IncreasePlaybackSpeed)->defaultShortcuts, Keys({"+", "="}));
        QCOMPARE(table.Find(CommandId::ZoomIn)->defaultShortcuts, Keys({"Ctrl++", "Ctrl+="}));
        QCOMPARE(table.Find(CommandId::ToggleLoopOnStepScrub)->defaultShortcuts, Keys({"Ctrl+Shift+;"}));
        QCOMPARE(table.Find(CommandId::RangeStartToCurrent)->defaultShortcuts, Keys({","}));
        QCOMPARE(table.Find(CommandId::ResetPanZoom)->defaultShortcuts, Keys({"Ctrl+\\"}));
        QCOMPARE(table.Find(CommandId::ImportFolder)->defaultShortcuts, QList<QKeySequence>{});
        // Standard keys carry every binding the platform has.
        QCOMPARE(table.Find(CommandId::Redo)->defaultShortcuts, QKeySequence::keyBindings(QKeySequence::Redo));
        QVERIFY(!table.Find(CommandId::Redo)->defaultShortcuts.isEmpty());
        QCOMPARE(attached.Action(CommandId::Undo)->shortcuts(), QKeySequence::keyBindings(QKeySequence::Undo));

        for (int id : {10, 11, 14})
            QVERIFY(!table.Find(id)->bindable);
        for (int id : {125, 126})
            QVERIFY(table.Find(id)->fixed);
        QCOMPARE(attached.Action(CommandId::ApplicationEsc)->shortcut(), QKeySequence(Qt::Key_Escape));
        QCOMPARE(attached.Action(CommandId::ApplicationDel)->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(attached.Action(CommandId::PlayPause)->shortcut(), QKeySequence(Qt::Key_Space));
    }

    // Every default written and read back is the same, the awkward keys included; so are
    // user keys made of the characters the file format treats specially.
    void savedAndLoadedAlike()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plovex_bindings.ini"));
        {
            CommandTable table(path);
            table.SetCurrentShortcuts(CommandId::ImportFolder, Keys({"Ctrl+,", "Ctrl++", "\\", "Ctrl+Shift+;", ";"}));
            table.SetCurrentShortcuts(CommandId::SeekStart, {});
            QVERIFY(table.SaveBindings());
        }
        QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("main/version")).toInt(), 1);
        QCOMPARE(file.value(QStringLiteral("user_bindings/seekStart")).toStringList(), QStringList{QString()});
        QVERIFY(!file.contains(QStringLiteral("user_bindings/applicationEsc")));
        QVERIFY(!file.contains(QStringLiteral("user_bindings/saveSourceAs")));

        CommandTable loaded(path);
        loaded.LoadBindings();
        const CommandTable defaults{QString()};
        for (const Command& command : loaded.Commands()) {
            if (command.id == CommandId::ImportFolder || command.id == CommandId::SeekStart)
                continue;
            QCOMPARE(command.currentShortcuts, defaults.Find(command.id)->defaultShortcuts);
        }
        QCOMPARE(loaded.Find(CommandId::ImportFolder)->currentShortcuts,
                 Keys({"Ctrl+,", "Ctrl++", "\\", "Ctrl+Shift+;", ";"}));
        // One empty string: no shortcut at all, although the default has one.
        QCOMPARE(loaded.Find(CommandId::SeekStart)->currentShortcuts, QList<QKeySequence>{});
    }

    // Space bound to pause: the earlier play/pause keeps it, pause loses it with one warning.
    void duplicateKeyStaysWithTheEarlierCommand()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plovex_bindings.ini"));
        WriteBindings(path, QStringLiteral("pause"), {QStringLiteral("Space")});
        TestSupport::LogCapture log;
        Attached attached(path);
        attached.table.LoadBindings();
        QCOMPARE(log.warnings, QStringList{QStringLiteral("Duplicate hotkey detected: Pause (Space)")});
        QCOMPARE(attached.Action(CommandId::PlayPause)->shortcuts(), QList<QKeySequence>{QKeySequence(Qt::Key_Space)});
        QCOMPARE(attached.Action(CommandId::Pause)->shortcuts(), QList<QKeySequence>{QKeySequence()});
        // The user's choice is kept as written: saving does not lose it.
        QCOMPARE(attached.table.Find(CommandId::Pause)->currentShortcuts, Keys({"Space"}));
    }

    void undefinedKeyMeansTheDefaults()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plovex_bindings.ini"));
        WriteBindings(path, QStringLiteral("toggleLoop"), {QStringLiteral("UndefinedKey"), QStringLiteral("F12")});
        WriteBindings(path, QStringLiteral("toggleMute"), {QStringLiteral("not a key at all")});
        CommandTable table(path);
        table.LoadBindings();
        QCOMPARE(table.Find(CommandId::ToggleLoop)->currentShortcuts, Keys({"Ctrl+L", "F12"}));
        QCOMPARE(table.Find(CommandId::ToggleMute)->currentShortcuts, QList<QKeySequence>{});
    }

    // Esc and Del are the program's own, whatever a file says.
    void fixedCommandsKeepTheirKeys()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plovex_bindings.ini"));
        WriteBindings(path, QStringLiteral("applicationEsc"), {QStringLiteral("F1")});
        WriteBindings(path, QStringLiteral("toggleBookmark"), {QStringLiteral("Esc")});
        TestSupport::LogCapture log;
        Attached attached(path);
        attached.table.LoadBindings();
        QCOMPARE(attached.Action(CommandId::ApplicationEsc)->shortcut(), QKeySequence(Qt::Key_Escape));
        QCOMPARE(attached.table.Find(CommandId::ApplicationEsc)->currentShortcuts, Keys({"Esc"}));
        // Another command given Esc by the file loses it to the fixed command, and the user is
        // told so.
        QCOMPARE(log.warnings, QStringList{QStringLiteral("Duplicate hotkey detected: Toggle Bookmark (Esc)")});
        QCOMPARE(attached.Action(CommandId::ToggleBookmark)->shortcuts(), QList<QKeySequence>{QKeySequence()});
        attached.table.SetCurrentShortcuts(CommandId::ApplicationDel, Keys({"F2"}));
        QCOMPARE(attached.table.Find(CommandId::ApplicationDel)->currentShortcuts, Keys({"Del"}));
    }

    // The preferences dialog edits a copy: nothing changes until the copy is handed back, and
    // a copy restored to the defaults and dropped changes nothing.
    void editedCopy()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plovex_bindings.ini"));
        Attached attached(path);
        attached.table.SetCurrentShortcuts(CommandId::ToggleLoop, Keys({"F12"}));
        attached.table.Apply();
        {
            CommandTable copy = attached.table.EditableCopy();
            QVERIFY(!copy.Find(CommandId::ToggleLoop)->action);
            copy.RestoreDefaults();
            QCOMPARE(copy.Find(CommandId::ToggleLoop)->currentShortcuts, Keys({"Ctrl+L"}));
        }
        QCOMPARE(attached.Action(CommandId::ToggleLoop)->shortcuts(), Keys({"F12"}));
        QVERIFY(!QFile::exists(path));

        CommandTable copy = attached.table.EditableCopy();
        copy.SetCurrentShortcuts(CommandId::ToggleMute, Keys({"Ctrl+Shift+9"}));
        attached.table.ReplaceFromCopy(copy);
        QCOMPARE(attached.Action(CommandId::ToggleMute)->shortcuts(), Keys({"Ctrl+Shift+9"}));
        QCOMPARE(attached.Action(CommandId::ToggleLoop)->shortcuts(), Keys({"F12"}));
        CommandTable reloaded(path);
        reloaded.LoadBindings();
        QCOMPARE(reloaded.Find(CommandId::ToggleMute)->currentShortcuts, Keys({"Ctrl+Shift+9"}));
    }

    // Without a settings folder there is nothing to read or write.
    void noBindingsFile()
    {
        CommandTable table{QString()};
        table.SetCurrentShortcuts(CommandId::ToggleLoop, Keys({"F12"}));
        table.LoadBindings();
        QCOMPARE(table.Find(CommandId::ToggleLoop)->currentShortcuts, Keys({"F12"}));
        QVERIFY(!table.SaveBindings());
        table.AttachAction(0, nullptr); // unknown ids are ignored
        table.AttachAction(127, nullptr);
    }
};

QTEST_MAIN(TestCommandTable)
#include "tst_commandtable.moc"
