// Saving and opening a large project: 2,000 sources on 20 media files, 300 timelines of 50
// clips, 400 folders and 5,000 annotated bookmarks.
// - Save: ProjectFile::Write against QJsonDocument::toJson of the same document written to a
//   file (target: at most 2.5x).
// - Open: ProjectFile::Read, the parse queue and the media engine's probes included, against
//   probing the 20 files once each in turn; and the most parses that were outstanding at once
//   (at most the core count and two).
// Usage: bench_projectfile <folder of media files>
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/AvParser.h"
#include "media/SourceFileEntry.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>

namespace {

constexpr int kFiles = 20;
constexpr int kSources = 2000;
constexpr int kTimelines = 300;
constexpr int kClips = 50;
constexpr int kFolders = 400;
constexpr int kBookmarks = 5000;

AnnotationStroke Stroke(int i)
{
    AnnotationStroke stroke;
    stroke.type = i % 8;
    stroke.color = QColor(255, 128, 0);
    stroke.width = 2.0f;
    for (int p = 0; p < 24; ++p)
        stroke.points.append(QPointF(0.01 * p, 0.02 * (p % 5)));
    stroke.path.moveTo(stroke.points.first());
    for (const QPointF& point : stroke.points)
        stroke.path.lineTo(point);
    if (stroke.type == AnnotationStroke::Text)
        stroke.text = QStringLiteral("note %1").arg(i);
    return stroke;
}

// Wires the project's parse requests to the engine and counts how many were outstanding.
struct Parsing
{
    Parsing(Project& project, AvManager& engine)
    {
        QObject::connect(&project, &Project::ParseSourceRequested, &project, [&, this](TimelineItem* item) {
            // Outstanding: asked for, and not yet parsed (a source is marked parsed before it
            // says so).
            for (auto it = requested.begin(); it != requested.end();)
                it = (*it)->IsParsed() ? requested.erase(it) : std::next(it);
            requested.insert(item->GetTimeline()->GetSource());
            peak = std::max(peak, static_cast<int>(requested.size()));
            engine.ParseSource(item->GetTimeline());
        });
    }
    QSet<const Source*> requested;
    int peak = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Logger::SetStandardErrorEcho(false);
    if (argc < 2) {
        Bench::Print(QStringLiteral("usage: bench_projectfile <media folder>\n"));
        return 1;
    }
    QStringList files;
    for (const QFileInfo& info : QDir(QString::fromLocal8Bit(argv[1])).entryInfoList({QStringLiteral("*.mp4")}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    files = files.mid(0, kFiles);
    if (files.size() < kFiles) {
        Bench::Print(QStringLiteral("need %1 media files\n").arg(kFiles));
        return 1;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.plvx2"));
    AvManager engine;

    // Build and save the project.
    double save = 0.0;
    double baseline = 0.0;
    qint64 bytes = 0;
    {
        Project project;
        Parsing parsing(project, engine);
        QList<FolderItem*> folders{project.ProjectFolder()};
        for (int i = 0; i < kFolders; ++i)
            folders << project.CreateFolder(QStringLiteral("folder %1").arg(i), folders.at(i / 4)->Id(), false);
        QList<TimelineItem*> sources;
        for (int i = 0; i < kSources; ++i) {
            SourceProperties record;
            record.path = files.at(i % kFiles);
            record.parentId = folders.at(1 + i % kFolders)->Id();
            sources << project.CreateSource(record);
        }
        project.BlockingLoad();
        for (int i = 0; i < kBookmarks; ++i) {
            Clip* clip = sources.at(i % kSources)->GetTimeline()->GetTrack()->ClipAt(0);
            const int frame = (i / kSources) * 3 % std::max(clip->FrameCount(), 1);
            clip->AddFrameBookmark(frame);
            if (FrameBookmark* bookmark = clip->FrameBookmarkAt(frame))
                for (int s = 0; s < 3; ++s)
                    bookmark->Strokes().append(Stroke(i + s));
        }
        for (int t = 0; t < kTimelines; ++t) {
            TimelineItem* item = project.CreateTimeline(QStringLiteral("cut %1").arg(t), folders.at(t % kFolders)->Id(), false);
            for (int c = 0; c < kClips; ++c)
                item->GetTimeline()->InsertClip(new Clip(ClipKind::Reference, sources.at((t * kClips + c) % kSources)->GetTimeline()->GetSource()), -1, false);
            item->GetTimeline()->AddRangeBookmark(1, 5);
        }
        project.SetProjectPath(path);
        save = Bench::MedianSeconds(5, [&] { ProjectFile::Write(project); });
        QFile written(path);
        written.open(QIODevice::ReadOnly);
        const QByteArray text = written.readAll();
        bytes = text.size();
        const QJsonDocument document = QJsonDocument::fromJson(text);
        const QString copy = dir.filePath(QStringLiteral("copy.json"));
        baseline = Bench::MedianSeconds(5, [&] {
            QFile out(copy);
            out.open(QIODevice::WriteOnly);
            out.write(document.toJson(QJsonDocument::Indented));
        });
    }

    // Open it again, and probe the media files once each, in turn.
    Project opened;
    Parsing parsing(opened, engine);
    QElapsedTimer timer;
    timer.start();
    ProjectFile::Read(opened, path, true);
    const double open = timer.elapsed() / 1000.0;
    const double probe = Bench::MedianSeconds(3, [&] {
        for (const QString& file : files) {
            SourceFileEntry entry;
            entry.filePath = file;
            AvParser parser;
            parser.Parse(&entry);
        }
    });

    Bench::Print(QStringLiteral("\n### Project file: %1 sources on %2 files, %3 timelines of %4 clips, %5 folders, %6 bookmarks (%7 MB)\n\n")
                     .arg(kSources).arg(kFiles).arg(kTimelines).arg(kClips).arg(kFolders).arg(kBookmarks)
                     .arg(bytes / 1e6, 0, 'f', 1));
    Bench::Print(QStringLiteral("| measure | seconds | baseline (same run) | baseline seconds | ratio |\n|---|---|---|---|---|\n"));
    Bench::Print(QStringLiteral("| save (median of 5) | %1 | QJsonDocument::toJson and write | %2 | %3 |\n")
                     .arg(save, 0, 'f', 3).arg(baseline, 0, 'f', 3).arg(save / baseline, 0, 'f', 2));
    Bench::Print(QStringLiteral("| open, parse queue included | %1 | probing the %2 files once each, in turn | %3 | %4 |\n")
                     .arg(open, 0, 'f', 2).arg(kFiles).arg(probe, 0, 'f', 3).arg(open / probe, 0, 'f', 1));
    Bench::Print(QStringLiteral("\nMost parses outstanding at once while opening: %1 (limit %2: %3 cores and two).\n")
                     .arg(parsing.peak).arg(Project::ParseLimit()).arg(Project::ParseLimit() - 2));
    engine.Shutdown(true, 20000);
    return 0;
}
