#include "core/Logger.h"
#include "core/Platform.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "engine/AvWorker.h"
#include "media/AvParser.h"
#include "media/CacheManager.h"
#include "playback/AudioOutput.h"
#include "playback/PlaybackManager.h"
#include "project/Clip.h"
#include "project/ExportProperties.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"

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

    // An export task ended before it began completes without running, and its pass is no
    // longer pending in the request (whose owner waits for the pending flags to clear).
    void exportTaskEndedBeforeItBegan()
    {
        for (const int type : {int(AvWorkerTask::ExportAudio), int(AvWorkerTask::ExportVideo)}) {
            auto request = std::make_shared<ExportProperties>();
            request->audioPending = true;
            request->videoPending = true;
            AvWorkerTask task;
            task.type = type;
            task.exportRequest = request;
            task.exportProperties = request.get();
            AvWorker worker(1000 + type);
            QSignalSpy completed(&worker, &AvWorker::TaskCompleted);
            worker.EndTask(1000 + type);
            worker.DoTask(1000 + type, &task);
            QCOMPARE(completed.count(), 1);
            QCOMPARE(bool(request->audioPending), type != AvWorkerTask::ExportAudio);
            QCOMPARE(bool(request->videoPending), type != AvWorkerTask::ExportVideo);
        }
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
        // The clock never moves on while the frame for its time is missing: a tick that
        // found it missing is followed by one at the same time. How often that happens
        // depends on how fast this machine decodes, so it is not counted.
        QList<QPair<int64_t, bool>> ticks;
        connect(manager.Clock(), &PlaybackManager::PlaybackTimeChanged, this,
                [&](int64_t time, bool) { ticks.append({time, manager.Clock()->IsWaitingForFrames()}); });
        manager.DecodeTimeline(timeline, 0, false, true);
        QCOMPARE(manager.PrimaryTimeline(), timeline);
        QCOMPARE(manager.Clock()->EndTime(), timeline->EndTime() - 1);
        manager.Play(true);
        QVERIFY(WaitFor([&] { return manager.Clock()->CurrentTime() > 1'000'000; }));
        manager.Pause();
        for (int i = 1; i < ticks.size(); ++i) {
            if (ticks[i - 1].second)
                QVERIFY2(ticks[i].first == ticks[i - 1].first,
                         qPrintable(QStringLiteral("tick %1 moved from %2 to %3 while waiting")
                                        .arg(i).arg(ticks[i - 1].first).arg(ticks[i].first)));
            QVERIFY(ticks[i].first >= ticks[i - 1].first);
        }
        // The frames of the time the clock reached arrive queued, after it.
        QVERIFY(WaitFor([&] { return !shown.isEmpty() && shown.last() >= 20; }));
        QVERIFY(std::is_sorted(shown.begin(), shown.end()));
        QVERIFY(manager.Shutdown(true, 5000));
    }

    // Soundless material longer than the audio budget plays with the real clock, loops,
    // steps and scrubs: a 3-minute clip, a 1,000-frame sequence, and a 3-hour timeline of 60
    // such clips. Its silence costs the cache nothing, so the audio held does not grow with
    // the length played.
    void longSoundlessPlays_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("copies");
        QTest::newRow("3-minute clip") << MediaPath("long_silent_3min.mp4") << 1;
        QTest::newRow("1,000-frame sequence") << MediaPath("seq_long") + QStringLiteral("/l.####.png 1-1000") << 1;
        QTest::newRow("3-hour timeline") << MediaPath("long_silent_3min.mp4") << 60;
    }
    void longSoundlessPlays()
    {
        QFETCH(QString, path);
        QFETCH(int, copies);
        QObject owner;
        Timeline* timeline = ParsedTimeline(path, &owner);
        QVERIFY(!timeline->GetSource()->HasError());
        if (copies > 1) {
            Source* source = timeline->GetSource();
            timeline = new Timeline(&owner);
            for (int i = 0; i < copies; ++i)
                timeline->InsertClip(new Clip(ClipKind::Reference, source), i);
        }
        const int64_t end = timeline->EndTime();
        QVERIFY2(end > (copies > 1 ? 3LL * 3600 * 1'000'000 - 1'000'000 : 40'000'000), qPrintable(QString::number(end)));
        AvManager manager;
        manager.SetLoopState(LoopOn);
        int lastShown = -1;
        connect(&manager, &AvManager::VideoFrameChanged, this,
                [&](int, std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame>, std::shared_ptr<VideoFrame>) {
                    if (frame)
                        lastShown = frame->firstTimelineFrame;
                });
        manager.DecodeTimeline(timeline, 0, true, true);
        const CacheManager* cache = timeline->Cache();

        // From the start, and from a minute in, the clock runs on.
        for (const int64_t from : {int64_t{0}, int64_t{60'000'000}}) {
            const int64_t start = std::min(from, end / 2);
            manager.SetPlaybackTime(start);
            manager.Play(true);
            QVERIFY2(WaitFor([&] { return manager.Clock()->CurrentTime() > start + 1'500'000; }),
                     qPrintable(QStringLiteral("stuck at %1 µs, %2").arg(manager.Clock()->CurrentTime()).arg(cache->CacheInfo(QString()))));
            manager.Pause();
            QVERIFY(WaitFor([&] { return lastShown >= timeline->TimeToFrame(start) + 24; }));
        }
        // Over the end and round to the start.
        manager.SetPlaybackTime(end - 500'000);
        bool wrapped = false;
        const QMetaObject::Connection watch = connect(manager.Clock(), &PlaybackManager::PlaybackTimeChanged, this,
                                                      [&](int64_t time, bool) { wrapped = wrapped || time < 1'000'000; });
        manager.Play(true);
        QVERIFY(WaitFor([&] { return wrapped && manager.Clock()->CurrentTime() > 300'000; }));
        manager.Pause();
        disconnect(watch);
        // Steps and scrubs land on their frames with their sound ready.
        for (const double at : {0.9, 0.1, 0.5}) {
            const auto frame = static_cast<int32_t>(at * timeline->LastFrame());
            manager.SetPlaybackTime(timeline->FrameStartTime(frame), true);
            QVERIFY(WaitFor([&] { return lastShown == frame; }));
            QVERIFY(timeline->AudioReadyAt(timeline->FrameStartTime(frame)));
            manager.SetPlaybackTime(timeline->FrameStartTime(frame + 1));
            QVERIFY(WaitFor([&] { return lastShown == frame + 1; }));
        }
        QCOMPARE(cache->AudioSize(), 0);
        QVERIFY2(cache->AudioFrameCount() <= copies, qPrintable(QString::number(cache->AudioFrameCount())));
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
