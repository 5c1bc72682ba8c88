// Importing a folder of 1,000 short clips through the project manager, then undoing and
// redoing the import, against probing the same files with AvParser alone, in turn, in the same
// run. The undo and the redo must not parse again: the parses the engine was asked for are
// counted.
// Usage: bench_projectmanager <folder of media files>
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/AvParser.h"
#include "media/SourceFileEntry.h"
#include "project/Project.h"
#include "project/ProjectEngine.h"
#include "project/ProjectManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

namespace {

// The media engine, counting the parses it is asked for.
class CountingEngine : public ProjectEngine
{
public:
    explicit CountingEngine(AvManager& engine)
        : m_engine(engine)
    {
    }
    bool ParseSource(Timeline* sourceTimeline) override
    {
        ++parses;
        return m_engine.ParseSource(sourceTimeline);
    }
    void ShowInViewer(Timeline* timeline, int viewer, bool autoPlay) override { m_engine.ShowInViewer(timeline, viewer, autoPlay); }
    void PausePlayback() override { m_engine.PausePlayback(); }
    Timeline* PrimaryTimeline() const override { return m_engine.PrimaryTimeline(); }
    void SetPlaying(bool playing, bool forward) override { m_engine.SetPlaying(playing, forward); }
    void SeekPlayback(int64_t time, bool audioScrub) override { m_engine.SeekPlayback(time, audioScrub); }

    int parses = 0;

private:
    AvManager& m_engine;
};

double Seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Logger::SetStandardErrorEcho(false);
    if (argc < 2) {
        Bench::Print(QStringLiteral("usage: bench_projectmanager <media folder>\n"));
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QStringList files;
    for (const QFileInfo& info : QDir(folder).entryInfoList({QStringLiteral("*.mp4")}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();

    AvManager avManager;
    CountingEngine engine(avManager);
    ProjectManager manager(&engine);
    QList<QUuid> ids;
    const double import = Seconds([&] { ids = manager.ImportFolder(folder, {}); });
    const int importParses = engine.parses;
    QUndoStack* stack = manager.UndoStack();
    const double undo = Seconds([&] { stack->undo(); });
    const int sourcesAfterUndo = static_cast<int>(manager.GetProject()->Sources().size());
    const double redo = Seconds([&] { stack->redo(); });
    const int sourcesAfterRedo = static_cast<int>(manager.GetProject()->Sources().size());
    const int laterParses = engine.parses - importParses;
    const double probe = Seconds([&] {
        for (const QString& file : std::as_const(files)) {
            SourceFileEntry entry;
            entry.filePath = file;
            AvParser parser;
            parser.Parse(&entry);
        }
    });

    Bench::Print(QStringLiteral("\n### Importing a folder of %1 clips through the project manager\n\n").arg(files.size()));
    Bench::Print(QStringLiteral("| measure | seconds | baseline (same run) | baseline seconds | ratio |\n|---|---|---|---|---|\n"));
    Bench::Print(QStringLiteral("| import (%1 sources, parse queue included) | %2 | probing the %3 files with AvParser, in turn | %4 | %5 |\n")
                     .arg(ids.size()).arg(import, 0, 'f', 2).arg(files.size()).arg(probe, 0, 'f', 2).arg(import / probe, 0, 'f', 2));
    Bench::Print(QStringLiteral("| undo of the import (%1 sources left) | %2 | the same probing | %3 | %4 |\n")
                     .arg(sourcesAfterUndo).arg(undo, 0, 'f', 3).arg(probe, 0, 'f', 2).arg(undo / probe, 0, 'f', 3));
    Bench::Print(QStringLiteral("| redo of the import (%1 sources) | %2 | the same probing | %3 | %4 |\n")
                     .arg(sourcesAfterRedo).arg(redo, 0, 'f', 3).arg(probe, 0, 'f', 2).arg(redo / probe, 0, 'f', 3));
    Bench::Print(QStringLiteral("\nParses asked of the engine: %1 by the import, %2 by the undo and the redo.\n")
                     .arg(importParses).arg(laterParses));
    avManager.Shutdown(true, 20000);
    return laterParses == 0 && sourcesAfterUndo == 0 && sourcesAfterRedo == ids.size() ? 0 : 1;
}
