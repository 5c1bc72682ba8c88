#include "core/Logger.h"
#include "media/AudioFrame.h"
#include "media/CacheManager.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/Track.h"
#include "tests/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A source timeline whose source looks parsed: `frames` video frames at `rate`.
Timeline* SourceTimeline(const QString& name, int frames, double rate, QObject* parent)
{
    auto* timeline = new Timeline(QStringLiteral("/media/%1.mov").arg(name), QString(), QUuid(), parent);
    TestSupport::FakeParsedVideo(*timeline->GetSource(), frames, rate);
    return timeline;
}

AudioFramePtr Block(int64_t start, int64_t end, const QByteArray& data)
{
    auto block = std::make_shared<AudioFrame>();
    block->startTime = start;
    block->endTime = end;
    block->data = data;
    block->size = data.size();
    block->sampleCount = static_cast<int32_t>(data.size() / 8);
    return block;
}

// Sample frames whose 8 bytes all hold `first`, `first` + 1, ...
QByteArray Samples(int count, char first)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(QByteArray(8, static_cast<char>(first + i)));
    return bytes;
}

} // namespace

class TestTimeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        ProjectGlobals::ResetFromSettings();
    }

    void sourceTimeline()
    {
        QObject owner;
        Timeline* timeline = SourceTimeline(QStringLiteral("a"), 100, 25.0, &owner);
        QVERIFY(timeline->IsSourceTimeline());
        QCOMPARE(timeline->FrameCount(), 100);
        QCOMPARE(timeline->LastFrame(), 99);
        QCOMPARE(timeline->EndTime(), 3999999);
        QCOMPARE(timeline->ClipAt(0)->Kind(), ClipKind::Owning);
        QCOMPARE(timeline->GetSource()->parent(), timeline->ClipAt(0));
        // Clips cannot be added to a source timeline.
        QCOMPARE(timeline->InsertClip(new Clip(ClipKind::Reference, timeline->GetSource(), &owner), 0), -1);
    }

    void layoutAcrossRates()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 48, 24.0, &owner);
        Timeline* b = SourceTimeline(QStringLiteral("b"), 50, 25.0, &owner);
        Timeline timeline;
        QSignalSpy edited(&timeline, &Timeline::MasterTrackEdited);
        QSignalSpy endChanged(&timeline, &Timeline::EndTimeChanged);
        QCOMPARE(timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0), 0);
        QCOMPARE(timeline.InsertClip(new Clip(ClipKind::Reference, b->GetSource()), 1), 1);
        QCOMPARE(edited.size(), 2);
        QCOMPARE(endChanged.last().first().toLongLong(), 3999999LL);
        const Clip* second = timeline.ClipAt(1);
        QCOMPARE(second->StartFrame(), 48);
        QCOMPARE(second->StartTime(), 2000000);
        QCOMPARE(timeline.FrameCount(), 98);
        QCOMPARE(timeline.EndTime(), 3999999);
        // Time and frames through the clips.
        QCOMPARE(timeline.TimeToFrame(1999999), 47);
        QCOMPARE(timeline.TimeToFrame(2000000), 48);
        QCOMPARE(timeline.TimeToFrame(2040000), 49);
        QCOMPARE(timeline.FrameStartTime(49), 2040000);
        QCOMPARE(timeline.FrameEndTime(47), 1999999);
        QCOMPARE(timeline.FrameRateAt(10), 24.0);
        QCOMPARE(timeline.FrameRateAt(60), 25.0);
        QCOMPARE(timeline.GetTrack()->SourceFrame(60), 12);
        QCOMPARE(second->SourceTime(2080000), 80000);
        QCOMPARE(second->TimelineTime(80000), 2080000);
        QCOMPARE(timeline.ClipAtTime(2000000), second);
        QVERIFY(!timeline.ClipAtTime(4000000));
        // Appending at an index out of range.
        QCOMPARE(timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 99), 2);
        QCOMPARE(timeline.FrameCount(), 146);
    }

    void cutsOfReferenceClips()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 100, 25.0, &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        a->SetPlaybackRange(10, 29); // the source's cut-in and cut-out
        QCOMPARE(a->GetSource()->CutInFrame(), 10);
        QCOMPARE(a->GetSource()->CutOutFrame(), 29);
        QCOMPARE(timeline.FrameCount(), 20); // the reference clip follows the source's cuts
        Clip* clip = timeline.ClipAt(0);
        QCOMPARE(clip->CutInTime(), 400000);
        QCOMPARE(clip->SourceTime(0), 400000);
        QCOMPARE(clip->SourceFrame(0), 10);
        // The source timeline itself still plays the whole source.
        QCOMPARE(a->FrameCount(), 100);
        timeline.SetUseSourceInOuts(false);
        QCOMPARE(timeline.FrameCount(), 100);
        QCOMPARE(clip->SourceTime(0), 0);
    }

    void playbackRange()
    {
        QObject owner;
        Timeline* timeline = SourceTimeline(QStringLiteral("a"), 100, 25.0, &owner);
        QSignalSpy range(timeline, &Timeline::PlaybackRangeChanged);
        timeline->SetPlaybackRange(5, 99);
        QCOMPARE(timeline->RangeStartFrame(), 5);
        QCOMPARE(timeline->StoredRangeEndFrame(), -1);
        QCOMPARE(timeline->RangeEndFrame(), 99);
        QCOMPARE(timeline->GetSource()->CutInFrame(), 5);
        QCOMPARE(range.last().at(0).toLongLong(), 200000LL);
        QCOMPARE(range.last().at(1).toLongLong(), 3999999LL);
        timeline->SetPlaybackRange(-3, 10);
        QCOMPARE(timeline->RangeStartFrame(), 0);
        QCOMPARE(timeline->StoredRangeEndFrame(), 10);
        QCOMPARE(timeline->RangeEndTime(), 439999);
        const int emitted = static_cast<int>(range.size());
        timeline->SetPlaybackRange(0, 10); // unchanged
        QCOMPARE(range.size(), emitted);
        timeline->SetPlaybackRange(500, 7); // start beyond the end, end before the start
        QCOMPARE(timeline->RangeStartFrame(), 99);
        QCOMPARE(timeline->StoredRangeEndFrame(), -1);
    }

    // A source timeline's range moved wholly past its old end, or before its old start,
    // becomes the source's cut-in and cut-out as given, in one change.
    void rangeMovedPastItself()
    {
        QObject owner;
        Timeline* timeline = SourceTimeline(QStringLiteral("a"), 100, 25.0, &owner);
        Source* source = timeline->GetSource();
        QSignalSpy changed(source, &Source::CutInOutChanged);
        timeline->SetPlaybackRange(0, 10);
        timeline->SetPlaybackRange(20, 30);
        QCOMPARE(source->CutInFrame(), 20);
        QCOMPARE(source->CutOutFrame(), 30);
        QCOMPARE(source->CutInTime(), 800000);
        QCOMPARE(source->CutOutTime(), 1239999);
        QCOMPARE(changed.size(), 2);
        timeline->SetPlaybackRange(2, 5);
        QCOMPARE(source->CutInFrame(), 2);
        QCOMPARE(source->CutOutFrame(), 5);
        timeline->SetPlaybackRange(60, -1);
        QCOMPARE(source->CutInFrame(), 60);
        QCOMPARE(source->CutOutFrame(), -1);
        QCOMPARE(source->CutOutTime(), 3999999); // the end of the last frame
        QCOMPARE(changed.size(), 4);
    }

    void playbackTime()
    {
        QObject owner;
        Timeline* timeline = SourceTimeline(QStringLiteral("a"), 100, 25.0, &owner);
        timeline->SetPlaybackTime(5000000);
        QVERIFY(timeline->PastEnd());
        QCOMPARE(timeline->PlaybackTime(), 3999999);
        timeline->SetPlaybackFrame(10);
        QVERIFY(!timeline->PastEnd());
        QCOMPARE(timeline->PlaybackTime(), 400000);
        QCOMPARE(timeline->PlaybackFrame(), 10);
        timeline->SetPlaybackFrame(1000);
        QCOMPARE(timeline->PlaybackFrame(), 99);
    }

    void panZoom()
    {
        Timeline timeline;
        QSignalSpy changed(&timeline, &Timeline::PanZoomChanged);
        timeline.SetPanZoom(QPointF(2, -3), 0.5f, true);
        QCOMPARE(timeline.PanInterpolation(), QPointF(1, -1));
        QCOMPARE(timeline.Zoom(), 1.0f);
        timeline.SetPanZoom(QPointF(0.25, 0), 7.0f, false);
        QCOMPARE(timeline.Zoom(), 4.0f);
        QVERIFY(!timeline.PanZoomEnabled());
        QCOMPARE(changed.size(), 2);
    }

    void rangeBookmarks()
    {
        Timeline timeline;
        QSignalSpy changed(&timeline, &Timeline::BookmarksChanged);
        QCOMPARE(timeline.AddRangeBookmark(10, 20), 0);
        QCOMPARE(timeline.AddRangeBookmark(10, 20), -1);
        QCOMPARE(timeline.AddRangeBookmark(10, 15), 0);
        QCOMPARE(timeline.AddRangeBookmark(2, 40), 0);
        QCOMPARE(timeline.RangeBookmarks(), (QList<RangeBookmark>{{2, 40}, {10, 15}, {10, 20}}));
        QVERIFY(timeline.RemoveRangeBookmark(10, 15));
        QVERIFY(!timeline.RemoveRangeBookmark(10, 15));
        QVERIFY(!timeline.HasRangeBookmark(10, 15));
        QCOMPARE(changed.size(), 4);
    }

    void frameBookmarks()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 100, 25.0, &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        QCOMPARE(timeline.AddFrameBookmark(3), 0);
        QCOMPARE(timeline.AddFrameBookmark(3), -1);
        QCOMPARE(timeline.AddFrameBookmark(500), -1); // no clip there
        FrameBookmark* bookmark = timeline.FrameBookmarkAt(3);
        QVERIFY(bookmark);
        QCOMPARE(bookmark->Frame(), 3);
        QCOMPARE(bookmark->TimelineFrame(), 3);
        // With a cut-in of 10 the bookmarked source frame 3 is not in the clip.
        a->SetPlaybackRange(10, 50);
        QCOMPARE(bookmark->TimelineFrame(), -1);
        timeline.SetUseSourceInOuts(false);
        QCOMPARE(bookmark->TimelineFrame(), 3);
        QCOMPARE(timeline.AddFrameBookmark(1), 0); // sorted by source frame
        QCOMPARE(timeline.FrameBookmarks().size(), 2);
        FrameBookmark* removed = timeline.RemoveFrameBookmark(3);
        QCOMPARE(removed, bookmark);
        QVERIFY(!removed->parent());
        delete removed;
        // Annotation edits leave a bookmark unsaved until it is marked saved.
        timeline.FrameBookmarkAt(1)->UndoStack()->push(new QUndoCommand(QStringLiteral("draw")));
        QVERIFY(!timeline.AnnotationsSaved());
        timeline.MarkAnnotationsSaved();
        QVERIFY(timeline.AnnotationsSaved());
    }

    void background()
    {
        Timeline timeline;
        FrameBookmark* first = timeline.BackgroundAnnotations();
        QVERIFY(first);
        FrameBookmark* taken = timeline.TakeBackgroundAnnotations();
        QCOMPARE(taken, first);
        QVERIFY(timeline.BackgroundAnnotations() != first);
        timeline.ReplaceBackgroundAnnotations(taken);
        QCOMPARE(timeline.BackgroundAnnotations(), taken);
        QCOMPARE(taken->parent(), &timeline);
    }

    void removeClips()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 10, 25.0, &owner);
        Timeline timeline;
        for (int i = 0; i < 3; ++i)
            timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), i);
        Clip* taken = timeline.RemoveClip(1);
        QVERIFY(taken);
        QCOMPARE(timeline.FrameCount(), 20);
        delete taken;
        timeline.RemoveClips({timeline.ClipAt(0)->Id()});
        QCOMPARE(timeline.GetTrack()->ClipCount(), 1);
        QCOMPARE(timeline.ClipAt(0)->StartFrame(), 0);
    }

    // Shrinking the track pulls the playhead and the range back inside it.
    void trackUpdateKeepsStateInside()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 50, 25.0, &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 1);
        timeline.SetPlaybackRange(10, 80);
        timeline.SetPlaybackFrame(90);
        delete timeline.RemoveClip(1);
        QCOMPARE(timeline.RangeStartFrame(), 0);
        QCOMPARE(timeline.RangeEndFrame(), 49);
        QCOMPARE(timeline.PlaybackTime(), timeline.EndTime());

        // A range open to the end whose start the track no longer reaches.
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 1);
        timeline.SetPlaybackRange(70, -1);
        QCOMPARE(timeline.RangeEndFrame(), 99);
        delete timeline.RemoveClip(1);
        QCOMPARE(timeline.RangeStartFrame(), 0);
        QCOMPARE(timeline.RangeEndFrame(), 49);
    }

    void duplicate()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 50, 25.0, &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        timeline.SetPlaybackRange(5, 20);
        timeline.SetPlaybackFrame(12);
        std::unique_ptr<Timeline> copy(timeline.Duplicate());
        QVERIFY(!copy->IsSourceTimeline());
        QCOMPARE(copy->FrameCount(), 50);
        QCOMPARE(copy->ClipAt(0)->GetSource(), a->GetSource());
        QVERIFY(copy->ClipAt(0)->Id() != timeline.ClipAt(0)->Id());
        QCOMPARE(copy->RangeStartFrame(), 5);
        QCOMPARE(copy->StoredRangeEndFrame(), 20);
        QCOMPARE(copy->PlaybackFrame(), 12);
        QVERIFY(copy->Cache() != timeline.Cache());
        // The copy keeps the layout it was made with: a new cut-in and cut-out of its source
        // re-lays out the timeline, not the copy (which another thread may be reading).
        a->SetPlaybackRange(10, 19);
        QCOMPARE(timeline.FrameCount(), 10);
        QCOMPARE(copy->FrameCount(), 50);
        QCOMPARE(copy->ClipAt(0)->CutInFrame(), 0);
        a->SetPlaybackRange(0, -1);
        // A copy of a source timeline keeps its source track.
        std::unique_ptr<Timeline> sourceCopy(a->Duplicate());
        QVERIFY(sourceCopy->IsSourceTimeline());
        QCOMPARE(sourceCopy->GetSource(), a->GetSource());
    }

    // The engine's copy does not move when the master track is edited on the main thread.
    void decodeCopiesAreIndependent()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 50, 25.0, &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        std::unique_ptr<Track> copy(timeline.CopyDecodeTrack(DecodeType::Video));
        QCOMPARE(copy->ClipCount(), 1);
        timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        a->SetPlaybackRange(10, 20);
        QCOMPARE(copy->ClipCount(), 1);
        QCOMPARE(copy->FrameCount(), 50);
        QCOMPARE(copy->ClipAt(0)->StartFrame(), 0);
        std::unique_ptr<Track> fresh(timeline.CopyDecodeTrack(DecodeType::Video));
        QCOMPARE(fresh->ClipCount(), 2);
        QCOMPARE(fresh->FrameCount(), 22);
    }

    void fitToRange()
    {
        QObject owner;
        Timeline* a = SourceTimeline(QStringLiteral("a"), 50, 25.0, &owner); // 2 s each
        Timeline override;
        override.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
        override.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 1);
        std::unique_ptr<Track> track(override.GetTrack()->Copy(false));
        track->FitToRange(1000000, 2499999, 9999999);
        QCOMPARE(track->ClipCount(), 3);
        QCOMPARE(track->ClipAt(0)->StartTime(), -1000000);
        QCOMPARE(track->ClipAt(0)->EndTime(), 999999);
        QCOMPARE(track->ClipAt(1)->StartTime(), 1000000);
        QCOMPARE(track->ClipAt(1)->EndTime(), 1499999);
        QCOMPARE(track->ClipAt(1)->StartFrame(), 1);
        QCOMPARE(track->ClipAt(2)->Kind(), ClipKind::Empty);
        QCOMPARE(track->ClipAt(2)->StartTime(), 1500000);
        QCOMPARE(track->ClipAt(2)->EndTime(), 9999999);
        // Nothing for an empty or reversed range.
        std::unique_ptr<Track> untouched(override.GetTrack()->Copy(false));
        untouched->FitToRange(500, 500, 10);
        QCOMPARE(untouched->ClipAt(0)->StartTime(), 0);
    }

    void readiness()
    {
        QObject owner;
        Timeline* timeline = SourceTimeline(QStringLiteral("a"), 10, 25.0, &owner);
        QVERIFY(!timeline->VideoReadyAt(0));
        QVERIFY(timeline->VideoReadyAt(400000)); // beyond the end
        auto frame = VideoFrame::CreateEmpty(0);
        frame->timelineFrameStartTime = 0;
        frame->timelineFrameEndTime = 79999;
        frame->firstTimelineFrame = 0;
        frame->lastTimelineFrame = 1;
        frame->endTime = 79999;
        timeline->CacheVideoFrame(frame);
        QCOMPARE(frame->timeline, timeline);
        QVERIFY(timeline->VideoReadyAt(79999));
        QVERIFY(!timeline->VideoReadyAt(80000));
        timeline->CacheAudioFrame(CacheManager::MakeSilence(0, 99999));
        QVERIFY(timeline->AudioReady());
        QVERIFY(!timeline->AudioReadyAt(100000));
    }

    void readingAudio()
    {
        QObject owner;
        Timeline* timeline = SourceTimeline(QStringLiteral("a"), 25, 25.0, &owner);
        // Block A: sample frames 1..6 from 0 µs; then 125 µs of silence (6 frames);
        // block B: frames 20..25.
        timeline->CacheAudioFrame(Block(0, 124, Samples(6, 1)));
        timeline->CacheAudioFrame(CacheManager::MakeSilence(125, 249));
        timeline->CacheAudioFrame(Block(250, 374, Samples(6, 20)));
        QByteArray buffer;
        timeline->SeekAudio(buffer, 42); // 2 sample frames into block A
        QVERIFY(timeline->AudioPositionValid());
        timeline->ReadAudio(buffer, 8 * 12, true);
        QCOMPARE(buffer.size(), 96);
        QCOMPARE(buffer.at(0), char(3));
        QCOMPARE(buffer.at(8 * 3), char(6));
        QCOMPARE(buffer.at(8 * 4), char(0));  // silence
        QCOMPARE(buffer.at(8 * 10), char(20)); // block B
        QCOMPARE(buffer.at(8 * 11), char(21));

        // Backwards from block B's third frame: frames in reverse order across the silence.
        timeline->SeekAudio(buffer, 292);
        QVERIFY(buffer.isEmpty());
        timeline->ReadAudio(buffer, 8 * 10, false);
        QCOMPARE(buffer.size(), 80);
        QCOMPARE(buffer.at(0), char(22));
        QCOMPARE(buffer.at(8 * 2), char(20));
        QCOMPARE(buffer.at(8 * 3), char(0));
        QCOMPARE(buffer.at(8 * 9), char(6));
        // The start of the run ends reading.
        timeline->SeekAudio(buffer, 0);
        timeline->ReadAudio(buffer, 800, false);
        QCOMPARE(buffer.size(), 8);
        // A scrub reads one frame's worth of audio; nothing when the duration is 0.
        timeline->SeekAudio(buffer, 0);
        timeline->ReadAudioDuration(buffer, 0, true);
        QVERIFY(buffer.isEmpty());
        timeline->ReadAudioDuration(buffer, 84, true); // 4 sample frames at 48 kHz
        QCOMPARE(buffer.size(), 32);
    }
};

QTEST_GUILESS_MAIN(TestTimeline)
#include "tst_timeline.moc"
