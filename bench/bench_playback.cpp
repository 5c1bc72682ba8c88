// Plays a clip through the media engine as the player does (decode task on its own thread,
// clock on this one) for a while forwards and a while backwards at speed 1, and counts the
// frames that came late: frames the clock had to hold for because they were not cached yet.
// Usage: bench_playback CLIP [SECONDS]
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/AvParser.h"
#include "media/MediaTime.h"
#include "playback/PlaybackManager.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

namespace {

struct PlayResult
{
    int framesPlayed = 0;
    int lateFrames = 0;
    int64_t heldMicroseconds = 0; // wall time spent holding
};

PlayResult PlayFor(AvManager& engine, Timeline* timeline, bool forward, int seconds)
{
    PlaybackManager* clock = engine.Clock();
    QSet<int> played;
    QSet<int> late;
    QElapsedTimer heldSince;
    int64_t held = 0;
    auto connection = QObject::connect(clock, &PlaybackManager::PlaybackTimeChanged, [&](int64_t time, bool) {
        const int frame = timeline->TimeToFrame(time);
        played.insert(frame);
        if (clock->IsWaitingForFrames()) {
            late.insert(frame);
            if (!heldSince.isValid())
                heldSince.start();
        } else if (heldSince.isValid()) {
            held += heldSince.nsecsElapsed() / 1000;
            heldSince.invalidate();
        }
    });
    engine.SetPlaybackTime(forward ? 0 : timeline->FrameStartTime(timeline->LastFrame()));
    // Let the cache get its first frames as a user would see them after a seek.
    QElapsedTimer settle;
    settle.start();
    while (!timeline->VideoReady() && settle.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    played.clear();
    late.clear();
    held = 0;
    heldSince.invalidate();
    engine.Play(forward);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    engine.Pause();
    QObject::disconnect(connection);
    return PlayResult{static_cast<int>(played.size()), static_cast<int>(late.size()), held};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        Bench::Print(QStringLiteral("usage: bench_playback CLIP [SECONDS]\n"));
        return 2;
    }
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
    ProjectGlobals::ResetFromSettings();
    Settings::Get().loopState = LoopOn;
    Timeline timeline(QString::fromLocal8Bit(argv[1]), QString(), QUuid());
    AvParser parser;
    timeline.GetSource()->ApplyParseResult(parser.Parse(timeline.GetSource()->ParserFileEntry(0)));
    AvManager engine;
    engine.DecodeTimeline(&timeline, 0, false, true);

    Bench::Print(QStringLiteral("\n### Playback at speed 1.0, %1 s each way (%2, %3 frames)\n\n")
                     .arg(seconds)
                     .arg(QFileInfo(timeline.GetSource()->Path()).fileName())
                     .arg(timeline.FrameCount()));
    Bench::Print(QStringLiteral("| direction | frames shown | late frames (clock held) | time held |\n|---|---|---|---|\n"));
    for (const bool forward : {true, false}) {
        const PlayResult result = PlayFor(engine, &timeline, forward, seconds);
        Bench::Print(QStringLiteral("| %1 | %2 | %3 | %4 ms |\n")
                         .arg(forward ? QStringLiteral("forwards") : QStringLiteral("backwards"))
                         .arg(result.framesPlayed)
                         .arg(result.lateFrames)
                         .arg(result.heldMicroseconds / 1000));
    }
    engine.Shutdown(true, 10000);
    return 0;
}
