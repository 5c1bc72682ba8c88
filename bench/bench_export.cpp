// Export of 20 s of 1080p25 with sound to an H.264 movie at the default quality and preset,
// against the ffmpeg command line that transcodes the same source with the same encoder
// settings (CRF, preset, profile, scale and pad, AAC), at 1920 x 1080 and at 960 x 540.
// Usage: bench_export [REPEATS]. The source is made at run time with the ffmpeg executable.
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "export/ExportManager.h"
#include "export/ExportPasses.h"
#include "media/AvParser.h"
#include "project/Clip.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace {

constexpr int kSeconds = 20;
constexpr int kFrames = kSeconds * 25;

// One export through the engine; false when it failed.
bool ExportOnce(Timeline* timeline, const QString& output, int width, int height)
{
    auto request = std::make_shared<ExportProperties>();
    request->timeline = timeline;
    request->outputPath = output;
    request->width = width;
    request->height = height;
    request->quality = Settings::Get().h264Quality;
    request->preset = Settings::Get().h264Preset;
    if (!ExportManager::Prepare(*request).isEmpty())
        return false;
    AvManager engine;
    InstallExportPasses(&engine);
    bool ended = false;
    QObject::connect(&engine, &AvManager::ExportTasksEnded, [&ended] { ended = true; });
    engine.StartTimelineExport(request);
    while (!ended) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    ExportManager::Cleanup(*request);
    return request->Proceeding() && QFileInfo(output).size() > 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int repeats = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    Logger::SetStandardErrorEcho(false);
    ProjectGlobals::ResetFromSettings();
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        Bench::Print(QStringLiteral("the ffmpeg executable is needed\n"));
        return 1;
    }
    Settings::Get().ffmpegExePath = ffmpeg;
    QTemporaryDir dir;
    Settings::Get().SetTempDirPath(dir.filePath(QStringLiteral("temp")));

    const QString source = dir.filePath(QStringLiteral("hd_sound_20s.mp4"));
    if (Bench::CommandSeconds(1, ffmpeg,
                              {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                               QStringLiteral("testsrc2=size=1920x1080:rate=25:duration=%1").arg(kSeconds), "-f", "lavfi",
                               "-i", QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(kSeconds),
                               "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-g", "12", "-c:a", "aac",
                               "-b:a", "128k", "-ac", "2", source})
        < 0) {
        Bench::Print(QStringLiteral("could not make the source\n"));
        return 1;
    }
    Timeline sourceTimeline(source, QString(), QUuid());
    AvParser parser;
    sourceTimeline.GetSource()->ApplyParseResult(parser.Parse(sourceTimeline.GetSource()->ParserFileEntry(0)));
    Timeline timeline;
    timeline.InsertClip(new Clip(ClipKind::Reference, sourceTimeline.GetSource()), 0);
    if (timeline.FrameCount() != kFrames) {
        Bench::Print(QStringLiteral("the source has %1 frames, not %2\n").arg(timeline.FrameCount()).arg(kFrames));
        return 1;
    }
    const QString crf = ExportManager::CrfForQuality(Settings::Get().h264Quality);
    const QString preset = ExportManager::PresetName(Settings::Get().h264Preset);

    Bench::Print(QStringLiteral("\n### Export, %1 s of 1080p25 with sound to H.264 (CRF %2, preset %3), median of %4\n\n")
                     .arg(kSeconds)
                     .arg(crf, preset)
                     .arg(repeats));
    Bench::Print(QStringLiteral("| output | ffmpeg transcode (s) | export (s) | ratio | export fps |\n"
                                "|---|---|---|---|---|\n"));
    for (const QSize size : {QSize(1920, 1080), QSize(960, 540)}) {
        const int w = size.width();
        const int h = size.height();
        const QString filter =
            QStringLiteral("scale=w=%1:h=%2:force_original_aspect_ratio=1,pad=%1:%2:(ow-iw)*0.5:(oh-ih)*0.5,setsar=1")
                .arg(w)
                .arg(h);
        const double baseline = Bench::CommandSeconds(
            repeats, ffmpeg,
            {"-nostdin", "-v", "error", "-y", "-i", source, "-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", crf,
             "-preset:v", preset, "-profile:v", "high", "-vf", filter, "-c:a", "aac", "-b:a", "192k",
             dir.filePath(QStringLiteral("baseline.mp4"))});
        bool ok = true;
        const double ours = Bench::MedianSeconds(repeats, [&] {
            ok = ExportOnce(&timeline, dir.filePath(QStringLiteral("export.mp4")), w, h) && ok;
        });
        if (!ok || baseline < 0) {
            Bench::Print(QStringLiteral("| %1x%2 | failed | | | |\n").arg(w).arg(h));
            continue;
        }
        Bench::Print(QStringLiteral("| %1x%2 | %3 | %4 | %5x | %6 |\n")
                         .arg(w)
                         .arg(h)
                         .arg(baseline, 0, 'f', 2)
                         .arg(ours, 0, 'f', 2)
                         .arg(ours / baseline, 0, 'f', 2)
                         .arg(kFrames / ours, 0, 'f', 1));
    }
    return 0;
}
