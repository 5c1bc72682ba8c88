// Paint time of the drawings over a 1080p frame on the software path (QPainter into a QImage):
// a frame carrying 500 freehand strokes with ghosts of 5 annotated neighbours, against the same
// frame with no drawing, in one run. "Redrawn" renders every layer again (a new frame, a change
// of the view); "cached" composites the layer images kept from the last paint (a repaint).
// Target: within 41.7 ms, one frame at 24 fps. Needs a display for the fonts only.
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "project/FrameBookmark.h"
#include "project/Timeline.h"
#include "media/VideoStreamInfo.h"
#include "project/Source.h"
#include "viewer/AnnotationsOverlay.h"

#include <QApplication>
#include <QPainter>
#include <QRandomGenerator>

namespace {

constexpr int kRepeats = 21;

AnnotationStroke Freehand(QRandomGenerator& random)
{
    AnnotationStroke stroke;
    stroke.width = 2.0f;
    stroke.color = QColor(255, 255, 0);
    QPointF at(random.bounded(1.0) - 0.5, random.bounded(0.56) - 0.28);
    stroke.path.moveTo(at);
    stroke.points = {at, at};
    for (int i = 0; i < 40; ++i) {
        at += QPointF(random.bounded(0.02) - 0.01, random.bounded(0.02) - 0.01);
        stroke.path.lineTo(at);
    }
    return stroke;
}

// The source looks parsed: `frames` video frames at `rate`.
void FakeParsedVideo(Source& source, int frames, double rate)
{
    SourceFileEntry* entry = source.ParserFileEntry(0);
    VideoStreamInfo& video = entry->videoStreams.emplace_back();
    video.valid = true;
    video.frameRate = rate;
    video.frameDuration = 1e6 / rate;
    video.frameCount = frames;
    video.endTime = static_cast<int64_t>(frames * video.frameDuration) - 1;
    entry->parsed = true;
    source.ParserSetEndTimes(video.endTime);
    source.ParserFinished();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Logger::SetStandardErrorEcho(false);
    Timeline timeline(QStringLiteral("/media/bench.mov"), QString(), QUuid());
    FakeParsedVideo(*timeline.GetSource(), 100, 24.0);
    QRandomGenerator random(7);
    const int current = 50;
    for (int frame : {current, current - 1, current - 2, current - 3, current + 1, current + 2}) {
        timeline.AddFrameBookmark(frame);
        const int count = frame == current ? 500 : 100;
        for (int i = 0; i < count; ++i)
            timeline.FrameBookmarkAt(frame)->Strokes().append(Freehand(random));
    }

    AnnotationView view;
    view.centre = QPointF(960, 540);
    view.width = 1920;
    view.height = 1080;
    view.area = QRectF(0, 0, 1920, 1080);
    AnnotationsOverlay overlay;
    overlay.SetView(view);
    overlay.SetVisibility(0);
    overlay.SetTimeline(&timeline);
    overlay.SetGhosting(true);
    QImage target(1920, 1080, QImage::Format_ARGB32_Premultiplied);

    auto measure = [&](int frame, bool redraw) {
        overlay.SetCurrentFrame(frame);
        return Bench::MedianSeconds(kRepeats, [&] {
            if (redraw)
                overlay.UpdateForegroundBookmark(); // every layer is rendered again
            target.fill(Qt::black);
            QPainter painter(&target);
            overlay.Paint(painter);
        });
    };
    const double emptyRedrawn = measure(current - 20, true);
    const double fullRedrawn = measure(current, true);
    const double emptyCached = measure(current - 20, false);
    const double fullCached = measure(current, false);
    Bench::Print(QStringLiteral("annotations, software path, 1920x1080, median of %1\n").arg(kRepeats));
    Bench::Print(QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("paint"), -10).arg(QStringLiteral("no drawing ms"), 14)
              .arg(QStringLiteral("500 strokes + 5 ghosts ms"), 26).arg(QStringLiteral("ratio"), 8));
    for (const auto& [name, empty, full] : {std::tuple{QStringLiteral("redrawn"), emptyRedrawn, fullRedrawn},
                                            std::tuple{QStringLiteral("cached"), emptyCached, fullCached}})
        Bench::Print(QStringLiteral("%1 %2 %3 %4\n").arg(name, -10).arg(empty * 1e3, 14, 'f', 2).arg(full * 1e3, 26, 'f', 2)
                  .arg(full / empty, 8, 'f', 2));
    Bench::Print(QStringLiteral("target: 41.70 ms per frame (24 fps); redrawn %1\n")
              .arg(fullRedrawn * 1e3 <= 41.7 ? QStringLiteral("within") : QStringLiteral("over")));
    return 0;
}
