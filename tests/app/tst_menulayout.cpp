#include "app/MenuLayout.h"
#include "core/CommandId.h"
#include "core/CommandTable.h"
#include "core/Logger.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

// The menu bar as text: a line per menu, item (with "[x]" when checkable and " = " with its
// shortcuts when it has any), separator ("---") and submenu (its title and ">"), indented by
// depth.
void Dump(const QMenu& menu, int depth, QStringList& lines)
{
    const QString indent(depth * 2, QLatin1Char(' '));
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator())
            lines << indent + QStringLiteral("---");
        else if (const QMenu* sub = action->menu()) {
            lines << indent + sub->title() + QStringLiteral(" >");
            Dump(*sub, depth + 1, lines);
        } else {
            QString line = indent + action->text() + (action->isCheckable() ? QStringLiteral(" [x]") : QString());
            QStringList keys;
            for (const QKeySequence& key : action->shortcuts())
                keys << key.toString(QKeySequence::PortableText);
            if (!keys.isEmpty())
                line += QStringLiteral(" = ") + keys.join(QStringLiteral(", "));
            lines << line;
        }
    }
}

QStringList Dump(const QMenuBar& bar)
{
    QStringList lines;
    for (const QAction* action : bar.actions()) {
        lines << action->menu()->title();
        Dump(*action->menu(), 1, lines);
    }
    return lines;
}

// The menu bar of the description, written out by hand with the default shortcuts; "{Open}" and
// the like stand for the platform's standard keys.
const char* const kMenuBar = R"(File
  Import File(s)... = {Open}
  Import Folder...
  ---
  New Project = {New}
  Open Project... = Ctrl+Shift+O
  Import Project...
  ---
  Save Project = {Save}
  Save Project As... = Ctrl+Shift+S
  ---
  Export to File... = Ctrl+E
  Capture Image >
    To Clipboard = Ctrl+C
    To Folder... = Ctrl+Shift+C
  ---
  Open New Instance
  ---
  Recent Files >
  Recent Projects >
  ---
  Exit = Alt+F4
Edit
  Undo = {Undo}
  Redo = {Redo}
  ---
  Range Start to Current = ,
  Range End to Current = .
  Reset Range = Ctrl+P
  ---
  Always on Top [x] = Ctrl+K
  ---
  Project Settings... = Ctrl+Alt+P
  Preferences... = Ctrl+Shift+P
Playback
  Speed >
    Normal = 0
    Half = 9
    Quarter = 8
    ---
    Increase = +, =
    Decrease = -
    ---
    Toggle Last = Ctrl+0
  ---
  Play/Pause = Space
  Play/Pause (Bookmarks Only) = Ctrl+Space
  Play Forwards = L
  Play Backwards = J
  Pause = K
  ---
  Frame Step >
    Step Forwards = Right
    Step Backwards = Left
    Multi-Step Forwards = Alt+Right
    Multi-Step Backwards = Alt+Left
  ---
  Go to Start = Home
  Go to End = End
  Go to Range Start = Ctrl+Left
  Go to Range End = Ctrl+Right
  Go to Previous Edit = Shift+Left
  Go to Next Edit = Shift+Right
  ---
  Looping >
    Toggle = Ctrl+L
    ---
    Play Once [x]
    Loop [x]
    Ping Pong [x]
  ---
  Stepping and Scrubbing >
    Loop on Step/Scrub [x] = Ctrl+Shift+;
    ---
    Loop Step/Scrub to Range [x]
    Lock Step/Scrub to Range [x]
  ---
  Autoplay [x] = Ctrl+A
Audio
  Increase Volume = Shift+Up
  Decrease Volume = Shift+Down
  Mute = Ctrl+M
  ---
  Audio Scrub [x] = Ctrl+Shift+A
Video
  Layout >
    A/B [x] = Ctrl+V
    Horizontal [x] = Ctrl+Shift+V
    Vertical [x] = Ctrl+Alt+V
    Grid [x]
  ---
  Annotations >
    On [x]
    Off During Playback [x]
    Off [x]
  Overlays >
    Off [x]
    Safe Area [x]
    Grid [x]
    Center [x]
  A/B Wipe >
    Toggle A/B Wipe = W
    Reset A/B Wipe = Ctrl+Shift+W
    ---
    Snap on Move/Rotate [x]
    Snap Guides [x]
  ---
  Size >
    Original Size = Ctrl+1
    ---
    Half Size = Ctrl+2
    Quarter Size = Ctrl+3
    ---
    Double Size = Ctrl+Shift+2
  Fullscreen [x] = F11
  ---
  Pan/Zoom >
    Zoom In = Ctrl++, Ctrl+=
    Zoom Out = Ctrl+-
    ---
    Toggle Pan/Zoom = \
    Reset Pan/Zoom = Ctrl+\
  ---
  Rotate CW = Ctrl+Shift+M
  Rotate CCW = Ctrl+Shift+N
  Flip Horizontal [x] = Ctrl+X
  Flip Vertical [x] = Ctrl+Shift+X
  Reset Flip/Rotate = Ctrl+Alt+Shift+X
