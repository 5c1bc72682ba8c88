#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/DecodeManager.h"
#include "media/AudioFrame.h"
#include "media/AvParser.h"
#include "media/CacheManager.h"
#include "project/Clip.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/Track.h"
#include "tests/DecodeRun.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cmath>
#include <functional>

using TestSupport::CheckRun;
using TestSupport::DecodeRun;
using TestSupport::MediaPath;
using TestSupport::ParsedTimeline;
using TestSupport::PictureNumber;
using TestSupport::WaitForRun;

class TestDecodeManager : public QObject
{
    Q_OBJECT

    QObject m_sources;
    Timeline* m_a = nullptr; // 25 fps, 25 frames
    Timeline* m_b = nullptr; // 23.976 fps, 48 frames
    Timeline* m_c = nullptr; // 25 fps, 25 frames, cut to 5..14

    // Three clips: frames 0-24 from A, 25-72 from B, 73-82 from C's frames 5-14.
    std::unique_ptr<Timeline> ThreeClips()
    {
        auto timeline = std::make_unique<Timeline>();
        timeline->InsertClip(new Clip(ClipKind::Reference, m_a->GetSource()), 0);
        timeline->InsertClip(new Clip(ClipKind::Reference, m_b->GetSource()), 1);
        timeline->InsertClip(new Clip(ClipKind::Reference, m_c->GetSource()), 2);
        timeline->SetOutputId(0);
        return timeline;
    }

