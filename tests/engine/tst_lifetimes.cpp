#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "engine/AvWorker.h"
#include "media/CacheManager.h"
#include "media/VideoStreamInfo.h"
#include "playback/PlaybackManager.h"
#include "project/Clip.h"
#include "project/Project.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "project/Track.h"
#include "project/TimelineItem.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

using TestSupport::MediaPath;
using TestSupport::ParsedTimeline;
using TestSupport::WaitFor;

namespace {

// H.264 pictures of 64 x 36 with AAC sound, 3 s: cheap to decode many times over.
QString SmallClip()
{
    return MediaPath(QStringLiteral("clip_h264_aac.ts"));
}

// Holds the frame a viewer shows, as a viewer does, and reads its stream record each time a
// new one arrives (a viewer reads it at every paint).
struct ViewerStandIn
{
    std::shared_ptr<VideoFrame> shown;
    int framesShown = 0;
    int lastWidth = 0;

    void Connect(AvManager& manager, QObject* context, int outputId)
    {
        QObject::connect(&manager, &AvManager::VideoFrameChanged, context,
                         [this, outputId](int output, std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame>,
                                          std::shared_ptr<VideoFrame>) {
                             if (output != outputId)
                                 return;
                             shown = std::move(frame);
                             if (shown) {
                                 ++framesShown;
                                 Paint();
                             }
                         });
    }
    void Paint()
    {
        if (shown && shown->streamInfo)
            lastWidth = shown->streamInfo->width;
    }
};

} // namespace

