// The player panel's exports without the main window: a timeline export and viewer captures
// through the real ffmpeg, a refused preparation, a cancel, and the panel put back afterwards.
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "export/ExportDialog.h"
#include "project/ExportStatus.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"
#include "ui/ExportRunner.h"
#include "ui/GlobalTimeControlWidget.h"
#include "ui/MonitorPanel.h"
#include "ui/PlaybackControlWidget.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/SnapshotManager.h"
#include "viewer/ViewerWidget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kFfmpeg = QStringLiteral("/usr/bin/ffmpeg");

// A player panel of its own over the real engine, showing `media` paused at frame 0, with the
// export's temporary files under `temp` and its output under `out`.
struct Fixture
{
    QTemporaryDir temp;
    QTemporaryDir out;
    AvManager engine;
    ProjectManager manager{&engine};
    std::unique_ptr<MonitorPanel> panel;
    Timeline* timeline = nullptr;

    bool Open(const QString& media)
    {
        Settings::Get().ffmpegExePath = kFfmpeg;
        Settings::Get().SetTempDirPath(temp.path());
        panel = std::make_unique<MonitorPanel>(&engine, &manager, false);
        // As the main window does: the viewer shows the engine's primary timeline.
        QObject::connect(&engine, &AvManager::PrimaryTimelineChanged, panel.get(),
                         [this](Timeline* primary, bool) { panel->View()->SetPrimaryTimeline(primary); });
        panel->resize(800, 600);
        panel->show();
        if (!QTest::qWaitForWindowExposed(panel.get()))
            return false;
        ProjectManager::ImportOptions options;
        options.outputId = 0;
        const QUuid id = manager.ImportFiles({TestSupport::MediaPath(media)}, options).value(0);
        timeline = manager.AnyTimeline(id);
        return timeline && TestSupport::WaitFor([this] {
                   return panel->View()->PrimaryTimeline() == timeline && timeline->FrameCount() > 0 &&
                          panel->View()->ShownFrame(0);
               });
    }
    ExportRunner* Runner() const { return panel->Exports(); }
    // Runs `request` and waits until it has ended.
    bool Run(const ExportProperties& request, int timeoutMs = 120000)
    {
        panel->ExportToFile(request);
        return TestSupport::WaitFor([this] { return !Runner()->Request(); }, timeoutMs);
    }
    // Folders left in the temporary folder (each export makes one of its own).
    QStringList TempFolders() const { return QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }
    ~Fixture()
    {
        panel.reset();
        engine.Shutdown(true, 20000);
    }
};

ExportProperties Movie(const QString& path)
{
    ExportProperties request;
    request.outputPath = path;
    request.width = 320;
    request.height = 180;
    request.quality = 3;
    request.preset = 5;
    return request;
}

// The first line `ffmpeg -version` prints, asked here: what every export's log starts with.
QString FfmpegVersionLine()
{
    QProcess ffmpeg;
    ffmpeg.start(kFfmpeg, {QStringLiteral("-version")});
    ffmpeg.waitForFinished(30000);
    return QString::fromLocal8Bit(ffmpeg.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// The general log's lines (the log has no line break at its end once an export ended).
QStringList GeneralLogLines()
{
    return ExportStatus::GeneralLog().split(QLatin1Char('\n'));
}

// Streams of a media file as ffmpeg sees them: "video", "audio" per stream, in order.
QStringList Streams(const QString& path)
{
    QProcess probe;
    probe.start(kFfmpeg, {QStringLiteral("-hide_banner"), QStringLiteral("-i"), path});
    probe.waitForFinished(30000);
    QStringList streams;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardError()).split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("Stream #")))
            continue;
        if (line.contains(QLatin1String("Video:")))
            streams << QStringLiteral("video");
        else if (line.contains(QLatin1String("Audio:")))
            streams << QStringLiteral("audio");
    }
    return streams;
}

// The duration in seconds of the first stream of `kind` ("a" or "v") in `path`, or -1.
double StreamDuration(const QString& path, const QString& kind)
{
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), kind + QStringLiteral(":0"),
                 QStringLiteral("-show_entries"), QStringLiteral("stream=duration"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    if (!probe.waitForFinished(30000))
        return -1.0;
    bool ok = false;
    const double seconds = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok ? seconds : -1.0;
}

