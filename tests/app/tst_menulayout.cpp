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

// The menu bar as text: a line per menu, item (with "[x]" when checkable), separator ("---")
// and submenu (its title and ">"), indented by depth.
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
            lines << indent + action->text() + (action->isCheckable() ? QStringLiteral(" [x]") : QString());
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

// The menu bar of the description, written out by hand.
const char* const kMenuBar = R"(File
  Import File(s)...
  Import Folder...
  ---
  New Project
  Open Project...
  Import Project...
  ---
  Save Project
  Save Project As...
  ---
  Export to File...
  Capture Image >
    To Clipboard
    To Folder...
  ---
  Open New Instance
  ---
  Recent Files >
  Recent Projects >
  ---
  Exit
Edit
  Undo
  Redo
  ---
  Range Start to Current
  Range End to Current
  Reset Range
  ---
  Always on Top [x]
  ---
  Project Settings...
  Preferences...
Playback
  Speed >
    Normal
    Half
    Quarter
    ---
    Increase
    Decrease
    ---
    Toggle Last
  ---
  Play/Pause
  Play/Pause (Bookmarks Only)
  Play Forwards
  Play Backwards
  Pause
  ---
  Frame Step >
    Step Forwards
    Step Backwards
    Multi-Step Forwards
    Multi-Step Backwards
  ---
  Go to Start
  Go to End
  Go to Range Start
  Go to Range End
  Go to Previous Edit
  Go to Next Edit
  ---
  Looping >
    Toggle
    ---
    Play Once [x]
    Loop [x]
    Ping Pong [x]
  ---
  Stepping and Scrubbing >
    Loop on Step/Scrub [x]
    ---
    Loop Step/Scrub to Range [x]
    Lock Step/Scrub to Range [x]
  ---
  Autoplay [x]
Audio
  Increase Volume
  Decrease Volume
  Mute
  ---
  Audio Scrub [x]
Video
  Layout >
    A/B [x]
    Horizontal [x]
    Vertical [x]
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
    Toggle A/B Wipe
    Reset A/B Wipe
    ---
    Snap on Move/Rotate [x]
    Snap Guides [x]
  ---
  Size >
    Original Size
    ---
    Half Size
    Quarter Size
    ---
    Double Size
  Fullscreen [x]
  ---
  Pan/Zoom >
    Zoom In
    Zoom Out
    ---
    Toggle Pan/Zoom
    Reset Pan/Zoom
  ---
  Rotate CW
  Rotate CCW
  Flip Horizontal [x]
  Flip Vertical [x]
  Reset Flip/Rotate
Bookmarks
  Toggle Bookmark
  Toggle Range Bookmark
  ---
  Cut Bookmark
  Copy Bookmark
  Paste Bookmark
  ---
  Remove >
    Bookmarks
    Bookmarks in Range
    ---
    Range Bookmarks
    ---
    Clear All
  ---
  Previous Bookmark
  Next Bookmark
  Previous Range Bookmark
  Next Range Bookmark
Tools
  Swap A/B Timelines
  Clear All Viewer Timelines
  ---
  Global Time Control [x]
  Range Time Control [x]
  Swap Time Controls
  ---
  Playback Controls [x]
  Viewer Controls [x]
  Menu Bar [x]
  ---
  Side Bar [x]
  Move Side Bar %1
  ---
  Annotation Tools [x]
  ---
  Media Info [x]
  Console
  ---
  Maya Tools
Help
  Documentation...
  ---
  About...)";

} // namespace

class TestMenuLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    // Every menu, item, separator, submenu and check mark in order; without the undo history
    // the Edit menu starts at the range items.
    void menuBarAsDescribed()
    {
        QMainWindow window;
        CommandTable commands;
        const MenuLayout::Built actions = MenuLayout::CreateActions(window, commands);
        MenuLayout::FillMenuBar(*window.menuBar(), actions, true);
        const QStringList expected = QString::fromUtf8(kMenuBar).split(QLatin1Char('\n'));
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
