// The time bars on screen, driven by the mouse as a user drives them, over the real media
// engine's clock and the real project manager's undo stack.
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "playback/PlaybackManager.h"
#include "project/FrameBookmark.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "project/Timeline.h"
#include "tests/FakeProjectEngine.h"
#include "tests/TestSupport.h"
#include "ui/GlobalTimeControlWidget.h"
#include "ui/RangeTimeControlWidget.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <memory>

namespace {

void Send(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, QPointF(local), widget->mapToGlobal(QPointF(local)), button, buttons, modifiers);
    QCoreApplication::sendEvent(widget, &event);
}

void Press(QWidget* widget, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    Send(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, modifiers);
}

void MoveHeld(QWidget* widget, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    Send(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
}

void Release(QWidget* widget, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    Send(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, modifiers);
}

// Press at `from`, move there in a few steps, release.
void Drag(QWidget* widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    Press(widget, from, modifiers);
    for (int i = 1; i <= 4; ++i)
        MoveHeld(widget, from + (to - from) * i / 4, modifiers);
    Release(widget, to, modifiers);
}

// The pixel column in the middle of `frame` on a bar spanning first..last over `track`,
// worked out here rather than asked of the bar.
int MiddleOf(const QRect& track, int first, int last, int frame)
{
    const double perFrame = static_cast<double>(track.width()) / (last - first + 1);
    return track.left() + static_cast<int>((frame - first + 0.5) * perFrame);
}

std::pair<int, int> Range(const Timeline* timeline)
{
    return {timeline->RangeStartFrame(), timeline->RangeEndFrame()};
}

QStringList Texts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

QAction* Action(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// A probed clip of 48 frames at 23.976 in the project, the engine's primary timeline, shown in
// an 800 x 40 global bar and range bar.
struct Fixture
{
    FakeProjectEngine projectEngine;
    ProjectManager manager{&projectEngine};
    AvManager engine;
    QUuid id;
    Timeline* timeline = nullptr;
    std::unique_ptr<GlobalTimeControlWidget> global;
    std::unique_ptr<RangeTimeControlWidget> range;

    explicit Fixture(const QString& media = QStringLiteral("clip_23976.mp4"))
    {
        id = manager.ImportFiles({TestSupport::MediaPath(media)}, {}).value(0);
        timeline = manager.AnyTimeline(id);
        manager.UndoStack()->clear();
        if (timeline)
            engine.SetPrimaryTimeline(timeline);
        global = std::make_unique<GlobalTimeControlWidget>(&engine, &manager);
        range = std::make_unique<RangeTimeControlWidget>(&engine, &manager);
        for (QWidget* bar : {static_cast<QWidget*>(global.get()), static_cast<QWidget*>(range.get())}) {
            bar->resize(800, TimeControlBaseWidget::kHeight);
            bar->show();
        }
    }

    ~Fixture()
    {
        global.reset();
        range.reset();
        engine.Shutdown(true, 10000);
    }

    QUndoStack& Stack() { return *manager.UndoStack(); }
    int Middle(const TimeControlBaseWidget& bar, int frame)
    {
        return MiddleOf(bar.TrackRect(), bar.FirstVisibleFrame(), bar.LastVisibleFrame(), frame);
    }
    // A point in the bar's range band (bottom row) or its frame rows (top).
    static QPoint Band(int x) { return {x, TimeControlBaseWidget::kHeight - 5}; }
    static QPoint Top(int x) { return {x, 8}; }
    int64_t ClockTime() const { return engine.Clock()->CurrentTime(); }
};

} // namespace

class TestTimeControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void init()
    {
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
    }

    // A click in the middle of a frame's columns moves the clock to the start of that frame,
    // on the global bar (the whole clip) and on the range bar (the range only).
    void clickSeeks()
    {
        Fixture f;
        QVERIFY(f.timeline);
        QCOMPARE(f.timeline->FrameCount(), 48);
        QTRY_COMPARE(f.global->LastFrame(), 47);
        for (int frame : {0, 1, 7, 23, 46, 47}) {
            const QPoint at = Fixture::Top(f.Middle(*f.global, frame));
            Press(f.global.get(), at);
            Release(f.global.get(), at);
            QCOMPARE(f.ClockTime(), f.timeline->FrameStartTime(frame));
            QCOMPARE(f.global->CurrentFrame(), frame);
            QCOMPARE(f.range->CurrentFrame(), frame); // the other bar follows the engine
        }
        QCOMPARE(f.Stack().count(), 0); // scrubbing is not an edit

        f.timeline->SetPlaybackRange(10, 30);
        QTRY_COMPARE(f.range->RangeStartFrame(), 10);
        QCOMPARE(f.range->RangeEndFrame(), 30);
        for (int frame : {10, 11, 20, 30}) {
            const QPoint at = Fixture::Top(f.Middle(*f.range, frame));
            Press(f.range.get(), at);
            Release(f.range.get(), at);
            QCOMPARE(f.ClockTime(), f.timeline->FrameStartTime(frame));
        }

        // The tooltip names the frame under the pointer in the bar's format (offset 1).
        QCOMPARE(f.global->ToolTipText(Fixture::Top(f.Middle(*f.global, 10))), QStringLiteral("11"));
        f.global->SetDisplayFormat(TimeControlFormat::TimeCode);
        QCOMPARE(f.global->ToolTipText(Fixture::Top(f.Middle(*f.global, 30))), QStringLiteral("00:01:06"));
        QCOMPARE(f.global->ToolTipText(QPoint(f.global->width() - 2, 8)), QString()); // the text column
    }

    // Playback running at the press is suspended while the scrub lasts and goes on after the
    // release; with "Pause playback on seek" it stays paused.
    void scrubPausesPlayback()
    {
        Fixture f;
        QVERIFY(f.timeline);
        PlaybackManager* clock = f.engine.Clock();
        for (bool pauseOnSeek : {false, true}) {
            Settings::Get().pausePlaybackOnSeek = pauseOnSeek;
            f.engine.Play(true);
            QTRY_VERIFY(clock->IsPlaying());
            const QPoint at = Fixture::Top(f.Middle(*f.global, 5));
            Press(f.global.get(), at);
            QVERIFY(!clock->IsPlaying());
            MoveHeld(f.global.get(), Fixture::Top(f.Middle(*f.global, 9)));
            QVERIFY(!clock->IsPlaying());
            QCOMPARE(f.global->CurrentFrame(), 9);
            Release(f.global.get(), Fixture::Top(f.Middle(*f.global, 9)));
            QCOMPARE(clock->IsPlaying(), !pauseOnSeek);
            QVERIFY(clock->PlayForward());
            f.engine.Pause();
        }
    }

    // Dragging the range band 10 frames moves both ends 10 frames and records one step, which
    // undo and redo restore; a drag that ends where it began records none.
    void globalBandDrag()
    {
        Fixture f;
        QVERIFY(f.timeline);
        f.timeline->SetPlaybackRange(5, 20);
        QTRY_COMPARE(f.global->RangeStartFrame(), 5);
        QCOMPARE(f.global->RangeEndFrame(), 20);

        const QPoint from = Fixture::Band(f.Middle(*f.global, 10));
        const QPoint to = Fixture::Band(f.Middle(*f.global, 20));
        QCOMPARE(f.global->PartAt(from), TimeControlBaseWidget::Part::RangeBar);
        Press(f.global.get(), from);
        MoveHeld(f.global.get(), to);
        QCOMPARE(f.global->RangeStartFrame(), 15);
        QCOMPARE(f.global->RangeEndFrame(), 30);
        QCOMPARE(f.global->CurrentFrame(), 20); // the playhead goes with the pointer
        Release(f.global.get(), to);
        QCOMPARE(Range(f.timeline), std::make_pair(15, 30));
        QCOMPARE(f.Stack().count(), 1);
        QCOMPARE(f.global->RangeStartFrame(), 15);

        f.Stack().undo();
        QCOMPARE(Range(f.timeline), std::make_pair(5, 20));
        QTRY_COMPARE(f.global->RangeStartFrame(), 5);
        QCOMPARE(f.global->RangeEndFrame(), 20);
        f.Stack().redo();
        QCOMPARE(Range(f.timeline), std::make_pair(15, 30));
        QTRY_COMPARE(f.global->RangeEndFrame(), 30);

        // Out and back again: nothing recorded, nothing changed.
        const QPoint start = Fixture::Band(f.Middle(*f.global, 20));
        Press(f.global.get(), start);
        MoveHeld(f.global.get(), Fixture::Band(f.Middle(*f.global, 26)));
        QCOMPARE(f.global->RangeStartFrame(), 21);
        MoveHeld(f.global.get(), start);
        Release(f.global.get(), start);
        QCOMPARE(f.Stack().count(), 1);
        QCOMPARE(Range(f.timeline), std::make_pair(15, 30));

        // The band stops at the end of the timeline: 17 frames further gives (32, 47).
        Drag(f.global.get(), Fixture::Band(f.Middle(*f.global, 20)), Fixture::Band(f.Middle(*f.global, 45)));
        QCOMPARE(Range(f.timeline), std::make_pair(32, 47));
        QCOMPARE(f.timeline->StoredRangeEndFrame(), -1); // to the end, as the timeline stores it
        QCOMPARE(f.Stack().count(), 2);
        f.Stack().undo();
        QCOMPARE(Range(f.timeline), std::make_pair(15, 30));
    }

    // The start handle dragged past the end stops at the end, the end handle dragged before
    // the start stops at the start; the playhead follows the handle.
    void globalHandles()
    {
        Fixture f;
        QVERIFY(f.timeline);
        f.timeline->SetPlaybackRange(5, 20);
        QTRY_COMPARE(f.global->RangeEndFrame(), 20);

        const QPoint startHandle = f.global->RangeStartHandleRect().center();
        QCOMPARE(f.global->PartAt(startHandle), TimeControlBaseWidget::Part::RangeStartHandle);
        Press(f.global.get(), startHandle);
        QCOMPARE(f.global->CurrentFrame(), 5); // the press goes to the range start
        MoveHeld(f.global.get(), Fixture::Band(f.Middle(*f.global, 12)));
        QCOMPARE(f.global->RangeStartFrame(), 12);
        QCOMPARE(f.global->CurrentFrame(), 12);
        MoveHeld(f.global.get(), Fixture::Band(f.Middle(*f.global, 40)));
        QCOMPARE(f.global->RangeStartFrame(), 20);
        Release(f.global.get(), Fixture::Band(f.Middle(*f.global, 40)));
        QCOMPARE(Range(f.timeline), std::make_pair(20, 20));
        QCOMPARE(f.ClockTime(), f.timeline->FrameStartTime(20));
        QCOMPARE(f.Stack().count(), 1);

        f.Stack().undo();
        QTRY_COMPARE(f.global->RangeStartFrame(), 5);
        const QPoint endHandle = f.global->RangeEndHandleRect().center();
        QCOMPARE(f.global->PartAt(endHandle), TimeControlBaseWidget::Part::RangeEndHandle);
        Drag(f.global.get(), endHandle, Fixture::Band(f.Middle(*f.global, 1)));
        QCOMPARE(Range(f.timeline), std::make_pair(5, 5));
        QCOMPARE(f.global->CurrentFrame(), 5);

        // Hovering shows what a press would grab.
        f.Stack().undo();
        QTRY_COMPARE(f.global->RangeEndFrame(), 20);
        Send(f.global.get(), QEvent::MouseMove, Fixture::Band(f.Middle(*f.global, 12)), Qt::NoButton, Qt::NoButton);
        QCOMPARE(f.global->HoveredPart(), TimeControlBaseWidget::Part::RangeBar);
        Send(f.global.get(), QEvent::MouseMove, f.global->RangeEndHandleRect().center(), Qt::NoButton, Qt::NoButton);
        QCOMPARE(f.global->HoveredPart(), TimeControlBaseWidget::Part::RangeEndHandle);
        Send(f.global.get(), QEvent::MouseMove, Fixture::Top(f.Middle(*f.global, 12)), Qt::NoButton, Qt::NoButton);
        QCOMPARE(f.global->HoveredPart(), TimeControlBaseWidget::Part::None);
    }

    // The range bar's grips move in whole frames: 5 pixels a frame, 1 with Ctrl, 20 with Shift.
    void rangeHandleSteps()
    {
        Fixture f;
        QVERIFY(f.timeline);
        f.timeline->SetPlaybackRange(10, 30);
        QTRY_COMPARE(f.range->RangeStartFrame(), 10);
        QCOMPARE(f.range->RangeEndFrame(), 30);

        QPoint at = f.range->RangeStartHandleRect().center();
        QCOMPARE(f.range->PartAt(at), TimeControlBaseWidget::Part::RangeStartHandle);
        Press(f.range.get(), at);
        QCOMPARE(f.range->CurrentFrame(), 10);
        MoveHeld(f.range.get(), at + QPoint(24, 0));
        QCOMPARE(f.range->RangeStartFrame(), 14); // 24 pixels: 4 whole frames
        MoveHeld(f.range.get(), at + QPoint(25, 0));
        QCOMPARE(f.range->RangeStartFrame(), 15);
        QCOMPARE(f.range->CurrentFrame(), 15); // pushed along by the start
        Release(f.range.get(), at + QPoint(25, 0));
        QCOMPARE(Range(f.timeline), std::make_pair(15, 30));
        QCOMPARE(f.Stack().count(), 1);

        at = f.range->RangeStartHandleRect().center();
        Drag(f.range.get(), at, at + QPoint(7, 0), Qt::ControlModifier);
        QCOMPARE(Range(f.timeline), std::make_pair(22, 30));

        at = f.range->RangeEndHandleRect().center();
        QCOMPARE(f.range->PartAt(at), TimeControlBaseWidget::Part::RangeEndHandle);
        Drag(f.range.get(), at, at - QPoint(45, 0), Qt::ShiftModifier);
        QCOMPARE(Range(f.timeline), std::make_pair(22, 28));
        QCOMPARE(f.range->CurrentFrame(), 28); // the press went to the end, which moved back

        // Never past the other end, nor past the timeline.
        at = f.range->RangeEndHandleRect().center();
        Drag(f.range.get(), at, at - QPoint(300, 0));
        QCOMPARE(Range(f.timeline), std::make_pair(22, 22));
        at = f.range->RangeEndHandleRect().center();
        Drag(f.range.get(), at, at + QPoint(600, 0), Qt::ShiftModifier);
        QCOMPARE(Range(f.timeline), std::make_pair(22, 47));
        QCOMPARE(f.Stack().count(), 5);

        for (const auto& expected : {std::make_pair(22, 22), std::make_pair(22, 28), std::make_pair(22, 30),
                                     std::make_pair(15, 30), std::make_pair(10, 30)}) {
            f.Stack().undo();
            QCOMPARE(Range(f.timeline), expected);
        }
    }

    // The menu offers what it says with the frame under the pointer; the display format
    // chosen there is stored and a new bar starts with it; the position choice is stored
    // and asks the panel to move the bar.
    void contextMenu()
    {
        Fixture f;
        QVERIFY(f.timeline);
        const QPoint at = Fixture::Top(f.Middle(*f.global, 12));
        std::unique_ptr<QMenu> menu = f.global->CreateContextMenu(at);
        const QStringList expected{"Range Start to 13",
                                   "Range End to 13",
                                   "Range Start to Current",
                                   "Range End to Current",
                                   "Reset Playback Range",
                                   "",
                                   "Frame Numbers (Global)",
                                   "Frame Numbers (Range)",
                                   "Frame Numbers (Image)",
                                   "Time Code",
                                   "Seconds",
                                   "",
                                   "Move to Top",
                                   "Hide Frame Bookmarks",
                                   "Hide Range Bookmarks",
                                   "Show Cache"};
        QCOMPARE(Texts(*menu), expected);
        QVERIFY(Action(*menu, QStringLiteral("Frame Numbers (Global)"))->isChecked());

        Action(*menu, QStringLiteral("Seconds"))->trigger();
        QCOMPARE(f.global->DisplayFormat(), int(TimeControlFormat::Seconds));
        QCOMPARE(Settings::Get().globalTimeControlDisplayFormat, int(TimeControlFormat::Seconds));
        QCOMPARE(Settings::Get().rangeTimeControlDisplayFormat, 0);
        GlobalTimeControlWidget another(&f.engine, &f.manager);
        QCOMPARE(another.DisplayFormat(), int(TimeControlFormat::Seconds));
        QCOMPARE(f.range->DisplayFormat(), 0);

        menu = f.range->CreateContextMenu(Fixture::Top(f.Middle(*f.range, 3)));
        QVERIFY(Action(*menu, QStringLiteral("Range Start to 4")));
        Action(*menu, QStringLiteral("Time Code"))->trigger();
        QCOMPARE(Settings::Get().rangeTimeControlDisplayFormat, int(TimeControlFormat::TimeCode));
        QCOMPARE(RangeTimeControlWidget(&f.engine, &f.manager).DisplayFormat(), int(TimeControlFormat::TimeCode));

        // "Range Start to" the frame under the pointer: one step.
        menu = f.global->CreateContextMenu(at);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Range Start to 0.50")); // in seconds now
        menu->actions().first()->trigger();
        QCOMPARE(Range(f.timeline), std::make_pair(12, 47));
        QCOMPARE(f.Stack().count(), 1);

        QSignalSpy moved(f.global.get(), &TimeControlBaseWidget::TogglePositionRequested);
        Action(*menu, QStringLiteral("Move to Top"))->trigger();
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).value<TimeControlBaseWidget*>(), f.global.get());
        QVERIFY(Settings::Get().globalTimeControlPositionTop);
        Action(*menu, QStringLiteral("Show Cache"))->trigger();
        QVERIFY(Settings::Get().globalTimeControlCacheVisible);
        menu = f.global->CreateContextMenu(at);
        QVERIFY(Action(*menu, QStringLiteral("Move to Bottom")));
        QVERIFY(Action(*menu, QStringLiteral("Hide Cache")));
        GlobalTimeControlWidget third(&f.engine, &f.manager);
        QVERIFY(third.PositionTop());
        QVERIFY(third.CacheVisible());
    }

    // Removing the bookmarks within the range is one step named as asked; undo brings back
    // exactly those.
    void removeBookmarks()
    {
        Fixture f;
        QVERIFY(f.timeline);
        for (int frame : {3, 10, 18, 40})
            f.manager.ToggleFrameBookmark(f.id, frame);
        f.manager.ToggleRangeBookmark(f.id, 2, 4);
        f.manager.ToggleRangeBookmark(f.id, 12, 18);
        f.manager.ToggleRangeBookmark(f.id, 15, 25);
        f.manager.SetPlaybackRangeByFrame(f.id, 5, 20);
        f.Stack().clear();
        const auto frames = [&f] {
            QList<int> list;
            for (const FrameBookmark* bookmark : f.timeline->FrameBookmarks())
                list << bookmark->TimelineFrame();
            return list;
        };
        QCOMPARE(frames(), (QList<int>{3, 10, 18, 40}));
        QCOMPARE(f.timeline->RangeBookmarks().size(), 3);

        f.global->RemoveBookmarks(true, true, true, QStringLiteral("Remove Bookmarks In Range"));
        QCOMPARE(frames(), (QList<int>{3, 40}));
        QCOMPARE(f.timeline->RangeBookmarks(), (QList<RangeBookmark>{{2, 4}, {15, 25}}));
        QCOMPARE(f.Stack().count(), 1);
        QCOMPARE(f.Stack().text(0), QStringLiteral("Remove Bookmarks In Range"));
        f.Stack().undo();
        QCOMPARE(frames(), (QList<int>{3, 10, 18, 40}));
        QCOMPARE(f.timeline->RangeBookmarks().size(), 3);
        f.Stack().redo();
        QCOMPARE(frames(), (QList<int>{3, 40}));

        // Frame bookmarks only, everywhere; then nothing is left to remove: no step.
        f.global->RemoveBookmarks(true, false, false, QStringLiteral("Clear Bookmarks"));
        QCOMPARE(frames(), QList<int>());
        QCOMPARE(f.timeline->RangeBookmarks().size(), 2);
        QCOMPARE(f.Stack().count(), 2);
        f.global->RemoveBookmarks(true, false, true, QStringLiteral("Remove Bookmarks"));
        QCOMPARE(f.Stack().count(), 2);

        // The toggles act on the playhead and the range.
        const QPoint at = Fixture::Top(f.Middle(*f.global, 7));
        Press(f.global.get(), at);
        Release(f.global.get(), at);
        f.global->ToggleFrameBookmark();
        QCOMPARE(frames(), QList<int>{7});
        f.global->ToggleRangeBookmark();
        QVERIFY(f.timeline->HasRangeBookmark(5, 20));
        f.global->ToggleRangeBookmark();
        QVERIFY(!f.timeline->HasRangeBookmark(5, 20));
        f.manager.ToggleRangeBookmark(f.id, 30, 40);
        f.global->SetRangeToNextRangeBookmark();
        QCOMPARE(Range(f.timeline), std::make_pair(15, 25));
        f.global->SetRangeToNextRangeBookmark();
        QCOMPARE(Range(f.timeline), std::make_pair(30, 40));
        f.global->SetRangeToPreviousRangeBookmark();
        f.global->SetRangeToPreviousRangeBookmark();
        QCOMPARE(Range(f.timeline), std::make_pair(2, 4));
        f.global->ResetRange();
        QCOMPARE(Range(f.timeline), std::make_pair(0, 47));
        QCOMPARE(f.timeline->StoredRangeEndFrame(), -1);
    }

    // An image sequence numbered from 1 with offset 0: format 0 counts from 0, format 4 shows
    // the numbers in the file names.
    void imageNumbers()
    {
        Fixture f(QStringLiteral("seq_png/seq.0001.png"));
        QVERIFY(f.timeline);
        f.manager.SetTimeControlFrameOffset(0);
        QTRY_VERIFY(f.global->LastFrame() > 3);
        QCOMPARE(f.global->FrameLabel(0), QStringLiteral("0"));
        QCOMPARE(f.global->FrameLabel(3), QStringLiteral("3"));
        f.global->SetDisplayFormat(TimeControlFormat::FrameNumbersImage);
        QCOMPARE(f.global->FrameLabel(0), QStringLiteral("1"));
        QCOMPARE(f.global->FrameLabel(3), QStringLiteral("4"));
    }

    // Without a timeline the bar maps nothing and ignores the mouse.
    void noTimeline()
    {
        FakeProjectEngine projectEngine;
        ProjectManager manager(&projectEngine);
        AvManager engine;
        {
            GlobalTimeControlWidget bar(&engine, &manager);
            bar.resize(800, TimeControlBaseWidget::kHeight);
            bar.show();
            QVERIFY(!bar.GetTimeline());
            QVERIFY(!bar.FrameAt(100));
            Press(&bar, {100, 8});
            Release(&bar, {100, 8});
            QCOMPARE(engine.Clock()->CurrentTime(), 0);
            QCOMPARE(manager.UndoStack()->count(), 0);
            QVERIFY(!bar.Picture().isNull());
        }
        engine.Shutdown(true, 10000);
    }
};

QTEST_MAIN(TestTimeControls)
#include "tst_timecontrols.moc"
