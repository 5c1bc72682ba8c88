#include "core/Settings.h"
#include "playback/PlaybackManager.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

// A clock whose wall-clock source the test moves by hand, ticked by hand.
struct ManualClock
{
    ManualClock()
    {
        Settings::ResetToDefaults();
        clock.SetTimeSource([this] { return now; });
        clock.SetEndTime(10'000'000);
        clock.SetPlaybackRange(0, 10'000'000);
    }
    void Tick(int64_t elapsed)
    {
        now += elapsed;
        clock.UpdatePlaybackTime();
    }
    int64_t now = 1'000'000'000;
    PlaybackManager clock;
};

} // namespace

class TestPlaybackManager : public QObject
{
    Q_OBJECT

private slots:
    void initialState()
    {
        Settings::ResetToDefaults();
        PlaybackManager clock;
        QCOMPARE(clock.CurrentTime(), 0);
        QCOMPARE(clock.PlaybackSpeed(), 1.0f);
        QVERIFY(clock.PlayForward());
        QVERIFY(!clock.IsPlaying());
        QCOMPARE(clock.GetLoopState(), LoopOn);
    }

    void ticksFollowElapsedTimeAndSpeed()
    {
        ManualClock m;
        QSignalSpy times(&m.clock, &PlaybackManager::PlaybackTimeChanged);
        m.clock.SetPlaybackSpeed(4.0f);
        m.clock.Play(true);
        m.Tick(1000);
        QCOMPARE(m.clock.CurrentTime(), 4000);
        m.clock.SetPlaybackSpeed(0.05f);
        QCOMPARE(m.clock.PlaybackSpeed(), 0.1f);
        m.clock.SetPlaybackSpeed(9.0f);
        QCOMPARE(m.clock.PlaybackSpeed(), 4.0f);
        m.clock.SetPlaybackSpeed(1.0f);
        // A late timer makes one larger step.
        m.Tick(40000);
        QCOMPARE(m.clock.CurrentTime(), 44000);
        QCOMPARE(times.last().at(1).toBool(), false);
        // Backwards.
        m.clock.Play(false);
        m.Tick(4000);
        QCOMPARE(m.clock.CurrentTime(), 40000);
    }

    void waitingHoldsTheTime()
    {
        ManualClock m;
        m.clock.Play(true);
        m.Tick(1000);
        QSignalSpy times(&m.clock, &PlaybackManager::PlaybackTimeChanged);
        m.clock.SetWaitingForFrames(true);
        m.Tick(1000);
        m.Tick(50000);
        QCOMPARE(times.size(), 2); // still firing, with the same time
        QCOMPARE(times.at(0).at(0).toLongLong(), 1000LL);
        QCOMPARE(times.at(1).at(0).toLongLong(), 1000LL);
        // No jump once the frames are there: the stall's time is not made up.
        m.clock.SetWaitingForFrames(false);
        m.Tick(1000);
        QCOMPARE(m.clock.CurrentTime(), 2000);
    }

    void loopWrapsExactly()
    {
        ManualClock m;
        m.clock.SetLoopState(LoopOn);
        m.clock.SetPlaybackRange(1'000'000, 2'000'000);
        m.clock.Seek(1'999'000, true);
        m.clock.Play(true);
        QSignalSpy times(&m.clock, &PlaybackManager::PlaybackTimeChanged);
        m.Tick(5000);
        QCOMPARE(m.clock.CurrentTime(), 1'000'000);
        QCOMPARE(times.last().at(1).toBool(), true); // a wrap is a seek
        // Backwards past the start lands on the end.
        m.clock.Play(false);
        m.Tick(10);
        QCOMPARE(m.clock.CurrentTime(), 2'000'000);
    }

