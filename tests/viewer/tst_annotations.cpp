// Drawings over the picture: the overlay alone (rendered into images through a fixed view), and
// the viewer widget on both renderers under a real display, with synthetic frames that carry a
// blue marker, synthesised presses and pointer samples fed through a sampler of the test's own.
#include "core/Logger.h"
#include "core/Settings.h"
#include "media/VideoFrame.h"
#include "media/VideoStreamInfo.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"
#include "tests/TestSupport.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/PointerSampler.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <cmath>
#include <memory>

namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// Samples handed in by the test, as a sampling thread would deliver them.
class FakeSampler : public PointerSampler
{
public:
    void Start() override { m_active = true; }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }
    // Delivered whatever the state: the receiver must drop what comes after the release.
    void Deliver(const QPoint& global, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { emit Sampled(global, modifiers); }

private:
    bool m_active = false;
};

VideoStreamInfo StreamInfo(int width = 320, int height = 180)
{
    VideoStreamInfo info;
    info.width = width;
    info.height = height;
    info.paddedWidth = width;
    info.pixelAspect = 1.0f;
    info.displayAspect = static_cast<float>(width) / static_cast<float>(height);
    return info;
}

// Grey picture with a 24 x 24 blue marker centred at `marker`, for timeline frame `frame` of
// 40 ms frames.
std::shared_ptr<VideoFrame> Frame(const VideoStreamInfo& info, QPoint marker, int frame = 0)
{
    QImage image(info.width, info.height, QImage::Format_RGB888);
    image.fill(QColor(128, 128, 128));
    for (int y = marker.y() - 12; y < marker.y() + 12; ++y)
        for (int x = marker.x() - 12; x < marker.x() + 12; ++x)
            if (image.rect().contains(x, y))
                image.setPixelColor(x, y, kBlue);
    const uint8_t* data[] = {image.constBits(), nullptr, nullptr};
    const int lines[] = {static_cast<int>(image.bytesPerLine()), 0, 0};
    auto made = VideoFrame::Create(data, lines, info.width, info.height, VideoFrameFormatRGB, frame * 40000, 40000.0, &info, false);
    made->timelineFrameStartTime = frame * 40000;
    made->timelineFrameEndTime = frame * 40000 + 39999;
    made->firstTimelineFrame = made->lastTimelineFrame = frame;
    return made;
}

// The centre of the pixels `match` accepts; (-1, -1) when there are none.
template <typename Match>
QPointF Centroid(const QImage& image, Match match)
{
    double sx = 0, sy = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixelColor(x, y))) {
                sx += x;
                sy += y;
                ++count;
            }
    return count ? QPointF(sx / count, sy / count) : QPointF(-1, -1);
}

QPointF BlueCentre(const QImage& image)
{
    return Centroid(image, [](const QColor& c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; });
}

QPointF GreenCentre(const QImage& image)
{
    return Centroid(image, [](const QColor& c) { return c.green() > 200 && c.red() < 80 && c.blue() < 80; });
}

double Distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

void Send(QWidget* widget, QEvent::Type type, QPointF local, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, modifiers);
    QCoreApplication::sendEvent(widget, &event);
}

// A view of a 640-pixel-wide 16:9 picture filling a 640 x 360 surface.
AnnotationView FullView()
{
    AnnotationView view;
    view.centre = QPointF(320, 180);
    view.width = 640;
    view.height = 360;
    view.area = QRectF(0, 0, 640, 360);
    return view;
}

// A source timeline whose source looks parsed: `frames` frames at 25 fps.
std::unique_ptr<Timeline> MakeTimeline(int frames = 10)
{
    auto timeline = std::make_unique<Timeline>(QStringLiteral("/media/a.mov"), QString(), QUuid());
    TestSupport::FakeParsedVideo(*timeline->GetSource(), frames, 25.0);
    return timeline;
}

