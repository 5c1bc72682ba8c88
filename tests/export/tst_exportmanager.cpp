// The export pipeline against a fake ffmpeg that records its arguments and what it was fed:
// the exact argument lists and byte counts of each kind of export, the order of the stages,
// and what a stop, a crash, an exit code or a missing output does.
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

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using TestSupport::MediaPath;
using TestSupport::ParsedTimeline;
using TestSupport::WaitFor;

namespace {

struct FakeRun
{
    QString event; // start, end, hang, crash
    QStringList args;
    qint64 bytes = -1;
    QString hash;
};

// What the fake ffmpeg recorded, in order.
QList<FakeRun> ReadRuns(const QString& logPath)
{
    QList<FakeRun> runs;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return runs;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        FakeRun run;
        run.event = fields.takeFirst();
        if (run.event == QLatin1String("end")) {
            run.bytes = fields.takeFirst().toLongLong();
            run.hash = fields.takeFirst();
        }
        run.args = fields;
        runs.append(run);
    }
    return runs;
}

QList<FakeRun> Events(const QList<FakeRun>& runs, const QString& event)
{
    QList<FakeRun> out;
    for (const FakeRun& run : runs)
        if (run.event == event)
            out.append(run);
    return out;
}

struct LogLine
{
    QString text;
    int channel;
    bool error;
};

} // namespace

