// Exports through the real ffmpeg executable, checked with ffprobe and by decoding the result:
// the stream parameters, the exact frames (the generated pictures carry their number), the
// numbers of an image sequence, and paths that need quoting.
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "export/ExportManager.h"
#include "export/ExportPasses.h"
#include "project/Clip.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::MediaPath;
using TestSupport::ParsedTimeline;

namespace {

// The streams ffprobe sees in `path`, by type ("video", "audio").
QMap<QString, QJsonObject> Probe(const QString& path)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-count_frames", "-show_entries",
                 "stream=codec_type,codec_name,profile,pix_fmt,width,height,sample_aspect_ratio,nb_read_frames,"
                 "r_frame_rate,sample_rate,channels,duration",
                 "-of", "json", path});
    QMap<QString, QJsonObject> streams;
    if (!probe.waitForFinished(60000))
        return streams;
    const QJsonArray array = QJsonDocument::fromJson(probe.readAllStandardOutput()).object().value("streams").toArray();
    for (const QJsonValue& value : array)
        streams.insert(value.toObject().value("codec_type").toString(), value.toObject());
    return streams;
}

// The frame numbers the pictures of a movie show, decoded by ffmpeg to grey levels.
QList<int> DecodedNumbers(const QString& path, int width, int height)
{
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    QList<int> numbers;
    if (!decode.waitForFinished(60000))
        return numbers;
    const QByteArray data = decode.readAllStandardOutput();
    const qsizetype frameBytes = static_cast<qsizetype>(width) * height;
    for (qsizetype at = 0; at + frameBytes <= data.size(); at += frameBytes)
        numbers << TestSupport::FrameNumberFromLuma(reinterpret_cast<const uint8_t*>(data.constData() + at), width,
                                                     width, height);
    return numbers;
}

} // namespace

