#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/DecodeManager.h"
#include "media/AvParser.h"
#include "media/CacheManager.h"
#include "media/ImageSequenceDecoder.h"
#include "media/ImageSequenceDecoderWorker.h"
#include "media/MediaTime.h"
#include "media/RendererInUse.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "tests/DecodeRun.h"
#include "tests/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <cstring>

using TestSupport::CheckRun;
using TestSupport::DecodeRun;
using TestSupport::MediaPath;
using TestSupport::ParsedSource;
using TestSupport::PictureNumber;
using TestSupport::WaitForRun;

namespace {

// The generated sequences: file seq.NNNN shows picture NNNN - 1; seq.0008 is missing.
QString PngSequence(int first, int last)
{
    return MediaPath("seq_png") + QStringLiteral("/seq.####.png %1-%2").arg(first).arg(last);
}

QString ExrSequence(int first, int last)
{
    return MediaPath("seq_exr") + QStringLiteral("/seq.####.exr %1-%2").arg(first).arg(last);
}

// What an image-sequence decoder hands on, in the order it does: a picture's number, or
// -1 - file index for a file passed on without a picture.
struct Collector
{
    explicit Collector(ImageSequenceDecoder& decoder)
    {
        QObject::connect(&decoder, &ImageSequenceDecoder::VideoFrameDecoded, [this](std::shared_ptr<VideoFrame> frame) {
            frames.push_back(frame);
            order.push_back(PictureNumber(*frame));
        });
        QObject::connect(&decoder, &ImageSequenceDecoder::FileSkipped, [this](int fileIndex) { order.push_back(-1 - fileIndex); });
    }

    std::vector<std::shared_ptr<VideoFrame>> frames;
    std::vector<int> order;
};

// Requests files until the decoder reports the end, then lets the workers finish. Returns the
// final status.
DecodeStatus DecodeToEnd(ImageSequenceDecoder& decoder)
{
    DecodeStatus status = DecodeStatus::MoreToCome;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        status = decoder.DecodeNext();
        if (status == DecodeStatus::StartReached || status == DecodeStatus::EndOfFile)
            break;
        QCoreApplication::processEvents();
        if (status == DecodeStatus::Busy)
            QThread::msleep(1);
    }
    while (decoder.BusyWorkerCount() > 0 && timer.elapsed() < 60000) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return status;
}

// Files seq.0000 to seq.0025: 0, 8 and 25 are missing, file k shows picture k - 1.
int GappedPicture(int f)
{
    return f == 0 || f == 8 || f == 25 ? -1 : f - 1;
}

} // namespace

class TestImageSequenceDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        qRegisterMetaType<std::shared_ptr<VideoFrame>>();
    }

    void init()
    {
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        RendererInUse::Set(RendererInUse::Unset);
    }

    // Through the scheduler, both formats, both directions, with files missing at both ends
    // and in the middle: every frame lands on its own timeline frame with its own picture,
    // each missing file shows nothing for exactly its frame and is reported once, and the
    // files are parsed on the way without touching the source's own state.
    void scheduler_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("forward");
        QTest::addRow("png forwards") << PngSequence(0, 25) << true;
        QTest::addRow("png backwards") << PngSequence(0, 25) << false;
        QTest::addRow("exr forwards") << ExrSequence(0, 25) << true;
        QTest::addRow("exr backwards") << ExrSequence(0, 25) << false;
    }
    void scheduler()
    {
        QFETCH(QString, path);
        QFETCH(bool, forward);
        TestSupport::LogCapture log;
        auto timeline = std::make_unique<Timeline>(path, QString(), QUuid());
        Source* source = timeline->GetSource();
        TestSupport::Parse(source);
        QCOMPARE(timeline->FrameCount(), 26);
        QSignalSpy updated(source, &Source::Updated);
        timeline->SetOutputId(0);
        if (!forward) {
            timeline->SetPlaybackFrame(25);
            timeline->SetPlaybackState(Timeline::PlayingBackward);
        }
        {
            DecodeRun run(timeline.get());
            QVERIFY(WaitForRun(*timeline, 0, 25));
            QVERIFY(run.Stop());
        }
        CheckRun(*timeline, 0, 25, GappedPicture);
        for (const int missing : {0, 8, 25}) { // nothing, for exactly the missing file's frame
            std::vector<std::shared_ptr<VideoFrame>> found;
            timeline->GetVideoFrames(timeline->FrameStartTime(missing), found);
            QCOMPARE(found[0]->firstTimelineFrame, missing);
            QCOMPARE(found[0]->lastTimelineFrame, missing);
        }
        // The run is contiguous over the whole timeline.
        QCOMPARE(timeline->Cache()->VideoTimelineStartTime(), 0);
        QCOMPARE(timeline->Cache()->VideoTimelineEndTime(), timeline->EndTime());

        const QString suffix = QFileInfo(source->FileName(1)).suffix();
        for (const int missing : {0, 8, 25}) {
            const QString message = QStringLiteral("Failed to open image sequence file: seq.%1.%2")
                                        .arg(missing, 4, 10, QLatin1Char('0'))
                                        .arg(suffix);
            QVERIFY2(log.errors.count(message) == 1, qPrintable(message + "\n" + log.errors.join('\n')));
        }
        QCOMPARE(log.errors.size(), 3);
        for (int file = 0; file < source->FileCount(); ++file)
            QCOMPARE(source->FileParsed(file), source->FileExists(file));
        QCOMPARE(source->Status(), SourceStatus::Ok);
        QCOMPARE(updated.count(), 0);
    }

    // Random positions in either direction: decoding starts two files before the position
    // (after it, backwards), leaves every file from there to the end of the sequence in
    // order, each with its own picture, and the missing ones in their places.
    void randomSeeks()
    {
        auto source = ParsedSource(PngSequence(0, 25));
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(3);
        Collector collected(decoder);
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        const double fd = decoder.FrameDuration();
        QRandomGenerator random(77);
        for (int i = 0; i < 30; ++i) {
            const int64_t t = static_cast<int64_t>(random.bounded(26.0 * fd));
            const int frame = MediaTime::TimeToFrame(t, fd);
            const bool forward = random.bounded(2) == 0;
            collected.order.clear();
            decoder.SetForward(forward);
            decoder.Seek(t);
            DecodeToEnd(decoder);
            std::vector<int> expected;
            if (forward) {
                for (int k = std::max(frame - 2, 0); k <= 25; ++k)
                    expected.push_back(GappedPicture(k) < 0 ? -1 - k : GappedPicture(k));
            } else {
                for (int k = std::min(frame + 2, 25); k >= 0; --k)
                    expected.push_back(GappedPicture(k) < 0 ? -1 - k : GappedPicture(k));
            }
            QVERIFY2(collected.order == expected, qPrintable(QStringLiteral("seek %1 to frame %2").arg(i).arg(frame)));
        }
    }

    // A seek that the cache does not hold, made while the first pass is still decoding,
    // moves decoding to the new frame in either direction; what was in flight is not placed.
    void seekWhileDecoding()
    {
        auto timeline = std::make_unique<Timeline>(PngSequence(0, 25), QString(), QUuid());
        TestSupport::Parse(timeline->GetSource());
        timeline->SetOutputId(0);
        DecodeRun run(timeline.get());
        timeline->SetPlaybackFrame(20);
        run.Seek();
        QVERIFY(WaitForRun(*timeline, 20, 25));
        timeline->SetPlaybackState(Timeline::PlayingBackward);
        timeline->SetPlaybackFrame(4);
        run.Seek();
        QVERIFY(WaitForRun(*timeline, 0, 4));
        QVERIFY(run.Stop());
        const CacheManager* cache = timeline->Cache();
        CheckRun(*timeline, cache->FirstTimelineFrame(), cache->LastTimelineFrame(), GappedPicture);
    }

    // OpenEXR pictures are linear light: the OpenGL viewer gets them as they are, flagged
    // linear; the software viewer gets them brought to display gamma, also when it stands in
    // for an OpenGL viewer that could not be had. The PNG files hold the same values, and
    // ffmpeg made their display-gamma copies: those are the oracles.
    void exrGamma_data()
    {
        QTest::addColumn<bool>("setting"); // hardwareRenderingEnabled
        QTest::addColumn<int>("renderer"); // RendererInUse
        QTest::addColumn<bool>("hardware"); // frames for the OpenGL viewer expected
        QTest::addRow("opengl viewer") << true << int(RendererInUse::Unset) << true;
        QTest::addRow("software viewer") << false << int(RendererInUse::Unset) << false;
        QTest::addRow("opengl viewer in use") << false << int(RendererInUse::OpenGL) << true;
        QTest::addRow("software fallback") << true << int(RendererInUse::Software) << false;
    }
    void exrGamma()
    {
        QFETCH(bool, setting);
        QFETCH(int, renderer);
        QFETCH(bool, hardware);
        Settings::Get().hardwareRenderingEnabled = setting;
        RendererInUse::Set(static_cast<RendererInUse::Kind>(renderer));
        auto png = ParsedSource(PngSequence(1, 3));
        auto exr = ParsedSource(ExrSequence(1, 3));
        auto gamma = ParsedSource(MediaPath("seq_png_gamma") + QStringLiteral("/seq.####.png 1-3"));
        std::vector<std::shared_ptr<VideoFrame>> frames;
        for (Source* source : {png.get(), exr.get(), gamma.get()}) {
            ImageSequenceDecoder decoder(false);
            decoder.CreateWorkers(2);
            Collector collected(decoder);
            decoder.SetSequence(source->FileEntries(), source->FrameDuration());
            decoder.Seek(0);
            QCOMPARE(DecodeToEnd(decoder), DecodeStatus::EndOfFile);
            QCOMPARE(collected.order, (std::vector<int>{0, 1, 2}));
            frames.push_back(collected.frames.back());
        }
        const VideoFrame& p = *frames[0];
        const VideoFrame& e = *frames[1];
        const VideoFrame& g = *frames[2];
        QCOMPARE(g.planeSizes[0], p.planeSizes[0]);
        QVERIFY(!p.streamInfo->linear);
        QVERIFY(e.streamInfo->linear);
        QCOMPARE(e.format, p.format);
        QCOMPARE(e.format, VideoFrameFormatRGB);
        QCOMPARE(e.planeSizes[0], p.planeSizes[0]);
        int checked = 0;
        for (int32_t i = 0; i < p.planeSizes[0]; ++i) {
            const int value = p.planes[0][static_cast<size_t>(i)];
            const int got = e.planes[0][static_cast<size_t>(i)];
            if (value < 64)
                continue; // where the table is steep, one level of rounding becomes several
            const int want = hardware ? value : g.planes[0][static_cast<size_t>(i)];
            QVERIFY2(std::abs(got - want) <= 2, qPrintable(QStringLiteral("byte %1: %2, not %3").arg(i).arg(got).arg(want)));
            ++checked;
        }
        QVERIFY(checked > p.planeSizes[0] / 4);
    }

    // YUV pictures (JPEG files) stay planar YUV only for the OpenGL viewer; the software
    // viewer gets packed RGB, also when it stands in for an OpenGL viewer that could not be had.
    void yuvLayoutFollowsRenderer_data()
    {
        QTest::addColumn<bool>("setting"); // hardwareRenderingEnabled
        QTest::addColumn<int>("renderer"); // RendererInUse
        QTest::addColumn<int>("format");
        QTest::addRow("opengl viewer") << true << int(RendererInUse::Unset) << int(VideoFrameFormatYUV420P);
        QTest::addRow("software viewer") << false << int(RendererInUse::Unset) << int(VideoFrameFormatRGB);
        QTest::addRow("opengl viewer in use") << false << int(RendererInUse::OpenGL) << int(VideoFrameFormatYUV420P);
        QTest::addRow("software fallback") << true << int(RendererInUse::Software) << int(VideoFrameFormatRGB);
    }
    void yuvLayoutFollowsRenderer()
    {
        QFETCH(bool, setting);
        QFETCH(int, renderer);
        QFETCH(int, format);
        Settings::Get().hardwareRenderingEnabled = setting;
        RendererInUse::Set(static_cast<RendererInUse::Kind>(renderer));
        auto source = ParsedSource(MediaPath("seq_jpeg_1004") + QStringLiteral("/j.####.jpg 1-3"));
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(2);
        std::vector<std::shared_ptr<VideoFrame>> frames;
        connect(&decoder, &ImageSequenceDecoder::VideoFrameDecoded, this,
                [&](std::shared_ptr<VideoFrame> frame) { frames.push_back(frame); });
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        decoder.Seek(0);
        QCOMPARE(DecodeToEnd(decoder), DecodeStatus::EndOfFile);
        QCOMPARE(frames.size(), size_t(3));
        for (const auto& frame : frames) {
            QVERIFY(frame && !frame->empty);
            QVERIFY(frame->streamInfo->yuv);
            QCOMPARE(int(frame->format), format);
            if (format == VideoFrameFormatRGB) { // the left block is RGB (192, 48, 80)
                const QColor pixel = frame->planeImages[0].pixelColor(100, 64);
                QVERIFY2(std::abs(pixel.red() - 192) <= 8 && std::abs(pixel.green() - 48) <= 8 && std::abs(pixel.blue() - 80) <= 8,
                         qPrintable(pixel.name()));
            }
        }
    }

    // Results leave in file order whatever order the workers finish in.
    void reorder_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<std::vector<int>>("completions"); // -1 - k: file k without a picture
        QTest::addColumn<std::vector<int>>("emitted");
        QTest::addRow("forwards") << true << std::vector<int>{2, 0, 1, 3} << std::vector<int>{0, 1, 2, 3};
        QTest::addRow("forwards, reversed") << true << std::vector<int>{3, 2, 1, 0} << std::vector<int>{0, 1, 2, 3};
        QTest::addRow("backwards") << false << std::vector<int>{1, 3, 0, 2} << std::vector<int>{3, 2, 1, 0};
        QTest::addRow("failed file first") << true << std::vector<int>{1, -1, 2, 3} << std::vector<int>{-1, 1, 2, 3};
        QTest::addRow("failed file late") << true << std::vector<int>{0, 2, 3, -2} << std::vector<int>{0, -2, 2, 3};
        QTest::addRow("failed files backwards") << false << std::vector<int>{-1, 2, -4, 1} << std::vector<int>{-4, 2, 1, -1};
        QTest::addRow("late duplicate dropped") << true << std::vector<int>{0, 1, 0, 2, 3} << std::vector<int>{0, 1, 2, 3};
    }
    void reorder()
    {
        QFETCH(bool, forward);
        QFETCH(std::vector<int>, completions);
        QFETCH(std::vector<int>, emitted);
        auto source = ParsedSource(PngSequence(1, 4));
        ImageSequenceDecoder decoder(false);
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        decoder.SetForward(forward);
        decoder.Seek(MediaTime::FrameStartTime(forward ? 0 : 3, decoder.FrameDuration()));
        std::vector<int> order;
        connect(&decoder, &ImageSequenceDecoder::VideoFrameDecoded, this,
                [&](std::shared_ptr<VideoFrame> frame) { order.push_back(static_cast<int>(frame->time)); });
        connect(&decoder, &ImageSequenceDecoder::FileSkipped, this, [&](int file) { order.push_back(-1 - file); });
        for (const int k : completions) {
            std::shared_ptr<VideoFrame> frame;
            if (k >= 0) {
                frame = VideoFrame::CreateEmpty(k); // the time carries the file index here
                frame->empty = false;
            }
            decoder.ReorderFrame(k >= 0 ? k : -1 - k, frame);
        }
        QCOMPARE(order, emitted);
    }

    // A slow file holds the others back: past 20 waiting results each new one warns, and no
    // new file is requested until the slow one arrives.
    void overrun()
    {
        TestSupport::LogCapture log;
        auto source = ParsedSource(PngSequence(1, 24));
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(1);
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        decoder.Seek(0);
        int emitted = 0;
        connect(&decoder, &ImageSequenceDecoder::VideoFrameDecoded, this, [&](std::shared_ptr<VideoFrame>) { ++emitted; });
        for (int k = 1; k <= 21; ++k)
            decoder.ReorderFrame(k, VideoFrame::CreateEmpty());
        QCOMPARE(log.warnings.count(QStringLiteral("Image temp cache overrun")), 0);
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::Busy);
        decoder.ReorderFrame(22, VideoFrame::CreateEmpty());
        decoder.ReorderFrame(23, VideoFrame::CreateEmpty());
        QCOMPARE(log.warnings.count(QStringLiteral("Image temp cache overrun")), 2);
        QCOMPARE(emitted, 0);
        decoder.ReorderFrame(0, VideoFrame::CreateEmpty());
        QCOMPARE(log.warnings.count(QStringLiteral("Image temp cache overrun")), 3);
        QCOMPARE(emitted, 24);
        decoder.ReorderFrame(24, VideoFrame::CreateEmpty());
        QCOMPARE(log.warnings.count(QStringLiteral("Image temp cache overrun")), 3);
        QCOMPARE(emitted, 25);
    }

    // Decoding starts two frames before the frame sought, on the side it comes from, and
    // never outside the sequence.
    void seekMargins_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("frame"); // -1: time -1
        QTest::addColumn<int>("firstRequest");
        QTest::addRow("forwards to 10") << 24 << true << 10 << 8;
        QTest::addRow("forwards to 1") << 24 << true << 1 << 0;
        QTest::addRow("backwards to 10 of 12") << 12 << false << 10 << 11;
        QTest::addRow("backwards to 5 of 12") << 12 << false << 5 << 7;
        QTest::addRow("backwards to the last") << 12 << false << 11 << 11;
        QTest::addRow("negative time") << 12 << false << -1 << 0;
    }
    void seekMargins()
    {
        QFETCH(int, files);
        QFETCH(bool, forward);
        QFETCH(int, frame);
        QFETCH(int, firstRequest);
        auto source = ParsedSource(PngSequence(1, files));
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(1);
        std::vector<int> requested;
        connect(&decoder, &ImageSequenceDecoder::DecodeImageRequested, this,
                [&](int, SourceFileEntry* entry, int fileIndex, int stream, bool isExport) {
                    QCOMPARE(entry, source->ParserFileEntry(fileIndex));
                    QCOMPARE(stream, 0);
                    QVERIFY(!isExport);
                    requested.push_back(fileIndex);
                });
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        decoder.SetForward(forward);
        decoder.Seek(frame < 0 ? -1 : MediaTime::FrameStartTime(frame, decoder.FrameDuration()));
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::MoreToCome);
        QCOMPARE(requested, std::vector<int>{firstRequest});
    }

    void statuses()
    {
        auto source = ParsedSource(PngSequence(1, 3));
        ImageSequenceDecoder decoder(false);
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::EndOfFile); // no source
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::Busy);      // no worker
        decoder.CreateWorkers(1);
        Collector collected(decoder);
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::MoreToCome);
        QCOMPARE(decoder.BusyWorkerCount(), 1);
        QCOMPARE(decoder.DecodeNext(), DecodeStatus::Busy);
        QCOMPARE(DecodeToEnd(decoder), DecodeStatus::EndOfFile);
        QCOMPARE(collected.order, (std::vector<int>{0, 1, 2}));

        decoder.SetForward(false);
        decoder.Seek(MediaTime::FrameStartTime(2, decoder.FrameDuration()));
        collected.order.clear();
        QCOMPARE(DecodeToEnd(decoder), DecodeStatus::StartReached);
        QCOMPARE(collected.order, (std::vector<int>{2, 1, 0}));
        QCOMPARE(decoder.WorkerCount(), 1);

        // The worker count setting applies when none is given; none below 1.
        Settings::Get().imageSequenceThreadCount = 3;
        ImageSequenceDecoder fromSetting(false);
        fromSetting.CreateWorkers(0);
        QCOMPARE(fromSetting.WorkerCount(), 3);
        Settings::Get().imageSequenceThreadCount = 0;
        ImageSequenceDecoder none(false);
        none.CreateWorkers(-1);
        QCOMPARE(none.WorkerCount(), 0);
    }

    // Missing, random-byte, truncated and undecodable files: each is logged once, passed on
    // without a picture in its place, and its worker takes the next file; the rest still come
    // in order.
    void damagedFiles_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addRow("forwards") << true;
        QTest::addRow("backwards") << false;
    }
    void damagedFiles()
    {
        QFETCH(bool, forward);
        TestSupport::LogCapture log;
        // d.0004 is random bytes, d.0006 is cut short, d.0009 has damaged picture data behind a
        // valid header (it parses but does not decode), d.0013 does not exist.
        auto source = ParsedSource(MediaPath("seq_damaged") + QStringLiteral("/d.####.png 1-13"));
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(4);
        Collector collected(decoder);
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        decoder.SetForward(forward);
        decoder.Seek(forward ? 0 : MediaTime::FrameStartTime(12, decoder.FrameDuration()));
        QCOMPARE(DecodeToEnd(decoder), forward ? DecodeStatus::EndOfFile : DecodeStatus::StartReached);
        std::vector<int> expected{0, 1, 2, -4, 4, -6, 6, 7, -9, 9, 10, 11, -13};
        if (!forward)
            std::reverse(expected.begin(), expected.end());
        QCOMPARE(collected.order, expected);
        for (const char* name : {"d.0004.png", "d.0006.png", "d.0009.png", "d.0013.png"}) {
            const QString message = QStringLiteral("Failed to open image sequence file: %1").arg(QLatin1String(name));
            QVERIFY2(log.errors.count(message) == 1, qPrintable(log.errors.join('\n')));
        }
        QCOMPARE(decoder.BusyWorkerCount(), 0);
        QCOMPARE(decoder.WorkerCount(), 4);
        QCOMPARE(source->Status(), SourceStatus::Ok);
    }

    // Files of one sequence that differ in size (an odd one among them) and in layout: each
    // picture keeps its own file's size, layout and stream record, in either direction, with
    // the workers' picture memory reused from file to file.
    void mixedFiles_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addRow("forwards") << true;
        QTest::addRow("backwards") << false;
    }
    void mixedFiles()
    {
        QFETCH(bool, forward);
        auto source = ParsedSource(MediaPath("seq_mixed") + QStringLiteral("/m.####.png 1-4"));
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(1); // one worker decodes every file in turn
        Collector collected(decoder);
        // What the workers probe reaches the source as the engine has it reach it: here the
        // decoder's thread is the source's.
        QObject::connect(&decoder, &ImageSequenceDecoder::FileProbed, source.get(), &Source::ApplyFileReport);
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        decoder.SetForward(forward);
        for (int pass = 0; pass < 2; ++pass) {
            collected.frames.clear();
            decoder.Seek(forward ? 0 : MediaTime::FrameStartTime(3, decoder.FrameDuration()));
            DecodeToEnd(decoder);
            QCOMPARE(int(collected.frames.size()), 4);
            for (int i = 0; i < 4; ++i) {
                const int file = forward ? i : 3 - i;
                const VideoFrame& frame = *collected.frames[static_cast<size_t>(i)];
                QCOMPARE(frame.streamInfo, source->VideoStream(file, 0));
                QCOMPARE(frame.streamInfo->width, file == 1 ? 321 : 320);
                QCOMPARE(frame.streamInfo->height, file == 1 ? 181 : 180);
                QCOMPARE(frame.format, file == 2 ? VideoFrameFormatRGBA : VideoFrameFormatRGB);
                QCOMPARE(frame.planeImages[0].height(), frame.streamInfo->height);
                QVERIFY(frame.planeImages[0].width() >= frame.streamInfo->width);
                QCOMPARE(PictureNumber(frame), file);
                QCOMPARE(frame.time, MediaTime::FrameStartTime(file, decoder.FrameDuration()));
            }
        }
    }

    // A file the source's parse did not reach is probed by the worker that decodes it into an
    // entry of its own, never into the source's entry, which decode threads only read; the
    // report reaches the source on the main thread (posted, as the engine posts it). The
    // picture points into that entry, as the source's answer does once it has it, and keeps
    // it when the source is gone.
    void probedFileReachesSourceOnMainThread()
    {
        auto source = ParsedSource(PngSequence(0, 25));
        QVERIFY(source->FileParsed(1)); // seq.0000 is missing: the parse probed seq.0001
        QVERIFY(!source->FileParsed(3));
        ImageSequenceDecoderWorker worker(0);
        int reports = 0;
        QObject::connect(&worker, &ImageSequenceDecoderWorker::FileProbed,
                         [&](int fileIndex, const SourceFileEntry* file, std::shared_ptr<const SourceFileEntry> probed) {
                             ++reports;
                             QCOMPARE(fileIndex, 3);
                             QCOMPARE(file, source->ParserFileEntry(3));
                             source->PostFileReport(fileIndex, std::move(probed));
                         });
        // On this thread, which takes no events meanwhile.
        worker.DecodeImage(0, source->ParserFileEntry(3), 3, 0, false);
        QCOMPARE(reports, 1);
        const std::shared_ptr<VideoFrame> frame = worker.TakeFrame();
        QVERIFY(frame && frame->streamInfo);
        QCOMPARE(PictureNumber(*frame), 2);
        QVERIFY(!source->FileParsed(3));
        QVERIFY(TestSupport::WaitFor([&] { return source->FileParsed(3); }));
        QCOMPARE(source->VideoStream(3, 0), frame->streamInfo);
        // The source's entry is as the parse left it.
        QVERIFY(!source->ParserFileEntry(3)->parsed);
        QVERIFY(source->ParserFileEntry(3)->videoStreams.empty());
        source.reset();
        QCOMPARE(frame->streamInfo->width, 320);
        QCOMPARE(PictureNumber(*frame), 2);
    }

    // The first pass shows the pictures that parsing the files decoded; later passes decode
    // the files themselves. Both give the same bytes, records and times.
    void firstPassMatchesLaterPasses_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("hardware");
        QTest::addRow("png") << PngSequence(1, 12) << true;
        QTest::addRow("exr, opengl viewer") << ExrSequence(1, 12) << true;
        QTest::addRow("exr, software viewer") << ExrSequence(1, 12) << false;
        QTest::addRow("mixed") << MediaPath("seq_mixed") + QStringLiteral("/m.####.png 1-4") << true;
    }
    void firstPassMatchesLaterPasses()
    {
        QFETCH(QString, path);
        QFETCH(bool, hardware);
        Settings::Get().hardwareRenderingEnabled = hardware;
        auto source = ParsedSource(path);
        ImageSequenceDecoder decoder(false);
        decoder.CreateWorkers(2);
        Collector collected(decoder);
        decoder.SetSequence(source->FileEntries(), source->FrameDuration());
        std::vector<std::shared_ptr<VideoFrame>> passes[2];
        for (auto& frames : passes) {
            collected.frames.clear();
            decoder.Seek(0);
            DecodeToEnd(decoder);
            frames = collected.frames;
        }
        QCOMPARE(passes[0].size(), passes[1].size());
        QVERIFY(passes[0].size() >= 4);
        for (size_t i = 0; i < passes[0].size(); ++i) {
            const VideoFrame& a = *passes[0][i];
            const VideoFrame& b = *passes[1][i];
            QCOMPARE(a.streamInfo, b.streamInfo);
            QCOMPARE(a.time, b.time);
            QCOMPARE(a.endTime.load(), b.endTime.load());
            QCOMPARE(a.format, b.format);
            QCOMPARE(a.lineSizes, b.lineSizes);
            QCOMPARE(a.planeSizes, b.planeSizes);
            for (size_t p = 0; p < 3; ++p)
                if (a.planeSizes[p] > 0)
                    QVERIFY2(std::memcmp(a.planes[p].get(), b.planes[p].get(), static_cast<size_t>(a.planeSizes[p])) == 0,
                             qPrintable(QStringLiteral("frame %1, plane %2").arg(i).arg(p)));
        }
    }

    // Shutting down while every worker is decoding returns once they are done with their
    // file; nothing arrives afterwards.
    void shutdownWhileBusy()
    {
        TestSupport::LogCapture log;
        auto source = ParsedSource(MediaPath("seq_big") + QStringLiteral("/big.####.exr 1-4"));
        QCOMPARE(source->FileCount(), 4);
        for (int round = 0; round < 3; ++round) {
            ImageSequenceDecoder decoder(false);
            decoder.CreateWorkers(4);
            Collector collected(decoder);
            decoder.SetSequence(source->FileEntries(), source->FrameDuration());
            decoder.Seek(0);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(decoder.DecodeNext(), DecodeStatus::MoreToCome);
            QCOMPARE(decoder.BusyWorkerCount(), 4);
            decoder.Shutdown();
            QCOMPARE(decoder.WorkerCount(), 0);
            QCOMPARE(decoder.BusyWorkerCount(), 0);
            QVERIFY(collected.order.empty());
            QCoreApplication::processEvents();
            QVERIFY(collected.order.empty());
        }
        // Destroyed with busy workers and without an explicit shutdown.
        {
            ImageSequenceDecoder decoder(false);
            decoder.CreateWorkers(2);
            decoder.SetSequence(source->FileEntries(), source->FrameDuration());
            decoder.DecodeNext();
            decoder.DecodeNext();
        }
        QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
        QVERIFY2(log.warnings.isEmpty(), qPrintable(log.warnings.join('\n')));
    }

    // The decode task ends while its sequence workers are busy: stopped at once, once the
    // first picture is cached, and once the second is, the files after it still decoding.
    void stopMidDecode()
    {
        TestSupport::LogCapture log;
        for (const int cached : {0, 1, 2}) {
            Timeline timeline(MediaPath("seq_big") + QStringLiteral("/big.####.exr 1-4"), QString(), QUuid());
            TestSupport::Parse(timeline.GetSource());
            timeline.SetOutputId(0);
            DecodeRun run(&timeline);
            QVERIFY(TestSupport::WaitFor([&] { return timeline.Cache()->VideoFrameCount() >= cached; }));
            QVERIFY(run.Stop());
        }
        QCOMPARE(log.CountErrorsStartingWith(QStringLiteral("Failed")), 0);
    }

    // The scheduler takes the thread count setting: one worker decodes the whole sequence;
    // none leaves the clip without pictures rather than waiting for a worker forever.
    void threadCountSetting()
    {
        for (const int threads : {1, 0}) {
            Settings::Get().imageSequenceThreadCount = threads;
            auto timeline = std::make_unique<Timeline>(PngSequence(0, 25), QString(), QUuid());
            TestSupport::Parse(timeline->GetSource());
            timeline->SetOutputId(0);
            DecodeRun run(timeline.get());
            QVERIFY(WaitForRun(*timeline, 0, 25));
            QVERIFY(run.Stop());
            if (threads == 1) {
                CheckRun(*timeline, 0, 25, GappedPicture);
                continue;
            }
            std::vector<std::shared_ptr<VideoFrame>> found;
            timeline->GetVideoFrames(timeline->FrameStartTime(12), found);
            QVERIFY(found[0] && found[0]->empty);
            QCOMPARE(found[0]->firstTimelineFrame, 0);
            QCOMPARE(found[0]->lastTimelineFrame, 25);
        }
    }

    // Every file of a parsed sequence gone: every frame shows nothing, and decoding ends.
    void allFilesMissing()
    {
        QTemporaryDir dir;
        for (int i = 1; i <= 3; ++i)
            QVERIFY(QFile::copy(MediaPath("seq_png") + QStringLiteral("/seq.000%1.png").arg(i),
                                dir.filePath(QStringLiteral("gone.000%1.png").arg(i))));
        auto timeline = std::make_unique<Timeline>(dir.path() + QStringLiteral("/gone.####.png 1-3"), QString(), QUuid());
        TestSupport::Parse(timeline->GetSource());
        for (int i = 1; i <= 3; ++i)
            QVERIFY(QFile::remove(dir.filePath(QStringLiteral("gone.000%1.png").arg(i))));
        timeline->SetOutputId(0);
        DecodeRun run(timeline.get());
        QVERIFY(WaitForRun(*timeline, 0, 2));
        QVERIFY(run.Stop());
        CheckRun(*timeline, 0, 2, [](int) { return -1; });
    }
};

QTEST_GUILESS_MAIN(TestImageSequenceDecoder)
#include "tst_imagesequencedecoder.moc"
