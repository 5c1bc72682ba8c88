// Paint time of the drawings over a 1080p frame on the software path (QPainter into a QImage):
// a frame carrying 500 freehand strokes with ghosts of 5 annotated neighbours, against the same
// frame with no drawing, in one run. A view change (zoom, pan, rotation, size) renders every
// layer again; a frame step shows another frame with the view unchanged; "cached" repaints the
// same frame.
// Target: within 41.7 ms, one frame at 24 fps. Needs a display for the fonts only.
#include "bench/BenchSupport.h"
#include "bench/FakeParsedSource.h"
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Logger::SetStandardErrorEcho(false);
    Timeline timeline(QStringLiteral("/media/bench.mov"), QString(), QUuid());
    Bench::FakeParsedVideo(*timeline.GetSource(), 100, 24.0);
    QRandomGenerator random(7);
    const int current = 50;
    for (int frame : {current, current - 1, current - 2, current - 3, current + 1, current + 2}) {
        timeline.AddFrameBookmark(frame);
        const int count = frame == current ? 500 : 100;
        for (int i = 0; i < count; ++i)
            timeline.FrameBookmarkAt(frame)->Strokes().append(Freehand(random));
    }
    const int empty = current - 20; // no drawing, none within ghosting distance

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
    auto paint = [&] {
        target.fill(Qt::black);
        QPainter painter(&target);
        overlay.Paint(painter);
    };

    // A view change (zoom): every layer is rendered again. Two zooms alternate.
    auto viewChange = [&](int frame) {
        overlay.SetCurrentFrame(frame);
        int turn = 0;
        return Bench::MedianSeconds(kRepeats, [&] {
            AnnotationView zoomed = view;
            zoomed.width = ++turn % 2 ? 1900 : 1920;
            zoomed.height = zoomed.width * 1080 / 1920;
            overlay.SetView(zoomed);
            paint();
        });
    };
    // A frame step forward with the view unchanged, onto the frame from the one before it, which
    // was shown (and rendered) at this view once after another view.
    auto frameStep = [&](int frame) {
        AnnotationView other = view;
        other.width = 1900;
        std::vector<double> seconds;
        for (int i = 0; i < kRepeats; ++i) {
            overlay.SetView(other);
            overlay.SetCurrentFrame(frame - 1);
            paint();
            overlay.SetView(view);
            paint();
            seconds.push_back(Bench::MedianSeconds(1, [&] {
                overlay.SetCurrentFrame(frame);
                paint();
            }));
        }
        return Bench::Median(seconds);
    };
    auto cached = [&](int frame) {
        overlay.SetView(view);
        overlay.SetCurrentFrame(frame);
        paint();
        return Bench::MedianSeconds(kRepeats, paint);
    };
    const double emptyView = viewChange(empty);
    const double fullView = viewChange(current);
    const double emptyStep = frameStep(empty);
    const double fullStep = frameStep(current);
    const double emptyCached = cached(empty);
    const double fullCached = cached(current);
    Bench::Print(QStringLiteral("annotations, software path, 1920x1080, median of %1\n").arg(kRepeats));
    Bench::Print(QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("paint"), -12).arg(QStringLiteral("no drawing ms"), 14)
              .arg(QStringLiteral("500 strokes + 5 ghosts ms"), 26).arg(QStringLiteral("ratio"), 8));
    for (const auto& [name, none, full] : {std::tuple{QStringLiteral("view change"), emptyView, fullView},
                                           std::tuple{QStringLiteral("frame step"), emptyStep, fullStep},
                                           std::tuple{QStringLiteral("cached"), emptyCached, fullCached}})
        Bench::Print(QStringLiteral("%1 %2 %3 %4\n").arg(name, -12).arg(none * 1e3, 14, 'f', 2).arg(full * 1e3, 26, 'f', 2)
                  .arg(full / none, 8, 'f', 2));
    auto verdict = [](double seconds) { return seconds * 1e3 <= 41.7 ? QStringLiteral("within") : QStringLiteral("over"); };
    Bench::Print(QStringLiteral("target: 41.70 ms per frame (24 fps); frame step %1, view change %2\n")
              .arg(verdict(fullStep), verdict(fullView)));
    return 0;
}
