#include "core/Logger.h"
#include "media/CacheManager.h"
#include "tests/TestSupport.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <limits>

namespace {

// A video frame of `bytes` bytes on timeline frame `index` at 25 fps (40,000 µs per frame).
VideoFramePtr Frame(int index, int bytes = 1000)
{
    const int lines[3] = {bytes, 0, 0};
    auto frame = VideoFrame::Allocate(VideoFrameFormatRGB, 1, lines, index * 40000LL, 40000.0, nullptr);
    frame->timelineFrameStartTime = index * 40000LL;
    frame->timelineFrameEndTime = index * 40000LL + 39999;
    frame->firstTimelineFrame = index;
    frame->lastTimelineFrame = index;
    return frame;
}

AudioFramePtr Block(int64_t start, int64_t end, int64_t size = 8000)
{
    auto block = std::make_shared<AudioFrame>();
    block->startTime = start;
    block->endTime = end;
    block->size = size;
    block->sampleCount = static_cast<int32_t>(size / 8);
    return block;
}

int Index(const VideoFramePtr& frame)
{
    return frame ? frame->firstTimelineFrame : -1;
}

} // namespace

class TestCacheManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }

    void limits()
    {
        CacheManager cache;
        QCOMPARE(cache.VideoMaximumSize(), 1024LL * 1000000);
        QCOMPARE(cache.AudioMaximumSize(), 12288000LL);
        cache.SetCacheSize(100);
        QCOMPARE(cache.VideoMaximumSize(), 256000000LL);
        QCOMPARE(cache.AudioMaximumSize(), 3072000LL);
    }

    void videoInsertion()
    {
        CacheManager cache;
        cache.CacheVideoFrame(Frame(0));
        cache.CacheVideoFrame(Frame(1));
        cache.CacheVideoFrame(Frame(2));
        auto early = Frame(-1);
        early->endTime = 1234; // whatever the decoder said, it now ends where the run starts
        cache.CacheVideoFrame(early);
        QCOMPARE(cache.VideoFrameCount(), 4);
        QCOMPARE(cache.VideoStartTime(), -40000);
        QCOMPARE(early->endTime.load(), -1);
        QCOMPARE(early->timelineFrameEndTime.load(), -1);
        QCOMPARE(cache.FirstTimelineFrame(), -1);
        cache.CacheVideoFrame(Frame(1)); // covered already
        cache.CacheVideoFrame(nullptr);
        QCOMPARE(cache.VideoFrameCount(), 4);
        QCOMPARE(cache.VideoSize(), 4000);
        QCOMPARE(cache.VideoEndTime(), 120000); // the decoder's end: time + frame duration
        QCOMPARE(cache.LastTimelineFrame(), 2);

        // Appending a frame that starts later stretches the last one up to it.
        auto gapped = Frame(5);
        cache.CacheVideoFrame(gapped);
        std::vector<VideoFramePtr> found;
        cache.GetVideoFrames(150000, found);
        QCOMPARE(Index(found.at(0)), 2);
        QCOMPARE(Index(found.at(2)), 5);
    }

    void lookup()
    {
        CacheManager cache;
        for (int i = 0; i < 10; ++i)
            cache.CacheVideoFrame(Frame(i));
        for (int64_t t : {0LL, 39999LL, 40000LL, 200000LL, 399999LL}) {
            std::vector<VideoFramePtr> found;
            cache.GetVideoFrames(t, found);
            QCOMPARE(found.size(), size_t(3));
            const int index = static_cast<int>(t / 40000);
            QCOMPARE(Index(found[0]), index);
            QCOMPARE(Index(found[1]), index - 1);
            QCOMPARE(Index(found[2]), index == 9 ? -1 : index + 1);
        }
        // One microsecond past the last frame's span, or before the first: three nulls.
        for (int64_t t : {400000LL, -1LL}) {
            std::vector<VideoFramePtr> found;
            cache.GetVideoFrames(t, found);
            QCOMPARE(found, (std::vector<VideoFramePtr>{nullptr, nullptr, nullptr}));
        }
    }

    void trimForward()
    {
        CacheManager cache;
        cache.SetCacheSize(256); // 256,000,000 bytes: ten frames of 25.6 MB fill it
        for (int i = 0; i < 10; ++i)
            cache.CacheVideoFrame(Frame(i, 25600000));
        QVERIFY(cache.IsVideoFull());
        // Playhead in frame 5: five frames (half) lie behind; not more than half, keep.
        cache.TrimVideo(5 * 40000, true, 0.5);
        QCOMPARE(cache.VideoFrameCount(), 10);
        // In frame 6: six frames behind; the first one goes, and only one per call.
        cache.TrimVideo(6 * 40000, true, 0.5);
        QCOMPARE(cache.VideoFrameCount(), 9);
        QCOMPARE(cache.FirstTimelineFrame(), 1);
        QCOMPARE(cache.VideoStartTime(), 40000);
        // Below the maximum nothing is trimmed.
        cache.TrimVideo(9 * 40000, true, 0.5);
        QCOMPARE(cache.VideoFrameCount(), 9);
    }

    void trimBackward()
    {
        CacheManager cache;
        cache.SetCacheSize(256);
        for (int i = 0; i < 10; ++i)
            cache.CacheVideoFrame(Frame(i, 25600000));
        cache.TrimVideo(5 * 40000, false, 0.5); // half ahead: keep
        QCOMPARE(cache.VideoFrameCount(), 10);
        cache.TrimVideo(4 * 40000, false, 0.5); // six ahead: the last goes
        QCOMPARE(cache.VideoFrameCount(), 9);
        QCOMPARE(cache.LastTimelineFrame(), 8);
        QCOMPARE(cache.VideoTimelineEndTime(), 8 * 40000 + 39999);
        // A playhead past the run drops the front whatever the direction.
        cache.CacheVideoFrame(Frame(9, 25600000));
        cache.TrimVideo(20 * 40000, false, 0.5);
        QCOMPARE(cache.FirstTimelineFrame(), 1);
    }

    void trimToEmpty()
    {
        CacheManager cache;
        cache.SetCacheSize(256);
        cache.CacheVideoFrame(Frame(3, 300000000));
        cache.TrimVideo(0, true, 0.5); // all of it lies ahead: kept
        QCOMPARE(cache.VideoFrameCount(), 1);
        cache.TrimVideo(200000, true, 0.5); // the playhead has passed it
        QCOMPARE(cache.VideoFrameCount(), 0);
        QCOMPARE(cache.VideoSize(), 0);
        QCOMPARE(cache.VideoEndTime(), 0);
    }

    void extendVideoEnd()
    {
        CacheManager cache;
        cache.CacheVideoFrame(Frame(0));
        cache.ExtendVideoEnd(99999);
        QCOMPARE(cache.VideoEndTime(), 99999);
        QCOMPARE(cache.VideoTimelineEndTime(), 99999);
        cache.ExtendVideoEnd(50000); // never shortens
        QCOMPARE(cache.VideoEndTime(), 99999);
    }

    void audioRun()
    {
        CacheManager cache;
        cache.CacheAudioFrame(Block(1000, 1999));
        cache.CacheAudioFrame(Block(2000, 2999));
        cache.CacheAudioFrame(Block(3500, 3999)); // stretches the previous block to 3499
        QCOMPARE(cache.AudioFrameCount(), 3);
        QCOMPARE(cache.AudioStartTime(), 1000);
        QCOMPARE(cache.AudioEndTime(), 3999);
        QCOMPARE(cache.GetAudioFrame(3400, true)->startTime, 2000);
        QCOMPARE(cache.CurrentAudioFrame()->startTime, 2000);
        // A block put in front keeps the cursor on the same block.
        cache.CacheAudioFrame(Block(0, 999));
        QCOMPARE(cache.CurrentAudioFrame()->startTime, 2000);
        QCOMPARE(cache.StepAudioFrame(true)->startTime, 3500);
        QVERIFY(!cache.StepAudioFrame(true));
        QVERIFY(!cache.GetAudioFrame(4000, true));
        QVERIFY(!cache.CurrentAudioFrame());
        QCOMPARE(cache.GetAudioFrame(0, true)->startTime, 0);
        QVERIFY(!cache.StepAudioFrame(false));
        cache.CacheAudioFrame(Block(2500, 2600)); // covered
        QCOMPARE(cache.AudioFrameCount(), 4);
        QCOMPARE(cache.AudioSize(), 32000);
    }

    void silence()
    {
        CacheManager cache;
        cache.AppendSilence(0, 999999); // one second: 48,000 sample frames
        QCOMPARE(cache.AudioFrameCount(), 1);
        AudioFramePtr block = cache.GetAudioFrame(500000, false);
        QVERIFY(block->flag);
        QVERIFY(block->data.isEmpty());
        QCOMPARE(block->size, 384000);
        QCOMPARE(block->sampleCount, 48000);
        cache.AppendSilence(0, 1499999); // starts after the run's end
        QCOMPARE(cache.AudioFrameCount(), 2);
        QCOMPARE(cache.GetAudioFrame(1200000, false)->startTime, 1000000);
        cache.AppendSilence(0, 1499999); // nothing left to fill
        QCOMPARE(cache.AudioFrameCount(), 2);
        cache.CacheAudioFrame(Block(2000000, 2999999));
        cache.ClearAudio();
        cache.CacheAudioFrame(Block(500000, 999999));
        cache.PrependSilence(0, 999999); // ends where the run starts
        QCOMPARE(cache.AudioStartTime(), 0);
        QCOMPARE(cache.GetAudioFrame(0, false)->endTime.load(), 499999);
    }

    // Silence costs the budget nothing, however long: three hours of it next to a full budget
    // of sound neither fills the cache nor is trimmed away from under the playhead.
    void longSilence()
    {
        constexpr int64_t kThreeHours = 3LL * 3600 * 1'000'000;
        CacheManager cache;
        cache.SetCacheSize(256); // audio maximum 3,072,000 bytes, about 8 s of sound
        cache.AppendSilence(0, kThreeHours - 1);
        QCOMPARE(cache.AudioSize(), 0);
        QVERIFY(!cache.IsAudioFull());
        AudioFramePtr block = cache.GetAudioFrame(kThreeHours / 2, true);
        QVERIFY(block);
        QCOMPARE(block->size, 3LL * 3600 * 48000 * 8); // it still stands for every sample
        for (const int64_t t : {int64_t{0}, kThreeHours / 2, kThreeHours - 1}) {
            cache.TrimAudio(t, true, 0.5);
            cache.TrimAudio(t, false, 0.5);
        }
        QCOMPARE(cache.AudioFrameCount(), 1);

        // Sound after the silence fills the budget; trimming removes sound, by its bytes.
        for (int i = 0; i < 10; ++i)
            cache.CacheAudioFrame(Block(kThreeHours + i * 1000, kThreeHours + i * 1000 + 999, 307200));
        QCOMPARE(cache.AudioSize(), 3072000);
        QVERIFY(cache.IsAudioFull());
        cache.TrimAudio(kThreeHours + 8500, false, 0.5); // playing backwards, the sound is behind
        QCOMPARE(cache.AudioFrameCount(), 11);
        cache.TrimAudio(kThreeHours + 500, false, 0.5); // now it lies ahead
        QCOMPARE(cache.AudioFrameCount(), 10);
        QCOMPARE(cache.AudioSize(), 3072000 - 307200);
        QCOMPARE(cache.AudioStartTime(), 0);

        // A silence long enough to overflow a sample count keeps a sane one.
        cache.ClearAudio();
        cache.AppendSilence(0, 24LL * 3600 * 1'000'000);
        QCOMPARE(cache.GetAudioFrame(0, false)->sampleCount, std::numeric_limits<int32_t>::max());
    }

    void audioTrim()
    {
        CacheManager cache;
        cache.SetCacheSize(256); // audio maximum 3,072,000 bytes
        for (int i = 0; i < 10; ++i)
            cache.CacheAudioFrame(Block(i * 1000, i * 1000 + 999, 307200));
        QVERIFY(cache.IsAudioFull());
        cache.GetAudioFrame(7500, true);
        cache.TrimAudio(6500, true, 0.5);
        QCOMPARE(cache.AudioStartTime(), 1000);
        QCOMPARE(cache.CurrentAudioFrame()->startTime, 7000); // the cursor follows its block
        cache.GetAudioFrame(1500, true);
        cache.CacheAudioFrame(Block(10000, 10999, 307200));
        cache.TrimAudio(7500, true, 0.5); // removes the cursor's own block
        QVERIFY(!cache.CurrentAudioFrame());
        QVERIFY(!cache.StepAudioFrame(true));
        cache.CacheAudioFrame(Block(11000, 11999, 307200));
        cache.TrimAudio(2500, false, 0.5);
        QCOMPARE(cache.AudioEndTime(), 10999);
    }

    void cacheInfo()
    {
        CacheManager cache;
        cache.SetCacheSize(256);
        cache.CacheVideoFrame(Frame(0, 1500000));
        cache.CacheVideoFrame(Frame(1, 1500000));
        cache.CacheAudioFrame(Block(0, 20999, 8064));
        QCOMPARE(cache.CacheInfo(QStringLiteral("A")),
                 QStringLiteral("--------------------\n"
                                "Cache Info (A)\n"
                                "\tAudio Frame Count: 1\n"
                                "\tAudio Start Time: 0 (0)\n"
                                "\tAudio End Time: 0.020999 (20999)\n"
                                "\tAudio Size: 0.008064 MB\n"
                                "\tAudio Maximum Size: 3.072 MB\n\n"
                                "\tVideo Frame Count: 2\n"
                                "\tVideo Start Time: 0 (0)\n"
                                "\tVideo End Time: 0.08 (80000)\n"
                                "\tVideo Size: 3 MB\n"
                                "\tVideo Maximum Size: 256 MB\n"
                                "--------------------\n"));
    }

    void deferredRelease()
    {
        CacheManager cache;
        auto frame = Frame(0);
        cache.CacheVideoFrame(frame);
        cache.CacheAudioFrame(Block(0, 999));
        cache.Clear(true);
        QCOMPARE(cache.VideoFrameCount(), 0);
        QCOMPARE(cache.AudioFrameCount(), 0);
        QCOMPARE(frame.use_count(), 2); // still held by the release list
        QCOMPARE(cache.TakeReleasedVideoFrames().size(), size_t(1));
        QCOMPARE(frame.use_count(), 1);
        QCOMPARE(cache.TakeReleasedAudioFrames().size(), size_t(1));
        QVERIFY(cache.TakeReleasedVideoFrames().empty());
    }

    // The audio decode thread inserts and trims while the output thread reads; every block
    // read must hold the time asked for, and the run must stay ordered.
    void audioProducerAndReader()
    {
        CacheManager cache;
        cache.SetCacheSize(256);
        std::atomic<bool> done{false};
        std::atomic<int> violations{0};
        std::atomic<int64_t> playhead{0};
        QThread* producer = QThread::create([&] {
            for (int64_t i = 0; i < 20000; ++i) {
                cache.CacheAudioFrame(Block(i * 21333, i * 21333 + 21332, 8192));
                cache.TrimAudio(playhead, true, 0.5);
                playhead = i * 21333 - 100 * 21333;
            }
            done = true;
        });
        QThread* reader = QThread::create([&] {
            while (!done) {
                const int64_t t = std::max<int64_t>(playhead, cache.AudioStartTime());
                if (AudioFramePtr block = cache.GetAudioFrame(t, true)) {
                    if (t < block->startTime || t > block->endTime)
                        ++violations;
                    AudioFramePtr next = cache.StepAudioFrame(true);
                    if (next && next->startTime != block->endTime + 1)
                        ++violations;
                }
                cache.CurrentAudioFrame();
            }
        });
        producer->start();
        reader->start();
        QVERIFY(producer->wait(60000));
        QVERIFY(reader->wait(60000));
        delete producer;
        delete reader;
        QCOMPARE(violations.load(), 0);
        QVERIFY(cache.AudioSize() <= cache.AudioMaximumSize() + 8192);
    }
};

QTEST_GUILESS_MAIN(TestCacheManager)
#include "tst_cachemanager.moc"
