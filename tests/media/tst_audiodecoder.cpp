#include "core/Logger.h"
#include "media/AudioDecoder.h"
#include "media/AvParser.h"
#include "media/VideoStreamInfo.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "tests/TestSupport.h"

#include <QTest>

#include <cmath>

using TestSupport::MediaPath;

namespace {

std::unique_ptr<Source> Parse(const QString& name)
{
    return TestSupport::ParsedSource(MediaPath(name));
}

struct Decoding
{
    explicit Decoding(Source* source)
    {
        opened = decoder.Open(source->ParserFileEntry(0), 0);
        QObject::connect(&decoder, &AudioDecoder::AudioFrameDecoded,
                         [this](std::shared_ptr<AudioFrame> block, AudioStreamInfo*) { blocks.push_back(std::move(block)); });
    }
    DecodeStatus Run()
    {
        DecodeStatus status = DecodeStatus::MoreToCome;
        for (int i = 0; i < 100000 && status == DecodeStatus::MoreToCome; ++i)
            status = decoder.DecodeNext();
        return status;
    }
    // The samples of the blocks in order, left channel.
    std::vector<float> Left() const
    {
        std::vector<float> samples;
        for (const auto& block : blocks) {
            if (!block)
                continue;
            const auto* data = reinterpret_cast<const float*>(block->data.constData());
            for (int i = 0; i < block->sampleCount; ++i)
                samples.push_back(data[2 * i]);
        }
        return samples;
    }
    AudioDecoder decoder;
    bool opened = false;
    std::vector<std::shared_ptr<AudioFrame>> blocks;
};

// Largest step between neighbouring samples: a pure tone of amplitude A at f Hz never steps
// more than 2 pi f A / 48000.
float LargestStep(const std::vector<float>& samples)
{
    float largest = 0.0f;
    for (size_t i = 1; i < samples.size(); ++i)
        largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
    return largest;
}

} // namespace

class TestAudioDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        ProjectGlobals::ResetFromSettings();
    }

    // 44.1 kHz: a block of 1,024 samples ends 23,218 µs after its start; starts follow the
    // packets' time stamps, so truncation never accumulates.
    void blockTimesAt44100()
    {
        auto source = Parse(QStringLiteral("tone_44100.wav"));
        Decoding d(source.get());
        QVERIFY(d.opened);
        d.decoder.Seek(0);
        QCOMPARE(d.Run(), DecodeStatus::EndOfFile);
        QVERIFY(!d.blocks.back()); // the end marker
        d.blocks.pop_back();
        QVERIFY(d.blocks.size() > 50);
        QCOMPARE(d.blocks.front()->startTime, 0);
        for (size_t i = 0; i + 1 < d.blocks.size(); ++i) {
            const AudioFrame& block = *d.blocks[i];
            QCOMPARE(block.startTime, static_cast<int64_t>(static_cast<double>(i) * 1024 * 1e6 / 44100));
            QCOMPARE(block.endTime.load(), block.startTime + 23218);
            // Resampled to 48 kHz: at most the capacity of 1,024 x 2 samples, about 1,115 of them.
            QVERIFY(block.sampleCount <= 2048);
            QCOMPARE(block.size, int64_t(block.sampleCount) * 8);
        }
        int64_t frames = 0;
        for (const auto& block : d.blocks)
            frames += block->sampleCount;
        QVERIFY2(std::abs(frames - 96000) < 200, qPrintable(QString::number(frames))); // 2 s at 48 kHz
        // Continuous: no jump between blocks.
        QVERIFY(LargestStep(d.Left()) < 2 * M_PI * 440 / 48000 * 0.125 * 1.1);
    }

    void channelsToStereo_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addRow("mono") << "tone_mono.wav";
        QTest::addRow("5.1") << "tone_51.wav";
    }

    void channelsToStereo()
    {
        QFETCH(QString, file);
        auto source = Parse(file);
        Decoding d(source.get());
        d.decoder.Seek(0);
        d.Run();
        d.blocks.pop_back();
        for (const auto& block : d.blocks) {
            const auto* data = reinterpret_cast<const float*>(block->data.constData());
            for (int i = 0; i < block->sampleCount; ++i)
                QCOMPARE(data[2 * i], data[2 * i + 1]); // both sides alike
        }
        const std::vector<float> left = d.Left();
        QVERIFY(TestSupport::RootMeanSquare(left.data(), left.size(), 1) > 0.02);
        const double frequency = TestSupport::ZeroCrossingFrequency(left.data(), left.size(), 1, 48000);
        // 5.1: the low-frequency channel (110 Hz) is left out of the stereo mix.
        QVERIFY2(std::abs(frequency - 440.0) < 440.0 * 0.01, qPrintable(QString::number(frequency)));
    }

    void timingAfterSeeks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<bool>("exactPhase");
        QTest::addRow("48 kHz") << "tone_440.wav" << 0.2 << true;
        // The resampler's filter holds back a few samples, so only continuity is exact.
        QTest::addRow("44.1 kHz resampled") << "tone_44100.wav" << 0.125 << false;
    }

    // Every block starts on the sample its time says (the tone's phase proves it), from the
    // start and after seeks, and the sine has no step between blocks: nothing from before a
    // seek is left in the resampler.
    void timingAfterSeeks()
    {
        QFETCH(QString, file);
        QFETCH(double, amplitude);
        QFETCH(bool, exactPhase);
        auto source = Parse(file);
        Decoding d(source.get());
        for (const int64_t t : {int64_t(0), int64_t(1'000'000), int64_t(1'345'678), int64_t(50'000)}) {
            d.blocks.clear();
            d.decoder.Seek(t);
            for (int i = 0; i < 20; ++i)
                d.decoder.DecodeNext();
            QVERIFY(!d.blocks.empty());
            QVERIFY(d.blocks.front()->startTime <= t);
            QVERIFY(d.blocks.front()->startTime >= t - 200'000);
            for (const auto& block : d.blocks) {
                if (!block || !exactPhase)
                    continue;
                const double seconds = static_cast<double>(block->startTime) / 1e6;
                const double expected = amplitude * std::sin(2 * M_PI * 440 * seconds);
                const float got = reinterpret_cast<const float*>(block->data.constData())[0];
                QVERIFY2(std::abs(got - expected) < amplitude * 2 * M_PI * 440 / 48000 * 1.5,
                         qPrintable(QStringLiteral("block at %1: %2, expected %3").arg(block->startTime).arg(got).arg(expected)));
            }
            const std::vector<float> left = d.Left();
            QVERIFY(LargestStep(left) < 2 * M_PI * 440 / 48000 * amplitude * 1.1);
        }
    }

    // Backwards: blocks latest first, ending with a null block and StartReached.
    void backwards()
    {
        auto source = Parse(QStringLiteral("tone_440.wav"));
        Decoding d(source.get());
        d.decoder.SetForward(false);
        d.decoder.Seek(3'999'000);
        QCOMPARE(d.Run(), DecodeStatus::StartReached);
        QVERIFY(!d.blocks.back());
        d.blocks.pop_back();
        QCOMPARE(d.blocks.back()->startTime, 0);
        QVERIFY(d.blocks.front()->endTime >= 3'990'000);
        for (size_t i = 0; i + 1 < d.blocks.size(); ++i) {
            // Adjacent: no overlap, and no gap beyond the microsecond lost to truncation.
            const int64_t gap = d.blocks[i]->startTime - (d.blocks[i + 1]->endTime.load() + 1);
            QVERIFY2(gap == 0 || gap == 1, qPrintable(QString::number(gap)));
        }
    }

    // An MPEG-TS starts its streams at about 1.4 s. Its sound is timed from the video's first
    // picture like its frames, so backwards it runs down to 0 before the start is reported.
    void backwardsToTheStartOfATransportStream()
    {
        auto source = Parse(QStringLiteral("clip_h264_aac.ts"));
        const VideoStreamInfo* video = source->VideoStream(0, 0);
        QVERIFY(video && video->startTimeOffset > 1'000'000);
        const AudioStreamInfo* info = source->AudioStream(0, 0);
        QCOMPARE(info->startTimeOffset, video->startTimeOffset);
        // The sound starts with the pictures, give or take a block of 1,024 samples.
        QVERIFY2(std::abs(info->startTime) < 1024 * 1'000'000 / 48000, qPrintable(QString::number(info->startTime)));
        QVERIFY2(std::abs(info->endTime - source->EndTime()) < 100'000, qPrintable(QString::number(info->endTime)));

        Decoding d(source.get());
        d.decoder.SetSeekStream(video->streamIndex);
        d.decoder.SetForward(false);
        d.decoder.Seek(source->EndTime());
        QCOMPARE(d.Run(), DecodeStatus::StartReached);
        QVERIFY(!d.blocks.back());
        d.blocks.pop_back();
        QVERIFY(!d.blocks.empty());
        QVERIFY2(d.blocks.back()->startTime <= 0 && d.blocks.back()->endTime >= 0,
                 qPrintable(QString::number(d.blocks.back()->startTime)));
        QVERIFY(d.blocks.front()->endTime >= source->EndTime() - 100'000);
        // Adjacent, within a sample: a transport stream stamps only the first of the several
        // blocks a packet carries, the times of the others are truncated sums.
        for (size_t i = 0; i + 1 < d.blocks.size(); ++i) {
            QVERIFY(d.blocks[i]);
            const int64_t gap = d.blocks[i]->startTime - (d.blocks[i + 1]->endTime.load() + 1);
            QVERIFY2(std::abs(gap) <= 1'000'000 / 48000, qPrintable(QStringLiteral("%1 at %2").arg(gap).arg(d.blocks[i]->startTime)));
        }
    }

    // A stream the resampler refuses (here a record whose sample rate is 0) is said so once
    // at open and still plays: silent blocks, timed and sized as the
    // sound would have been.
    void refusedResamplerGivesTimedSilence()
    {
        auto source = Parse(QStringLiteral("tone_440.wav"));
        source->ParserFileEntry(0)->audioStreams[0].sampleRate = 0;
        TestSupport::LogCapture log;
        Decoding d(source.get());
        QVERIFY(d.opened);
        QVERIFY2(log.CountErrorsStartingWith(QStringLiteral("Failed to initialise audio resampler.")) == 1,
                 qPrintable(log.errors.join(u'\n')));
        d.decoder.Seek(0);
        QCOMPARE(d.Run(), DecodeStatus::EndOfFile);
        QVERIFY(!d.blocks.back());
        d.blocks.pop_back();
        QVERIFY(!d.blocks.empty());
        QCOMPARE(d.blocks.front()->startTime, 0);
        int64_t samples = 0;
        for (size_t i = 0; i < d.blocks.size(); ++i) {
            const AudioFrame& block = *d.blocks[i];
            samples += block.sampleCount;
            QCOMPARE(block.size, int64_t(block.sampleCount) * 8);
            // Adjacent: no overlap, and no gap beyond the microsecond lost to truncation.
            const int64_t gap = i + 1 < d.blocks.size() ? d.blocks[i + 1]->startTime - (block.endTime.load() + 1) : 0;
            QVERIFY2(gap == 0 || gap == 1, qPrintable(QString::number(gap)));
        }
        QCOMPARE(samples, int64_t(4 * 48000)); // the file's 4 s at 48 kHz
        const std::vector<float> left = d.Left();
        QVERIFY(std::all_of(left.begin(), left.end(), [](float v) { return v == 0.0f; }));
    }

    void measuredTimes()
    {
        auto wav = Parse(QStringLiteral("tone_44100.wav"));
        const AudioStreamInfo* a = wav->AudioStream(0, 0);
        QCOMPARE(a->startTime, 0);
        QVERIFY(std::abs(a->endTime - 1999999) < 100);
        auto movie = Parse(QStringLiteral("clip_1080p25.mp4"));
        QVERIFY(movie->AudioStream(0, 0)->endTime >= 2'990'000);
        // The video decides a movie's length.
        QCOMPARE(movie->EndTime(), 2999999);
    }
};

QTEST_GUILESS_MAIN(TestAudioDecoder)
#include "tst_audiodecoder.moc"
