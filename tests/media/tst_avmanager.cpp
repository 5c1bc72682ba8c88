#include "AudioOutput.h"
#include "AvManager.h"
#include "AvParser.h"
#include "AvWorker.h"
#include "CacheManager.h"
#include "Logger.h"
#include "PlaybackManager.h"
#include "Platform.h"
#include "ProjectGlobals.h"
#include "Settings.h"
#include "Source.h"
#include "TestSupport.h"
#include "Timeline.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using TestSupport::MediaPath;
using TestSupport::ParsedTimeline;
using TestSupport::WaitFor;

namespace {

// Threads of this process (the operating system's count).
int ThreadCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace

class TestAvManager : public QObject
{
    Q_OBJECT

    int m_baselineThreads = 0;

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        // The desktop bus connection and the sound system's client (its main loop starts with
        // the first opened device), once made, keep threads
        // for the life of the process.
        Platform::KeepDisplayAwake(true);
        Platform::KeepDisplayAwake(false);
        { AvManager warmUp; }
        {
            AudioOutput output;
            output.StartAudioDevice();
        }
        m_baselineThreads = ThreadCount();
    }

    // Nothing a test started is left behind: workers, their threads, decoder threads.
    void cleanup()
    {
        QVERIFY(WaitFor([] { return AvWorker::LiveCount() == 0; }, 10000));
        QVERIFY2(WaitFor([this] { return ThreadCount() <= m_baselineThreads; }, 10000),
                 qPrintable(QStringLiteral("%1 threads, %2 before").arg(ThreadCount()).arg(m_baselineThreads)));
    }

    void parseTask()
    {
        AvManager manager;
        Timeline timeline(MediaPath("clip_rotated.mp4"), QString(), QUuid());
        QSignalSpy parsed(timeline.GetSource(), &Source::Parsed);
        manager.ParseSource(&timeline);
        QVERIFY(parsed.wait(20000));
        QCOMPARE(timeline.FrameCount(), 25);
        // Only the audio output task is left.
        QVERIFY(WaitFor([&] { return manager.ActiveWorkerCount() == 1 && manager.ShuttingDownWorkerCount() == 0; }));
        QVERIFY(manager.AudioOutputWorker());
        TestSupport::LogCapture log;
        Timeline regular;
        manager.ParseSource(&regular);
        QVERIFY(log.HasError(QStringLiteral("Failed to parse source. Invalid source timeline.")));
    }