    static int ThreeClipsPicture(int f) { return f < 25 ? f : f < 73 ? f - 25 : f - 73 + 5; }

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        qRegisterMetaType<std::shared_ptr<VideoFrame>>();
        m_a = ParsedTimeline(MediaPath("clip_rotated.mp4"), &m_sources);
        m_b = ParsedTimeline(MediaPath("clip_23976.mp4"), &m_sources);
        m_c = ParsedTimeline(MediaPath("clip_1366.mp4"), &m_sources);
        m_c->SetPlaybackRange(5, 14);
        QCOMPARE(m_a->FrameCount(), 25);
        QCOMPARE(m_b->FrameCount(), 48);
    }

    void invalidStart()
    {
        TestSupport::LogCapture log;
        DecodeManager manager;
        manager.StartDecoding(nullptr, DecodeType::Video, false);
        Timeline timeline;
        manager.StartDecoding(&timeline, DecodeType::None, false);
        QCOMPARE(log.errors.count(QStringLiteral("Start decoding failed: Invalid timeline or decode type.")), 2);
    }

    void forwardsAcrossCuts()
    {
        auto timeline = ThreeClips();
        QCOMPARE(timeline->FrameCount(), 83);
        DecodeRun run(timeline.get());
        QVERIFY(WaitForRun(*timeline, 0, 82));
        run.Stop();
        CheckRun(*timeline, 0, 82, ThreeClipsPicture);
        // The run is contiguous: every microsecond of the timeline finds a frame.
        QCOMPARE(timeline->Cache()->VideoTimelineStartTime(), 0);
        QCOMPARE(timeline->Cache()->VideoTimelineEndTime(), timeline->EndTime());
    }

    void backwardsAcrossCuts()
    {
        auto timeline = ThreeClips();
        timeline->SetPlaybackFrame(82);
        timeline->SetPlaybackState(Timeline::PlayingBackward);
        DecodeRun run(timeline.get());
        QVERIFY(WaitForRun(*timeline, 0, 82));
        run.Stop();
        CheckRun(*timeline, 0, 82, ThreeClipsPicture);
    }

    // Reversing mid-clip carries on backwards from the start of the cached run.
    void reversingDirection()
    {
        auto timeline = ThreeClips();
        timeline->SetPlaybackFrame(50);
        DecodeRun run(timeline.get());
        QVERIFY(WaitForRun(*timeline, 50, 82));
        QVERIFY(timeline->Cache()->FirstTimelineFrame() > 0);
        std::vector<std::shared_ptr<VideoFrame>> before;
        timeline->GetVideoFrames(timeline->FrameStartTime(60), before);
        QVERIFY(before[0]);
        timeline->SetPlaybackState(Timeline::PlayingBackward);
        QVERIFY(WaitForRun(*timeline, 0, 82));
        run.Stop();
        CheckRun(*timeline, 0, 82, ThreeClipsPicture);
        // What was cached forwards stayed: the same frame, not a second decode of it.
        std::vector<std::shared_ptr<VideoFrame>> after;
        timeline->GetVideoFrames(timeline->FrameStartTime(60), after);
        QCOMPARE(after[0].get(), before[0].get());
    }

    // A cache smaller than the timeline fills up to its budget and no further.
    void budget()
    {
        QObject owner;
        Timeline* hd = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, hd->GetSource()), 0);
        timeline.InsertClip(new Clip(ClipKind::Reference, hd->GetSource()), 1);
        timeline.SetOutputId(0);
        timeline.Cache()->SetCacheSize(256);
        const int64_t frameBytes = 1920 * 1080 * 3 / 2;
        const CacheManager* cache = timeline.Cache();
        // The size is watched while the cache fills, and while moving the playhead lets it
        // drop frames behind the playhead and decode further, each time past its budget.
        int64_t largest = 0;
        auto watch = [&] { largest = std::max(largest, cache->VideoSize()); };
        DecodeRun run(&timeline);
        QVERIFY(TestSupport::WaitFor([&] { watch(); return cache->IsVideoFull(); }, 60000));
        timeline.SetPlaybackFrame(70);
        QVERIFY(TestSupport::WaitFor([&] {
            watch();
            return cache->VideoFrameCount() > 0 && cache->FirstTimelineFrame() <= 70 && cache->LastTimelineFrame() >= 105;
        }, 60000)); // about half of the budget on either side
        QVERIFY(run.Stop());
        watch();
        QVERIFY2(largest <= cache->VideoMaximumSize() + frameBytes + 64, qPrintable(QString::number(largest)));
        const int first = cache->FirstTimelineFrame(), last = cache->LastTimelineFrame();
        QVERIFY(first > 0); // frames behind the playhead went
        CheckRun(timeline, first, last, [](int f) { return f % 75; });
    }

    // A seek within the clip being decoded seeks the decoder already open.
    void seekWithinClip()
    {
        QObject owner;
        Timeline* longClip = ParsedTimeline(MediaPath("clip_1080p25_gop250.mp4"), &owner);
        QCOMPARE(longClip->FrameCount(), 125);
        longClip->SetOutputId(0);
        longClip->Cache()->SetCacheSize(256); // 82 pictures: decoding waits inside the clip
        DecodeRun run(longClip);
        QVERIFY(WaitForRun(*longClip, 0, 60));
        QTRY_VERIFY_WITH_TIMEOUT(longClip->Cache()->IsVideoFull(), 20000);
        longClip->SetPlaybackFrame(110);
        run.Seek();
        QVERIFY(WaitForRun(*longClip, 110, 124));
        QVERIFY(run.Stop());
        QCOMPARE(run.Opens(), 1);
        CheckRun(*longClip, 110, 124, [](int f) { return f; });
    }

    // A seek into another clip leaves the clip being decoded for that one.
    void seekToAnotherClip()
    {
        QObject owner;
        Timeline* longClip = ParsedTimeline(MediaPath("clip_1080p25_gop250.mp4"), &owner);
        Timeline* hd = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, longClip->GetSource()), 0);
        timeline.InsertClip(new Clip(ClipKind::Reference, hd->GetSource()), 1);
        timeline.SetOutputId(0);
        timeline.Cache()->SetCacheSize(256);
        DecodeRun run(&timeline);
        QVERIFY(WaitForRun(timeline, 0, 60));
        QTRY_VERIFY_WITH_TIMEOUT(timeline.Cache()->IsVideoFull(), 20000);
        QCOMPARE(run.Manager()->DecoderOpenCount(), 1);
        timeline.SetPlaybackFrame(150);
        run.Seek();
        QVERIFY(WaitForRun(timeline, 150, 199));
        QVERIFY(run.Stop());
        QCOMPARE(run.Opens(), 2);
        CheckRun(timeline, 150, 199, [](int f) { return f - 125; });
        QVERIFY(timeline.Cache()->FirstTimelineFrame() > 125);
    }

    // The playback direction turns while the time just sought to is still being decoded
    // towards (the first frames cached lie before it): decoding starts again from the
    // playhead in the new direction, and the playhead's frame comes. Video seeks to the
    // only keyframe, 110 frames back; sound seeks along with the picture, to its start.
    void directionTurnsBeforeTheSoughtTimeIsCached_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("type");
        QTest::addColumn<int64_t>("time");
        QTest::newRow("video") << "clip_1080p25_gop250.mp4" << int(DecodeType::Video) << int64_t(4'400'000);
        QTest::newRow("audio") << "clip_h264_aac.ts" << int(DecodeType::Audio) << int64_t(2'500'000);
    }
    void directionTurnsBeforeTheSoughtTimeIsCached()
    {
        QFETCH(QString, file);
        QFETCH(int, type);
        QFETCH(int64_t, time);
        const bool video = type == int(DecodeType::Video);
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath(file), &owner);
        timeline->SetOutputId(0);
        timeline->SetPlaybackTime(time);
        const CacheManager* cache = timeline->Cache();
        DecodeRun run(timeline, DecodeType(type), false);
        // Runs on the decoding thread between two decoded blocks, so the turn comes right
        // after the first one is cached.
        std::atomic<bool> turned{false};
        std::atomic<bool> soughtTimeCached{false};
        std::function<void()> turnOnceCached = [&] {
            if ((video ? cache->VideoFrameCount() : cache->AudioFrameCount()) == 0) {
                QMetaObject::invokeMethod(run.Manager(), turnOnceCached, Qt::QueuedConnection);
                return;
            }
            soughtTimeCached = video ? timeline->VideoReadyAt(time) : timeline->AudioReadyAt(time);
            timeline->SetPlaybackState(Timeline::PlayingBackward);
            turned = true;
        };
        QMetaObject::invokeMethod(run.Manager(), turnOnceCached, Qt::QueuedConnection);
        run.Start();
        QVERIFY(TestSupport::WaitFor([&] { return turned.load(); }));
        QVERIFY2(!soughtTimeCached, "the turn came too late to matter");
        QVERIFY(TestSupport::WaitFor([&] { return video ? timeline->VideoReadyAt(time) : timeline->AudioReadyAt(time); }, 20000));
        QVERIFY(run.Stop());
        if (video)
            CheckRun(*timeline, 110, 110, [](int f) { return f; });
    }

    void missingFileShowsEmptyFrames()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("gone.mp4"));
        QVERIFY(QFile::copy(MediaPath("clip_rotated.mp4"), copy));
        QObject owner;
        Timeline* gone = ParsedTimeline(copy, &owner);
        QVERIFY(QFile::remove(copy));
        auto timeline = ThreeClips();
        timeline->InsertClip(new Clip(ClipKind::Reference, gone->GetSource()), 1); // frames 25-49
        DecodeRun run(timeline.get());
        QVERIFY(WaitForRun(*timeline, 0, 107));
        run.Stop();
        CheckRun(*timeline, 0, 107, [](int f) { return f < 25 ? f : f < 50 ? -1 : ThreeClipsPicture(f - 25); });
    }

    // Sound across clips: a clip without sound is silence for its whole length, the tone
    // follows sample for sample, forwards and backwards, with no gap in the cached run.
    void audioAcrossClips_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::newRow("forwards") << true;
        QTest::newRow("backwards") << false;
    }
    void audioAcrossClips()
    {
        QFETCH(bool, forward);
        QObject owner;
        Timeline* tone = ParsedTimeline(MediaPath("tone_440.wav"), &owner);
        Timeline timeline;
        timeline.InsertClip(new Clip(ClipKind::Reference, m_a->GetSource()), 0);  // 1 s, no sound
        timeline.InsertClip(new Clip(ClipKind::Reference, tone->GetSource()), 1); // 95 frames at 24 fps
        const int64_t toneStart = 1'000'000;
        QCOMPARE(timeline.FrameStartTime(25), toneStart);
        const int64_t end = timeline.EndTime();
        QVERIFY(end > 4'900'000);
        if (!forward) {
            timeline.SetPlaybackTime(end - 1);
            timeline.SetPlaybackState(Timeline::PlayingBackward);
        }
        DecodeRun run(&timeline, DecodeType::Audio);
        const CacheManager* cache = timeline.Cache();
        QTRY_VERIFY_WITH_TIMEOUT(cache->AudioFrameCount() > 0 && cache->AudioStartTime() == 0 && cache->AudioEndTime() >= end - 1,
                                 30000);
        run.Stop();

        QByteArray bytes;
        timeline.SeekAudio(bytes, 0);
        timeline.ReadAudio(bytes, AudioFormat::BytesForDuration(end), true);
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        const qsizetype frames = bytes.size() / AudioFormat::kBytesPerFrame;
        QVERIFY2(frames >= AudioFormat::BytesForDuration(end) / AudioFormat::kBytesPerFrame - 1, qPrintable(QString::number(frames)));
        const qsizetype first = toneStart * AudioFormat::kSampleRate / 1'000'000;
        for (qsizetype i = 0; i < first; ++i)
            QVERIFY2(samples[2 * i] == 0.0f, qPrintable(QStringLiteral("sound at sample %1").arg(i)));
        const qsizetype toneFrames = std::min<qsizetype>(frames, first + 4 * AudioFormat::kSampleRate) - first;
        QVERIFY(toneFrames > 3 * AudioFormat::kSampleRate);
        for (qsizetype i = 0; i < toneFrames; ++i) {
            const double expected = 0.2 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / AudioFormat::kSampleRate);
            QVERIFY2(std::abs(samples[2 * (first + i)] - expected) < 1e-4 && samples[2 * (first + i) + 1] == samples[2 * (first + i)],
                     qPrintable(QStringLiteral("tone sample %1: %2, expected %3").arg(i).arg(samples[2 * (first + i)]).arg(expected)));
        }
    }

    // A file whose only picture is its cover plays as sound alone: the timeline is as long
    // as the sound, and the tone fills it.
    void soundBesideCoverPicture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("MP4 attached picture") << "tone_cover.m4a";
        QTest::newRow("Matroska attachment") << "tone_cover.mkv";
    }
    void soundBesideCoverPicture()
    {
        QFETCH(QString, file);
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath(file), &owner);
        const int64_t end = timeline->EndTime();
        QVERIFY2(end > 1'900'000, qPrintable(QString::number(end)));
        DecodeRun run(timeline, DecodeType::Audio);
        const CacheManager* cache = timeline->Cache();
        QTRY_VERIFY_WITH_TIMEOUT(cache->AudioFrameCount() > 0 && cache->AudioStartTime() == 0 && cache->AudioEndTime() >= end - 1,
                                 30000);
        run.Stop();
        QByteArray bytes;
        timeline->SeekAudio(bytes, 0);
        timeline->ReadAudio(bytes, AudioFormat::BytesForDuration(end), true);
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        const size_t frames = static_cast<size_t>(bytes.size() / AudioFormat::kBytesPerFrame);
        QVERIFY(frames > 90000);
        QVERIFY(TestSupport::RootMeanSquare(samples, frames, 2) > 0.05);
        const double frequency = TestSupport::ZeroCrossingFrequency(samples, frames, 2, AudioFormat::kSampleRate);
        QVERIFY2(std::abs(frequency - 440.0) < 440.0 * 0.01, qPrintable(QString::number(frequency)));
    }

    // Backwards over the first seconds of an MPEG-TS, whose streams start at about 1.4 s: the
    // sound runs on down to 0, from one opening of the file.
    void soundBackwardsToTheStartOfATransportStream()
    {
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("clip_h264_aac.ts"), &owner);
        const int64_t end = timeline->EndTime();
        QVERIFY(end > 2'900'000);
        timeline->SetPlaybackTime(end - 1);
        timeline->SetPlaybackState(Timeline::PlayingBackward);
        DecodeRun run(timeline, DecodeType::Audio);
        const CacheManager* cache = timeline->Cache();
        QTRY_VERIFY_WITH_TIMEOUT(cache->AudioFrameCount() > 0 && cache->AudioStartTime() == 0 && cache->AudioEndTime() >= end - 1,
                                 30000);
        QVERIFY(run.Stop());
        QCOMPARE(run.Opens(), 1);
        QByteArray bytes;
        timeline->SeekAudio(bytes, 0);
        timeline->ReadAudio(bytes, AudioFormat::BytesForDuration(end), true);
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        // Every tenth of a second holds the tone, the first ones too.
        const size_t tenth = AudioFormat::kSampleRate / 10;
        const size_t frames = static_cast<size_t>(bytes.size() / AudioFormat::kBytesPerFrame);
        QVERIFY(frames >= 29 * tenth);
        for (size_t from = tenth / 2; from + tenth <= 29 * tenth; from += tenth)
            QVERIFY2(TestSupport::RootMeanSquare(samples + 2 * from, tenth, 2) > 0.05,
                     qPrintable(QStringLiteral("silence at %1 s").arg(static_cast<double>(from) / AudioFormat::kSampleRate)));
    }

    // Edits on the main thread leave the decoding copy alone until the track is updated: with
    // a clip removed once decoding is under way, the run still fills up to frame 82, which
    // only the old layout has.
    void trackUpdate()
    {
        auto timeline = ThreeClips();
        DecodeRun run(timeline.get());
        QVERIFY(TestSupport::WaitFor([&] { return timeline->Cache()->VideoFrameCount() > 0; }));
        delete timeline->RemoveClip(0);
        QVERIFY(WaitForRun(*timeline, 0, 82));
        run.UpdateTrack();
        QTRY_VERIFY_WITH_TIMEOUT(timeline->Cache()->LastTimelineFrame() == 57, 20000);
        QVERIFY(WaitForRun(*timeline, 0, 57));
        run.Stop();
        CheckRun(*timeline, 0, 57, [](int f) { return f < 48 ? f : f - 48 + 5; });
    }

    void framesReachTheViewer()
    {
        auto timeline = ThreeClips();
        timeline->SetPlaybackFrame(30);
        DecodeRun run(timeline.get(), DecodeType::Video, false);
        std::shared_ptr<VideoFrame> shown, previous, next;
        connect(run.Manager(), &DecodeManager::VideoFrameChanged, this,
                [&](std::shared_ptr<VideoFrame> f, std::shared_ptr<VideoFrame> p, std::shared_ptr<VideoFrame> n) {
                    if (f) {
                        shown = f;
                        previous = p;
                        next = n;
                    }
                });
        run.Start();
        // The frame at the playhead is sent as soon as it is cached (its neighbours may not
        // be yet), and again only when the playhead moves to another frame.
        QTRY_VERIFY_WITH_TIMEOUT(shown, 20000);
        QCOMPARE(shown->firstTimelineFrame, 30);
        QCOMPARE(PictureNumber(*shown), 5);
        QVERIFY(WaitForRun(*timeline, 29, 40));
        timeline->SetPlaybackFrame(31);
        QTRY_VERIFY_WITH_TIMEOUT(shown->firstTimelineFrame == 31, 20000);
        QCOMPARE(previous->firstTimelineFrame, 30);
        QCOMPARE(next->firstTimelineFrame, 32);
        run.Stop();
    }
};

QTEST_GUILESS_MAIN(TestDecodeManager)
#include "tst_decodemanager.moc"