class TestExportManager : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_logPath;
    QObject m_owner;
    Timeline* m_hd = nullptr; // 1080p25, 75 frames, with sound
    AvManager* m_engine = nullptr; // the engine of the export Export() runs, while it runs

    // A regular timeline with one clip of each source timeline given.
    Timeline* RegularTimeline(const QList<Timeline*>& sources)
    {
        auto* timeline = new Timeline(&m_owner);
        for (int i = 0; i < sources.size(); ++i)
            timeline->InsertClip(new Clip(ClipKind::Reference, sources[i]->GetSource()), i);
        return timeline;
    }

    std::shared_ptr<ExportProperties> Request(Timeline* timeline, const QString& outputName)
    {
        auto request = std::make_shared<ExportProperties>();
        request->timeline = timeline;
        request->outputPath = m_dir.filePath(QStringLiteral("out/") + outputName);
        return request;
    }

    // Prepares and runs the export through the engine; returns the log lines.
    QList<LogLine> Export(const std::shared_ptr<ExportProperties>& request, int* endedCount = nullptr,
                          const std::function<void(const std::shared_ptr<ExportProperties>&)>& whileRunning = {})
    {
        QList<LogLine> log;
        const QString error = ExportManager::Prepare(*request);
        if (!error.isEmpty()) {
            log.append({error, -1, true});
            return log;
        }
        AvManager manager;
        m_engine = &manager;
        const auto forget = qScopeGuard([this] { m_engine = nullptr; });
        InstallExportPasses(&manager);
        InstallExportPasses(&manager); // a second time changes nothing
        QSignalSpy ended(&manager, &AvManager::ExportTasksEnded);
        connect(&manager, &AvManager::ExportLogMsgReceived, this,
                [&log](const QString& text, int channel, bool isError) { log.append({text, channel, isError}); });
        manager.StartTimelineExport(request);
        if (whileRunning)
            whileRunning(request);
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 120000);
            QCOMPARE(manager.ExportTimelineCount(), 0);
            QVERIFY(!request->audioPending && !request->videoPending);
        }();
        QCoreApplication::processEvents();
        if (endedCount)
            *endedCount = static_cast<int>(ended.count());
        return log;
    }

    static bool HasError(const QList<LogLine>& log, const QString& prefix)
    {
        return std::any_of(log.begin(), log.end(), [&](const LogLine& line) { return line.error && line.text.startsWith(prefix); });
    }

    static QStringList Lines(const QList<LogLine>& log)
    {
        QStringList lines;
        for (const LogLine& line : log)
            lines << QStringLiteral("%1%2 %3").arg(line.error ? "E" : "-").arg(line.channel).arg(line.text);
        return lines;
    }

    QStringList SegmentArgs(const ExportProperties& r, const QString& format, const QString& size, const QString& rate,
                            int index) const
    {
        return {"-y", "-f", "rawvideo", "-pix_fmt", format, "-s", size, "-framerate", rate, "-i", "-",
                "-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "20", "-preset:v", "fast", "-profile:v", "high",
                "-vf", "scale=w=960:h=540:force_original_aspect_ratio=1,pad=960:540:(ow-iw)*0.5:(oh-ih)*0.5,setsar=1",
                "-an", QStringLiteral("%1/%2_%3.m4v").arg(r.tempDirPath, r.exportName).arg(index)};
    }

    static QStringList AudioArgs(const ExportProperties& r)
    {
        return {"-y", "-f", "f32le", "-ar", "48000", "-ac", "2", "-channel_layout", "stereo", "-i", "-",
                "-c:a", "aac", "-b:a", "192k", r.finalAudioPath};
    }

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        QVERIFY(m_dir.isValid());
        Settings::Get().ffmpegExePath = QStringLiteral(PLOVEX_FAKE_FFMPEG);
        Settings::Get().SetTempDirPath(m_dir.filePath(QStringLiteral("temp")));
        m_hd = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &m_owner);
        QCOMPARE(m_hd->FrameCount(), 75);
    }

    void init()
    {
        m_logPath = m_dir.filePath(QStringLiteral("fake_%1.log").arg(QTest::currentTestFunction()));
        QFile::remove(m_logPath);
        qputenv("FAKE_FFMPEG_LOG", m_logPath.toLocal8Bit());
        for (const char* name : {"FAKE_FFMPEG_MATCH", "FAKE_FFMPEG_EXIT", "FAKE_FFMPEG_CRASH_AFTER", "FAKE_FFMPEG_HANG",
                                 "FAKE_FFMPEG_HANG_AT_END", "FAKE_FFMPEG_NO_OUTPUT", "FAKE_FFMPEG_EMPTY_OUTPUT",
                                 "FAKE_FFMPEG_SAVE_INPUT"})
            qunsetenv(name);
        QDir(m_dir.filePath(QStringLiteral("out"))).removeRecursively();
    }

    // Every temporary folder was removed by the cleanup.
    void cleanup()
    {
        QDir temp(m_dir.filePath(QStringLiteral("temp")));
        const QStringList left = temp.entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        temp.removeRecursively(); // the next test starts clean either way
        QVERIFY2(left.isEmpty() || QTest::currentTestFailed(), qPrintable(left.join(", ")));
    }

    void encoderSettings()
    {
        QCOMPARE(ExportManager::CrfForQuality(0), QStringLiteral("18"));
        QCOMPARE(ExportManager::CrfForQuality(3), QStringLiteral("26"));
        QCOMPARE(ExportManager::CrfForQuality(7), QStringLiteral("20"));
        QCOMPARE(ExportManager::PresetName(0), QStringLiteral("veryslow"));
        QCOMPARE(ExportManager::PresetName(5), QStringLiteral("ultrafast"));
        QCOMPARE(ExportManager::PresetName(9), QStringLiteral("medium"));
        ExportProperties request;
        request.width = 961; // odd sizes are rounded up to even ones
        request.height = 541;
        request.frameRate = 23.976f;
        request.quality = 0;
        request.preset = 1;
        const QStringList linear = ExportManager::SegmentArguments(request, "rgba", 100, 50, true, 1.5f, 0, "seg.m4v");
        QCOMPARE(linear, (QStringList{"-y", "-f", "rawvideo", "-pix_fmt", "rgba", "-s", "100x50", "-framerate", "23.976",
                                      "-i", "-", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18", "-preset:v",
                                      "slow", "-profile:v", "high", "-vf",
                                      "scale=w=962:h=542:force_original_aspect_ratio=1,pad=962:542:(ow-iw)*0.5:(oh-ih)*0.5,"
                                      "setsar=1.5,lutrgb=r=gammaval(0.45454545):g=gammaval(0.45454545):b=gammaval(0.45454545)",
                                      "-an", "seg.m4v"}));
        request.frameRate = -1.0f; // no clip at frame 0: 12 fps
        QCOMPARE(ExportManager::SegmentArguments(request, "rgb24", 2, 2, false, 1.0f, 0, "s").at(8), QStringLiteral("12"));
    }

    // The version line: the first line ffmpeg prints; nothing from a program that does not
    // answer, which is given up on after about two seconds, or at once when a stop comes. On
    // the main thread events go on meanwhile (the stop here comes from one).
    void versionLine()
    {
        QCOMPARE(ExportManager::VersionLine(PLOVEX_FAKE_FFMPEG), QStringLiteral("ffmpeg version fake-1.0 Copyright (c) the test suite"));
        QCOMPARE(ExportManager::VersionLine(m_dir.filePath("no_such_ffmpeg")), QString());
        qputenv("FAKE_FFMPEG_VERSION_HANG", "1");
        const auto unset = qScopeGuard([] { qunsetenv("FAKE_FFMPEG_VERSION_HANG"); });
        bool stop = false;
        QTimer::singleShot(0, this, [&stop] { stop = true; });
        QCOMPARE(ExportManager::VersionLine(PLOVEX_FAKE_FFMPEG, [&stop] { return stop; }), QString());
        QVERIFY(stop);
        // Without a stop it still returns: the hung program is given up on.
        QCOMPARE(ExportManager::VersionLine(PLOVEX_FAKE_FFMPEG), QString());
    }

    void concatList()
    {
        QCOMPARE(ExportManager::ConcatList({"a_0.m4v", "/tmp/it's here/ü 100%/b_1.m4v"}),
                 QByteArray("file 'a_0.m4v'\nfile '/tmp/it'\\''s here/\xc3\xbc 100%/b_1.m4v'\n"));
        QVERIFY(ExportManager::ConcatList({"a_0.m4v", "/tmp/two\nlines/b.m4v"}).isEmpty());
    }

    void preparationChecks()
    {
        Timeline* timeline = RegularTimeline({m_hd});
        auto request = Request(timeline, "x.avi");
        QCOMPARE(ExportManager::Prepare(*request), QStringLiteral("Unsupported file type: avi"));
        request = Request(timeline, "x.MP4");
        QCOMPARE(ExportManager::Prepare(*request), QStringLiteral("Unsupported file type: MP4"));
        request = Request(timeline, "x.mp4");
        request->outputPath = MediaPath("clip_1080p25.mp4");
        QCOMPARE(ExportManager::Prepare(*request),
                 QStringLiteral("Output file exists in the timeline being exported: %1").arg(request->outputPath));
        Timeline* silent = RegularTimeline({ParsedTimeline(MediaPath("long_silent_3min.mp4"), &m_owner)});
        request = Request(silent, "x.wav");
        QCOMPARE(ExportManager::Prepare(*request), QStringLiteral("No audio or video streams in final output"));
        request = Request(timeline, "x.mp4");
        request->noAudio = true;
        request->noVideo = true;
        QCOMPARE(ExportManager::Prepare(*request), QStringLiteral("No audio or video streams in final output"));

        // A ready request: names, paths and streams.
        request = Request(timeline, "x.mp4");
        request->noAudio = true;
        QCOMPARE(ExportManager::Prepare(*request), QString());
        QVERIFY(request->noAudio && !request->noVideo);
        QCOMPARE(request->frameRate, 25.0f);
        QCOMPARE(request->tempDirPath, m_dir.filePath("temp/") + request->exportName);
        QCOMPARE(request->finalVideoPath, request->tempDirPath + "/" + request->exportName + "_final.m4v");
        QVERIFY(request->finalAudioPath.isEmpty());
        QVERIFY(QFileInfo(request->tempDirPath).isDir());
        QCOMPARE(request->ffmpegExePath, QStringLiteral(PLOVEX_FAKE_FFMPEG));

        QCOMPARE(ExportManager::Cleanup(*request), QString());
        QVERIFY(!QFileInfo::exists(request->tempDirPath));

        // The temporary folder an export would be named after exists already (another export
        // prepared in the same millisecond made it): refused, and the cleanup of the refused
        // request leaves that folder alone. Folders for the next few seconds' names are made
        // first, so the name Prepare picks is one of them, however fast this runs.
        {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            QStringList taken;
            for (qint64 ms = now; ms < now + 5000; ++ms) {
                taken << m_dir.filePath(QStringLiteral("temp/%1").arg(ms));
                QVERIFY(QDir().mkpath(taken.last()));
            }
            const auto removeTaken = qScopeGuard([&] {
                for (const QString& path : std::as_const(taken))
                    QDir(path).removeRecursively();
            });
            auto second = Request(timeline, "x.mp4");
            const QString error = ExportManager::Prepare(*second);
            QVERIFY(taken.contains(second->tempDirPath));
            QCOMPARE(error, QStringLiteral("Temporary export directory already exists: %1").arg(second->tempDirPath));
            QVERIFY(!second->tempDirCreated);
            QCOMPARE(ExportManager::Cleanup(*second), QString());
            QVERIFY(QFileInfo(second->tempDirPath).isDir());
        }

        // Cleanup never removes a folder it did not create, nor an empty path.
        QDir keep(m_dir.filePath("keep"));
        QVERIFY(keep.mkpath("."));
        TestSupport::Touch(keep.filePath("precious.txt"));
        ExportProperties foreign;
        foreign.tempDirPath = keep.path();
        foreign.exportName = "keep";
        QCOMPARE(ExportManager::Cleanup(foreign), QString());
        foreign.tempDirCreated = true;
        foreign.exportName = "1234";
        QCOMPARE(ExportManager::Cleanup(foreign), QString());
        ExportProperties empty;
        empty.tempDirCreated = true;
        QCOMPARE(ExportManager::Cleanup(empty), QString());
        QVERIFY(QFileInfo::exists(keep.filePath("precious.txt")));
    }

    // A failed or stopped request ends at once, without any process.
    void endsAtOnceWhenFailed()
    {
        AvManager manager;
        InstallExportPasses(&manager);
        QSignalSpy ended(&manager, &AvManager::ExportTasksEnded);
        auto request = Request(RegularTimeline({m_hd}), "x.mp4");
        request->cancelled = true;
        manager.StartTimelineExport(request);
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(manager.ExportTimelineCount(), 0);
        QVERIFY(!QFileInfo::exists(m_logPath));
    }

    void movieWithSound()
    {
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "movie.mp4");
        int endedCount = 0;
        const QList<LogLine> log = Export(request, &endedCount);
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        QCOMPARE(endedCount, 1);
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        const QList<FakeRun> starts = Events(runs, "start");
        const QList<FakeRun> ends = Events(runs, "end");
        QCOMPARE(starts.size(), 3);
        QCOMPARE(starts[0].args, AudioArgs(*request));
        QCOMPARE(starts[1].args, SegmentArgs(*request, "yuv420p", "1920x1080", "25", 0));
        QCOMPARE(starts[2].args, (QStringList{"-y", "-i", request->finalVideoPath, "-i", request->finalAudioPath, "-c",
                                              "copy", request->outputPath}));
        // 10 frames at 25 fps: 0.4 s of 48 kHz stereo float; 10 pictures of 1920 x 1080 in 4:2:0.
        QCOMPARE(ends[0].bytes, qint64(19200) * 8);
        QCOMPARE(ends[1].bytes, qint64(10) * (1920 * 1080 + 2 * 960 * 540));
        // The log: each command line on its channel; no version line (the runner logs it once,
        // before the passes begin).
        const QStringList lines = Lines(log);
        QVERIFY(!lines.contains("-0 ffmpeg version fake-1.0 Copyright (c) the test suite"));
        QVERIFY(lines.contains("-1 " + ExportManager::CommandLine(PLOVEX_FAKE_FFMPEG, AudioArgs(*request))));
        QVERIFY(lines.contains("-2 " + ExportManager::CommandLine(PLOVEX_FAKE_FFMPEG, starts[1].args)));
        QVERIFY(QFileInfo(request->outputPath).size() > 0);
        QCOMPARE(request->audioProgress.Load(), 100.0f);
        QCOMPARE(request->videoProgress.Load(), 100.0f);
        QCOMPARE(request->finalizeProgress.Load(), 100.0f);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // Sound excluded: one pass, the video moved to the output, no merge.
    void movieWithoutSound()
    {
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "movie.mp4");
        request->noAudio = true;
        TestSupport::Touch(request->outputPath); // replaced
        const QList<LogLine> log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        const QList<FakeRun> starts = Events(ReadRuns(m_logPath), "start");
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts[0].args, SegmentArgs(*request, "yuv420p", "1920x1080", "25", 0));
        QFile output(request->outputPath);
        QVERIFY(output.open(QIODevice::ReadOnly));
        QCOMPARE(output.readAll(), QByteArray("fake output of 31104000 bytes\n"));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // A sound file of the whole timeline (its range ignored): the audio pass, then the copy
    // to the output.
    void soundFile()
    {
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "sound.wav");
        request->ignoreRange = true;
        const QList<LogLine> log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        const QList<FakeRun> starts = Events(runs, "start");
        QCOMPARE(starts.size(), 2);
        QCOMPARE(starts[0].args, AudioArgs(*request));
        QCOMPARE(starts[1].args, (QStringList{"-y", "-i", request->finalAudioPath, request->outputPath}));
        QCOMPARE(Events(runs, "end")[0].bytes, qint64(3 * 48000) * 8); // 75 frames at 25 fps
        QVERIFY(QFileInfo(request->outputPath).size() > 0);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // Pictures that change size and layout give one segment each, joined through the list.
    void mixedSizesMakeSegments()
    {
        Timeline* mixed = ParsedTimeline(MediaPath("seq_mixed") + QStringLiteral("/m.####.png 1-4"), &m_owner);
        Timeline* timeline = RegularTimeline({mixed});
        auto request = Request(timeline, "mixed.mp4");
        QByteArray list;
        QList<LogLine> log;
        {
            // The list is read before the cleanup removes it.
            log = Export(request);
            QFile file(request->concatListPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            list = file.readAll();
        }
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        const QString rate = QString::number(Settings::Get().defaultImageSequenceFrameRate);
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        const QList<FakeRun> starts = Events(runs, "start");
        const QList<FakeRun> ends = Events(runs, "end");
        QCOMPARE(starts.size(), 5);
        QCOMPARE(starts[0].args, SegmentArgs(*request, "rgb24", "320x180", rate, 0));
        QCOMPARE(starts[1].args, SegmentArgs(*request, "rgb24", "321x181", rate, 1));
        QCOMPARE(starts[2].args, SegmentArgs(*request, "rgba", "320x180", rate, 2));
        QCOMPARE(starts[3].args, SegmentArgs(*request, "rgb24", "320x180", rate, 3));
        QCOMPARE(ends[0].bytes, qint64(320 * 180 * 3));
        QCOMPARE(ends[1].bytes, qint64(321 * 181 * 3));
        QCOMPARE(ends[2].bytes, qint64(320 * 180 * 4));
        QCOMPARE(ends[3].bytes, qint64(320 * 180 * 3));
        const QString name = request->exportName;
        QCOMPARE(QString::fromUtf8(list), QStringLiteral("file '%1_0.m4v'\nfile '%1_1.m4v'\nfile '%1_2.m4v'\nfile '%1_3.m4v'\n").arg(name));
        QCOMPARE(starts[4].args, (QStringList{"-y", "-f", "concat", "-safe", "0", "-i", request->concatListPath, "-c",
                                              "copy", request->finalVideoPath}));
        QVERIFY(QFileInfo(request->outputPath).size() > 0);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // A 4:2:0 clip of 63 x 35: each picture is written as ffmpeg's rawvideo input reads one,
    // with chroma planes of 32 x 18 (rounded up), so no picture is cut short or misaligned. An
    // odd export size is rounded to the even one the encoder needs, said once in the log.
    void oddSizeYuvClip_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("rounding");
        QTest::newRow("both odd") << 127 << 71 << "Export size 127x71 rounded to 128x72: the encoder needs even sizes";
        QTest::newRow("odd width") << 127 << 72 << "Export size 127x72 rounded to 128x72: the encoder needs even sizes";
        QTest::newRow("odd height") << 128 << 71 << "Export size 128x71 rounded to 128x72: the encoder needs even sizes";
        QTest::newRow("even") << 128 << 72 << QString();
    }
    void oddSizeYuvClip()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, rounding);
        Timeline* odd = ParsedTimeline(MediaPath("clip_odd_63x35.mkv"), &m_owner);
        QCOMPARE(odd->FrameCount(), 25);
        Timeline* timeline = RegularTimeline({odd});
        timeline->SetPlaybackRange(3, 12);
        auto request = Request(timeline, "odd.mp4");
        request->width = width;
        request->height = height;
        const QString inputPath = m_dir.filePath(QStringLiteral("odd_input.raw"));
        qputenv("FAKE_FFMPEG_SAVE_INPUT", inputPath.toLocal8Bit());
        const QList<LogLine> log = Export(request);
        const QStringList lines = Lines(log);
        QVERIFY2(request->Proceeding(), qPrintable(lines.join('\n')));
        const qsizetype roundingLines = std::count_if(lines.begin(), lines.end(), [](const QString& line) {
            return line.contains(QLatin1String("rounded to"));
        });
        if (rounding.isEmpty()) {
            QCOMPARE(roundingLines, qsizetype(0));
        } else {
            QCOMPARE(roundingLines, qsizetype(1));
            QVERIFY2(lines.contains("-0 " + rounding), qPrintable(lines.join('\n')));
        }
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        const QList<FakeRun> starts = Events(runs, "start");
        QCOMPARE(starts.size(), 1); // no sound: one segment, moved to the output
        QCOMPARE(starts[0].args.mid(0, 7), (QStringList{"-y", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "63x35"}));
        QVERIFY2(starts[0].args.contains("scale=w=128:h=72:force_original_aspect_ratio=1,pad=128:72:(ow-iw)*0.5:(oh-ih)*0.5,setsar=1"),
                 qPrintable(starts[0].args.join(' ')));
        // 10 pictures of 63 x 35 luma and two 32 x 18 chroma planes.
        QCOMPARE(Events(runs, "end")[0].bytes, qint64(10) * (63 * 35 + 2 * 32 * 18));
        // The pictures themselves, against the clip's own planes as ffmpeg decodes them: luma
        // as it is; chroma columns 0-30 and rows 0-16 as they are, and the last column and row
        // (which the export buffer does not keep) repeating their neighbours.
        QFile input(inputPath);
        QVERIFY(input.open(QIODevice::ReadOnly));
        const QByteArray written = input.readAll();
        QProcess decode;
        decode.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", MediaPath("clip_odd_63x35.mkv"), "-f", "rawvideo",
                                                "-pix_fmt", "yuv420p", "-"});
        QVERIFY(decode.waitForFinished(60000));
        const QByteArray source = decode.readAllStandardOutput();
        const qsizetype picture = 63 * 35 + 2 * 32 * 18;
        QCOMPARE(source.size(), 25 * picture);
        QCOMPARE(written.size(), 10 * picture);
        for (int k = 0; k < 10; ++k) {
            const char* got = written.constData() + k * picture;
            const char* want = source.constData() + (3 + k) * picture;
            QVERIFY2(std::memcmp(got, want, 63 * 35) == 0, qPrintable(QStringLiteral("luma of picture %1").arg(k)));
            for (int plane = 0; plane < 2; ++plane)
                for (int y = 0; y < 18; ++y)
                    for (int x = 0; x < 32; ++x) {
                        const qsizetype at = 63 * 35 + plane * 32 * 18;
                        const char value = got[at + y * 32 + x];
                        const char expected = want[at + std::min(y, 16) * 32 + std::min(x, 30)];
                        if (value != expected)
                            QFAIL(qPrintable(QStringLiteral("picture %1, chroma plane %2 at %3,%4: %5, expected %6")
                                                 .arg(k).arg(plane).arg(x).arg(y).arg(int(uint8_t(value)))
                                                 .arg(int(uint8_t(expected)))));
                    }
        }
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    void jpegSequence_data()
    {
        QTest::addColumn<int>("numbering");
        QTest::addColumn<int>("first");
        QTest::newRow("zero based") << int(ExportNumberingZeroBased) << 0;
        QTest::newRow("match frame") << int(ExportNumberingMatchFrame) << 10;
    }
    void jpegSequence()
    {
        QFETCH(int, numbering);
        QFETCH(int, first);
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, QString());
        request->outputPath.clear();
        request->imageSequence = true;
        request->imageFormat = "jpg";
        request->outputDirPath = m_dir.filePath("out/pictures");
        request->baseName = "shot";
        request->padding = 4;
        request->numberingType = numbering;
        const QList<LogLine> log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        const QList<FakeRun> starts = Events(ReadRuns(m_logPath), "start");
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts[0].args, (QStringList{"-y", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "1920x1080",
                                              "-framerate", "25", "-i", "-", "-start_number", QString::number(first),
                                              "-qscale:v", "2", "-vf", "scale=960:540",
                                              request->outputDirPath + "/shot.%4d.jpg"}));
        QStringList expected;
        for (int i = 0; i < 10; ++i)
            expected << QStringLiteral("shot.%1.jpg").arg(first + i, 4, 10, QLatin1Char('0'));
        QCOMPARE(QDir(request->outputDirPath).entryList(QDir::Files, QDir::Name), expected);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // Stopped while ffmpeg hangs on its input: it is killed, no later stage runs, and the
    // temporary folder goes with the cleanup.
    void stopWhileHung()
    {
        qputenv("FAKE_FFMPEG_MATCH", "rawvideo");
        qputenv("FAKE_FFMPEG_HANG", "1");
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 59);
        auto request = Request(timeline, "movie.mp4");
        const QList<LogLine> log = Export(request, nullptr, [this](const std::shared_ptr<ExportProperties>& r) {
            QVERIFY(WaitFor([this] { return !Events(ReadRuns(m_logPath), "hang").isEmpty(); }, 60000));
            r->cancelled = true;
        });
        QVERIFY(request->cancelled && !request->failed);
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        const QList<FakeRun> starts = Events(runs, "start");
        QCOMPARE(starts.size(), 2); // audio, then the segment; no merge
        QVERIFY(starts[1].args.contains("rawvideo"));
        QCOMPARE(Events(runs, "end").size(), 1); // the segment never ended by itself
        QVERIFY(!QFileInfo::exists(request->outputPath));
        QVERIFY(QFileInfo::exists(request->tempDirPath));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
        QVERIFY(!QFileInfo::exists(request->tempDirPath));
    }

    // Stopped between frames: the loop ends, nothing is joined, moved or merged.
    void stopBetweenFrames()
    {
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(0, 74);
        auto request = Request(timeline, "movie.mp4");
        request->noAudio = true;
        const QList<LogLine> log = Export(request, nullptr, [](const std::shared_ptr<ExportProperties>& r) {
            QVERIFY(WaitFor([&] { return r->videoProgress.Load() > 0.0f; }, 60000));
            r->cancelled = true;
        });
        QVERIFY(request->cancelled);
        const QList<FakeRun> starts = Events(ReadRuns(m_logPath), "start");
        QCOMPARE(starts.size(), 1);
        QVERIFY(!QFileInfo::exists(request->outputPath));
        QVERIFY(!QFileInfo::exists(request->finalVideoPath));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // ffmpeg dies in the middle of a segment: the export fails soon after, with its standard
    // error in the log, and nothing later runs.
    void crashFails()
    {
        qputenv("FAKE_FFMPEG_MATCH", "rawvideo");
        qputenv("FAKE_FFMPEG_CRASH_AFTER", "4000000");
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 59);
        auto request = Request(timeline, "movie.mp4");
        request->noAudio = true;
        const QList<LogLine> log = Export(request, nullptr, [this](const std::shared_ptr<ExportProperties>& r) {
            QVERIFY(WaitFor([this] { return !Events(ReadRuns(m_logPath), "crash").isEmpty(); }, 60000));
            QTRY_VERIFY_WITH_TIMEOUT(r->failed.Load(), 2000);
        });
        QVERIFY(request->failed);
        // Nothing timed out: the crash is what the log says.
        QVERIFY2(!HasError(log, "Timeout writing video stream"), qPrintable(Lines(log).join('\n')));
        QVERIFY2(HasError(log, "ffmpeg crashed"), qPrintable(Lines(log).join('\n')));
        const auto crashLine = std::find_if(log.begin(), log.end(), [](const LogLine& l) { return l.text.startsWith("ffmpeg crashed"); });
        QVERIFY(crashLine->text.contains("fake ffmpeg: crashing after"));
        QCOMPARE(Events(ReadRuns(m_logPath), "start").size(), 1);
        QVERIFY(!QFileInfo::exists(request->outputPath));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // The audio encoder exits with an error: the export fails and the video pass never starts.
    void exitCodeFails()
    {
        qputenv("FAKE_FFMPEG_MATCH", "f32le");
        qputenv("FAKE_FFMPEG_EXIT", "3");
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "movie.mp4");
        const QList<LogLine> log = Export(request);
        QVERIFY(request->failed);
        QVERIFY2(HasError(log, "ffmpeg exited with code 3"), qPrintable(Lines(log).join('\n')));
        // The failure line carries the end of what ffmpeg wrote on its standard error.
        const auto exitLine = std::find_if(log.begin(), log.end(), [](const LogLine& l) { return l.text.startsWith("ffmpeg exited with code 3"); });
        QVERIFY2(exitLine->text.contains("fake ffmpeg: failing with code 3"), qPrintable(exitLine->text));
        const QList<FakeRun> starts = Events(ReadRuns(m_logPath), "start");
        QCOMPARE(starts.size(), 1);
        QVERIFY(starts[0].args.contains("f32le"));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // A segment that produced no file: the export fails instead of moving nothing.
    void missingOutputFails()
    {
        qputenv("FAKE_FFMPEG_MATCH", "rawvideo");
        qputenv("FAKE_FFMPEG_NO_OUTPUT", "1");
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 12);
        auto request = Request(timeline, "movie.mp4");
        request->noAudio = true;
        const QList<LogLine> log = Export(request);
        QVERIFY(request->failed);
        const QStringList lines = Lines(log);
        QVERIFY2(lines.contains("-0 [WARNING] Intermediate file not found... skipping"), qPrintable(lines.join('\n')));
        QVERIFY(lines.contains("E0 No intermediate video files found"));
        QVERIFY(lines.contains("E0 Failed to create final video file"));
        QVERIFY(!QFileInfo::exists(request->outputPath));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // One segment of several ends well but leaves no file, or an empty one: the export fails
    // instead of joining the others without that segment's frames.
    void missingSegmentFails_data()
    {
        QTest::addColumn<QByteArray>("option");
        QTest::newRow("no file") << QByteArray("FAKE_FFMPEG_NO_OUTPUT");
        QTest::newRow("empty file") << QByteArray("FAKE_FFMPEG_EMPTY_OUTPUT");
    }
    void missingSegmentFails()
    {
        QFETCH(QByteArray, option);
        qputenv("FAKE_FFMPEG_MATCH", "_1.m4v");
        qputenv(option.constData(), "1");
        Timeline* mixed = ParsedTimeline(MediaPath("seq_mixed") + QStringLiteral("/m.####.png 1-4"), &m_owner);
        auto request = Request(RegularTimeline({mixed}), "mixed.mp4");
        const QList<LogLine> log = Export(request);
        const QStringList lines = Lines(log);
        QVERIFY2(request->failed, qPrintable(lines.join('\n')));
        const QString segment = QStringLiteral("%1/%2_1.m4v").arg(request->tempDirPath, request->exportName);
        QVERIFY2(lines.contains("-0 [WARNING] Intermediate file not found... skipping"), qPrintable(lines.join('\n')));
        QVERIFY2(lines.contains("E0 Intermediate video file not created: " + segment), qPrintable(lines.join('\n')));
        QVERIFY(lines.contains("E0 Failed to create final video file"));
        const QList<FakeRun> starts = Events(ReadRuns(m_logPath), "start");
        QCOMPARE(starts.size(), 4); // the four segments; nothing joined
        QVERIFY(!QFileInfo::exists(request->outputPath));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
        QVERIFY(!QFileInfo::exists(request->tempDirPath));
    }

    // ffmpeg hangs, either no longer taking its input or never ending once its input is
    // closed: the write or the close is given up on after the process timeout (shortened
    // here), the export fails with the text for it, ffmpeg is killed and nothing later runs.
    void hungFfmpegFails_data()
    {
        QTest::addColumn<QString>("match");
        QTest::addColumn<bool>("noAudio");
        QTest::addColumn<QByteArray>("hang"); // the fake's variable for the hang
        QTest::addColumn<QByteArray>("hangValue");
        QTest::addColumn<QString>("text");
        // A write hangs past the pipe's buffer, short of what is written.
        QTest::newRow("video write") << "rawvideo" << true << QByteArray("FAKE_FFMPEG_HANG") << QByteArray("100000")
                                     << "E0 Timeout writing video stream";
        QTest::newRow("audio write") << "f32le" << false << QByteArray("FAKE_FFMPEG_HANG") << QByteArray("100000")
                                     << "E0 Timeout writing audio stream";
        QTest::newRow("video close") << "rawvideo" << true << QByteArray("FAKE_FFMPEG_HANG_AT_END") << QByteArray("1")
                                     << "E2 Failed to close video write channel";
        QTest::newRow("audio close") << "f32le" << false << QByteArray("FAKE_FFMPEG_HANG_AT_END") << QByteArray("1")
                                     << "E0 Failed to close audio write channel";
    }
    void hungFfmpegFails()
    {
        QFETCH(QString, match);
        QFETCH(bool, noAudio);
        QFETCH(QByteArray, hang);
        QFETCH(QByteArray, hangValue);
        QFETCH(QString, text);
        ExportManager::SetTimeouts(2000, 0);
        const auto restore = qScopeGuard([] { ExportManager::SetTimeouts(0, 0); });
        qputenv("FAKE_FFMPEG_MATCH", match.toLocal8Bit());
        qputenv(hang.constData(), hangValue);
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 59);
        auto request = Request(timeline, "movie.mp4");
        request->noAudio = noAudio;
        const QList<LogLine> log = Export(request);
        const QStringList lines = Lines(log);
        QVERIFY2(request->failed && !request->cancelled, qPrintable(lines.join('\n')));
        QVERIFY2(lines.contains(text), qPrintable(lines.join('\n')));
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        QCOMPARE(Events(runs, "hang").size(), 1);
        QCOMPARE(Events(runs, "start").size(), 1); // the hung one; no later stage
        QVERIFY(Events(runs, "start")[0].args.contains(match));
        QCOMPARE(Events(runs, "end").size(), 0);
        // Killed (and reaped): no process with its id is left.
        const QList<FakeRun> pids = Events(runs, "pid");
        QCOMPARE(pids.size(), 1);
        const pid_t pid = static_cast<pid_t>(pids[0].args.value(0).toInt());
        QVERIFY(pid > 0);
        errno = 0;
        QVERIFY(::kill(pid, 0) != 0 && errno == ESRCH);
        QVERIFY(!QFileInfo::exists(request->outputPath));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
        QVERIFY(!QFileInfo::exists(request->tempDirPath));
    }

    // A later step fails: the join, the merge or the sound file. The export fails with the
    // step's text, after ffmpeg's own words when it ran and failed; a step that ends well
    // without its output file fails too.
    void laterStepFails_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("match");
        QTest::addColumn<QByteArray>("option");
        QTest::addColumn<QStringList>("expected"); // {final} and {output} stand for the paths
        const QString exitLine = QStringLiteral("ffmpeg exited with code 2:\nfake ffmpeg: failing with code 2");
        QTest::newRow("join, exit code") << "join" << "concat" << QByteArray("FAKE_FFMPEG_EXIT")
                                         << QStringList{exitLine, "Failed to concatenate intermediate video files"};
        QTest::newRow("join, no output") << "join" << "concat" << QByteArray("FAKE_FFMPEG_NO_OUTPUT")
                                         << QStringList{"Final video file not created: {final}"};
        QTest::newRow("merge, exit code") << "merge" << "_final.m4a -c copy" << QByteArray("FAKE_FFMPEG_EXIT")
                                          << QStringList{exitLine, "Failed to merge audio and video streams"};
        QTest::newRow("merge, no output") << "merge" << "_final.m4a -c copy" << QByteArray("FAKE_FFMPEG_NO_OUTPUT")
                                          << QStringList{"Failed to create final output (audio/video merge)"};
        QTest::newRow("wav, exit code") << "wav" << "sound.wav" << QByteArray("FAKE_FFMPEG_EXIT")
                                        << QStringList{exitLine, "Failed to create .wav file"};
        QTest::newRow("wav, no output") << "wav" << "sound.wav" << QByteArray("FAKE_FFMPEG_NO_OUTPUT")
                                        << QStringList{"Output file not created: {output}"};
    }
    void laterStepFails()
    {
        QFETCH(QString, kind);
        QFETCH(QString, match);
        QFETCH(QByteArray, option);
        QFETCH(QStringList, expected);
        qputenv("FAKE_FFMPEG_MATCH", match.toLocal8Bit());
        qputenv(option.constData(), option == "FAKE_FFMPEG_EXIT" ? "2" : "1");
        std::shared_ptr<ExportProperties> request;
        if (kind == QLatin1String("join")) {
            Timeline* mixed = ParsedTimeline(MediaPath("seq_mixed") + QStringLiteral("/m.####.png 1-4"), &m_owner);
            request = Request(RegularTimeline({mixed}), "mixed.mp4");
        } else {
            Timeline* timeline = RegularTimeline({m_hd});
            timeline->SetPlaybackRange(10, 19);
            request = Request(timeline, kind == QLatin1String("wav") ? "sound.wav" : "movie.mp4");
        }
        const QList<LogLine> log = Export(request);
        const QStringList lines = Lines(log);
        QVERIFY2(request->failed && !request->cancelled, qPrintable(lines.join('\n')));
        const QList<FakeRun> starts = Events(ReadRuns(m_logPath), "start");
        QVERIFY(!starts.isEmpty());
        QVERIFY2(starts.last().args.join(' ').contains(match), qPrintable(starts.last().args.join(' '))); // the last step
        QStringList errors;
        for (const LogLine& line : log)
            if (line.error)
                errors << line.text;
        QStringList want;
        for (QString text : std::as_const(expected))
            want << text.replace("{final}", request->finalVideoPath).replace("{output}", request->outputPath);
        QCOMPARE(errors, want);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
        QVERIFY(!QFileInfo::exists(request->tempDirPath));
    }

    // Sound that ends inside the range (a clip without sound next to one with it): the part
    // without sound is written as silence, zero bytes, and the count is exact.
    void silencePadding_data()
    {
        QTest::addColumn<bool>("silentFirst");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("sound, then none") << false << 70 << 84; // 5 frames of sound, 10 without
        QTest::newRow("none, then sound") << true << 20 << 34;  // 5 frames without, 10 with
    }
    void silencePadding()
    {
        QFETCH(bool, silentFirst);
        QFETCH(int, first);
        QFETCH(int, last);
        Timeline* silent = ParsedTimeline(MediaPath("clip_odd_63x35.mkv"), &m_owner); // 25 frames, no sound
        QCOMPARE(silent->FrameCount(), 25);
        Timeline* timeline = silentFirst ? RegularTimeline({silent, m_hd}) : RegularTimeline({m_hd, silent});
        timeline->SetPlaybackRange(first, last);
        auto request = Request(timeline, "padded.wav");
        const QString inputPath = m_dir.filePath(QStringLiteral("padded_input.raw"));
        QFile::remove(inputPath);
        qputenv("FAKE_FFMPEG_SAVE_INPUT", inputPath.toLocal8Bit());
        const QList<LogLine> log = Export(request);
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        QFile input(inputPath);
        QVERIFY(input.open(QIODevice::ReadOnly));
        const QByteArray written = input.readAll();
        // 15 frames at 25 fps: 0.6 s of 48 kHz stereo float.
        QCOMPARE(written.size(), qsizetype(28800) * 8);
        const qsizetype fiveFrames = 9600 * 8;
        const QByteArray silence = silentFirst ? written.left(fiveFrames) : written.mid(fiveFrames);
        const QByteArray sound = silentFirst ? written.mid(fiveFrames) : written.left(fiveFrames);
        const qsizetype nonZero = std::find_if(silence.begin(), silence.end(), [](char c) { return c != 0; }) - silence.begin();
        QVERIFY2(nonZero == silence.size(), qPrintable(QStringLiteral("byte %1 of the silence is not zero").arg(nonZero)));
        QVERIFY(std::any_of(sound.begin(), sound.end(), [](char c) { return c != 0; }));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // An image sequence whose files were not written: a missing output is a failure, also
    // when the encoder said nothing wrong.
    void missingImagesFail()
    {
        qputenv("FAKE_FFMPEG_MATCH", "rawvideo");
        qputenv("FAKE_FFMPEG_NO_OUTPUT", "1");
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 12);
        auto request = Request(timeline, QString());
        request->outputPath.clear();
        request->imageSequence = true;
        request->imageFormat = "png";
        request->outputDirPath = m_dir.filePath("out/missing");
        request->baseName = "shot";
        request->padding = 3;
        const QList<LogLine> log = Export(request);
        QVERIFY(request->failed);
        const QStringList lines = Lines(log);
        QVERIFY2(lines.contains("E0 Image file not created: " + request->outputDirPath + "/shot.000.png"),
                 qPrintable(lines.join('\n')));
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // A viewer capture on the main thread: the images packed row by row into one segment
    // (63 pixels make rows that QImage pads), moved to the output without sound.
    void viewerCapture()
    {
        auto request = Request(RegularTimeline({m_hd}), "capture.mp4");
        request->viewerCapture = true;
        request->noAudio = true;
        QCOMPARE(ExportManager::Prepare(*request), QString());
        ExportManager capture(ExportManager::VideoMode, request);
        QByteArray expected;
        for (int i = 0; i < 3; ++i) {
            QImage image(63, 35, QImage::Format_RGB32);
            image.fill(QColor(10 * i, 100, 200 - i));
            image.setPixelColor(62, 34, QColor(255, 0, 7));
            capture.WriteSnapshotFrame(image, 5 + i);
            const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
            for (int y = 0; y < rgb.height(); ++y)
                expected.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), 63 * 3);
        }
        QCOMPARE(capture.FinishViewerCapture(), 5);
        QVERIFY(request->Proceeding());
        const QList<FakeRun> runs = ReadRuns(m_logPath);
        QCOMPARE(Events(runs, "start").size(), 1);
        QCOMPARE(Events(runs, "start")[0].args, SegmentArgs(*request, "rgb24", "63x35", "25", 0));
        const FakeRun end = Events(runs, "end")[0];
        QCOMPARE(end.bytes, qint64(expected.size()));
        quint64 hash = 1469598103934665603ull;
        for (const char byte : std::as_const(expected)) {
            hash ^= static_cast<unsigned char>(byte);
            hash *= 1099511628211ull;
        }
        QCOMPARE(end.hash, QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0')));
        QVERIFY(QFileInfo(request->outputPath).size() > 0);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // The timeline exported may go while the export runs: each pass has its own copy.
    void exportedTimelineDeleted()
    {
        Timeline* timeline = RegularTimeline({m_hd});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "movie.mp4");
        const QList<LogLine> log = Export(request, nullptr, [&](const std::shared_ptr<ExportProperties>& r) {
            delete r->timeline;
            r->timeline = nullptr;
        });
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        QCOMPARE(Events(ReadRuns(m_logPath), "start").size(), 3);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // A source the export plays is freed: the export stops first, and the queued pass with
    // its copy is dropped.
    void sourceDeletedStopsExport()
    {
        qputenv("FAKE_FFMPEG_MATCH", "f32le");
        qputenv("FAKE_FFMPEG_HANG", "1");
        Timeline* own = ParsedTimeline(MediaPath("clip_1080p25.mp4"), nullptr);
        Timeline* timeline = RegularTimeline({own});
        timeline->SetPlaybackRange(10, 59);
        auto request = Request(timeline, "movie.mp4");
        const QList<LogLine> log = Export(request, nullptr, [&](const std::shared_ptr<ExportProperties>&) {
            QVERIFY(WaitFor([this] { return !Events(ReadRuns(m_logPath), "hang").isEmpty(); }, 60000));
            delete own; // its source with it
        });
        QVERIFY(request->cancelled);
        // Why, once, on the general channel.
        const QStringList lines = Lines(log);
        QCOMPARE(lines.filter("Export stopped: a source it plays was closed: ").size(), 1);
        QVERIFY2(lines.contains("E0 Export stopped: a source it plays was closed: " + MediaPath("clip_1080p25.mp4")),
                 qPrintable(lines.join('\n')));
        QCOMPARE(Events(ReadRuns(m_logPath), "start").size(), 1);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
        delete timeline;
    }

    // The source's cut-in and cut-out change while the export runs: the export still writes
    // the frames its request named when it started (its copy follows no signal of the
    // sources, so nothing on the main thread re-lays it out while the passes read it).
    void sourceCutChangeDuringExport()
    {
        Timeline* own = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &m_owner);
        Source* source = own->GetSource();
        Timeline* timeline = RegularTimeline({own});
        timeline->SetPlaybackRange(10, 19);
        auto reference = Request(timeline, "reference.mp4");
        reference->noAudio = true;
        QList<LogLine> log = Export(reference);
        QVERIFY2(reference->Proceeding(), qPrintable(Lines(log).join('\n')));
        const QList<FakeRun> before = Events(ReadRuns(m_logPath), "end");
        QCOMPARE(before.size(), 1);
        QCOMPARE(ExportManager::Cleanup(*reference), QString());

        QFile::remove(m_logPath);
        auto request = Request(timeline, "moved.mp4");
        request->noAudio = true;
        log = Export(request, nullptr, [&](const std::shared_ptr<ExportProperties>&) {
            source->SetCutInOutFrames(40, 52);
        });
        source->SetCutInOutFrames(0, -1);
        QVERIFY2(request->Proceeding(), qPrintable(Lines(log).join('\n')));
        const QList<FakeRun> after = Events(ReadRuns(m_logPath), "end");
        QCOMPARE(after.size(), 1);
        QCOMPARE(after[0].bytes, before[0].bytes); // 10 pictures
        QCOMPARE(after[0].hash, before[0].hash);   // the same ones
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // While an export plays a source, the source is not parsed again: the parse would rewrite
    // the stream records its decoders and queued pictures point into.
    void reparseRefusedDuringExport()
    {
        qputenv("FAKE_FFMPEG_MATCH", "f32le");
        qputenv("FAKE_FFMPEG_HANG", "1");
        Timeline* own = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &m_owner);
        Timeline* timeline = RegularTimeline({own});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "movie.mp4");
        bool refused = false;
        int parseTasks = -1;
        Export(request, nullptr, [&](const std::shared_ptr<ExportProperties>& r) {
            QVERIFY(WaitFor([this] { return !Events(ReadRuns(m_logPath), "hang").isEmpty(); }, 60000));
            TestSupport::LogCapture capture;
            m_engine->ParseSource(own);
            refused = capture.HasError(QStringLiteral("Failed to parse source. Its frames are in use."));
            parseTasks = static_cast<int>(m_engine->TaskIds(AvWorkerTask::ParseSource).size());
            r->cancelled = true;
        });
        QVERIFY(refused);
        QCOMPARE(parseTasks, 0);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // The video pass returns only once its decode thread has ended, however long that takes:
    // the engine frees the pass's timeline copy as soon as the pass returns. The clip's file is
    // swapped for a pipe, so the decoder blocks in opening it until the test lets it go: once
    // the stopped pass says it is waiting for the decode thread (or has returned, the fault).
    // The order of what follows is the test.
    void decodeThreadEndsBeforeThePass()
    {
        const QString path = m_dir.filePath(QStringLiteral("blocking_clip.mp4"));
        QFile::remove(path);
        QVERIFY(QFile::copy(MediaPath("clip_1080p25.mp4"), path));
        Timeline* blocking = ParsedTimeline(path, &m_owner);
        QCOMPARE(blocking->FrameCount(), 75);
        QVERIFY(QFile::remove(path));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const auto removeFifo = qScopeGuard([&] { QFile::remove(path); });
        std::atomic<bool> readerOpened = false;
        std::atomic<bool> release = false;
        std::thread writer([&] {
            // Returns once the decoder opened the pipe for reading; it then waits for data.
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
            readerOpened = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (fd >= 0)
                ::close(fd); // end of file: the decoder gives up on the clip
        });
        const auto joinWriter = qScopeGuard([&] {
            release = true;
            if (!readerOpened) { // the decoder never opened it: unblock the writer ourselves
                const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
                writer.join();
                if (fd >= 0)
                    ::close(fd);
                return;
            }
            writer.join();
        });
        Timeline* timeline = RegularTimeline({blocking});
        timeline->SetPlaybackRange(10, 19);
        auto request = Request(timeline, "blocked.mp4");
        request->noAudio = true;
        // What happens, in order: Logger lines (the decode thread's come from it, as they
        // happen) and the pass's return (seen as the end of the export's tasks, or at the
        // release when it came first).
        QMutex eventsMutex;
        QStringList events;
        const auto note = [&](const QString& event) {
            QMutexLocker lock(&eventsMutex);
            events << event;
        };
        const auto noted = [&](const QString& event) {
            QMutexLocker lock(&eventsMutex);
            return events.indexOf(event);
        };
        Logger* logger = Logger::Instance();
        const QList<QMetaObject::Connection> connections = {
            connect(logger, &Logger::ErrorLogged, logger, [&](const QString& t) { note("error: " + t); }, Qt::DirectConnection),
            connect(logger, &Logger::WarningLogged, logger, [&](const QString& t) { note("warning: " + t); }, Qt::DirectConnection),
        };
        const auto disconnectAll = qScopeGuard([&] {
            for (const QMetaObject::Connection& connection : connections)
                disconnect(connection);
        });
        const QString waiting = QStringLiteral("warning: Export decoding has not ended yet: waiting for it");
        Export(request, nullptr, [&](const std::shared_ptr<ExportProperties>& r) {
            connect(m_engine, &AvManager::ExportTasksEnded, this, [&] { note("pass returned"); }, Qt::DirectConnection);
            QVERIFY(WaitFor([&] { return readerOpened.load(); }, 60000));
            r->cancelled = true;
            // The decoder stays blocked until the pass waits for its thread (or has returned).
            QVERIFY(WaitFor([&] { return noted(waiting) >= 0 || !r->videoPending.Load(); }, 60000));
            if (!r->videoPending.Load())
                note("pass returned");
            note("released");
            release = true;
        });
        QVERIFY(request->cancelled);
        // Released, then the decoder gives up on the clip (on the decode thread, its last
        // work), then the pass returns: never the pass before the decoder.
        QMutexLocker lock(&eventsMutex);
        const QString report = events.join('\n');
        const qsizetype released = events.indexOf("released");
        const qsizetype gaveUp = events.indexOf(QRegularExpression(
            "^error: Failed to open input for parsing: " + QRegularExpression::escape(path) + ".*"));
        const qsizetype ended = events.indexOf("pass returned");
        QVERIFY2(released >= 0 && gaveUp > released && ended > gaveUp, qPrintable(report));
        QVERIFY2(events.indexOf(waiting) >= 0 && events.indexOf(waiting) < released, qPrintable(report));
        lock.unlock();
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }

    // The engine goes while an export runs (the window closes): the export stops, and
    // nothing waits for the hung ffmpeg beyond the bounded waits.
    void engineDeletedStopsExport()
    {
        qputenv("FAKE_FFMPEG_MATCH", "rawvideo");
        qputenv("FAKE_FFMPEG_HANG", "1");
        Timeline* timeline = RegularTimeline({m_hd});
        auto request = Request(timeline, "movie.mp4");
        request->noAudio = true;
        QCOMPARE(ExportManager::Prepare(*request), QString());
        {
            AvManager manager;
            InstallExportPasses(&manager);
            manager.StartTimelineExport(request);
            QVERIFY(WaitFor([this] { return !Events(ReadRuns(m_logPath), "hang").isEmpty(); }, 60000));
        }
        QVERIFY(request->cancelled);
        QVERIFY(!request->videoPending);
        QCOMPARE(Events(ReadRuns(m_logPath), "start").size(), 1);
        QCOMPARE(ExportManager::Cleanup(*request), QString());
    }
};

QTEST_GUILESS_MAIN(TestExportManager)
#include "tst_exportmanager.moc"