QImage Painted(AnnotationsOverlay& overlay, const QColor& under = Qt::black)
{
    QImage image(640, 360, QImage::Format_ARGB32_Premultiplied);
    image.fill(under);
    QPainter painter(&image);
    overlay.Paint(painter);
    painter.end();
    return image;
}

void Dot(AnnotationsOverlay& overlay, QPointF at)
{
    QVERIFY(overlay.BeginStroke(at));
    overlay.EndStroke();
}

void Line(AnnotationsOverlay& overlay, QPointF from, QPointF to)
{
    QVERIFY(overlay.BeginStroke(from));
    for (int i = 1; i <= 20; ++i)
        overlay.AppendPoint(from + (to - from) * (i / 20.0));
    overlay.EndStroke();
}

} // namespace

class TestAnnotations : public QObject
{
    Q_OBJECT

    std::unique_ptr<ViewerWidget> m_view;
    std::unique_ptr<Timeline> m_timeline;
    FakeSampler* m_sampler = nullptr;
    VideoStreamInfo m_info = StreamInfo();

    bool Make()
    {
        QFETCH(bool, hardware);
        m_view = std::make_unique<ViewerWidget>(nullptr, hardware);
        m_view->resize(640, 360);
        m_view->move(200, 200);
        m_view->show();
        if (!QTest::qWaitForWindowExposed(m_view.get()))
            return false;
        if (hardware && !QTest::qWaitFor([this] { return m_view->GlRenderer()->IsInitialised(); }, 5000))
            return false;
        m_sampler = new FakeSampler;
        m_view->SetPointerSampler(m_sampler);
        m_timeline = MakeTimeline();
        m_view->SetPrimaryTimeline(m_timeline.get());
        m_view->SetAnnotationVisibility(AnnotationVisibilityOn);
        return true;
    }