    void pingPong()
    {
        ManualClock m;
        m.clock.SetLoopState(LoopPingPong);
        m.clock.SetPlaybackRange(0, 1'000'000);
        m.clock.Seek(999'000, true);
        m.clock.Play(true);
        QSignalSpy states(&m.clock, &PlaybackManager::PlaybackStateChanged);
        m.Tick(2000);
        QCOMPARE(m.clock.CurrentTime(), 1'000'000);
        QVERIFY(!m.clock.PlayForward());
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.first().at(0).toBool(), true);
        QCOMPARE(states.first().at(1).toBool(), false);
        m.Tick(1000);
        QCOMPARE(m.clock.CurrentTime(), 999'000);
    }

    void playOnceStopsAtTheBound()
    {
        ManualClock m;
        m.clock.SetLoopState(LoopOff);
        m.clock.SetPlaybackRange(0, 1'000'000);
        m.clock.Seek(999'000, true);
        m.clock.Play(true);
        m.Tick(5000);
        QCOMPARE(m.clock.CurrentTime(), 1'000'000);
        QVERIFY(!m.clock.IsPlaying());
        // Play forward again: back to the range start, playing.
        m.clock.Play(true);
        QCOMPARE(m.clock.CurrentTime(), 0);
        QVERIFY(m.clock.IsPlaying());
        m.clock.Stop();
    }

    void boundsWhileStopped()
    {
        ManualClock m;
        m.clock.SetPlaybackRange(2'000'000, 3'000'000);
        m.clock.Seek(500'000, true); // the range does not limit positioning
        QCOMPARE(m.clock.CurrentTime(), 500'000);
        m.clock.Seek(-5, true);
        QCOMPARE(m.clock.CurrentTime(), 0);
        m.clock.Seek(99'000'000, true);
        QCOMPARE(m.clock.CurrentTime(), 10'000'000);
        // Playing forward from before the range runs from where it is, within the range.
        m.clock.Seek(2'500'000, true);
        m.clock.Play(true);
        QCOMPARE(m.clock.CurrentTime(), 2'500'000);
        m.clock.Stop();
        // Playing backwards from at or below the range start jumps to the range end first.
        m.clock.Seek(2'000'000, true);
        m.clock.Play(false);
        QCOMPARE(m.clock.CurrentTime(), 3'000'000);
        m.clock.Stop();
    }

    void loopStartOverride()
    {
        ManualClock m;
        m.clock.SetLoopState(LoopOn);
        m.clock.SetLoopStartOverride(4'000'000);
        m.clock.Seek(10'000'000, true);
        m.clock.Play(true, true);
        QVERIFY(m.clock.LoopStartOverrideActive());
        QCOMPARE(m.clock.CurrentTime(), 4'000'000);
        m.clock.Stop();
        QVERIFY(!m.clock.LoopStartOverrideActive());
        m.clock.Play(false, true); // backwards never uses it
        QVERIFY(!m.clock.LoopStartOverrideActive());
        m.clock.Stop();
    }

    void rangeAndEndTime()
    {
        ManualClock m;
        QSignalSpy ranges(&m.clock, &PlaybackManager::PlaybackRangeChanged);
        m.clock.SetPlaybackRange(100, 50);
        QCOMPARE(ranges.last().at(0).toLongLong(), 100LL);
        QCOMPARE(ranges.last().at(1).toLongLong(), 100LL);
        m.clock.SetPlaybackRange(-10, 99'000'000);
        QCOMPARE(m.clock.RangeStart(), 0);
        QCOMPARE(m.clock.RangeEnd(), 10'000'000);
        const int emitted = static_cast<int>(ranges.size());
        m.clock.SetPlaybackRange(-10, 99'000'000); // the same request again
        QCOMPARE(ranges.size(), emitted + 1);     // stored values differ from the request
        m.clock.Seek(9'000'000, true);
        QSignalSpy ends(&m.clock, &PlaybackManager::PlaybackEndTimeChanged);
        m.clock.SetEndTime(5'000'000);
        QCOMPARE(ends.size(), 1);
        QCOMPARE(m.clock.CurrentTime(), 5'000'000);
        m.clock.SetEndTime(-3);
        QCOMPARE(m.clock.EndTime(), 0);
        // Like the range, the request is compared, not the stored value: -3 again is told again.
        m.clock.SetEndTime(-3);
        QCOMPARE(ends.size(), 3);
        QCOMPARE(ends.last().at(0).toLongLong(), 0);
        m.clock.ResetPlaybackRange();
        QCOMPARE(m.clock.RangeEnd(), 0);
    }

    void loopStates()
    {
        ManualClock m;
        Settings::Get().loopState = 7;
        QCOMPARE(m.clock.GetLoopState(), LoopOff);
        QCOMPARE(Settings::Get().loopState, 0);
        QSignalSpy changed(&m.clock, &PlaybackManager::LoopStateChanged);
        m.clock.CycleLoopState();
        QCOMPARE(m.clock.GetLoopState(), LoopOn);
        m.clock.CycleLoopState();
        QCOMPARE(m.clock.GetLoopState(), LoopPingPong);
        m.clock.CycleLoopState();
        QCOMPARE(m.clock.GetLoopState(), LoopOff);
        m.clock.SetLoopState(5);
        QCOMPARE(m.clock.GetLoopState(), LoopOff);
        QCOMPARE(changed.size(), 4);
    }

    void pauseOnSeek()
    {
        ManualClock m;
        Settings::Get().pausePlaybackOnSeek = true;
        m.clock.Play(true);
        m.Tick(1000); // ticks are not user seeks
        QVERIFY(m.clock.IsPlaying());
        m.clock.Seek(5000, true);
        QVERIFY(!m.clock.IsPlaying());
    }

    // With the real timer the clock advances by the wall-clock time that passed, however
    // many timer events there were.
    void realTimer()
    {
        Settings::ResetToDefaults();
        PlaybackManager clock;
        clock.SetEndTime(100'000'000);
        clock.SetPlaybackRange(0, 100'000'000);
        QElapsedTimer elapsed;
        elapsed.start();
        clock.Play(true);
        QTRY_VERIFY_WITH_TIMEOUT(clock.CurrentTime() > 0, 10000);
        clock.Stop();
        const int64_t wall = elapsed.nsecsElapsed() / 1000;
        QVERIFY2(clock.CurrentTime() > 0 && clock.CurrentTime() <= wall,
                 qPrintable(QStringLiteral("%1 of %2").arg(clock.CurrentTime()).arg(wall)));
    }
};

QTEST_GUILESS_MAIN(TestPlaybackManager)
#include "tst_playbackmanager.moc"
