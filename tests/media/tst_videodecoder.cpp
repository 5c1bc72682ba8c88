#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AvParser.h"
#include "media/MediaTime.h"
#include "media/VideoDecoder.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "tests/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <functional>
#include <limits>

using TestSupport::MediaPath;
using TestSupport::PictureNumber;

namespace {

std::unique_ptr<Source> Parse(const QString& name)
{
    return TestSupport::ParsedSource(MediaPath(name));
}

// Drives a decoder on this thread and keeps what it emits.
struct Decoding
{
    explicit Decoding(Source* source, bool exportFrames = false)
        : decoder(exportFrames)
    {
        decoder.CreateDefaultWorker();
        opened = decoder.Open(source->ParserFileEntry(0), 0);
        QObject::connect(&decoder, &VideoDecoder::VideoFrameDecoded,
                         [this](std::shared_ptr<VideoFrame> frame) { frames.push_back(std::move(frame)); });
    }

    // Calls DecodeNext until it reports `until` (or any end), at most `limit` times.
    DecodeStatus Run(int limit = 100000)
    {
        DecodeStatus status = DecodeStatus::MoreToCome;
        for (int i = 0; i < limit; ++i) {
            status = decoder.DecodeNext();
            if (status == DecodeStatus::StartReached || status == DecodeStatus::EndOfFile)
                break;
        }
        return status;
    }

    // Decodes forwards until a frame holding `t` arrives; returns it, or null.
    std::shared_ptr<VideoFrame> FirstHolding(int64_t t)
    {
        for (int i = 0; i < 10000; ++i) {
            for (const auto& frame : frames)
                if (frame && frame->time <= t && t < frame->endTime)
                    return frame;
            frames.clear();
            if (decoder.DecodeNext() == DecodeStatus::EndOfFile) {
                for (const auto& frame : frames)
                    if (frame && frame->time <= t && t < frame->endTime)
                        return frame;
                return nullptr;
            }
        }
        return nullptr;
    }

    VideoDecoder decoder;
    bool opened = false;
    std::vector<std::shared_ptr<VideoFrame>> frames;
};

// A decoder whose container refuses the seeks that `refuse` picks (µs on the source's time
// line, 0 for the start of the file), as a damaged index or a demuxer's quirk would.
class RefusingDecoder : public VideoDecoder
{
public:
    explicit RefusingDecoder(std::function<bool(int64_t)> refuse)
        : VideoDecoder(false)
        , m_refuse(std::move(refuse))
    {
    }

    int refused = 0;

protected:
    int SeekContainer(int64_t s) override
    {
        if (m_refuse(s)) {
            ++refused;
            return -1;
        }
        return VideoDecoder::SeekContainer(s);
    }

private:
    std::function<bool(int64_t)> m_refuse;
};

} // namespace

class TestVideoDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        ProjectGlobals::ResetFromSettings();
        qRegisterMetaType<std::shared_ptr<VideoFrame>>();
    }

    void init() { Settings::ResetToDefaults(); }

    // The clips with the rate and the number of pictures they were made with.
    void clips_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("pictures");
        QTest::addRow("25 fps, GOP 12") << "clip_1080p25.mp4" << 25.0 << 75;
        QTest::addRow("25 fps, GOP 250") << "clip_1080p25_gop250.mp4" << 25.0 << 125;
        QTest::addRow("23.976 fps, GOP 24") << "clip_23976.mp4" << 24000.0 / 1001.0 << 48;
        QTest::addRow("23.976 fps, GOP 250") << "clip_23976_gop250.mp4" << 24000.0 / 1001.0 << 72;
        // VP9 with a single keyframe, its first picture 7 ms after the sound's start.
        QTest::addRow("WebM, video after sound") << "clip_vp9_opus.webm" << 25.0 << 75;
    }

    // Every picture once, in order, each at the time the clip's rate gives it (to the
    // microsecond it is rounded up to) and lasting one frame of that rate.
    void forwards_data() { clips_data(); }
    void forwards()
    {
        QFETCH(QString, file);
        QFETCH(double, rate);
        QFETCH(int, pictures);
        auto source = Parse(file);
        Decoding d(source.get());
        QVERIFY(d.opened);
        d.decoder.Seek(0);
        QCOMPARE(d.Run(), DecodeStatus::EndOfFile);
        QVERIFY(!d.frames.empty() && !d.frames.back()); // the end marker
        d.frames.pop_back();
        QCOMPARE(int(d.frames.size()), pictures);
        for (size_t i = 0; i < d.frames.size(); ++i) {
            const VideoFrame& frame = *d.frames[i];
            QCOMPARE(frame.format, VideoFrameFormatYUV420P);
            QVERIFY2(std::abs(static_cast<double>(frame.time) - static_cast<double>(i) * 1e6 / rate) < 1.0,
                     qPrintable(QStringLiteral("picture %1 at %2 µs").arg(i).arg(frame.time)));
            QCOMPARE(PictureNumber(frame), int(i));
            QCOMPARE(frame.endTime.load(), frame.time + static_cast<int64_t>(1e6 / rate));
        }
    }

    // Backwards from the end: every frame once, latest first, ending with StartReached on frame 0.
    void backwards_data() { clips_data(); }
    void backwards()
    {
        QFETCH(QString, file);
        QFETCH(double, rate);
        QFETCH(int, pictures);
        auto source = Parse(file);
        const int count = pictures;
        Decoding d(source.get());
        d.decoder.SetForward(false);
        d.decoder.Seek(static_cast<int64_t>(std::ceil((count - 1) * 1e6 / rate))); // the last picture
        DecodeStatus status = DecodeStatus::MoreToCome;
        int calls = 0;
        while (status == DecodeStatus::MoreToCome && calls < 10 * count) {
            const size_t before = d.frames.size();
            status = d.decoder.DecodeNext();
            QCOMPARE(d.frames.size(), before + 1); // one frame per call
            ++calls;
        }
        QCOMPARE(status, DecodeStatus::StartReached);
        QCOMPARE(int(d.frames.size()), count);
        for (int i = 0; i < count; ++i) {
            const VideoFrame& frame = *d.frames[static_cast<size_t>(i)];
            QCOMPARE(PictureNumber(frame), count - 1 - i);
            QVERIFY(std::abs(static_cast<double>(frame.time) - (count - 1 - i) * 1e6 / rate) < 1.0);
        }
        QCOMPARE(d.frames.back()->time, 0);
    }

    // Seeks the container refuses cost no pictures: backwards from the end, every frame still
    // comes, latest first, down to frame 0.
    void backwardsPastRefusedSeeks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int64_t>("from");
        QTest::addColumn<int64_t>("to");
        // Every seek but the one to the start of the file.
        QTest::addRow("all but the start") << "clip_23976.mp4" << int64_t(1) << std::numeric_limits<int64_t>::max();
        // A stretch in the middle, as a damaged index would refuse.
        QTest::addRow("a stretch") << "clip_1080p25.mp4" << int64_t(400'000) << int64_t(1'600'000);
    }
    void backwardsPastRefusedSeeks()
    {
        QFETCH(QString, file);
        QFETCH(int64_t, from);
        QFETCH(int64_t, to);
        auto source = Parse(file);
        const double fd = source->FrameDuration();
        const int count = source->FrameCount();
        RefusingDecoder decoder([from, to](int64_t s) { return s >= from && s < to; });
        decoder.CreateDefaultWorker();
        QVERIFY(decoder.Open(source->ParserFileEntry(0), 0));
        std::vector<std::shared_ptr<VideoFrame>> frames;
        connect(&decoder, &VideoDecoder::VideoFrameDecoded, this,
                [&frames](std::shared_ptr<VideoFrame> frame) { frames.push_back(std::move(frame)); });
        decoder.SetForward(false);
        decoder.Seek(MediaTime::FrameStartTime(count - 1, fd));
        DecodeStatus status = DecodeStatus::MoreToCome;
        for (int calls = 0; status == DecodeStatus::MoreToCome && calls < 10 * count; ++calls)
            status = decoder.DecodeNext();
        QVERIFY(decoder.refused > 0);
        QCOMPARE(status, DecodeStatus::StartReached);
        QCOMPARE(int(frames.size()), count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(PictureNumber(*frames[static_cast<size_t>(i)]), count - 1 - i);
        QCOMPARE(frames.back()->time, 0);
    }

    // The video of this WebM starts 7 ms after 0 at its one keyframe; a seek for a time just
    // after 0 asks the container for a point before that keyframe, which it refuses. Decoding
    // starts at the beginning of the file instead, and every earlier picture is shown.
    void backwardsFromJustAfterTheFirstKeyframe()
    {
        auto source = Parse(QStringLiteral("clip_vp9_opus.webm"));
        const VideoStreamInfo* info = source->VideoStream(0, 0);
        QVERIFY(info->startTimeOffset > 0);
        TestSupport::LogCapture log;
        Decoding d(source.get());
        d.decoder.SetForward(false);
        // Frame 2; the seek goes two frames further back, to 250 µs.
        d.decoder.Seek(2 * 40'000 + 250);
        QCOMPARE(d.Run(), DecodeStatus::StartReached);
        QCOMPARE(int(d.frames.size()), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(PictureNumber(*d.frames[static_cast<size_t>(i)]), 2 - i);
        QCOMPARE(d.frames.back()->time, 0);
        QVERIFY(log.CountErrorsStartingWith(QStringLiteral("Video Seek Failed")) >= 1); // the case meant
    }

    // A window that does not fit the memory limit is delivered in several windows.
    void backwardsUnderMemoryLimit()
    {
        auto source = Parse(QStringLiteral("clip_23976_gop250.mp4"));
        const int count = source->FrameCount();
        Decoding d(source.get());
        d.decoder.SetBackwardMemoryLimit(10 * 720 * 576 * 3 / 2); // ten pictures
        d.decoder.SetForward(false);
        d.decoder.Seek(MediaTime::FrameStartTime(count - 1, source->FrameDuration()));
        QCOMPARE(d.Run(), DecodeStatus::StartReached);
        QCOMPARE(int(d.frames.size()), count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(PictureNumber(*d.frames[static_cast<size_t>(i)]), count - 1 - i);
    }

    // Fifty random times, forwards and backwards: the first frame delivered holds the time.
    void randomSeeks_data() { clips_data(); }
    void randomSeeks()
    {
        QFETCH(QString, file);
        QFETCH(double, rate);
        QFETCH(int, pictures);
        auto source = Parse(file);
        // The picture whose frame holds `t`: frame k starts at k / rate, rounded up to the µs.
        const auto pictureAt = [rate](int64_t t) {
            return static_cast<int>(std::floor(static_cast<double>(t) * rate / 1e6 + 1e-6));
        };
        const auto end = static_cast<int64_t>(pictures * 1e6 / rate);
        QRandomGenerator random(1234);
        Decoding d(source.get());
        for (int i = 0; i < 50; ++i) {
            const int64_t t = static_cast<int64_t>(random.bounded(static_cast<double>(end)));
            const int expected = pictureAt(t);
            const bool forward = i % 2 == 0;
            d.frames.clear();
            d.decoder.SetForward(forward);
            d.decoder.Seek(t);
            std::shared_ptr<VideoFrame> frame;
            if (forward) {
                frame = d.FirstHolding(t);
            } else {
                d.decoder.DecodeNext();
                frame = d.frames.empty() ? nullptr : d.frames.front();
            }
            QVERIFY2(frame, qPrintable(QStringLiteral("t=%1").arg(t)));
            QCOMPARE(pictureAt(frame->time), expected);
            QCOMPARE(PictureNumber(*frame), expected);
        }
    }

    void seekNearStartGoesToFileStart()
    {
        auto source = Parse(QStringLiteral("clip_1080p25.mp4"));
        Decoding d(source.get());
        d.decoder.Seek(50000); // within two frames of the start
        d.decoder.DecodeNext();
        for (int i = 0; i < 10 && d.frames.empty(); ++i)
            d.decoder.DecodeNext();
        QVERIFY(!d.frames.empty());
        QCOMPARE(d.frames.front()->time, 0);
        QCOMPARE(PictureNumber(*d.frames.front()), 0);
    }

    void negativeFirstTimestamp()
    {
        TestSupport::LogCapture log;
        auto source = Parse(QStringLiteral("clip_negative_ts.mts"));
        QVERIFY(log.HasWarning(QStringLiteral(
            "Video stream (0) start time is less than 0. Skipping negative frames: clip_negative_ts.mts (-200000)")));
        const VideoStreamInfo* info = source->VideoStream(0, 0);
        QCOMPARE(info->startTimeOffset, 0);
        QCOMPARE(source->FrameCount(), 20); // the five frames before 0 are not counted
        // Frames keep their own times: the one at 0 is the sixth picture of the file.
        Decoding d(source.get());
        auto frame = d.FirstHolding(0);
        d.decoder.Seek(0);
        frame = d.FirstHolding(0);
        QVERIFY(frame);
        QCOMPARE(frame->time, 0);
        QCOMPARE(PictureNumber(*frame), 5);
        // Backwards, the frame at 0 ends the stream.
        d.frames.clear();
        d.decoder.SetForward(false);
        d.decoder.Seek(80000);
        QCOMPARE(d.Run(), DecodeStatus::StartReached);
        QCOMPARE(d.frames.back()->time, 0);
        QCOMPARE(int(d.frames.size()), 3);
    }

    void measuredTimes()
    {
        auto source = Parse(QStringLiteral("clip_1080p25.mp4"));
        const VideoStreamInfo* info = source->VideoStream(0, 0);
        QCOMPARE(info->startTimeOffset, 0);
        QCOMPARE(info->decodedEndTime, 3000000);
        QCOMPARE(info->endTime, 2999999);
        QCOMPARE(info->frameCount, 75);
        // A file cut short counts the frames it really has.
        TestSupport::LogCapture log;
        auto cut = Parse(QStringLiteral("truncated.mp4"));
        QVERIFY(cut->FrameCount() > 10 && cut->FrameCount() < 75);
        QCOMPARE(cut->VideoStream(0, 0)->endTime, cut->VideoStream(0, 0)->decodedEndTime);
    }

    void rotatedClipDecodesUnrotated()
    {
        auto source = Parse(QStringLiteral("clip_rotated.mp4"));
        Decoding d(source.get());
        d.decoder.Seek(0);
        auto frame = d.FirstHolding(0);
        QVERIFY(frame);
        QCOMPARE(std::abs(frame->streamInfo->rotation), 90);
        QCOMPARE(frame->planeImages[0].height(), 360);
        QCOMPARE(frame->lineSizes[0], 640);
        QCOMPARE(PictureNumber(*frame), 0);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("hardware");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("lineSize");
        QTest::addRow("yuv on the OpenGL viewer") << "clip_1366.mp4" << true << int(VideoFrameFormatYUV420P) << 1368;
        QTest::addRow("yuv on the software viewer") << "clip_1366.mp4" << false << int(VideoFrameFormatRGB) << 3 * 1368;
        QTest::addRow("rgba") << "clip_rgba.mov" << true << int(VideoFrameFormatRGBA) << 4 * 64;
        QTest::addRow("rgba, software") << "clip_rgba.mov" << false << int(VideoFrameFormatRGBA) << 4 * 64;
        QTest::addRow("1 x 1") << "clip_1x1.mkv" << true << int(VideoFrameFormatYUV420P) << 8;
        QTest::addRow("1 x 1, software") << "clip_1x1.mkv" << false << int(VideoFrameFormatRGB) << 24;
    }

    void layouts()
    {
        QFETCH(QString, file);
        QFETCH(bool, hardware);
        QFETCH(int, format);
        QFETCH(int, lineSize);
        Settings::Get().hardwareRenderingEnabled = hardware;
        auto source = Parse(file);
        Decoding d(source.get());
        d.decoder.Seek(0);
        auto frame = d.FirstHolding(0);
        QVERIFY(frame);
        QCOMPARE(int(frame->format), format);
        QCOMPARE(frame->lineSizes[0], lineSize);
        QCOMPARE(frame->lineSizes[0] % 4, 0);
        const int width = frame->streamInfo->width;
        if (width >= 16)
            QCOMPARE(PictureNumber(*frame), 0);
        if (format == VideoFrameFormatYUV420P && width == 1366) {
            // The two padding columns of every row are cleared.
            for (int y = 0; y < frame->streamInfo->height; ++y) {
                QCOMPARE(int(frame->planes[0][static_cast<size_t>(y * 1368 + 1366)]), 0);
                QCOMPARE(int(frame->planes[0][static_cast<size_t>(y * 1368 + 1367)]), 0);
            }
        }
        if (file == QLatin1String("clip_1x1.mkv") && format == VideoFrameFormatRGB) {
            const QRgb pixel = frame->planeImages[0].pixel(0, 0);
            QVERIFY(qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60);
        }
    }

    // A picture converted to RGB shows the colour it was made from, whichever matrix and
    // range it was stored with.
    void coloursUnderEachMatrix_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addRow("BT.601") << "colour_601.mkv";
        QTest::addRow("BT.709") << "colour_709.mkv";
        QTest::addRow("BT.2020") << "colour_2020.mkv";
        QTest::addRow("BT.709 full range") << "colour_709full.mkv";
    }
    void coloursUnderEachMatrix()
    {
        QFETCH(QString, file);
        Settings::Get().hardwareRenderingEnabled = false;
        auto source = Parse(file);
        Decoding d(source.get());
        d.decoder.Seek(0);
        auto frame = d.FirstHolding(0);
        QVERIFY(frame);
        QCOMPARE(int(frame->format), int(VideoFrameFormatRGB));
        const QRgb pixel = frame->planeImages[0].pixel(160, 90);
        QVERIFY2(std::abs(qRed(pixel) - 192) <= 3 && std::abs(qGreen(pixel) - 48) <= 3 && std::abs(qBlue(pixel) - 80) <= 3,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel))));
    }

    void exportFramesArePacked()
    {
        auto source = Parse(QStringLiteral("clip_1366.mp4"));
        Decoding d(source.get(), true);
        d.decoder.Seek(0);
        auto frame = d.FirstHolding(0);
        QVERIFY(frame);
        QVERIFY(frame->planeImages[0].isNull());
        QCOMPARE(frame->exportBufferSize, 1366 * 768 + 2 * 683 * 384);
        QCOMPARE(TestSupport::FrameNumberFromLuma(frame->exportBuffer.get(), 1366, 1366, 768), 0);
    }

    void corruptPacketsAreSkipped()
    {
        TestSupport::LogCapture log;
        auto source = Parse(QStringLiteral("corrupt_packets.mp4"));
        Decoding d(source.get());
        d.decoder.Seek(0);
        QCOMPARE(d.Run(), DecodeStatus::EndOfFile);
        QVERIFY(log.CountWarningsStartingWith(QStringLiteral("Invalid data decoding video packet... skipping")) >= 1);
        // Decoding went on past the damage to the last frame.
        d.frames.pop_back();
        QVERIFY(d.frames.size() > 60);
        QCOMPARE(PictureNumber(*d.frames.back()), 74);
    }

    void hugePictureIsRefused()
    {
        TestSupport::LogCapture log;
        auto source = Parse(QStringLiteral("huge_9000.mkv"));
        QVERIFY(!log.errors.isEmpty());
        QVERIFY(!source->VideoStream(0, 0)->valid);
        QCOMPARE(source->FrameCount(), 0);
        Decoding d(source.get());
        QVERIFY(!d.opened);
        QCOMPARE(d.decoder.DecodeNext(), DecodeStatus::EndOfFile);
    }

    // A stop arriving queued (as from another thread) while a long backward window is being
    // decoded ends the window there: no packet is read after it, no frame is delivered, and
    // the decoder shuts down without the rest.
    void stopDuringBackwardDecode()
    {
        auto source = Parse(QStringLiteral("clip_1080p25_gop250.mp4"));
        VideoDecoder decoder(false);
        decoder.CreateDefaultWorker();
        QVERIFY(decoder.Open(source->ParserFileEntry(0), 0));
        int packets = 0; // one ProcessEventsRequested per packet read
        int packetsAtStop = -1;
        connect(&decoder, &VideoDecoder::ProcessEventsRequested, this, [&] {
            if (++packets == 3)
                QMetaObject::invokeMethod(
                    &decoder, [&] { packetsAtStop = packets; decoder.Stop(); }, Qt::QueuedConnection);
            QCoreApplication::processEvents();
        });
        int frames = 0;
        connect(&decoder, &VideoDecoder::VideoFrameDecoded, this, [&](std::shared_ptr<VideoFrame>) { ++frames; });
        decoder.SetForward(false);
        decoder.Seek(2'900'000); // a window of 73 pictures from the one keyframe at the start
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::MoreToCome);
        QCOMPARE(packetsAtStop, 3);
        QCOMPARE(packets, 3);
        QCOMPARE(frames, 0);
        decoder.Shutdown();
    }
};

QTEST_GUILESS_MAIN(TestVideoDecoder)
#include "tst_videodecoder.moc"
