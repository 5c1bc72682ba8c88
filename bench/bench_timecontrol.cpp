// Time to paint the global time bar, 1920 pixels wide, over a timeline of 100,000 frames with
// 5,000 frame bookmarks, 100 range bookmarks and every frame cached, against the same bar
// with no timeline, in the same run: the median of repeated renders into an image. The bar
// is repainted for every frame shown, so its paint has to stay far below a frame's time.
#include "bench/BenchSupport.h"
#include "bench/FakeParsedSource.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "media/SourceFileEntry.h"
#include "media/VideoFrame.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "ui/GlobalTimeControlWidget.h"
#include "ui/RangeTimeControlWidget.h"

#include <QApplication>
#include <QImage>

#include <memory>

namespace {

constexpr int kFrames = 100'000;
constexpr int kBookmarkEvery = 20; // 5,000 frame bookmarks
constexpr int kRangeBookmarks = 100;
constexpr int kWidth = 1920;

// A cached picture standing for the timeline frames first..last.
std::shared_ptr<VideoFrame> CachedFrame(const Timeline& timeline, int first, int last)
{
    auto frame = VideoFrame::CreateEmpty(timeline.FrameStartTime(first));
    frame->endTime = timeline.FrameEndTime(last);
    frame->timelineFrameStartTime = timeline.FrameStartTime(first);
    frame->timelineFrameEndTime = timeline.FrameEndTime(last);
    frame->firstTimelineFrame = first;
    frame->lastTimelineFrame = last;
    return frame;
}

// Median milliseconds of one paint of `bar`.
double PaintMs(QWidget& bar, int repeats)
{
    QImage image(bar.size(), QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 20; ++i)
        bar.render(&image); // warm the font and glyph caches
    return Bench::MedianSeconds(repeats, [&] { bar.render(&image); }) * 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Logger::SetStandardErrorEcho(false);
    const int repeats = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 500;

    Settings::Get().globalTimeControlCacheVisible = true;
    Settings::Get().rangeTimeControlCacheVisible = true;
    Timeline timeline(QStringLiteral("/bench/long.mov"), QString(), QUuid());
    Bench::FakeParsedVideo(*timeline.GetSource(), kFrames, 24.0);
    if (timeline.FrameCount() != kFrames) {
        Bench::Print(QStringLiteral("the fake timeline has %1 frames, not %2\n").arg(timeline.FrameCount()).arg(kFrames));
        return 1;
    }
    for (int frame = 0; frame < kFrames; frame += kBookmarkEvery)
        timeline.AddFrameBookmark(frame);
    for (int i = 0; i < kRangeBookmarks; ++i)
        timeline.AddRangeBookmark(i * 1000, i * 1000 + 500);
    timeline.CacheVideoFrame(CachedFrame(timeline, 0, 0));
    timeline.CacheVideoFrame(CachedFrame(timeline, 1, kFrames - 1));
    timeline.SetPlaybackRange(10'000, 90'000);
    timeline.SetPlaybackFrame(50'000);

    // No engine: the bars are given the timeline as the engine would give its primary one.
    GlobalTimeControlWidget empty(nullptr, nullptr);
    GlobalTimeControlWidget full(nullptr, nullptr);
    RangeTimeControlWidget range(nullptr, nullptr);
    full.OnPrimaryTimelineChanged(&timeline, false);
    range.OnPrimaryTimelineChanged(&timeline, false);
    for (QWidget* bar : {static_cast<QWidget*>(&empty), static_cast<QWidget*>(&full), static_cast<QWidget*>(&range)})
        bar->resize(kWidth, TimeControlBaseWidget::kHeight);

    // What is timed has to be a real paint: the bar's background, and on the full bar the
    // playhead in the middle.
    QImage check(full.size(), QImage::Format_ARGB32_Premultiplied);
    check.fill(Qt::white);
    empty.render(&check);
    const QColor background = check.pixelColor(kWidth / 2, 20);
    check.fill(Qt::white);
    full.render(&check);
    const int playheadX = *full.XOfFrame(50'000);
    if (background == QColor(Qt::white) || check.pixelColor(playheadX, 25) == background) {
        Bench::Print(QStringLiteral("the bars did not paint\n"));
        return 1;
    }

    const double emptyMs = PaintMs(empty, repeats);
    const double fullMs = PaintMs(full, repeats);
    const double rangeMs = PaintMs(range, repeats);
    Bench::Print(QStringLiteral("\n### Time bar paint (%1 x %2 px, median of %3 renders)\n\n")
                     .arg(kWidth).arg(TimeControlBaseWidget::kHeight).arg(repeats));
    Bench::Print(QStringLiteral("| bar | ms per paint | vs empty bar |\n|---|---|---|\n"));
    Bench::Print(QStringLiteral("| global, no timeline | %1 | 1.00 |\n").arg(emptyMs, 0, 'f', 3));
    Bench::Print(QStringLiteral("| global, 100,000 frames, 5,000 frame + 100 range bookmarks, all cached | %1 | %2 |\n")
                     .arg(fullMs, 0, 'f', 3).arg(fullMs / emptyMs, 0, 'f', 2));
    Bench::Print(QStringLiteral("| range bar, frames 10,000..90,000 of the same | %1 | %2 |\n")
                     .arg(rangeMs, 0, 'f', 3).arg(rangeMs / emptyMs, 0, 'f', 2));
    Bench::Print(QStringLiteral("\nTarget: under 2 ms per paint of the global bar with content.\n"));
    return 0;
}