// What the engine's threads hold of the project (timelines, sources, the stream records their
// frames point to) is let go of before the project frees it, however busy the engine is.
class TestLifetimes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
    }

    void cleanup()
    {
        QVERIFY(WaitFor([] { return AvWorker::LiveCount() == 0; }, 10000));
    }

    // A timeline deleted while it plays: its sound and pictures decoding, its sound read by
    // the audio output, the clock running, and a viewer showing its picture.
    void deletePlayingTimeline()
    {
        QObject owner;
        Timeline* sourceTimeline = ParsedTimeline(SmallClip(), &owner);
        Source* source = sourceTimeline->GetSource();
        QVERIFY(!source->HasError());
        AvManager manager;
        ViewerStandIn viewer;
        viewer.Connect(manager, this, 0);
        TestSupport::LogCapture log;
        for (int round = 0; round < 100; ++round) {
            auto* timeline = new Timeline(&owner);
            timeline->InsertClip(new Clip(ClipKind::Reference, source), 0);
            timeline->SetPlaybackFrame(round % 60);
            viewer.framesShown = 0;
            manager.DecodeTimeline(timeline, 0, true, true);
            QCOMPARE(manager.PrimaryTimeline(), timeline);
            const bool forward = round % 4 != 3;
            const int64_t start = timeline->PlaybackTime();
            manager.Play(forward);
            QVERIFY2(WaitFor([&] {
                         return viewer.framesShown > 0 && timeline->Cache()->AudioFrameCount() > 0
                                && manager.Clock()->CurrentTime() != start;
                     }),
                     qPrintable(QStringLiteral("round %1").arg(round)));
            delete timeline;
            QVERIFY(manager.TaskIds(AvWorkerTask::DecodeAudio).isEmpty());
            QVERIFY(manager.TaskIds(AvWorkerTask::DecodeVideo).isEmpty());
            QCOMPARE(manager.PrimaryTimeline(), nullptr);
            QVERIFY(!viewer.shown); // the viewer was told to let go of the timeline's picture
        }
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
        QVERIFY(manager.Shutdown(true, 10000));
    }

    // A timeline that no task decodes any more, deleted while the audio output plays the
    // sound left in its cache.
    void deleteTimelineTheAudioOutputPlays()
    {
        QObject owner;
        Timeline* sourceTimeline = ParsedTimeline(SmallClip(), &owner);
        Source* source = sourceTimeline->GetSource();
        AvManager manager;
        TestSupport::LogCapture log;
        for (int round = 0; round < 50; ++round) {
            auto* timeline = new Timeline(&owner);
            timeline->InsertClip(new Clip(ClipKind::Reference, source), 0);
            manager.DecodeTimeline(timeline, 0, true, false);
            QVERIFY(WaitFor([&] { return timeline->AudioReadyAt(timeline->PlaybackTime() + 500'000); }));
            manager.EndDecodingTask(0, false);
            QVERIFY(WaitFor([&] { return manager.ShuttingDownWorkerCount() == 0; }));
            manager.SetPrimaryTimeline(timeline);
            manager.Play(true);
            // The output has found its place in the cached sound: it reads the timeline.
            QVERIFY2(WaitFor([&] { return timeline->AudioPositionValid(); }), qPrintable(QString::number(round)));
            delete timeline;
            QCOMPARE(manager.PrimaryTimeline(), nullptr);
            manager.Pause();
        }
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
        QVERIFY(manager.Shutdown(true, 10000));
    }

    // A source deleted the way the project deletes one: its clips leave every timeline first,
    // while the tasks decoding those timelines still work on their own copy of the old track,
    // its cached pictures still point into its stream records, and its own timeline may be
    // decoding in a second viewer. The playing timeline carries on without it.
    void deleteSourceDecodingElsewhere()
    {
        QObject owner;
        auto* timeline = new Timeline(&owner);
        AvManager manager;
        ViewerStandIn viewer;
        viewer.Connect(manager, this, 0);
        ViewerStandIn sourceViewer;
        sourceViewer.Connect(manager, this, 1);
        TestSupport::LogCapture log;
        for (int round = 0; round < 100; ++round) {
            Timeline* sourceTimeline = ParsedTimeline(SmallClip(), &owner);
            Source* source = sourceTimeline->GetSource();
            QVERIFY(!source->HasError());
            timeline->InsertClip(new Clip(ClipKind::Reference, source), 0);
            timeline->SetPlaybackFrame(round % 60);
            viewer.framesShown = 0;
            manager.DecodeTimeline(timeline, 0, true, true);
            if (round % 2 == 0)
                manager.DecodeTimeline(sourceTimeline, 1, false, true);
            const int64_t start = timeline->PlaybackTime();
            manager.Play(round % 4 != 3);
            QVERIFY2(WaitFor([&] {
                         return viewer.framesShown > 0 && timeline->Cache()->AudioFrameCount() > 0
                                && manager.Clock()->CurrentTime() != start;
                     }),
                     qPrintable(QStringLiteral("round %1: %2 shown, %3 sound blocks, clock %4 from %5, tasks %6 %7, %8")
                                    .arg(round).arg(viewer.framesShown).arg(timeline->Cache()->AudioFrameCount())
                                    .arg(manager.Clock()->CurrentTime()).arg(start)
                                    .arg(manager.TaskIds(AvWorkerTask::DecodeVideo, timeline).size())
                                    .arg(manager.TaskIds(AvWorkerTask::DecodeAudio, timeline).size())
                                    .arg(timeline->Cache()->CacheInfo(QString()))));
            QCOMPARE(viewer.lastWidth, 64);
            delete timeline->RemoveClip(0);
            delete sourceTimeline;
            viewer.Paint();
            sourceViewer.Paint();
            QVERIFY(!viewer.shown); // both viewers were told to let go of the source's pictures
            QVERIFY(!sourceViewer.shown);
            QVERIFY(manager.TaskIds(AvWorkerTask::DecodeVideo, sourceTimeline).isEmpty());
        }
        // The timeline, empty now, still decodes in its viewer.
        QVERIFY(WaitFor([&] { return manager.TaskIds(AvWorkerTask::DecodeVideo, timeline).size() == 1; }));
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
        QVERIFY(manager.Shutdown(true, 10000));
    }

    // The same through the project's undo stack, as a user does it: the source plays in viewer
    // 0, a timeline with two clips of it decodes in viewer 1; the source is deleted (its viewer
    // cleared, its clips removed, the source itself kept by the command) and the stack cleared
    // at once, which frees the source while the other timeline's task may still read it.
    void deleteSourceThroughUndoStack()
    {
        AvManager engine;
        ProjectManager manager(&engine);
        ViewerStandIn viewer;
        viewer.Connect(engine, this, 0);
        ViewerStandIn cutViewer;
        cutViewer.Connect(engine, this, 1);
        TestSupport::LogCapture log;
        const QUuid cut = manager.AddTimeline(QStringLiteral("cut"), QUuid());
        for (int round = 0; round < 50; ++round) {
            const QList<QUuid> ids = manager.ImportFiles({SmallClip() + QLatin1Char('@')}, {}); // as it is: not a usual ending
            QCOMPARE(ids.size(), 1);
            manager.InsertClips(cut, {ids.first(), ids.first()}, -1);
            viewer.framesShown = 0;
            cutViewer.framesShown = 0;
            manager.OpenItemsInViewers({ids.first(), cut}, 0, true);
            QVERIFY2(WaitFor([&] { return viewer.framesShown > 0 && cutViewer.framesShown > 0; }),
                     qPrintable(QStringLiteral("round %1: %2 and %3 pictures shown, tasks %4 %5")
                                    .arg(round)
                                    .arg(viewer.framesShown)
                                    .arg(cutViewer.framesShown)
                                    .arg(engine.TaskIds(AvWorkerTask::DecodeVideo, manager.RegularTimeline(cut)).size())
                                    .arg(manager.RegularTimeline(cut)->OutputId())));
            manager.DeleteSource(ids.first());
            QVERIFY(!manager.GetProject()->SourceItem(ids.first()));
            QCOMPARE(manager.RegularTimeline(cut)->GetTrack()->ClipCount(), 0);
            if (round % 2 == 1) {
                manager.UndoStack()->undo(); // back, and in its viewer again
                QCOMPARE(manager.RegularTimeline(cut)->GetTrack()->ClipCount(), 2);
                QCOMPARE(manager.ItemInViewer(0)->Id(), ids.first());
                manager.UndoStack()->redo();
            }
            manager.UndoStack()->clear();
            viewer.Paint();
            cutViewer.Paint();
            QVERIFY(!viewer.shown);
            QVERIFY(manager.GetProject()->Sources().isEmpty());
        }
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
        QVERIFY(engine.Shutdown(true, 10000));
    }

    // A timeline moved from viewer 1 to viewer 0 stays in viewer 0 when another takes viewer 1.
    void timelineMovesBetweenViewers()
    {
        QObject owner;
        Timeline* first = ParsedTimeline(SmallClip(), &owner);
        Timeline* second = ParsedTimeline(SmallClip(), &owner);
        AvManager engine;
        engine.ShowInViewer(first, 1, false);
        engine.ShowInViewer(first, 0, false);
        engine.ShowInViewer(second, 1, false);
        QCOMPARE(first->OutputId(), 0);
        QCOMPARE(second->OutputId(), 1);
        QCOMPARE(engine.TaskIds(AvWorkerTask::DecodeVideo, first).size(), 1);
        engine.ShowInViewer(nullptr, 0, false);
        QCOMPARE(first->OutputId(), -1);
        QVERIFY(engine.TaskIds(AvWorkerTask::DecodeVideo, first).isEmpty());
        QCOMPARE(second->OutputId(), 1);
        QVERIFY(engine.Shutdown(true, 10000));
    }

    // A decode task that cannot end (its thread is held here) when its output is asked to
    // decode the same timeline again: the wait for it runs out, and no second task is started
    // to write into the same cache beside it.
    void stuckTaskIsNotJoinedBySecondWriter()
    {
        QObject owner;
        Timeline* timeline = ParsedTimeline(SmallClip(), &owner);
        AvManager manager;
        manager.DecodeTimeline(timeline, 0, false, true);
        QVERIFY(WaitFor([&] { return timeline->Cache()->VideoFrameCount() > 0; }));
        const QList<int> ids = manager.TaskIds(AvWorkerTask::DecodeVideo, timeline);
        QCOMPARE(ids.size(), 1);
        QSemaphore held;
        QSemaphore released;
        // Whatever happens below, the task's thread is let go before the test ends.
        const std::unique_ptr<QSemaphore, void (*)(QSemaphore*)> releaseOnExit(&released, [](QSemaphore* s) {
            if (s->available() == 0)
                s->release();
        });
        QMetaObject::invokeMethod(manager.Worker(ids.first()), [&] {
            held.release();
            released.acquire();
        }, Qt::QueuedConnection);
        QVERIFY(held.tryAcquire(1, 30000));
        TestSupport::LogCapture log;
        manager.DecodeTimeline(timeline, 0, false, true);
        QVERIFY2(log.HasError(QStringLiteral("Failed to decode timeline. Its previous decode tasks did not end in time.")),
                 qPrintable(log.errors.join('\n')));
        QVERIFY(manager.TaskIds(AvWorkerTask::DecodeVideo, timeline).isEmpty());
        QVERIFY(manager.TaskIds(AvWorkerTask::DecodeAudio, timeline).isEmpty());
        QCOMPARE(manager.ShuttingDownWorkerCount(), 1);
        released.release();
        QVERIFY(WaitFor([&] { return manager.ShuttingDownWorkerCount() == 0; }));
        // Once it has ended, the output decodes again.
        manager.DecodeTimeline(timeline, 0, false, true);
        QCOMPARE(manager.TaskIds(AvWorkerTask::DecodeVideo, timeline).size(), 1);
        QVERIFY(manager.Shutdown(true, 10000));
    }

    // A source is parsed again only once no task decodes it, no cache holds its pictures and
    // no viewer shows one: the parse rewrites the stream records those pictures point to.
    void reparseWaitsForFramesToBeReleased()
    {
        QObject owner;
        Timeline* timeline = ParsedTimeline(SmallClip(), &owner);
        Source* source = timeline->GetSource();
        AvManager manager;
        ViewerStandIn viewer;
        viewer.Connect(manager, this, 0);
        QSignalSpy updated(source, &Source::Updated);
        auto decode = [&] {
            viewer.framesShown = 0;
            manager.DecodeTimeline(timeline, 0, true, true);
            return WaitFor([&] { return viewer.framesShown > 0 && timeline->Cache()->AudioFrameCount() > 0; });
        };
        auto ended = [&] {
            return manager.TaskIds(AvWorkerTask::DecodeVideo).isEmpty() && manager.TaskIds(AvWorkerTask::DecodeAudio).isEmpty()
                   && manager.ShuttingDownWorkerCount() == 0;
        };
        auto refused = [&] {
            TestSupport::LogCapture log;
            manager.ParseSource(timeline);
            return log.HasError(QStringLiteral("Failed to parse source. Its frames are in use."))
                   && manager.TaskIds(AvWorkerTask::ParseSource).isEmpty();
        };

        QVERIFY(decode());
        QVERIFY(refused()); // decoding
        manager.EndDecodingTask(0, true, false);
        QVERIFY(WaitFor(ended));
        QVERIFY(!viewer.shown);
        QVERIFY(timeline->Cache()->VideoFrameCount() > 0);
        QVERIFY(refused()); // pictures in the cache

        QVERIFY(decode());
        manager.EndDecodingTask(0, false, true);
        QVERIFY(WaitFor(ended));
        QVERIFY(WaitFor([&] { return timeline->Cache()->VideoFrameCount() == 0; }));
        QVERIFY(viewer.shown);
        QVERIFY(refused()); // a picture in the viewer

        QVERIFY(decode());
        manager.EndDecodingTask(0, true, true);
        QVERIFY(WaitFor(ended));
        TestSupport::LogCapture log;
        manager.ParseSource(timeline);
        QCOMPARE(manager.TaskIds(AvWorkerTask::ParseSource).size(), 1);
        QVERIFY(updated.wait(30000));
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
        QCOMPARE(timeline->FrameCount(), 75);
    }
};

QTEST_GUILESS_MAIN(TestLifetimes)
#include "tst_lifetimes.moc"
