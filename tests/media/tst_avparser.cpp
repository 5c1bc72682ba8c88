#include "core/Logger.h"
#include "media/AvParser.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "tests/TestSupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

using TestSupport::MediaPath;

namespace {

std::unique_ptr<Source> Parse(const QString& path)
{
    return TestSupport::ParsedSource(path);
}

// What the ffprobe executable says about the first video stream of `path` (one value of
// `entries`, e.g. "stream=nb_read_frames"); empty when it could not tell.
QString Probe(const QString& path, const QStringList& options, const QString& entries)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), QStringList{QStringLiteral("-v"), QStringLiteral("error"),
                                                       QStringLiteral("-select_streams"), QStringLiteral("v:0")}
                                               + options
                                               + QStringList{QStringLiteral("-show_entries"), entries,
                                                             QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return {};
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

} // namespace

class TestAvParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        ProjectGlobals::ResetFromSettings();
    }

    void videoStreams_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("paddedWidth");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<bool>("rec709");
        QTest::addColumn<bool>("rec2020");
        QTest::addColumn<double>("frameRate");
        QTest::addColumn<int>("frameCount");
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<bool>("yuv");
        // BT.601-tagged but 1920 wide: the width rule makes it BT.709.
        QTest::addRow("1080p") << "clip_1080p25.mp4" << 1920 << 1080 << 1920 << 0 << true << false << 25.0 << 75 << "yuv420p" << true;
        QTest::addRow("23.976") << "clip_23976.mp4" << 720 << 576 << 720 << 0 << false << false << 23.976 << 48 << "yuv420p" << true;
        QTest::addRow("1366") << "clip_1366.mp4" << 1366 << 768 << 1368 << 0 << true << false << 25.0 << 25 << "yuv420p" << true;
        QTest::addRow("rotated") << "clip_rotated.mp4" << 640 << 360 << 640 << 90 << false << false << 25.0 << 25 << "yuv420p" << true;
        QTest::addRow("bt2020") << "clip_bt2020.mp4" << 640 << 360 << 640 << 0 << false << true << 25.0 << 25 << "yuv420p" << true;
        QTest::addRow("rgba") << "clip_rgba.mov" << 64 << 48 << 64 << 0 << false << false << 25.0 << 25 << "rgba" << false;
        QTest::addRow("1x1") << "clip_1x1.mkv" << 1 << 1 << 8 << 0 << false << false << 25.0 << 25 << "yuv444p" << true;
        QTest::addRow("non-ascii path") << "dir with späces/клип ü.mp4" << 640 << 360 << 640 << 90 << false << false << 25.0 << 25 << "yuv420p" << true;
    }

    void videoStreams()
    {
        QFETCH(QString, file);
        auto source = Parse(MediaPath(file));
        QCOMPARE(source->Status(), SourceStatus::Ok);
        QVERIFY(source->IsParsed());
        QCOMPARE(source->VideoStreamCount(), 1);
        const VideoStreamInfo* v = source->VideoStream(0, 0);
        QVERIFY(v && v->valid);
        QTEST(v->width, "width");
        QTEST(v->height, "height");
        QTEST(v->paddedWidth, "paddedWidth");
        QTEST(std::abs(v->rotation), "rotation");
        QTEST(v->rec709, "rec709");
        QTEST(v->rec2020, "rec2020");
        QTEST(v->frameRate, "frameRate");
        QTEST(v->frameCount, "frameCount");
        QTEST(source->FrameCount(), "frameCount");
        QTEST(v->pixelFormatName, "pixelFormat");
        QTEST(v->yuv, "yuv");
        QCOMPARE(v->startTimeOffset, 0);
        const float pixelAspect = file == QLatin1String("clip_23976.mp4") ? 64.0f / 45.0f : 1.0f;
        QCOMPARE(v->pixelAspect, pixelAspect);
        QCOMPARE(v->displayAspect, float(v->width * double(pixelAspect) / v->height));
        QVERIFY(v->endTime <= source->EndTime());
        QCOMPARE(source->FrameRate(), v->frameRate);
        QCOMPARE(source->FrameDuration(), 1e6 / (file == QLatin1String("clip_23976.mp4") ? 24000.0 / 1001.0 : 25.0));
    }

    void audioStreams_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<quint64>("mask");
        QTest::addRow("44.1 kHz stereo") << "tone_44100.wav" << 44100 << 2 << quint64(AV_CH_LAYOUT_STEREO);
        QTest::addRow("mono") << "tone_mono.wav" << 48000 << 1 << quint64(AV_CH_LAYOUT_MONO);
        QTest::addRow("5.1") << "tone_51.wav" << 48000 << 6 << quint64(AV_CH_LAYOUT_5POINT1_BACK);
    }

    void audioStreams()
    {
        QFETCH(QString, file);
        auto source = Parse(MediaPath(file));
        QCOMPARE(source->Status(), SourceStatus::Ok);
        QCOMPARE(source->VideoStreamCount(), 0);
        QCOMPARE(source->AudioStreamCount(), 1);
        const AudioStreamInfo* a = source->AudioStream(0, 0);
        QVERIFY(a && a->valid);
        QTEST(a->sampleRate, "sampleRate");
        QTEST(a->channelCount, "channels");
        QTEST(quint64(a->channelMask), "mask");
        QCOMPARE(a->codecName, QStringLiteral("pcm_s16le"));
        QCOMPARE(a->bytesPerSample, 2);
        QVERIFY(!a->planar);
        // Without video the source ends where its first audio stream ends.
        QVERIFY(source->EndTime() <= a->endTime);
        QVERIFY(std::abs(source->EndTime() - 1999999) < 1000);
        // Audio only: frames at the image-sequence rate (24 fps), truncated.
        QCOMPARE(source->FrameCount(), 47);
        QCOMPARE(source->FrameRate(), 24.0);
    }

    void movieWithSound()
    {
        auto source = Parse(MediaPath(QStringLiteral("clip_1080p25.mp4")));
        QCOMPARE(source->AudioStreamCount(), 1);
        const AudioStreamInfo* a = source->AudioStream(0, 0);
        QCOMPARE(a->codecName, QStringLiteral("aac"));
        QCOMPARE(a->channelMask, quint64(AV_CH_LAYOUT_STEREO));
        QCOMPARE(a->startTimeOffset, source->VideoStream(0, 0)->startTimeOffset);
        QVERIFY(a->planar);
        QCOMPARE(a->sampleFormat, int(AV_SAMPLE_FMT_FLTP));
        QVERIFY(a->extraDataSize > 0);
        // The container's own tags are kept.
        QVERIFY(source->PrimaryFileEntry()->metadata.contains(QStringLiteral("encoder")));
        QCOMPARE(source->DurationText(), QStringLiteral("00:00:03.00"));
    }

    // A cover picture is not a video stream: the file is sound alone, as long as its sound.
    void coverPicture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("codec");
        QTest::addRow("MP4 attached picture") << "tone_cover.m4a" << "aac";
        QTest::addRow("Matroska attachment") << "tone_cover.mkv" << "flac";
    }

    void coverPicture()
    {
        QFETCH(QString, file);
        auto source = Parse(MediaPath(file));
        QCOMPARE(source->Status(), SourceStatus::Ok);
        QCOMPARE(source->VideoStreamCount(), 0);
        QCOMPARE(source->AudioStreamCount(), 1);
        const AudioStreamInfo* a = source->AudioStream(0, 0);
        QVERIFY(a && a->valid);
        QTEST(a->codecName, "codec");
        QCOMPARE(a->startTimeOffset, 0);
        // 2 s of sound: 48 frames at the 24 fps of sources without pictures, the last one
        // ending on the sound's last microsecond.
        QVERIFY2(std::abs(source->EndTime() - 1999999) < 1000, qPrintable(QString::number(source->EndTime())));
        QCOMPARE(source->FrameCount(), 48);
        QCOMPARE(source->FrameRate(), 24.0);
    }

    // The video of a VP9 + Opus WebM starts a few milliseconds after 0, its sound before 0.
    // The video's first picture is the source's zero, and the frame count is the number of
    // pictures the file holds.
    void videoStartingAfterItsSound()
    {
        TestSupport::LogCapture log;
        const QString path = MediaPath(QStringLiteral("clip_vp9_opus.webm"));
        const QString firstTime = Probe(path, {QStringLiteral("-read_intervals"), QStringLiteral("%+#1")},
                                        QStringLiteral("packet=pts_time"));
        const QString pictures = Probe(path, {QStringLiteral("-count_frames")}, QStringLiteral("stream=nb_read_frames"));
        QVERIFY2(!firstTime.isEmpty() && !pictures.isEmpty(), "ffprobe gave no answer");
        const auto firstPicture = static_cast<int64_t>(std::llround(firstTime.toDouble() * 1e6));
        QVERIFY2(firstPicture > 0, qPrintable(firstTime)); // the fixture is what it should be
        QCOMPARE(pictures.toInt(), 75);

        auto source = Parse(path);
        QCOMPARE(source->Status(), SourceStatus::Ok);
        const VideoStreamInfo* v = source->VideoStream(0, 0);
        QVERIFY(v && v->valid);
        QCOMPARE(v->startTimeOffset, firstPicture);
        QCOMPARE(v->frameCount, pictures.toInt());
        QCOMPARE(source->FrameCount(), pictures.toInt());
        QCOMPARE(source->AudioStream(0, 0)->startTimeOffset, firstPicture);
        QCOMPARE(log.CountWarningsStartingWith(QStringLiteral("Failed to set startTimeOffset")), 0);
    }

    void missingFile()
    {
        TestSupport::LogCapture log;
        const QString path = MediaPath(QStringLiteral("does_not_exist.mp4"));
        Source source(path, QString(), QUuid());
        QCOMPARE(source.Status(), SourceStatus::FileNotFound);
        QSignalSpy parsed(&source, &Source::Parsed);
        QSignalSpy updated(&source, &Source::Updated);
        AvParser parser;
        source.ApplyParseResult(parser.Parse(source.ParserFileEntry(0)));
        QCOMPARE(parsed.size(), 1);
        QCOMPARE(updated.size(), 0);
        QVERIFY(log.HasError(QStringLiteral("File not found: %1").arg(path)));
        QCOMPARE(source.Status(), SourceStatus::FileNotFound);
        QCOMPARE(source.StatusText(), QStringLiteral("File not found"));
        // A second parse is a reload: Updated, not Parsed.
        source.ApplyParseResult(parser.Parse(source.ParserFileEntry(0)));
        QCOMPARE(parsed.size(), 1);
        QCOMPARE(updated.size(), 1);
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addRow("random bytes") << "random.mp4" << 3 << "Failed to open input for parsing: %1";
        QTest::addRow("index lost") << "truncated_no_index.mp4" << 3 << "Failed to open input for parsing: %1";
        QTest::addRow("cut short") << "truncated.mp4" << 0 << "";
    }

    void damagedFiles()
    {
        QFETCH(QString, file);
        QFETCH(int, status);
        QFETCH(QString, error);
        TestSupport::LogCapture log;
        const QString path = MediaPath(file);
        auto source = Parse(path);
        QCOMPARE(int(source->Status()), status);
        QVERIFY(source->IsParsed());
        if (!error.isEmpty())
            QCOMPARE(log.CountErrorsStartingWith(error.arg(path) + QStringLiteral(" (")), 1);
        else
            QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join('\n')));
    }

    // The parse runs on an engine thread; the main thread learns of it through Parsed.
    void parseOnWorkerThread()
    {
        Source source(MediaPath(QStringLiteral("clip_rotated.mp4")), QString(), QUuid());
        QSignalSpy parsed(&source, &Source::Parsed);
        QThread* thread = QThread::create([&source] {
            AvParser parser;
            source.ApplyParseResult(parser.Parse(source.ParserFileEntry(0)));
        });
        thread->start();
        QVERIFY(parsed.wait(10000) || parsed.size() == 1);
        QVERIFY(thread->wait(10000));
        delete thread;
        QCOMPARE(source.FrameCount(), 25);
    }
};

QTEST_GUILESS_MAIN(TestAvParser)
#include "tst_avparser.moc"