class TestExportFfmpeg : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QObject m_owner;
    Timeline* m_hd = nullptr;

    Timeline* RegularTimeline(Timeline* source)
    {
        auto* timeline = new Timeline(&m_owner);
        timeline->InsertClip(new Clip(ClipKind::Reference, source->GetSource()), 0);
        return timeline;
    }

    // Prepares, runs through the engine and cleans up; the log lines as "E<channel> text".
    QStringList Export(const std::shared_ptr<ExportProperties>& request)
    {
        QStringList log;
        const QString error = ExportManager::Prepare(*request);
        if (!error.isEmpty())
            return {error};
        {
            AvManager manager;
            InstallExportPasses(&manager);
            QSignalSpy ended(&manager, &AvManager::ExportTasksEnded);
            connect(&manager, &AvManager::ExportLogMsgReceived, this, [&log](const QString& text, int channel, bool isError) {
                log << QStringLiteral("%1%2 %3").arg(isError ? "E" : "-").arg(channel).arg(text);
            });
            manager.StartTimelineExport(request);
            [&] { QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 240000); }();
        }
        const QString cleanup = ExportManager::Cleanup(*request);
        if (!cleanup.isEmpty())
            log << cleanup;
        if (QFileInfo::exists(request->tempDirPath))
            log << QStringLiteral("temporary folder left: ") + request->tempDirPath;
        return log;
    }

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        QVERIFY(m_dir.isValid());
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        QVERIFY2(!ffmpeg.isEmpty(), "the ffmpeg executable is needed");
        Settings::Get().ffmpegExePath = ffmpeg;
        Settings::Get().SetTempDirPath(m_dir.filePath(QStringLiteral("temp")));
        m_hd = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &m_owner);
        QCOMPARE(m_hd->FrameCount(), 75);
    }

    // Frames 10 to 59 of the 1080p clip with its sound, to a 960 x 540 movie.
    void movieFromRange()
    {
        Timeline* timeline = RegularTimeline(m_hd);
        timeline->SetPlaybackRange(10, 59);
        auto request = std::make_shared<ExportProperties>();
        request->timeline = timeline;
        request->outputPath = m_dir.filePath(QStringLiteral("out/range.mp4"));
        const QStringList log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(log.join('\n')));
        QVERIFY2(!log.join('\n').contains("temporary folder left"), qPrintable(log.join('\n')));

        const auto streams = Probe(request->outputPath);
        const QJsonObject video = streams.value("video");
        const QJsonObject audio = streams.value("audio");
        QCOMPARE(video.value("codec_name").toString(), QStringLiteral("h264"));
        QCOMPARE(video.value("profile").toString(), QStringLiteral("High"));
        QCOMPARE(video.value("pix_fmt").toString(), QStringLiteral("yuv420p"));
        QCOMPARE(video.value("width").toInt(), 960);
        QCOMPARE(video.value("height").toInt(), 540);
        QCOMPARE(video.value("sample_aspect_ratio").toString(), QStringLiteral("1:1"));
        QCOMPARE(video.value("nb_read_frames").toString(), QStringLiteral("50"));
        QCOMPARE(video.value("r_frame_rate").toString(), QStringLiteral("25/1"));
        QCOMPARE(audio.value("codec_name").toString(), QStringLiteral("aac"));
        QCOMPARE(audio.value("sample_rate").toString(), QStringLiteral("48000"));
        QCOMPARE(audio.value("channels").toInt(), 2);
        const double duration = audio.value("duration").toString().toDouble();
        QVERIFY2(std::abs(duration - 2.0) <= 0.04, qPrintable(QString::number(duration)));

        QList<int> expected;
        for (int i = 10; i <= 59; ++i)
            expected << i;
        QCOMPARE(DecodedNumbers(request->outputPath, 960, 540), expected);
    }

    // Frames 2 to 21 of a 63 x 35 4:2:0 clip to a 127 x 71 movie, rounded to 128 x 72: every
    // picture arrives whole and in order (odd sizes have chroma planes rounded up).
    void oddSizeYuvMovie()
    {
        Timeline* odd = ParsedTimeline(MediaPath("clip_odd_63x35.mkv"), &m_owner);
        QCOMPARE(odd->FrameCount(), 25);
        Timeline* timeline = RegularTimeline(odd);
        timeline->SetPlaybackRange(2, 21);
        auto request = std::make_shared<ExportProperties>();
        request->timeline = timeline;
        request->outputPath = m_dir.filePath(QStringLiteral("out/odd.mp4"));
        request->width = 127;
        request->height = 71;
        const QStringList log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(log.join('\n')));
        QVERIFY2(log.contains("-0 Export size 127x71 rounded to 128x72: the encoder needs even sizes"),
                 qPrintable(log.join('\n')));

        const QJsonObject video = Probe(request->outputPath).value("video");
        QCOMPARE(video.value("width").toInt(), 128);
        QCOMPARE(video.value("height").toInt(), 72);
        QCOMPARE(video.value("nb_read_frames").toString(), QStringLiteral("20"));
        QList<int> expected;
        for (int i = 2; i <= 21; ++i)
            expected << i;
        QCOMPARE(DecodedNumbers(request->outputPath, 128, 72), expected);
    }

    // A JPEG sequence: the names count from zero, the pictures are frames 10 to 12.
    void jpegSequence()
    {
        Timeline* timeline = RegularTimeline(m_hd);
        timeline->SetPlaybackRange(10, 12);
        auto request = std::make_shared<ExportProperties>();
        request->timeline = timeline;
        request->imageSequence = true;
        request->imageFormat = "jpg";
        request->outputDirPath = m_dir.filePath("out/jpeg");
        request->baseName = "shot";
        request->padding = 4;
        const QStringList log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(log.join('\n')));
        const QStringList files = QDir(request->outputDirPath).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{"shot.0000.jpg", "shot.0001.jpg", "shot.0002.jpg"}));
        for (int i = 0; i < files.size(); ++i) {
            const QImage image(QDir(request->outputDirPath).filePath(files[i]));
            QCOMPARE(image.size(), QSize(960, 540));
            QCOMPARE(TestSupport::FrameNumberFromImage(image, 960, 540), 10 + i);
        }
    }

    // A quote, a blank, a per cent sign and letters outside ASCII in the temporary folder, the
    // output folder and the base name: pictures of four sizes are joined through the list.
    void pathsThatNeedQuoting()
    {
        const QString odd = QStringLiteral("it's 100% t\u00ebmp");
        Settings::Get().SetTempDirPath(m_dir.filePath(odd));
        Timeline* mixed = ParsedTimeline(MediaPath("seq_mixed") + QStringLiteral("/m.####.png 1-4"), &m_owner);
        auto request = std::make_shared<ExportProperties>();
        request->timeline = RegularTimeline(mixed);
        request->outputPath = m_dir.filePath(odd + QStringLiteral("/out/m\u00f6vie's 5%.mp4"));
        QStringList log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(log.join('\n')));
        QVERIFY2(!log.join('\n').contains("temporary folder left"), qPrintable(log.join('\n')));
        QCOMPARE(Probe(request->outputPath).value("video").value("nb_read_frames").toString(), QStringLiteral("4"));

        auto pictures = std::make_shared<ExportProperties>();
        pictures->timeline = RegularTimeline(m_hd);
        pictures->timeline->SetPlaybackRange(0, 1);
        pictures->imageSequence = true;
        pictures->imageFormat = "png";
        pictures->outputDirPath = m_dir.filePath(odd + QStringLiteral("/p\u00efctures"));
        pictures->baseName = QStringLiteral("it's 50% \u00fc");
        pictures->padding = 2;
        log = Export(pictures);
        QVERIFY2(pictures->Proceeding(), qPrintable(log.join('\n')));
        QCOMPARE(QDir(pictures->outputDirPath).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("it's 50% \u00fc.00.png"), QStringLiteral("it's 50% \u00fc.01.png")}));
        Settings::Get().SetTempDirPath(m_dir.filePath(QStringLiteral("temp")));
    }
};

QTEST_GUILESS_MAIN(TestExportFfmpeg)
#include "tst_exportffmpeg.moc"