// The frame number the generated picture shows in a capture of the whole software viewer:
// the 16:9 picture fitted and centred in the captured image.
int PictureNumberInView(const QImage& image)
{
    int width = image.width();
    int height = width * 9 / 16;
    if (height > image.height()) {
        height = image.height();
        width = height * 16 / 9;
    }
    const QImage picture = image.copy((image.width() - width) / 2, (image.height() - height) / 2, width, height);
    return TestSupport::FrameNumberFromImage(picture, width, height);
}

} // namespace

class TestExportRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        QVERIFY2(QFileInfo::exists(kFfmpeg), "the ffmpeg executable is needed");
    }
    void init()
    {
        Settings::ResetToDefaults();
        Settings::Get().hardwareRenderingEnabled = false;
        ProjectGlobals::SetTimeControlFrameOffset(0);
    }

    // A 3-second clip with sound to mp4: a movie with both streams, the temporary folder gone,
    // the success line last in the general log and in the dialog's.
    void timelineExport()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        ExportDialog* dialog = fixture.Runner()->Dialog();
        const QString output = fixture.out.filePath(QStringLiteral("clip.mp4"));
        QSignalSpy ended(&fixture.engine, &AvManager::ExportTasksEnded);
        QSignalSpy lines(fixture.panel.get(), &MonitorPanel::ExportLogMsgReceived);
        fixture.panel->ExportToFile(Movie(output));
        QVERIFY(ExportStatus::Running());
        QVERIFY(dialog->IsExporting());
        const QString version = FfmpegVersionLine();
        QVERIFY(version.startsWith(QStringLiteral("ffmpeg version ")));
        QVERIFY2(ExportStatus::GeneralLog().startsWith(version + QStringLiteral("\nStarting timeline export...\n")),
                 qPrintable(ExportStatus::GeneralLog()));
        QVERIFY(TestSupport::WaitFor([&] { return !fixture.Runner()->Request(); }, 120000));
        QCOMPARE(ended.count(), 1);
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport completed successfully.")),
                 qPrintable(ExportStatus::GeneralLog()));
        QVERIFY(!ExportStatus::Running());
        QVERIFY(!dialog->IsExporting());
        QVERIFY(dialog->LogText(ExportLogGeneral).endsWith(QStringLiteral("\nExport completed successfully.")));
        QVERIFY(!dialog->LogText(ExportLogVideo).isEmpty()); // ffmpeg's command line and output
        QVERIFY(QFileInfo(output).size() > 0);
        QCOMPARE(Streams(output), (QStringList{QStringLiteral("video"), QStringLiteral("audio")}));
        QCOMPARE(fixture.TempFolders(), QStringList());
        // The panel passes on every line of the export's log, on its channel, in order.
        QVERIFY(lines.count() > 3);
        QCOMPARE(lines.at(0), (QVariantList{version, 0, false}));
        QCOMPARE(lines.at(1), (QVariantList{QStringLiteral("Starting timeline export..."), 0, false}));
        QCOMPARE(GeneralLogLines().count(version), 1);
        QCOMPARE(lines.last(), (QVariantList{QStringLiteral("\nExport completed successfully."), 0, false}));
        QStringList audio;
        QStringList video;
        for (const QVariantList& line : lines) {
            if (line.at(1).toInt() == ExportLogAudio)
                audio << line.at(0).toString();
            else if (line.at(1).toInt() == ExportLogVideo)
                video << line.at(0).toString();
        }
        QVERIFY(!audio.isEmpty() && audio.first().startsWith(kFfmpeg + QStringLiteral(" -y -f f32le")));
        QVERIFY(!video.isEmpty() && video.first().startsWith(kFfmpeg + QLatin1Char(' ')));
    }

    // A type preparation refuses ends the export at once, as failed: the log starts with the
    // version line, as every export's does, then the reason.
    void refusedPreparation()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        ExportDialog* dialog = fixture.Runner()->Dialog();
        QSignalSpy ended(&fixture.engine, &AvManager::ExportTasksEnded);
        QSignalSpy lines(fixture.panel.get(), &MonitorPanel::ExportLogMsgReceived);
        fixture.panel->ExportToFile(Movie(fixture.out.filePath(QStringLiteral("clip.avi"))));
        QVERIFY(!fixture.Runner()->Request()); // ended on the spot
        const QString version = FfmpegVersionLine();
        QVERIFY(version.startsWith(QStringLiteral("ffmpeg version ")));
        QCOMPARE(ExportStatus::GeneralLog(), version + QStringLiteral("\nUnsupported file type: avi\n\nExport failed!"));
        QVERIFY(!ExportStatus::Running());
        QCOMPARE(dialog->LogText(ExportLogGeneral),
                 version + QStringLiteral("\n[ERROR] Unsupported file type: avi\n\nExport failed!"));
        QCOMPARE(ended.count(), 0);
        QCOMPARE(lines.count(), 3);
        QCOMPARE(lines.at(0), (QVariantList{version, 0, false}));
        QCOMPARE(lines.at(1), (QVariantList{QStringLiteral("Unsupported file type: avi"), 0, true}));
        QCOMPARE(lines.at(2), (QVariantList{QStringLiteral("\nExport failed!"), 0, false}));
        QCOMPARE(fixture.TempFolders(), QStringList());
    }

    // Stopped while the encoder of a viewer capture hangs on its input: the capture returns,
    // ffmpeg is killed, the log ends with the cancel line and the temporary folder is gone.
    void cancelHungViewerCapture()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        fixture.timeline->SetPlaybackRange(10, 14);
        fixture.Runner()->Dialog();
        Settings::Get().ffmpegExePath = QStringLiteral(PLOVEX_FAKE_FFMPEG);
        const QString fakeLog = fixture.temp.filePath(QStringLiteral("fake.log"));
        qputenv("FAKE_FFMPEG_LOG", fakeLog.toLocal8Bit());
        qputenv("FAKE_FFMPEG_MATCH", "rawvideo");
        qputenv("FAKE_FFMPEG_HANG", "1");
        const auto unset = qScopeGuard([] {
            for (const char* name : {"FAKE_FFMPEG_LOG", "FAKE_FFMPEG_MATCH", "FAKE_FFMPEG_HANG"})
                qunsetenv(name);
        });
        const auto hung = [&] {
            QFile log(fakeLog);
            return log.open(QIODevice::ReadOnly) && log.readAll().contains("\nhang\t");
        };
        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("hung.mp4")));
        request.viewerCapture = true;
        request.noAudio = true;
        // The stop comes from a timer once ffmpeg hangs: the capture's waits let events through.
        QTimer stop;
        connect(&stop, &QTimer::timeout, this, [&] {
            if (hung())
                fixture.panel->CancelExport();
        });
        stop.start(20);
        fixture.panel->ExportToFile(request); // returns once the capture has returned
        stop.stop();
        QVERIFY(hung());
        QVERIFY(TestSupport::WaitFor([&] { return !fixture.Runner()->Request(); }, 60000));
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport cancelled")),
                 qPrintable(ExportStatus::GeneralLog()));
        QVERIFY(!ExportStatus::Running());
        QVERIFY(!QFileInfo::exists(request.outputPath));
        QCOMPARE(fixture.TempFolders(), QStringList());
        QFile log(fakeLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray runs = log.readAll();
        QCOMPARE(runs.count("start\t"), 1);
        QCOMPARE(runs.count("end\t"), 0); // killed, not ended
    }

    // Cancelled while the passes run: the cancel line, no output, no temporary folder, and
    // the panel free for the next export.
    void cancelMidExport()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("long_silent_3min.mp4")));
        fixture.Runner()->Dialog();
        const QString output = fixture.out.filePath(QStringLiteral("long.mp4"));
        fixture.panel->ExportToFile(Movie(output));
        const std::shared_ptr<const ExportProperties> request = fixture.Runner()->Request();
        QVERIFY(request);
        // Mid-export: some progress made, the temporary folder in use.
        QVERIFY(TestSupport::WaitFor(
            [&] { return request->audioProgress.Load() > 0.0f || request->videoProgress.Load() > 0.0f; }, 60000));
        QCOMPARE(fixture.TempFolders().size(), 1);
        fixture.panel->CancelExport();
        QVERIFY(TestSupport::WaitFor([&] { return !fixture.Runner()->Request(); }, 60000));
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport cancelled")),
                 qPrintable(ExportStatus::GeneralLog()));
        QVERIFY(!ExportStatus::Running());
        QVERIFY(!QFileInfo::exists(output));
        QCOMPARE(fixture.TempFolders(), QStringList());
    }

    // Viewer captures of five frames: a png sequence, and movies with and without sound. The
    // bars hidden during the capture come back afterwards.
    void viewerCapture_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("excludeAudio");
        QTest::addColumn<QStringList>("streams");
        QTest::newRow("png sequence") << "png" << false << QStringList();
        QTest::newRow("mp4 without sound") << "mp4" << true << QStringList{QStringLiteral("video")};
        QTest::newRow("mp4 with sound") << "mp4" << false
                                        << QStringList{QStringLiteral("video"), QStringLiteral("audio")};
    }
    void viewerCapture()
    {
        QFETCH(QString, format);
        QFETCH(bool, excludeAudio);
        QFETCH(QStringList, streams);
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        fixture.timeline->SetPlaybackRange(10, 14);
        ExportDialog* dialog = fixture.Runner()->Dialog();
        QVERIFY(Settings::Get().playbackControlsVisible);
        QVERIFY(Settings::Get().globalTimeControlVisible);

        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("capture.") + format));
        request.viewerCapture = true;
        request.noAudio = excludeAudio;
        const bool sequence = format == QLatin1String("png");
        if (sequence) {
            request.imageSequence = true;
            request.outputPath = fixture.out.filePath(QStringLiteral("capture.####.png"));
            request.outputDirPath = fixture.out.path();
            request.baseName = QStringLiteral("capture");
            request.imageFormat = format;
            request.padding = 4;
        }
        bool hiddenDuringCapture = false;
        QMetaObject::Connection watch = connect(&fixture.engine, &AvManager::PlaybackFrameChanged, this, [&] {
            hiddenDuringCapture = hiddenDuringCapture || !fixture.panel->PlaybackControls()->isVisible();
        });
        // The capture's progress as each frame is captured (the frame before is written then).
        std::shared_ptr<const ExportProperties> running;
        QList<float> progress;
        QMetaObject::Connection frames = connect(fixture.panel->Snapshots(), &SnapshotManager::ExportFrameGenerated, this, [&] {
            if (!running)
                running = fixture.Runner()->Request();
            progress << running->videoProgress.Load();
        });
        QVERIFY(fixture.Run(request));
        disconnect(watch);
        disconnect(frames);
        // Five frames: the bar moves with the capture, to 100 once all are written.
        QCOMPARE(progress.size(), 5);
        QCOMPARE(progress.at(2), 40.0f);
        QVERIFY(running);
        QCOMPARE(running->videoProgress.Load(), 100.0f);
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport completed successfully.")),
                 qPrintable(ExportStatus::GeneralLog()));
        // The version line first, once, also when the audio pass follows the capture.
        const QString version = FfmpegVersionLine();
        QVERIFY2(ExportStatus::GeneralLog().startsWith(version + QStringLiteral("\nStarting viewer export...\n")),
                 qPrintable(ExportStatus::GeneralLog()));
        QCOMPARE(GeneralLogLines().count(version), 1);
        QVERIFY(hiddenDuringCapture);
        if (sequence) {
            QCOMPARE(QDir(fixture.out.path()).entryList(QDir::Files, QDir::Name),
                     (QStringList{QStringLiteral("capture.0000.png"), QStringLiteral("capture.0001.png"),
                                  QStringLiteral("capture.0002.png"), QStringLiteral("capture.0003.png"),
                                  QStringLiteral("capture.0004.png")}));
        } else {
            QVERIFY(QFileInfo(request.outputPath).size() > 0);
            QCOMPARE(Streams(request.outputPath), streams);
        }
        QCOMPARE(fixture.TempFolders(), QStringList());
        QVERIFY(!dialog->IsExporting());
        QVERIFY(fixture.panel->PlaybackControls()->isVisible());
        QVERIFY(fixture.panel->GlobalTimeControl()->isVisible());
        QVERIFY(Settings::Get().playbackControlsVisible);
        QVERIFY(Settings::Get().viewerControlsVisible);
    }

    // A capture with annotations fills the picture with the request's annotation background
    // colour while it runs and puts the viewer's colour (and its setting) back afterwards; a
    // capture without annotations leaves the colour alone. The captured pictures show it.
    void viewerOptions_data()
    {
        QTest::addColumn<bool>("excludeAnnotations");
        QTest::newRow("with annotations") << false;
        QTest::newRow("without annotations") << true;
    }
    void viewerOptions()
    {
        QFETCH(bool, excludeAnnotations);
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        fixture.timeline->SetPlaybackRange(3, 5);
        fixture.Runner()->Dialog();
        AnnotationsOverlay* annotations = fixture.panel->View()->Annotations();
        const QColor before = annotations->BackgroundColor();
        QCOMPARE(before.alpha(), 0); // no fill
        Settings::Get().annotationBackgroundColor = QColor(10, 20, 30, 0);
        const QColor fill(0, 0, 255, 255);

        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("opt.####.png")));
        request.viewerCapture = true;
        request.excludeAnnotations = excludeAnnotations;
        request.annotationBackgroundColor = fill;
        request.imageSequence = true;
        request.outputDirPath = fixture.out.path();
        request.baseName = QStringLiteral("opt");
        request.imageFormat = QStringLiteral("png");
        request.padding = 4;
        QList<QColor> during;
        connect(fixture.panel->Snapshots(), &SnapshotManager::ExportFrameGenerated, this,
                [&] { during << annotations->BackgroundColor(); });
        QVERIFY(fixture.Run(request));
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport completed successfully.")),
                 qPrintable(ExportStatus::GeneralLog()));
        const QColor expected = excludeAnnotations ? before : fill;
        QCOMPARE(during, (QList<QColor>{expected, expected, expected}));
        QCOMPARE(annotations->BackgroundColor(), before);
        QCOMPARE(Settings::Get().annotationBackgroundColor, QColor(10, 20, 30, 0));

        const QStringList files = QDir(fixture.out.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3);
        const QImage image(fixture.out.filePath(files.first()));
        QCOMPARE(image.size(), QSize(320, 180));
        const QColor centre = image.pixelColor(160, 120);
        if (excludeAnnotations)
            QVERIFY2(centre.blue() < 128 || centre.red() > 128, qPrintable(centre.name()));
        else
            QCOMPARE(centre.name(), fill.name());
    }

    // "Only Bookmarks" numbered "Match Frame": the images of the bookmarked frames within the
    // playback range are written straight to the folder (no ffmpeg), each named by its frame
    // as the time control numbers it and showing that frame.
    void onlyBookmarksMatchFrame()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        fixture.manager.SetTimeControlFrameOffset(1000);
        QCOMPARE(fixture.timeline->TimeControlFrameOffset(), 1000);
        for (int frame : {4, 9, 30})
            QVERIFY(fixture.timeline->AddFrameBookmark(frame) >= 0);
        fixture.timeline->SetPlaybackRange(2, 20);
        ExportDialog* dialog = fixture.Runner()->Dialog();

        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("mark.#####.png")));
        request.viewerCapture = true;
        request.frameSelection = ExportFramesOnlyBookmarks;
        request.imageSequence = true;
        request.outputDirPath = fixture.out.path();
        request.baseName = QStringLiteral("mark");
        request.imageFormat = QStringLiteral("png");
        request.padding = 5;
        request.numberingType = ExportNumberingMatchFrame;
        QVERIFY(fixture.Run(request));
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport completed successfully.")),
                 qPrintable(ExportStatus::GeneralLog()));
        QCOMPARE(QDir(fixture.out.path()).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("mark.01004.png"), QStringLiteral("mark.01009.png")}));
        QCOMPARE(PictureNumberInView(QImage(fixture.out.filePath(QStringLiteral("mark.01004.png")))), 4);
        QCOMPARE(PictureNumberInView(QImage(fixture.out.filePath(QStringLiteral("mark.01009.png")))), 9);
        QVERIFY(dialog->LogText(ExportLogVideo).isEmpty()); // no encoder ran
        QCOMPARE(fixture.TempFolders(), QStringList());
    }

    // "Only Bookmarks" into a movie: the bookmarked frames without sound (the clip has some),
    // and the progress bar weighted for a video alone from the start.
    void onlyBookmarksMovie()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        for (int frame : {4, 9})
            QVERIFY(fixture.timeline->AddFrameBookmark(frame) >= 0);
        ExportDialog* dialog = fixture.Runner()->Dialog();
        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("marks.mp4")));
        request.viewerCapture = true;
        request.frameSelection = ExportFramesOnlyBookmarks;
        QVERIFY(fixture.Run(request));
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport completed successfully.")),
                 qPrintable(ExportStatus::GeneralLog()));
        QCOMPARE(Streams(request.outputPath), QStringList{QStringLiteral("video")});
        QCOMPARE(dialog->Weights().audio, 0.0f);
        QCOMPARE(dialog->Weights().video, 0.98f);
        QCOMPARE(dialog->Weights().finalize, 0.0f);
    }

    // "Stepped (Bookmarks)" with sound over the whole timeline: the bookmarked frames are
    // captured, then only the audio pass runs, starting at the first captured frame, and ends
    // by merging the two: a movie whose sound runs from that frame to the timeline's end.
    void steppedBookmarksWithSound()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        QCOMPARE(fixture.timeline->LastFrame(), 74); // 3 s at 25 fps
        for (int frame : {40, 50, 60})
            QVERIFY(fixture.timeline->AddFrameBookmark(frame) >= 0);
        fixture.timeline->SetPlaybackRange(45, 55); // ignored
        fixture.Runner()->Dialog();

        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("stepped.mp4")));
        request.viewerCapture = true;
        request.frameSelection = ExportFramesSteppedBookmarks;
        request.ignoreRange = true;
        std::shared_ptr<const ExportProperties> running;
        QList<int> captured;
        connect(fixture.panel.get(), &MonitorPanel::ExportLogMsgReceived, this, [&] {
            if (!running)
                running = fixture.Runner()->Request();
        });
        connect(fixture.panel->Snapshots(), &SnapshotManager::ExportFrameGenerated, this,
                [&](const QImage&, int frame) { captured << frame; });
        QVERIFY(fixture.Run(request));
        QVERIFY2(ExportStatus::GeneralLog().endsWith(QStringLiteral("\nExport completed successfully.")),
                 qPrintable(ExportStatus::GeneralLog()));
        QCOMPARE(captured, (QList<int>{40, 50, 60}));
        QVERIFY(running);
        QCOMPARE(running->audioStartFrame, 40);
        QVERIFY(running->mergeAfterAudio);
        QVERIFY(running->noVideo);
        const QString output = request.outputPath;
        QCOMPARE(Streams(output), (QStringList{QStringLiteral("video"), QStringLiteral("audio")}));
        // Frames 40..74: 1.4 s of sound (the whole timeline would give 3 s, the range 0.44 s).
        const double audio = StreamDuration(output, QStringLiteral("a"));
        QVERIFY2(audio > 1.3 && audio < 1.5, qPrintable(QString::number(audio)));
        QCOMPARE(fixture.TempFolders(), QStringList());
    }

    // A bookmark capture of a timeline without bookmarks fails before anything runs.
    void bookmarksNeeded()
    {
        Fixture fixture;
        QVERIFY(fixture.Open(QStringLiteral("clip_1080p25.mp4")));
        ExportProperties request = Movie(fixture.out.filePath(QStringLiteral("marks.mp4")));
        request.viewerCapture = true;
        request.frameSelection = ExportFramesSteppedBookmarks;
        fixture.panel->ExportToFile(request);
        QVERIFY(!fixture.Runner()->Request());
        QCOMPARE(ExportStatus::GeneralLog(), FfmpegVersionLine() + QStringLiteral("\nNo bookmarks found for export\n\nExport failed!"));
        QCOMPARE(fixture.TempFolders(), QStringList());
    }
};

QTEST_MAIN(TestExportRunner)
#include "tst_exportrunner.moc"