    void playWhileDecoding()
    {
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &owner);
        AvManager manager;
        QList<int> shown;
        connect(&manager, &AvManager::VideoFrameChanged, this,
                [&](int output, std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame>, std::shared_ptr<VideoFrame>) {
                    if (output == 0 && frame)
                        shown << frame->firstTimelineFrame;
                });
        // While the first frame is missing the clock holds.
        QList<QPair<int64_t, bool>> ticks;
        connect(manager.Clock(), &PlaybackManager::PlaybackTimeChanged, this,
                [&](int64_t time, bool) { ticks.append({time, manager.Clock()->IsWaitingForFrames()}); });
        manager.DecodeTimeline(timeline, 0, false, true);
        QCOMPARE(manager.PrimaryTimeline(), timeline);
        QCOMPARE(manager.Clock()->EndTime(), timeline->EndTime() - 1);
        manager.Play(true);
        QVERIFY(WaitFor([&] { return manager.Clock()->CurrentTime() > 1'000'000; }));
        manager.Pause();
        // Ticks while the first frame was missing repeat the same time.
        int held = 0;
        for (int i = 1; i < ticks.size(); ++i)
            if (ticks[i].second && ticks[i - 1].second && ticks[i].first == ticks[i - 1].first)
                ++held;
        QVERIFY2(held >= 2, qPrintable(QString::number(held)));
        QVERIFY(!shown.isEmpty());
        QVERIFY(shown.last() >= 20);
        QVERIFY(std::is_sorted(shown.begin(), shown.end()));
        QVERIFY(manager.Shutdown(true, 5000));
    }

    void secondDecodeOfAnOutputEndsTheFirst()
    {
        QObject owner;
        Timeline* a = ParsedTimeline(MediaPath("clip_rotated.mp4"), &owner);
        Timeline* b = ParsedTimeline(MediaPath("clip_1366.mp4"), &owner);
        AvManager manager;
        manager.DecodeTimeline(a, 0, true, true);
        QCOMPARE(manager.TaskIds(AvWorkerTask::DecodeVideo, a).size(), 1);
        manager.DecodeTimeline(b, 0, false, true);
        QVERIFY(manager.TaskIds(AvWorkerTask::DecodeVideo, a).isEmpty());
        QVERIFY(manager.TaskIds(AvWorkerTask::DecodeAudio, a).isEmpty());
        QCOMPARE(manager.TaskIds(AvWorkerTask::DecodeVideo, b).size(), 1);
        QCOMPARE(a->OutputId(), -1);
        QCOMPARE(b->OutputId(), 0);
        QCOMPARE(manager.PrimaryTimeline(), b);
        QVERIFY(manager.Shutdown(true, 5000));
    }

    void cacheShares()
    {
        QObject owner;
        Timeline* a = ParsedTimeline(MediaPath("clip_rotated.mp4"), &owner);
        Timeline* b = ParsedTimeline(MediaPath("clip_1366.mp4"), &owner);
        Settings::Get().cacheSize = 2048;
        AvManager manager;
        manager.DecodeTimeline(a, 0, false, true);
        QCOMPARE(a->Cache()->VideoMaximumSize(), 2048LL * 1000000);
        QSignalSpy refresh(&manager, &AvManager::RefreshCacheRequested);
        manager.DecodeTimeline(b, 1, false, true);
        QCOMPARE(a->Cache()->VideoMaximumSize(), 1024LL * 1000000);
        QCOMPARE(b->Cache()->VideoMaximumSize(), 1024LL * 1000000);
        QVERIFY(!refresh.isEmpty()); // the smaller share is trimmed to
        // The primary stays the lowest output; the other follows its time.
        QCOMPARE(manager.PrimaryTimeline(), a);
        manager.EndDecodingTask(1, true);
        QCOMPARE(a->Cache()->VideoMaximumSize(), 2048LL * 1000000);
        Settings::Get().cacheSize = 300; // below two shares of 256: each gets 256
        manager.DecodeTimeline(b, 1, false, true);
        QCOMPARE(b->Cache()->VideoMaximumSize(), 256LL * 1000000);
        QVERIFY(manager.Shutdown(true, 5000));
        Settings::ResetToDefaults();
    }

    // A dropped cache is freed on the main thread, at most 100 frames per turn.
    void deferredRelease()
    {
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("clip_1080p25_gop250.mp4"), &owner);
        AvManager manager;
        manager.DecodeTimeline(timeline, 0, false, true);
        QVERIFY(WaitFor([&] { return timeline->Cache()->VideoFrameCount() >= 120; }));
        QList<int> counts;
        connect(&manager, &AvManager::TimelineDecodingEnded, this, [&] {
            counts << manager.PendingDeferredFrameCount();
            manager.ProcessDeferredDelete();
            counts << manager.PendingDeferredFrameCount();
        });
        manager.EndDecodingTask(0, true, true);
        QVERIFY(WaitFor([&] { return counts.size() == 2; }));
        QVERIFY(counts[0] >= 120);
        QCOMPARE(counts[1], counts[0] - 100);
        QCOMPARE(timeline->Cache()->VideoFrameCount(), 0);
        QVERIFY(WaitFor([&] { return manager.PendingDeferredFrameCount() == 0; }));
    }

    // Shutting down in the middle of decoding always finishes within its timeout.
    void shutdownMidDecode()
    {
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("clip_1080p25_gop250.mp4"), &owner);
        QRandomGenerator random(99);
        for (int i = 0; i < 200; ++i) {
            AvManager manager;
            timeline->SetPlaybackFrame(static_cast<int32_t>(random.bounded(125)));
            manager.DecodeTimeline(timeline, 0, true, true);
            if (i % 3 == 1)
                manager.Play(i % 2 == 0);
            QTest::qWait(static_cast<int>(random.bounded(30)));
            QVERIFY2(manager.Shutdown(true, 5000), qPrintable(QStringLiteral("round %1").arg(i)));
            QCOMPARE(manager.ActiveWorkerCount(), 0);
            QCOMPARE(manager.ShuttingDownWorkerCount(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestAvManager)
#include "tst_avmanager.moc"
