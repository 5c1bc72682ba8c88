// Image-sequence decoding speed with 1, 2 and 4 worker threads against
// `ffmpeg -threads 2 -i seq.%04d.<ext> -f null -` on the same files, for a PNG and an OpenEXR
// sequence. "parsed" runs decode files whose entries are parsed already (every pass after
// the first); "first pass" runs start from a source where only the first file is parsed, as
// after import, so that every other file is parsed on the way. The last column fills a
// timeline's cache through the decode scheduler with the default thread count.
// Usage: bench_imagesequence PNG_PATTERN EXR_PATTERN [REPEATS]   (patterns like dir/seq.%04d.png,
// numbered from 1)
#include "bench/BenchSupport.h"
#include "bench/SchedulerFill.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/DecodeManager.h"
#include "media/AvParser.h"
#include "media/CacheManager.h"
#include "media/FrameBufferPool.h"
#include "media/ImageSequenceDecoder.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

namespace {

// The sequence path of files `pattern` numbered 1 to `count`, and that count.
QString SequencePath(const QString& pattern, int& count)
{
    auto file = [&](int number) {
        return QString(pattern).replace(QLatin1String("%04d"), QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0')));
    };
    count = 0;
    while (QFileInfo::exists(file(count + 1)))
        ++count;
    QString path = pattern;
    path.replace(QLatin1String("%04d"), QLatin1String("####"));
    return QStringLiteral("%1 1-%2").arg(path).arg(count);
}

std::unique_ptr<Source> NewSource(const QString& path)
{
    auto source = std::make_unique<Source>(path, QString(), QUuid());
    AvParser parser;
    source->ApplyParseResult(parser.Parse(source->ParserFileEntry(0)));
    return source;
}

// Seconds to decode every file once with `threads` workers, driven as the scheduler drives
// the decoder; frames are dropped as they arrive. Sets `frames` to the pictures delivered.
double DecoderSeconds(Source* source, int threads, int& frames)
{
    ImageSequenceDecoder decoder(false);
    decoder.CreateWorkers(threads);
    frames = 0;
    QObject::connect(&decoder, &ImageSequenceDecoder::VideoFrameDecoded, [&](std::shared_ptr<VideoFrame>) { ++frames; });
    decoder.SetSequence(source->FileEntries(), source->FrameDuration());
    QElapsedTimer timer;
    timer.start();
    decoder.Seek(0);
    for (;;) {
        const DecodeStatus status = decoder.DecodeNext();
        if (status == DecodeStatus::EndOfFile)
            break;
        if (status == DecodeStatus::Busy)
            QThread::msleep(1);
        QCoreApplication::processEvents();
    }
    while (decoder.BusyWorkerCount() > 0) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    decoder.Shutdown();
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Logger::SetStandardErrorEcho(true);
    if (argc < 3) {
        Bench::Print(QStringLiteral("usage: bench_imagesequence PNG_PATTERN EXR_PATTERN [REPEATS]\n"));
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    Settings::Get().cacheSize = 4096; // the whole sequence fits
    ProjectGlobals::ResetFromSettings();
    FrameBufferPool::Instance().SetIdleLimit(size_t(2) * 1000 * 1000 * 1000);
    const std::vector<int> threadCounts{1, 2, 4};

    Bench::Print(QStringLiteral("\n### Image-sequence decoding, 1080p (frames per second and ratios within each run, "
                                "medians of %1 runs)\n\n")
                     .arg(repeats));
    Bench::Print(QStringLiteral("| sequence | files | ffmpeg -threads 2 (baseline) | 1 thread | 2 threads | 4 threads "
                                "| 4 vs 1 thread | 4 threads vs baseline | scheduler, 4 threads |\n"));
    Bench::Print(QStringLiteral("|---|---|---|---|---|---|---|---|---|\n"));
    for (int a = 1; a <= 2; ++a) {
        const QString pattern = QString::fromLocal8Bit(argv[a]);
        int count = 0;
        const QString path = SequencePath(pattern, count);
        if (count == 0) {
            Bench::Print(QStringLiteral("no files: %1\n").arg(pattern));
            return 1;
        }
        const QString name = QFileInfo(pattern).suffix().toUpper();
        auto parsed = NewSource(path);
        int frames = 0;
        DecoderSeconds(parsed.get(), 4, frames); // parses every file
        Timeline timeline(path, QString(), QUuid());
        AvParser parser;
        timeline.GetSource()->ApplyParseResult(parser.Parse(timeline.GetSource()->ParserFileEntry(0)));
        timeline.SetOutputId(0);
        Bench::SchedulerFillSeconds(timeline);

        // The machine is shared: every repeat measures everything once, back to back, so
        // that the ratios compare runs made under the same load.
        const QStringList ffmpegArguments{"-nostdin", "-v", "error", "-threads", "2", "-i", pattern, "-f", "null", "-"};
        std::vector<double> baseline, scheduled;
        std::vector<std::vector<double>> steady(threadCounts.size()), first(threadCounts.size());
        std::vector<double> steadyGain, steadyRatio, firstGain, firstRatio;
        for (int r = 0; r < repeats; ++r) {
            baseline.push_back(count / Bench::CommandSeconds(1, QStringLiteral("ffmpeg"), ffmpegArguments));
            for (size_t t = 0; t < threadCounts.size(); ++t) {
                int delivered = 0;
                steady[t].push_back(count / DecoderSeconds(parsed.get(), threadCounts[t], delivered));
                if (delivered != count)
                    Bench::Print(QStringLiteral("warning: %1 of %2 frames\n").arg(delivered).arg(count));
                auto fresh = NewSource(path);
                first[t].push_back(count / DecoderSeconds(fresh.get(), threadCounts[t], delivered));
            }
            scheduled.push_back(count / Bench::SchedulerFillSeconds(timeline));
            steadyGain.push_back(steady[2].back() / steady[0].back());
            steadyRatio.push_back(steady[2].back() / baseline.back());
            firstGain.push_back(first[2].back() / first[0].back());
            firstRatio.push_back(first[2].back() / baseline.back());
        }
        auto row = [&](const QString& label, const std::vector<std::vector<double>>& fps, const std::vector<double>& gain,
                       const std::vector<double>& ratio, const QString& scheduler) {
            Bench::Print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7x | %8x | %9 |\n")
                             .arg(label)
                             .arg(count)
                             .arg(Bench::Median(baseline), 0, 'f', 1)
                             .arg(Bench::Median(fps[0]), 0, 'f', 1)
                             .arg(Bench::Median(fps[1]), 0, 'f', 1)
                             .arg(Bench::Median(fps[2]), 0, 'f', 1)
                             .arg(Bench::Median(gain), 0, 'f', 2)
                             .arg(Bench::Median(ratio), 0, 'f', 2)
                             .arg(scheduler));
        };
        row(name + QStringLiteral(", parsed"), steady, steadyGain, steadyRatio,
            QString::number(Bench::Median(scheduled), 'f', 1));
        row(name + QStringLiteral(", first pass"), first, firstGain, firstRatio, QStringLiteral("-"));
    }
    Bench::Print(QStringLiteral("\n"));
    return 0;
}