    QImage Shown()
    {
        QCoreApplication::processEvents();
        QImage image = m_view->Grab().convertToFormat(QImage::Format_RGB32);
        const qreal ratio = m_view->devicePixelRatioF();
        if (ratio != 1.0)
            image = image.scaled(m_view->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        return image;
    }

    // The green dot drawn on the marker is on it now, within 2 pixels.
    bool DotOnMarker(const char* step)
    {
        bool ok = false;
        QPointF blue, green;
        // Waits for the repaint that follows the change.
        (void)QTest::qWaitFor([&] {
            const QImage image = Shown();
            blue = BlueCentre(image);
            green = GreenCentre(image);
            ok = blue.x() >= 0 && green.x() >= 0 && Distance(blue, green) <= 2.0;
            return ok;
        }, 5000);
        if (!ok)
            qWarning("%s: marker at (%.1f, %.1f), dot at (%.1f, %.1f)", step, blue.x(), blue.y(), green.x(), green.y());
        return ok;
    }

    void Click(QPointF at)
    {
        Send(m_view.get(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        Send(m_view.get(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }

    void Rows()
    {
        QTest::addColumn<bool>("hardware");
        QTest::addRow("OpenGL") << true;
        QTest::addRow("software") << false;
    }

#define MAKE_OR_SKIP()                                                       \
    do {                                                                     \
        if (!Make())                                                         \
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL 3.3 context on this display"); \
    } while (false)

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        if (QGuiApplication::platformName() != QLatin1String("xcb") && TestSupport::GlRequired())
            QFAIL("no X display, although scripts/test.sh provides one");
    }

    void init()
    {
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        Settings::Get().pencilSize = 8.0f; // a dot 5 pixels wide on a 640-pixel picture
        Settings::Get().annotationToolColor = kGreen;
    }

    void cleanup()
    {
        m_view.reset();
        m_timeline.reset();
    }

    // Normalised coordinates: from the picture's centre, in picture widths on both axes.
    void storedPointOfTheCorner()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetCurrentFrame(0);
        overlay.SetActiveTool(AnnotationToolRectangle);
        QVERIFY(overlay.BeginStroke(QPointF(640, 0)));
        overlay.AppendPoint(QPointF(320, 180));
        overlay.EndStroke();
        const QList<AnnotationStroke>& strokes = timeline->FrameBookmarkAt(0)->Strokes();
        QCOMPARE(strokes.size(), 1);
        QCOMPARE(strokes[0].points[0], QPointF(0.5, -0.28125));
        QCOMPARE(strokes[0].points[1], QPointF(0.0, 0.0));
        QCOMPARE(strokes[0].path.boundingRect(), QRectF(0.0, -0.28125, 0.5, 0.28125));
    }

    // The viewer's picture of 320 x 180 in a 640 x 360 widget: centred, 640 wide.
    void viewOfTheWidget_data() { Rows(); }
    void viewOfTheWidget()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, QPoint(100, 50)), nullptr, nullptr);
        const AnnotationView view = m_view->AnnotationViewNow();
        QVERIFY(Distance(view.centre, QPointF(320, 180)) < 1e-3);
        QVERIFY(std::abs(view.width - 640.0) < 1e-3);
        QVERIFY(std::abs(view.height - 360.0) < 1e-3);
        QVERIFY(Distance(view.ToNormalised(QPointF(640, 0)), QPointF(0.5, -0.28125)) < 1e-5);
    }

    // With a tool active the pointer over the picture is the annotation cursor, hot spot at its
    // centre; without one it is the arrow again.
    void annotationCursor_data() { Rows(); }
    void annotationCursor()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, QPoint(200, 60)), nullptr, nullptr);
        m_view->SetAnnotationTool(AnnotationToolPencil);
        const QPointF middle(320, 180);
        Send(m_view.get(), QEvent::MouseMove, middle, Qt::NoButton, Qt::NoButton);
        const QCursor cursor = m_view->cursor();
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        const QImage drawn(QStringLiteral(":/icons/annotation_cursor.png"));
        QVERIFY(!drawn.isNull());
        QCOMPARE(cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        QCOMPARE(cursor.hotSpot(), QPoint(drawn.width() / 2, drawn.height() / 2));
        m_view->SetAnnotationTool(-1);
        Send(m_view.get(), QEvent::MouseMove, middle, Qt::NoButton, Qt::NoButton);
        QCOMPARE(m_view->cursor().shape(), Qt::ArrowCursor);
    }

    // A dot drawn on the marker stays on it through every change of the view.
    void dotStaysOnThePicture_data() { Rows(); }
    void dotStaysOnThePicture()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, QPoint(200, 60)), nullptr, nullptr);
        m_view->SetAnnotationTool(AnnotationToolPencil);
        const QPointF marker = BlueCentre(Shown());
        QVERIFY(marker.x() > 0);
        Click(marker);
        QVERIFY(m_timeline->FrameBookmarkAt(0));
        QVERIFY(DotOnMarker("as drawn"));

        m_view->SetPanAndZoom(QPointF(0.1, 0.1), 2.0f, true, true);
        QVERIFY(DotOnMarker("zoom 2 with pan"));
        m_view->ResetPanAndZoom(true);
        m_view->RotateClockwise();
        QVERIFY(DotOnMarker("turned 90 degrees"));
        m_view->ResetFlipAndRotate();
        m_view->SetHorizontalFlipEnabled(true);
        QVERIFY(DotOnMarker("flipped"));
        m_view->ResetFlipAndRotate();
        m_view->resize(500, 420);
        QVERIFY(DotOnMarker("resized"));
        m_view->SetViewerLayoutByType(ViewerLayoutHorizontal);
        QVERIFY(DotOnMarker("side by side"));
    }

    // Drawn while zoomed, the dot is on the marker once the zoom is reset: the inverse of the
    // view is applied once.
    void drawnZoomed_data() { Rows(); }
    void drawnZoomed()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, QPoint(200, 60)), nullptr, nullptr);
        m_view->SetAnnotationTool(AnnotationToolPencil);
        m_view->SetPanAndZoom(QPointF(0.1, 0.1), 2.0f, true, true);
        QPointF marker;
        QVERIFY(QTest::qWaitFor([&] {
            marker = BlueCentre(Shown());
            return marker.x() > 0 && m_view->AnnotationViewNow().width > 1200.0;
        }, 5000));
        Click(marker);
        QVERIFY(DotOnMarker("as drawn zoomed"));
        m_view->ResetPanAndZoom(true);
        QVERIFY(DotOnMarker("zoom reset"));
    }

    // Samples from the sampler extend the stroke; one arriving after the release does not.
    void samplesAfterTheReleaseAreDropped_data() { Rows(); }
    void samplesAfterTheReleaseAreDropped()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, QPoint(200, 60)), nullptr, nullptr);
        m_view->SetAnnotationTool(AnnotationToolPencil);
        QWidget* view = m_view.get();
        Send(view, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton, Qt::LeftButton);
        QVERIFY(m_sampler->IsActive());
        for (int x = 110; x <= 300; x += 10)
            m_sampler->Deliver(view->mapToGlobal(QPoint(x, 100)));
        Send(view, QEvent::MouseButtonRelease, QPointF(300, 100), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!m_sampler->IsActive());
        const FrameBookmark* bookmark = m_timeline->FrameBookmarkAt(0);
        QVERIFY(bookmark);
        QCOMPARE(bookmark->Strokes().size(), 1);
        const AnnotationStroke drawn = bookmark->Strokes().first();
        const QRectF box = drawn.path.boundingRect();
        QVERIFY2(box.left() < -0.3 && box.right() > -0.05, qPrintable(QStringLiteral("%1 .. %2").arg(box.left()).arg(box.right())));
        m_sampler->Deliver(view->mapToGlobal(QPoint(600, 300)));
        QCOMPARE(bookmark->Strokes().first(), drawn);
    }

    // With Shift held at the press the pencil draws a straight line from press to release.
    void shiftMakesAStraightLine()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetCurrentFrame(1);
        QVERIFY(overlay.BeginStroke(QPointF(100, 100), Qt::ShiftModifier));
        overlay.AppendPoint(QPointF(200, 250), Qt::ShiftModifier);
        overlay.AppendPoint(QPointF(420, 100), Qt::ShiftModifier);
        overlay.EndStroke();
        const AnnotationStroke& line = timeline->FrameBookmarkAt(1)->Strokes().first();
        QCOMPARE(line.type, int(AnnotationStroke::Line));
        QCOMPARE(line.path.elementCount(), 2);
        QCOMPARE(line.points[1], QPointF(0.15625, -0.125));
        // A rectangle with Shift is square.
        overlay.SetActiveTool(AnnotationToolRectangle);
        QVERIFY(overlay.BeginStroke(QPointF(100, 100)));
        overlay.AppendPoint(QPointF(300, 150), Qt::ShiftModifier);
        overlay.EndStroke();
        const QRectF square = timeline->FrameBookmarkAt(1)->Strokes().last().path.boundingRect();
        QCOMPARE(square.width(), square.height());
    }

    // The eraser on the foreground clears only foreground pixels: a background stroke under
    // them shows through, and so does the picture, both while the eraser is dragged and after.
    void eraserKeepsToItsLayer()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetCurrentFrame(2);
        overlay.SetVisibility(AnnotationVisibilityOn);
        Settings::Get().pencilSize = 30.0f;
        Settings::Get().eraserSize = 60.0f;
        overlay.SetActiveTool(AnnotationToolPencil);
        overlay.SetActiveLayer(AnnotationLayerBackground);
        overlay.SetToolColor(kRed);
        Line(overlay, QPointF(100, 100), QPointF(300, 100));
        overlay.SetActiveLayer(AnnotationLayerForeground);
        overlay.SetToolColor(kGreen);
        Line(overlay, QPointF(100, 100), QPointF(300, 100));
        Line(overlay, QPointF(100, 250), QPointF(300, 250));
        const QColor picture(128, 128, 128);
        QImage image = Painted(overlay, picture);
        QCOMPARE(image.pixelColor(200, 100), kGreen);
        overlay.SetActiveTool(AnnotationToolEraser);

        // Mid-drag the stroke is not stored yet: the layer under it is erased on the fly.
        QVERIFY(overlay.BeginStroke(QPointF(150, 100)));
        for (int i = 1; i <= 20; ++i)
            overlay.AppendPoint(QPointF(150 + 5 * i, 100));
        image = Painted(overlay, picture);
        QCOMPARE(image.pixelColor(200, 100), kRed);   // the background shows through
        QCOMPARE(image.pixelColor(200, 250), kGreen); // the other line is not touched yet
        overlay.EndStroke();
        // A dropped eraser stroke leaves the layer whole.
        QVERIFY(overlay.BeginStroke(QPointF(150, 250)));
        overlay.AppendPoint(QPointF(250, 250));
        QCOMPARE(Painted(overlay, picture).pixelColor(200, 250), picture);
        overlay.CancelStroke();
        QCOMPARE(Painted(overlay, picture).pixelColor(200, 250), kGreen);
        QVERIFY(overlay.BeginStroke(QPointF(150, 250)));
        for (int i = 1; i <= 20; ++i)
            overlay.AppendPoint(QPointF(150 + 5 * i, 250));
        image = Painted(overlay, picture);
        QCOMPARE(image.pixelColor(200, 250), picture); // nothing under: the picture, not a hole
        QCOMPARE(image.pixelColor(200, 100), kRed);
        overlay.EndStroke();

        image = Painted(overlay, picture);
        QCOMPARE(image.pixelColor(200, 100), kRed);      // the background shows through
        QCOMPARE(image.pixelColor(200, 250), picture);   // nothing under: the picture
        QCOMPARE(image.pixelColor(120, 250), kGreen);    // outside the eraser's path
        QCOMPARE(image.pixelColor(200, 180), picture);   // between the lines: nothing drawn
        QCOMPARE(timeline->BackgroundAnnotations()->Strokes().size(), 1);
        // The background's own image is whole: with the foreground layer off it shows in full.
        overlay.SetActiveLayer(AnnotationLayerBackground);
        overlay.SetCurrentFrame(3);
        image = Painted(overlay, picture);
        QCOMPARE(image.pixelColor(200, 100), kRed);
        QCOMPARE(image.pixelColor(200, 250), picture);
    }

    // Undo takes the last stroke only; redo brings it back; a new stroke drops the redo.
    // Another frame's drawing has its own history.
    void undoAndRedo()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetCurrentFrame(4);
        Dot(overlay, QPointF(100, 100));
        Dot(overlay, QPointF(200, 100));
        Dot(overlay, QPointF(300, 100));
        FrameBookmark* drawing = timeline->FrameBookmarkAt(4);
        const QList<AnnotationStroke> three = drawing->Strokes();
        QCOMPARE(three.size(), 3);
        overlay.Undo();
        QCOMPARE(drawing->Strokes(), three.mid(0, 2));
        overlay.Redo();
        QCOMPARE(drawing->Strokes(), three);
        overlay.Undo();
        Dot(overlay, QPointF(400, 300));
        QCOMPARE(drawing->Strokes().size(), 3);
        QVERIFY(drawing->Strokes()[2] != three[2]);
        QVERIFY(!drawing->UndoStack()->canRedo());

        overlay.SetCurrentFrame(6);
        Dot(overlay, QPointF(50, 50));
        overlay.Undo();
        QVERIFY(!timeline->FrameBookmarkAt(6)->HasAnnotation());
        QCOMPARE(drawing->Strokes().size(), 3); // frame 4 untouched
        overlay.Undo();                         // nothing left on frame 6's stack
        QCOMPARE(drawing->Strokes().size(), 3);
    }

    // The first stroke on a frame makes it a bookmark; a frame outside every clip gets none.
    void firstStrokeMakesTheBookmark()
    {
        auto timeline = MakeTimeline(10);
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        QSignalSpy annotated(&overlay, &AnnotationsOverlay::BookmarkIsAnnotationChanged);
        overlay.SetCurrentFrame(3);
        QVERIFY(!timeline->FrameBookmarkAt(3));
        Dot(overlay, QPointF(100, 100));
        QVERIFY(timeline->FrameBookmarkAt(3));
        QCOMPARE(annotated.size(), 1);
        QCOMPARE(annotated[0][0].toInt(), 3);
        QCOMPARE(annotated[0][1].toBool(), true);
        overlay.SetCurrentFrame(25); // beyond the only clip
        QVERIFY(!overlay.CanBeginStroke(QPointF(100, 100)));
        QVERIFY(!overlay.BeginStroke(QPointF(100, 100)));
        overlay.EndStroke();
        QCOMPARE(timeline->FrameBookmarks().size(), 1);
        QVERIFY(!overlay.IsDrawing());
        // The background layer has no frame to be bound to.
        overlay.SetActiveLayer(AnnotationLayerBackground);
        Dot(overlay, QPointF(100, 100));
        QCOMPARE(timeline->BackgroundAnnotations()->Strokes().size(), 1);
        QCOMPARE(timeline->FrameBookmarks().size(), 1);
    }

    // Hold shows the last earlier drawing on frames without one, never a later one; an
    // emptied drawing holds nothing.
    void holdFrames()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetVisibility(AnnotationVisibilityOn);
        Settings::Get().pencilSize = 20.0f;
        overlay.SetActiveTool(AnnotationToolPencil);
        overlay.SetToolColor(kGreen);
        overlay.SetCurrentFrame(3);
        Dot(overlay, QPointF(200, 200));
        overlay.SetCurrentFrame(4);
        Dot(overlay, QPointF(400, 100));
        overlay.ClearCurrentFrame(); // frame 4 keeps an empty bookmark
        overlay.SetHoldFrames(true);
        overlay.SetCurrentFrame(5);
        QCOMPARE(overlay.HeldFrame(), 3);
        QImage image = Painted(overlay);
        QCOMPARE(image.pixelColor(200, 200), kGreen);
        QCOMPARE(image.pixelColor(400, 100), QColor(Qt::black));
        overlay.SetCurrentFrame(2);
        QCOMPARE(overlay.HeldFrame(), -1);
        image = Painted(overlay);
        QCOMPARE(image.pixelColor(200, 200), QColor(Qt::black));
        overlay.SetHoldFrames(false);
        overlay.SetCurrentFrame(5);
        QCOMPARE(Painted(overlay).pixelColor(200, 200), QColor(Qt::black));
    }

    // Ghosts by frame keep to the distance; by annotation to the count; nearer ones brighter,
    // tinted halfway to their side's colour.
    void ghosting()
    {
        auto timeline = MakeTimeline(30);
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetVisibility(AnnotationVisibilityOn);
        Settings::Get().pencilSize = 20.0f;
        overlay.SetToolColor(QColor(255, 255, 255));
        for (int frame : {11, 12, 18, 21}) {
            overlay.SetCurrentFrame(frame);
            Dot(overlay, QPointF(100 + 20 * frame, 200));
        }
        overlay.SetCurrentFrame(20);
        overlay.SetGhosting(true);
        using Ghost = AnnotationsOverlay::Ghost;
        // Previous: 18 (2 back), 12 (8 back), 11 (9 back); next: 21 (1 on).
        QCOMPARE(overlay.GhostFrames(), (QList<Ghost>{{18, 0.4, true}, {21, 0.4, false}}));
        QImage image = Painted(overlay);
        const QColor previous = image.pixelColor(100 + 20 * 18, 200);
        QVERIFY2(std::abs(previous.red() - 102) <= 3 && std::abs(previous.green() - 51) <= 3 && std::abs(previous.blue() - 51) <= 3,
                 qPrintable(previous.name()));
        const QColor next = image.pixelColor(100 + 20 * 21, 200);
        QVERIFY2(std::abs(next.red() - 51) <= 3 && std::abs(next.green() - 102) <= 3, qPrintable(next.name()));
        QCOMPARE(image.pixelColor(100 + 20 * 12, 200), QColor(Qt::black));

        Settings::Get().byAnnotationGhosting = true;
        Settings::Get().numGhostedFramesNext = 0;
        const QList<Ghost> ghosts = overlay.GhostFrames();
        const QList<Ghost> expected{{11, 0.3, true}, {12, 0.35, true}, {18, 0.4, true}};
        QCOMPARE(ghosts.size(), expected.size());
        for (int i = 0; i < ghosts.size(); ++i) {
            QCOMPARE(ghosts[i].frame, expected[i].frame);
            QVERIFY(std::abs(ghosts[i].opacity - expected[i].opacity) < 1e-9);
            QVERIFY(ghosts[i].previous);
        }
        overlay.SetGhosting(false);
        QVERIFY(overlay.GhostFrames().isEmpty());
    }

    // The laser is drawn, fades after the release, and is never stored anywhere.
    void laserFades()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetCurrentFrame(1);
        overlay.SetVisibility(AnnotationVisibilityOn);
        Settings::Get().laserPointerSize = 20.0f;
        overlay.SetActiveTool(AnnotationToolLaserPointer);
        overlay.SetToolColor(kGreen);
        Line(overlay, QPointF(100, 100), QPointF(300, 100));
        QVERIFY(overlay.CurrentStroke());
        QCOMPARE(Painted(overlay).pixelColor(200, 100), kGreen);
        QTRY_VERIFY_WITH_TIMEOUT(!overlay.CurrentStroke(), 10000);
        QCOMPARE(Painted(overlay).pixelColor(200, 100), QColor(Qt::black));
        QVERIFY(timeline->FrameBookmarks().isEmpty());
        QVERIFY(timeline->BackgroundAnnotations()->Strokes().isEmpty());
    }

    // Copy and paste: the paste replaces what the frame held, undone in one step; clearing the
    // frame is one step too.
    void pasteAndClear()
    {
        auto timeline = MakeTimeline();
        AnnotationsOverlay overlay;
        overlay.SetView(FullView());
        overlay.SetTimeline(timeline.get());
        overlay.SetCurrentFrame(1);
        Dot(overlay, QPointF(100, 100));
        Dot(overlay, QPointF(150, 100));
        overlay.Copy();
        overlay.SetCurrentFrame(2);
        Dot(overlay, QPointF(400, 300));
        const QList<AnnotationStroke> before = timeline->FrameBookmarkAt(2)->Strokes();
        overlay.Paste();
        QCOMPARE(timeline->FrameBookmarkAt(2)->Strokes(), timeline->FrameBookmarkAt(1)->Strokes());
        overlay.Undo();
        QCOMPARE(timeline->FrameBookmarkAt(2)->Strokes(), before);
        overlay.SetCurrentFrame(1);
        overlay.ClearCurrentFrame();
        QVERIFY(!timeline->FrameBookmarkAt(1)->HasAnnotation());
        overlay.Undo();
        QCOMPARE(timeline->FrameBookmarkAt(1)->Strokes().size(), 2);
    }

    // With the A/B wipe only A (left of the line) can be drawn on.
    void wipeBSideDrawsNothing_data() { Rows(); }
    void wipeBSideDrawsNothing()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, QPoint(200, 60)), nullptr, nullptr);
        m_view->SetViewerLayoutByType(ViewerLayoutAB);
        m_view->SetWipeEnabled(true);
        QVERIFY(!m_view->Overlay()->WipeMask().isEmpty());
        m_view->SetAnnotationTool(AnnotationToolPencil);
        Click(QPointF(500, 250)); // B
        QVERIFY(!m_timeline->FrameBookmarkAt(0));
        Click(QPointF(100, 250)); // A
        QVERIFY(m_timeline->FrameBookmarkAt(0));
        QCOMPARE(m_timeline->FrameBookmarkAt(0)->Strokes().size(), 1);
    }

    // Drawings made with the overlay are saved and read back stroke for stroke.
    void projectFileRoundTrip()
    {
        QByteArray document;
        QList<AnnotationStroke> foreground;
        QList<AnnotationStroke> background;
        {
            Project project;
            QObject::connect(&project, &Project::ParseSourceRequested, &project,
                             [](TimelineItem* item) { TestSupport::Parse(item->GetTimeline()->GetSource()); });
            SourceProperties properties;
            properties.path = TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4"));
            TimelineItem* item = project.CreateSource(properties);
            project.BlockingLoad();
            Timeline* timeline = item->GetTimeline();
            QVERIFY(timeline->FrameCount() > 5);
            AnnotationsOverlay overlay;
            overlay.SetView(FullView());
            overlay.SetTimeline(timeline);
            overlay.SetCurrentFrame(5);
            Line(overlay, QPointF(10, 10), QPointF(300, 200));
            overlay.SetActiveTool(AnnotationToolArrow);
            Line(overlay, QPointF(400, 300), QPointF(500, 100));
            overlay.SetActiveTool(AnnotationToolText);
            QVERIFY(overlay.BeginStroke(QPointF(320, 180)));
            overlay.SetStrokeText(QStringLiteral("fix ünïcødé"));
            overlay.EndStroke();
            overlay.SetActiveLayer(AnnotationLayerBackground);
            overlay.SetActiveTool(AnnotationToolEllipse);
            Line(overlay, QPointF(50, 50), QPointF(150, 120));
            foreground = timeline->FrameBookmarkAt(5)->Strokes();
            background = timeline->BackgroundAnnotations()->Strokes();
            QCOMPARE(foreground.size(), 3);
            QCOMPARE(background.size(), 1);
            document = ProjectFile::Serialise(project);
        }
        Project read;
        QObject::connect(&read, &Project::ParseSourceRequested, &read,
                         [](TimelineItem* item) { TestSupport::Parse(item->GetTimeline()->GetSource()); });
        QVERIFY(ProjectFile::ReadDocument(read, document, QStringLiteral("/tmp/annotations.plvx2"), true));
        QCOMPARE(read.Sources().size(), 1);
        Timeline* timeline = read.Sources().begin().value()->GetTimeline();
        QVERIFY(timeline->FrameBookmarkAt(5));
        const QList<AnnotationStroke> readForeground = timeline->FrameBookmarkAt(5)->Strokes();
        QCOMPARE(readForeground.size(), foreground.size());
        for (int i = 0; i < foreground.size(); ++i) {
            QCOMPARE(readForeground[i].type, foreground[i].type);
            QCOMPARE(readForeground[i].text, foreground[i].text);
            QCOMPARE(readForeground[i].color, foreground[i].color);
            QCOMPARE(readForeground[i].width, foreground[i].width);
            QCOMPARE(readForeground[i].path, foreground[i].path);
            QCOMPARE(readForeground[i].points.size(), foreground[i].points.size());
        }
        QCOMPARE(timeline->BackgroundAnnotations()->Strokes().size(), 1);
        QCOMPARE(timeline->BackgroundAnnotations()->Strokes().first().path, background.first().path);
    }
};

QTEST_MAIN(TestAnnotations)
#include "tst_annotations.moc"
