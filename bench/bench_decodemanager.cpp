// The decode scheduler's cost over raw decoding: a two-clip 1080p timeline (GOP 12, then
// GOP 250) is cached whole, forwards from the start and backwards from the end, and compared
// with the same clips decoded by a bare VideoDecoder in the same run.
// Usage: bench_decodemanager CLIP_GOP12 CLIP_GOP250 [REPEATS]
#include "bench/BenchSupport.h"
#include "bench/SchedulerFill.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/DecodeManager.h"
#include "media/AvParser.h"
#include "media/CacheManager.h"
#include "media/FrameBufferPool.h"
#include "media/MediaTime.h"
#include "media/VideoDecoder.h"
#include "project/Clip.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"

#include <QCoreApplication>
#include <QThread>

namespace {

Timeline* SourceTimeline(const QString& path, QObject* parent)
{
    auto* timeline = new Timeline(path, QString(), QUuid(), parent);
    AvParser parser;
    timeline->GetSource()->ApplyParseResult(parser.Parse(timeline->GetSource()->ParserFileEntry(0)));
    return timeline;
}

// Seconds to decode every frame of the sources, one after the other, with bare decoders; all
// frames are kept alive to the end, as the cache keeps them.
double DecoderSeconds(const std::vector<Source*>& sources, bool forward)
{
    std::vector<std::shared_ptr<VideoFrame>> kept;
    const double seconds = Bench::MedianSeconds(1, [&] {
        for (Source* source : sources) {
            VideoDecoder decoder(false);
            decoder.CreateDefaultWorker();
            decoder.Open(source->ParserFileEntry(0), 0);
            QObject::connect(&decoder, &VideoDecoder::VideoFrameDecoded, [&](std::shared_ptr<VideoFrame> f) {
                if (f)
                    kept.push_back(std::move(f));
            });
            decoder.SetForward(forward);
            decoder.Seek(forward ? 0 : MediaTime::FrameStartTime(source->FrameCount() - 1, source->FrameDuration()));
            const DecodeStatus end = forward ? DecodeStatus::EndOfFile : DecodeStatus::StartReached;
            for (int i = 0; i < 100000 && decoder.DecodeNext() != end; ++i) {
            }
            decoder.Shutdown();
        }
    });
    kept.clear();
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        Bench::Print(QStringLiteral("usage: bench_decodemanager CLIP_GOP12 CLIP_GOP250 [REPEATS]\n"));
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    Settings::Get().cacheSize = 4096; // the whole timeline fits
    ProjectGlobals::ResetFromSettings();
    QObject owner;
    Timeline* a = SourceTimeline(QString::fromLocal8Bit(argv[1]), &owner);
    Timeline* b = SourceTimeline(QString::fromLocal8Bit(argv[2]), &owner);
    Timeline timeline;
    timeline.InsertClip(new Clip(ClipKind::Reference, a->GetSource()), 0);
    timeline.InsertClip(new Clip(ClipKind::Reference, b->GetSource()), 1);
    timeline.SetOutputId(0);
    const int frames = timeline.FrameCount();
    // Both sides reuse the same warm picture memory, so that page faults (several gigabytes
    // of them, and very noisy on a shared machine) do not drown what is compared.
    FrameBufferPool::Instance().SetIdleLimit(size_t(6) * 1000 * 1000 * 1000);
    DecoderSeconds({a->GetSource(), b->GetSource()}, true);

    Bench::Print(QStringLiteral("\n### Decode scheduler, two-clip 1080p timeline (%1 frames, GOP 12 then GOP 250; median of %2 runs)\n\n")
                     .arg(frames)
                     .arg(repeats));
    Bench::Print(QStringLiteral("| direction | decoder only (frames/s) | scheduler filling the cache (frames/s) | scheduler cost |\n|---|---|---|---|\n"));
    for (const bool forward : {true, false}) {
        // Each run times both back to back, and the cost is the median of the runs' own
        // ratios: the machine's speed drifts between runs more than the cost itself.
        std::vector<double> raw, scheduled, cost;
        for (int i = 0; i < repeats; ++i) {
            const std::vector<Source*> order = forward ? std::vector<Source*>{a->GetSource(), b->GetSource()}
                                                       : std::vector<Source*>{b->GetSource(), a->GetSource()};
            raw.push_back(DecoderSeconds(order, forward));
            scheduled.push_back(Bench::SchedulerFillSeconds(timeline, forward));
            cost.push_back(scheduled.back() / raw.back() - 1.0);
        }
        Bench::Print(QStringLiteral("| %1 | %2 | %3 | %4% |\n")
                         .arg(forward ? QStringLiteral("forwards") : QStringLiteral("backwards"))
                         .arg(frames / Bench::Median(raw), 0, 'f', 1)
                         .arg(frames / Bench::Median(scheduled), 0, 'f', 1)
                         .arg(Bench::Median(cost) * 100.0, 0, 'f', 1));
    }
    return 0;
}