Bookmarks
  Toggle Bookmark = F
  Toggle Range Bookmark = R
  ---
  Cut Bookmark = Shift+X
  Copy Bookmark = Shift+C
  Paste Bookmark = Shift+V
  ---
  Remove >
    Bookmarks = Ctrl+Shift+F
    Bookmarks in Range = Ctrl+Alt+F
    ---
    Range Bookmarks = Ctrl+Shift+R
    ---
    Clear All = Ctrl+Alt+Shift+F
  ---
  Previous Bookmark = [
  Next Bookmark = ]
  Previous Range Bookmark = Ctrl+[
  Next Range Bookmark = Ctrl+]
Tools
  Swap A/B Timelines = Ctrl+T
  Clear All Viewer Timelines
  ---
  Global Time Control [x] = F2
  Range Time Control [x] = F3
  Swap Time Controls = Ctrl+Shift+T
  ---
  Playback Controls [x] = F4
  Viewer Controls [x] = F5
  Menu Bar [x] = F6
  ---
  Side Bar [x] = Ctrl+B
  Move Side Bar %1
  ---
  Annotation Tools [x] = F8
  ---
  Media Info [x] = F9
  Console = F10
  ---
  Maya Tools = Ctrl+Alt+M
Help
  Documentation...
  Keyboard Shortcuts
  ---
  About...)";

} // namespace

class TestMenuLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    // Every menu, item, separator, submenu, check mark and default shortcut in order; without
    // the undo history the Edit menu starts at the range items.
    void menuBarAsDescribed()
    {
        QMainWindow window;
        CommandTable commands;
        const MenuLayout::Built actions = MenuLayout::CreateActions(window, commands);
        commands.Apply();
        MenuLayout::FillMenuBar(*window.menuBar(), actions, true);
        QString text = QString::fromUtf8(kMenuBar);
        const std::pair<const char*, QKeySequence::StandardKey> standard[] = {
            {"{Open}", QKeySequence::Open}, {"{New}", QKeySequence::New}, {"{Save}", QKeySequence::Save},
            {"{Undo}", QKeySequence::Undo}, {"{Redo}", QKeySequence::Redo}};
        for (const auto& [name, key] : standard) {
            QStringList keys;
            for (const QKeySequence& sequence : QKeySequence::keyBindings(key))
                keys << sequence.toString(QKeySequence::PortableText);
            text.replace(QString::fromLatin1(name), keys.join(QStringLiteral(", ")));
        }
        const QStringList expected = text.split(QLatin1Char('\n'));
        const QStringList actual = Dump(*window.menuBar());
        for (qsizetype i = 0; i < std::min(expected.size(), actual.size()); ++i)
            QCOMPARE(actual.at(i), expected.at(i));
        QCOMPARE(actual.size(), expected.size());

        QMainWindow plain;
        CommandTable others;
        MenuLayout::FillMenuBar(*plain.menuBar(), MenuLayout::CreateActions(plain, others), false);
        const QStringList edit = Dump(*plain.menuBar());
        const qsizetype at = edit.indexOf(QStringLiteral("Edit"));
        QCOMPARE(edit.at(at + 1), QStringLiteral("  Range Start to Current"));
    }

    // Every command has an action, attached to the table and added to the window; the speed
    // and size actions carry their values.
    void actionsOfEveryCommand()
    {
        QMainWindow window;
        CommandTable commands;
        const MenuLayout::Built actions = MenuLayout::CreateActions(window, commands);
        for (int id = 1; id <= CommandId::kCount; ++id) {
            QAction* action = actions.byId.value(id);
            QVERIFY2(action, qPrintable(QString::number(id)));
            QCOMPARE(commands.Find(id)->action.data(), action);
            QVERIFY(window.actions().contains(action));
            QCOMPARE(action->statusTip(), commands.Find(id)->label);
        }
        QCOMPARE(actions.byId.value(CommandId::PlaybackSpeedQuarter)->data().toDouble(), 0.25);
        QCOMPARE(actions.byId.value(CommandId::ResizeToDouble)->data().toDouble(), 2.0);
    }
};

QTEST_MAIN(TestMenuLayout)
#include "tst_menulayout.moc"
