// Video decoding speed against `ffmpeg -threads 2 -i clip -an -f null -` on the same clip,
// forwards to YUV420P and RGB24 and backwards, and the memory a cached 1080p frame takes.
// Usage: bench_videodecode CLIP_GOP12 CLIP_GOP250 [REPEATS]
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AvParser.h"
#include "media/FrameBufferPool.h"
#include "media/MediaTime.h"
#include "media/VideoDecoder.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <malloc.h>

namespace {

struct Clip
{
    QString path;
    std::unique_ptr<Source> source;
};

// Decodes the whole clip once; returns the number of frames delivered.
int DecodeWhole(Source* source, bool forward, int64_t backwardLimit = 0)
{
    VideoDecoder decoder(false);
    decoder.CreateDefaultWorker();
    if (!decoder.Open(source->ParserFileEntry(0), 0))
        return 0;
    if (backwardLimit > 0)
        decoder.SetBackwardMemoryLimit(backwardLimit);
    int frames = 0;
    QObject::connect(&decoder, &VideoDecoder::VideoFrameDecoded, [&](std::shared_ptr<VideoFrame> frame) {
        if (frame)
            ++frames;
    });
    decoder.SetForward(forward);
    const int count = source->FrameCount();
    decoder.Seek(forward ? 0 : MediaTime::FrameStartTime(count - 1, source->FrameDuration()));
    const DecodeStatus end = forward ? DecodeStatus::EndOfFile : DecodeStatus::StartReached;
    for (int i = 0; i < 10 * count + 100; ++i)
        if (decoder.DecodeNext() == end)
            break;
    decoder.Shutdown();
    return frames;
}

// Heap bytes per held frame divided by the picture bytes (1.5 bytes per pixel).
double CachedFrameOverhead(Source* source)
{
    std::vector<std::shared_ptr<VideoFrame>> held;
    VideoDecoder decoder(false);
    decoder.CreateDefaultWorker();
    decoder.Open(source->ParserFileEntry(0), 0);
    QObject::connect(&decoder, &VideoDecoder::VideoFrameDecoded, [&](std::shared_ptr<VideoFrame> frame) {
        if (frame)
            held.push_back(std::move(frame));
    });
    decoder.Seek(0);
    // Warm up the decoder's own buffers first, so that only the frames are counted.
    while (held.size() < 10 && decoder.DecodeNext() != DecodeStatus::EndOfFile) {
    }
    held.clear();
    held.reserve(100);
    // Count fresh allocations only: the buffer pool would hand back memory counted before.
    FrameBufferPool::Instance().SetIdleLimit(0);
    FrameBufferPool::Instance().Clear();
    malloc_trim(0);
    const size_t before = mallinfo2().uordblks;
    while (held.size() < 50 && decoder.DecodeNext() != DecodeStatus::EndOfFile) {
    }
    const size_t after = mallinfo2().uordblks;
    const VideoStreamInfo* info = source->VideoStream(0, 0);
    const double picture = info->width * info->height * 1.5;
    return static_cast<double>(after - before) / static_cast<double>(held.size()) / picture;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Logger::SetStandardErrorEcho(true);
    ProjectGlobals::ResetFromSettings();
    if (argc < 3) {
        Bench::Print(QStringLiteral("usage: bench_videodecode CLIP_GOP12 CLIP_GOP250 [REPEATS]\n"));
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, atoi(argv[3])) : 3;
    const QString ffmpeg = QStringLiteral("ffmpeg");

    Bench::Print(QStringLiteral("\n### Video decoding, 1080p H.264 (frames per second, medians of %1 runs; ratios within each run)\n\n").arg(repeats));
    Bench::Print(QStringLiteral("| clip | frames | ffmpeg -threads 2 (baseline) | forward YUV420P | ratio | forward RGB24 | ratio | backward YUV420P | vs forward |\n"));
    Bench::Print(QStringLiteral("|---|---|---|---|---|---|---|---|---|\n"));
    std::unique_ptr<Source> overheadSource;
    for (int c = 1; c <= 2; ++c) {
        const QString path = QString::fromLocal8Bit(argv[c]);
        Source source(path, QString(), QUuid());
        AvParser parser;
        source.ApplyParseResult(parser.Parse(source.ParserFileEntry(0)));
        const int frames = source.FrameCount();
        if (frames <= 0) {
            Bench::Print(QStringLiteral("cannot read %1\n").arg(path));
            return 1;
        }
        // Each run times the baseline and our three decodes back to back; ratios are the
        // medians of the runs' own ratios, as the machine's speed drifts between runs.
        std::vector<double> base, yuv, rgb, backward, yuvRatio, rgbRatio, backRatio;
        int delivered = 0;
        int backDelivered = 0;
        for (int r = 0; r < repeats; ++r) {
            base.push_back(Bench::CommandSeconds(1, ffmpeg,
                                                 {"-nostdin", "-v", "error", "-threads", "2", "-i", path, "-an", "-f", "null", "-"}));
            Settings::Get().hardwareRenderingEnabled = true;
            yuv.push_back(Bench::MedianSeconds(1, [&] { delivered = DecodeWhole(&source, true); }));
            Settings::Get().hardwareRenderingEnabled = false;
            rgb.push_back(Bench::MedianSeconds(1, [&] { DecodeWhole(&source, true); }));
            Settings::Get().hardwareRenderingEnabled = true;
            backward.push_back(Bench::MedianSeconds(1, [&] { backDelivered = DecodeWhole(&source, false); }));
            yuvRatio.push_back(base.back() / yuv.back());
            rgbRatio.push_back(base.back() / rgb.back());
            backRatio.push_back(yuv.back() / backward.back());
        }
        if (delivered != frames || backDelivered != frames)
            Bench::Print(QStringLiteral("warning: %1 frames, %2 forwards, %3 backwards\n").arg(frames).arg(delivered).arg(backDelivered));
        const double fpsBase = frames / Bench::Median(base), fpsYuv = frames / Bench::Median(yuv);
        const double fpsRgb = frames / Bench::Median(rgb), fpsBack = frames / Bench::Median(backward);
        Bench::Print(QStringLiteral("| %1 | %2 | %3 | %4 | %5x | %6 | %7x | %8 | %9x |\n")
                         .arg(QFileInfo(path).fileName())
                         .arg(frames)
                         .arg(fpsBase, 0, 'f', 1)
                         .arg(fpsYuv, 0, 'f', 1)
                         .arg(Bench::Median(yuvRatio), 0, 'f', 2)
                         .arg(fpsRgb, 0, 'f', 1)
                         .arg(Bench::Median(rgbRatio), 0, 'f', 2)
                         .arg(fpsBack, 0, 'f', 1)
                         .arg(Bench::Median(backRatio), 0, 'f', 2));
        if (c == 1)
            overheadSource = std::make_unique<Source>(path, QString(), QUuid());
    }
    // Last, because it empties the buffer pool the decoding above relies on.
    AvParser parser;
    overheadSource->ApplyParseResult(parser.Parse(overheadSource->ParserFileEntry(0)));
    Settings::Get().hardwareRenderingEnabled = true;
    const double overhead = CachedFrameOverhead(overheadSource.get());
    Bench::Print(QStringLiteral("\nCached 1080p YUV420P frame: %1x its picture bytes (target at most 1.05x)\n\n")
                     .arg(overhead, 0, 'f', 4));
    return 0;
}
