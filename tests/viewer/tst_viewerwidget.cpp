// The viewer widget on both renderers under a real display: synthetic flat-colour frames
// (A red, B blue), synthesised mouse, wheel and drop events, and grabs of what is shown.
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/VideoFrame.h"
#include "media/VideoStreamInfo.h"
#include "playback/PlaybackManager.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectMimeTypes.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SurfaceFormat.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QApplication>
#include <QCursor>
#include <QDataStream>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <functional>
#include <memory>

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
const QColor kYellow(255, 255, 0);

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

// A picture of one colour, with an optional blue 8 x 8 marker centred at `marker`, for
// timeline frame `frame` of 40 ms frames.
std::shared_ptr<VideoFrame> Frame(const VideoStreamInfo& info, const QColor& colour, int frame = 0,
                                  QPoint marker = QPoint(-100, -100))
{
    QImage image(info.width, info.height, QImage::Format_RGB888);
    image.fill(colour);
    for (int y = marker.y() - 4; y < marker.y() + 4; ++y)
        for (int x = marker.x() - 4; x < marker.x() + 4; ++x)
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

bool Near(const QColor& a, const QColor& b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

// The centre of the blue marker pixels in `image`; (-1, -1) when there are none.
QPointF MarkerCentre(const QImage& image)
{
    double sx = 0, sy = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 200 && c.red() < 60 && c.green() < 60) {
                sx += x;
                sy += y;
                ++count;
            }
        }
    return count ? QPointF(sx / count, sy / count) : QPointF(-1, -1);
}

void Send(QWidget* widget, QEvent::Type type, QPointF local, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, modifiers);
    QCoreApplication::sendEvent(widget, &event);
}

void Drag(QWidget* widget, QPointF from, QPointF to, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    Send(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
    Send(widget, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton, modifiers);
    Send(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
    Send(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
}

void Wheel(QWidget* widget, int notches, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
{
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    for (int i = 0; i < std::abs(notches); ++i) {
        QWheelEvent event(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, notches > 0 ? 120 : -120), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(widget, &event);
    }
}

} // namespace

class TestViewerWidget : public QObject
{
    Q_OBJECT

    std::unique_ptr<ViewerWidget> m_view;
    std::unique_ptr<Timeline> m_timeline;
    VideoStreamInfo m_info = StreamInfo();

    // A 640 x 360 viewer on the renderer the test row names, with a timeline loaded; false
    // (and a skip) where OpenGL cannot be had.
    bool Make(AvManager* engine = nullptr)
    {
        QFETCH(bool, hardware);
        m_view = std::make_unique<ViewerWidget>(engine, hardware);
        m_view->resize(640, 360);
        m_view->move(200, 200);
        m_view->show();
        if (!QTest::qWaitForWindowExposed(m_view.get()))
            return false;
        if (hardware && !QTest::qWaitFor([this] { return m_view->GlRenderer()->IsInitialised(); }, 5000))
            return false;
        m_timeline = std::make_unique<Timeline>(QStringLiteral("/no/such/clip.mov"), QString(), QUuid());
        m_view->SetPrimaryTimeline(m_timeline.get());
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

    QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

    void Rows()
    {
        QTest::addColumn<bool>("hardware");
        QTest::addRow("OpenGL") << true;
        QTest::addRow("software") << false;
    }

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
    }

    void cleanup()
    {
        m_view.reset();
        m_timeline.reset();
    }

#define MAKE_OR_SKIP(...)                                                          \
    do {                                                                           \
        if (!Make(__VA_ARGS__))                                                    \
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL 3.3 context on this display");       \
    } while (false)

    // The wipe's geometry on its own: snapping, angles kept in 0..360, the mask and the hit
    // tests, and the normalised place that survives a resize.
    void overlayWipeGeometry()
    {
        ViewerOverlay overlay;
        QSignalSpy masks(&overlay, &ViewerOverlay::WipeMaskChanged);
        overlay.SetGeometry(800, 500, 400, 40); // a 400-pixel picture area under a 40-pixel bar
        overlay.ResetWipe();
        QCOMPARE(overlay.WipePosition(), QPointF(400, 240));
        QVERIFY(overlay.WipeMask().isEmpty()); // off: A and B are drawn in full
        overlay.SetWipeEnabled(true);
        QVERIFY(masks.last().at(0).value<QPolygonF>().size() >= 4);
        QVERIFY(overlay.WipeMask().containsPoint(QPointF(390, 240), Qt::OddEvenFill));
        QVERIFY(!overlay.WipeMask().containsPoint(QPointF(410, 240), Qt::OddEvenFill));

        overlay.DragWipePosition(QPointF(407, 300), true);
        QCOMPARE(overlay.WipePosition(), QPointF(400, 300));
        QVERIFY(overlay.XCentred() && !overlay.YCentred());
        overlay.DragWipePosition(QPointF(407, 235), false);
        QCOMPARE(overlay.WipePosition(), QPointF(407, 235));
        Settings::Get().wipeSnapEnabled = false;
        overlay.DragWipePosition(QPointF(405, 243), true);
        QCOMPARE(overlay.WipePosition(), QPointF(405, 243));
        Settings::Get().wipeSnapEnabled = true;
        overlay.DragWipePosition(QPointF(-50, 900), true); // kept within the picture area
        QCOMPARE(overlay.WipePosition(), QPointF(0, 440));

        overlay.DragWipePosition(QPointF(200, 140), false);
        QCOMPARE(overlay.WipePositionNormalised(), QPointF(0.25, 0.25));
        overlay.SetGeometry(1600, 1000, 900, 50);
        QCOMPARE(overlay.WipePosition(), QPointF(400, 275.0));

        overlay.SetWipeAngle(358, true);
        QCOMPARE(overlay.WipeAngle(), 0.0);
        overlay.SetWipeAngle(96, true);
        QCOMPARE(overlay.WipeAngle(), 96.0);
        overlay.SetWipeAngle(-30, true);
        QCOMPARE(overlay.WipeAngle(), 330.0);
        overlay.SetWipeAngle(184, true);
        QCOMPARE(overlay.WipeAngle(), 180.0);
        QVERIFY(overlay.AngleSnapped());
        overlay.SetWipeAngle(90, false);
        QVERIFY(overlay.AngleSnapped()); // exactly a right angle counts without snapping

        // At 90 degrees the line is level: hit along it, not across it; A is above.
        const QPointF c = overlay.WipePosition();
        QVERIFY(overlay.HitsWipeLine(c + QPointF(300, 5)));
        QVERIFY(!overlay.HitsWipeLine(c + QPointF(0, 100)));
        QVERIFY(overlay.HitsPositionHandle(c + QPointF(6, 8)));
        QVERIFY(!overlay.HitsPositionHandle(c + QPointF(8, 8)));
        QVERIFY(overlay.WipeMask().containsPoint(c - QPointF(0, 20), Qt::OddEvenFill));
        QVERIFY(!overlay.WipeMask().containsPoint(c + QPointF(0, 20), Qt::OddEvenFill));
        overlay.SetWipeEnabled(false);
        QVERIFY(!overlay.HitsPositionHandle(c));
        QVERIFY(masks.last().at(0).value<QPolygonF>().isEmpty());

        // The zoom factor is shown for a moment when it changes.
        QVERIFY(overlay.Message().isEmpty());
        overlay.SetZoom(1.5f);
        QCOMPARE(overlay.Message(), QStringLiteral("1.5x"));
        QTRY_VERIFY_WITH_TIMEOUT(overlay.Message().isEmpty(), 5000);

        ViewerOverlay::MediaInfo info;
        info.name = QStringLiteral("shot.mov");
        info.frames = 48;
        info.fps = 23.976;
        info.duration = QStringLiteral("00:00:02.00");
        info.seconds = 2.002;
        info.width = 720;
        info.height = 486;
        info.pixelAspect = 0.9f;
        overlay.SetMediaInfo(info);
        const QStringList lines = overlay.MediaInfoLines();
        QCOMPARE(lines.at(0), QStringLiteral("Name: shot.mov"));
        QCOMPARE(lines.at(2), QStringLiteral("Frames: 48 (@ 23.976 fps)"));
        QCOMPARE(lines.at(3), QStringLiteral("Duration: 00:00:02.00 (2.002 seconds)"));
        QCOMPARE(lines.at(4), QStringLiteral("Resolution: 720x486 (PAR: 0.9)"));
        QCOMPARE(lines.size(), 8);
    }

    // Each layout puts A (red) and B (blue), or the grid's four colours, where they belong.
    void layouts_data() { Rows(); }
    void layouts()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        m_view->UpdateVideoFrameCache(1, Frame(m_info, kBlue), nullptr, nullptr);
        m_view->UpdateVideoFrameCache(2, Frame(m_info, kGreen), nullptr, nullptr);
        m_view->UpdateVideoFrameCache(3, Frame(m_info, kYellow), nullptr, nullptr);

        QVERIFY(Near(At(Shown(), 320, 180), kRed)); // single
        m_view->SetViewerLayoutByType(ViewerLayoutAB);
        QImage image = Shown();
        QVERIFY(Near(At(image, 100, 180), kRed) && Near(At(image, 540, 180), kRed)); // no wipe: A over B
        m_view->SetWipeEnabled(true);
        image = Shown();
        QVERIFY(Near(At(image, 100, 180), kRed));
        QVERIFY(Near(At(image, 540, 180), kBlue));
        m_view->SetViewerLayoutByType(ViewerLayoutHorizontal);
        image = Shown();
        QVERIFY(Near(At(image, 160, 180), kRed) && Near(At(image, 480, 180), kBlue));
        QVERIFY(Near(At(image, 160, 40), Qt::black)); // the 16:9 pictures are letter-boxed
        QVERIFY(!m_view->Overlay()->WipeEnabled()); // no wipe outside A/B
        m_view->SetViewerLayoutByType(ViewerLayoutVertical);
        image = Shown();
        QVERIFY(Near(At(image, 320, 90), kRed) && Near(At(image, 320, 270), kBlue));
        m_view->SetViewerLayoutByType(ViewerLayoutGrid);
        image = Shown();
        QVERIFY(Near(At(image, 160, 90), kRed) && Near(At(image, 480, 90), kBlue));
        QVERIFY(Near(At(image, 160, 270), kGreen) && Near(At(image, 480, 270), kYellow));
        m_view->SetViewerLayout(4, 4, 1);
        m_view->UpdateVideoFrameCache(15, Frame(m_info, kGreen), nullptr, nullptr);
        image = Shown();
        QVERIFY(Near(At(image, 80, 45), kRed) && Near(At(image, 560, 315), kGreen));
        // The layout call's edge cases.
        m_view->SetViewerLayout(2, 2, 2);
        QCOMPARE(m_view->Renderer()->ViewerCount(), 1);
        QCOMPARE(m_view->LayoutType(), int(ViewerLayoutGrid));
        m_view->SetViewerLayout(1, 1, 3);
        QCOMPARE(m_view->LayoutType(), int(ViewerLayoutAB));
        QCOMPARE(m_view->Renderer()->ViewerCount(), 2);
        m_view->SetViewerLayout(0, 3, 1);
        QCOMPARE(m_view->LayoutType(), int(ViewerLayoutSingle));
        QCOMPARE(m_view->Renderer()->Columns(), 1);
    }

    // The wipe dragged to 30 % shows A left of it; after a resize to 1.5x it is still at 30 %.
    void wipeKeepsItsPlace_data() { Rows(); }
    void wipeKeepsItsPlace()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        m_view->UpdateVideoFrameCache(1, Frame(m_info, kBlue), nullptr, nullptr);
        m_view->ToggleViewerLayoutTo(ViewerLayoutAB);
        QVERIFY(m_view->Overlay()->WipeEnabled());
        Drag(m_view.get(), QPointF(320, 180), QPointF(192, 180));
        QCOMPARE(m_view->Overlay()->WipePosition().x(), 192.0);
        QImage image = Shown();
        QVERIFY(Near(At(image, 186, 120), kRed));
        QVERIFY(Near(At(image, 198, 120), kBlue));
        m_view->resize(960, 540);
        QTRY_COMPARE(m_view->Overlay()->WipePosition().x(), 288.0);
        image = Shown();
        QVERIFY(Near(At(image, 282, 200), kRed));
        QVERIFY(Near(At(image, 294, 200), kBlue));
    }

    // Dragging the line turns the wipe: at 90 degrees A is on top. Snapping catches a few
    // degrees off a right angle; Ctrl held alone does not.
    void wipeTurns_data() { Rows(); }
    void wipeTurns()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        m_view->UpdateVideoFrameCache(1, Frame(m_info, kBlue), nullptr, nullptr);
        m_view->ToggleViewerLayoutTo(ViewerLayoutAB);
        ViewerOverlay* overlay = m_view->Overlay();
        // Grab the line above the centre and pull it round to the right, 3 degrees past.
        const double off = std::tan(3.0 * M_PI / 180.0) * 200.0;
        Drag(m_view.get(), QPointF(320, 80), QPointF(520, 180 - off));
        QCOMPARE(overlay->WipeAngle(), 90.0);
        QVERIFY(overlay->AngleSnapped());
        QImage image = Shown();
        QVERIFY(Near(At(image, 320, 120), kRed));  // A above
        QVERIFY(Near(At(image, 320, 240), kBlue)); // B below
        Drag(m_view.get(), QPointF(420, 180), QPointF(520, 180 - off), Qt::ControlModifier);
        QVERIFY2(std::abs(overlay->WipeAngle() - 87.0) < 0.5, qPrintable(QString::number(overlay->WipeAngle())));
        QVERIFY(!overlay->AngleSnapped());
        // The handle snaps to the centre within 10 pixels, not with Ctrl.
        m_view->ResetWipePositionAndRotation();
        Drag(m_view.get(), QPointF(320, 180), QPointF(327, 180));
        QCOMPARE(overlay->WipePosition(), QPointF(320, 180));
        QVERIFY(overlay->XCentred());
        Drag(m_view.get(), QPointF(320, 180), QPointF(327, 180), Qt::ControlModifier);
        QCOMPARE(overlay->WipePosition(), QPointF(327, 180));
    }

    // Ten Ctrl+wheel notches zoom to 2x, doubling a marker's distance from the centre; a
    // Ctrl+middle-drag then moves it by the drag, also when several moves are queued before
    // the event loop runs. The zoom stays within 1x..4x and is kept with the timeline.
    void panAndZoom_data() { Rows(); }
    void panAndZoom()
    {
        MAKE_OR_SKIP();
        // Marker 40 picture pixels right of the centre: 80 widget pixels at 2 pixels a pixel.
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed, 0, QPoint(200, 90)), nullptr, nullptr);
        QPointF marker = MarkerCentre(Shown());
        QVERIFY(std::abs(marker.x() - 400.0) < 2.0 && std::abs(marker.y() - 180.0) < 2.0);
        Wheel(m_view.get(), 10);
        QCOMPARE(m_view->ZoomFactor(), 2.0f);
        QVERIFY(m_view->PanZoomEnabled());
        marker = MarkerCentre(Shown());
        QVERIFY2(std::abs(marker.x() - 480.0) < 2.0 && std::abs(marker.y() - 180.0) < 2.0,
                 qPrintable(QStringLiteral("%1 %2").arg(marker.x()).arg(marker.y())));

        const QPointF start(300, 180);
        Send(m_view.get(), QEvent::MouseButtonPress, start, Qt::MiddleButton, Qt::MiddleButton, Qt::ControlModifier);
        // Four moves within one pass of the event loop: one is handled at once, the last of
        // the others when the pass ends.
        for (int i = 1; i <= 4; ++i)
            Send(m_view.get(), QEvent::MouseMove, start - QPointF(10 * i, 5 * i), Qt::NoButton, Qt::MiddleButton,
                 Qt::ControlModifier);
        QCoreApplication::processEvents();
        QCOMPARE(m_view->Pan(), QPointF(-40.0 / 320.0, -20.0 / 180.0));
        Send(m_view.get(), QEvent::MouseButtonRelease, start - QPointF(40, 20), Qt::MiddleButton, Qt::NoButton, Qt::ControlModifier);
        QTest::qWait(50);
        marker = MarkerCentre(Shown());
        QVERIFY2(std::abs(marker.x() - 440.0) < 2.0 && std::abs(marker.y() - 160.0) < 2.0,
                 qPrintable(QStringLiteral("%1 %2").arg(marker.x()).arg(marker.y())));
        QCOMPARE(m_timeline->Zoom(), 2.0f);
        QVERIFY(m_timeline->PanZoomEnabled());

        Wheel(m_view.get(), 40);
        QCOMPARE(m_view->ZoomFactor(), 4.0f);
        Wheel(m_view.get(), -50);
        QCOMPARE(m_view->ZoomFactor(), 1.0f);
        Wheel(m_view.get(), 3, Qt::ShiftModifier | Qt::ControlModifier); // not the zoom keys
        QCOMPARE(m_view->ZoomFactor(), 1.0f);
        m_view->SetPanAndZoom(QPointF(0.2, 0.0), 5.0f, true, true);
        QCOMPARE(m_view->ZoomFactor(), 4.0f);
        m_view->ResetPanAndZoom(true);
        marker = MarkerCentre(Shown());
        QVERIFY(std::abs(marker.x() - 400.0) < 2.0);
    }

    // A timeline brings its own pan and zoom, applied with its first frame; what happens
    // before that (a resize) does not overwrite them. Without restoring, they are reset.
    void panZoomComesWithTheTimeline_data() { Rows(); }
    void panZoomComesWithTheTimeline()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        Wheel(m_view.get(), 5);
        QCOMPARE(m_timeline->Zoom(), 1.5f);
        Timeline next(QStringLiteral("/no/such/other.mov"), QString(), QUuid());
        next.SetPanZoom(QPointF(0.5, -0.25), 2.0f, true);
        m_view->SetPrimaryTimeline(&next);
        m_view->resize(700, 400);
        QTRY_COMPARE(m_view->width(), 700);
        QCOMPARE(next.Zoom(), 2.0f);
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        QCOMPARE(m_view->ZoomFactor(), 2.0f);
        QCOMPARE(m_view->Pan(), QPointF(0.5, -0.25));
        QVERIFY(m_view->PanZoomEnabled());

        Settings::Get().restorePanZoomOnProjectLoad = false;
        m_view->SetPrimaryTimeline(m_timeline.get());
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        QCOMPARE(m_view->ZoomFactor(), 1.0f);
        QVERIFY(!m_view->PanZoomEnabled());
        m_view->SetPrimaryTimeline(nullptr);
    }

    // Scrubbing steps one frame per threshold of movement from the anchor, at most one per
    // event; Shift and Alt change the threshold; at the screen's edge the pointer comes round.
    void scrub_data() { Rows(); }
    void scrub()
    {
        MAKE_OR_SKIP();
        QSignalSpy next(m_view.get(), &ViewerWidget::SeekNextFrameRequested);
        QSignalSpy previous(m_view.get(), &ViewerWidget::SeekPreviousFrameRequested);
        auto press = [&](double x, Qt::KeyboardModifiers m = Qt::NoModifier) {
            Send(m_view.get(), QEvent::MouseButtonPress, QPointF(x, 100), Qt::LeftButton, Qt::LeftButton, m);
        };
        auto move = [&](double x, Qt::KeyboardModifiers m = Qt::NoModifier) {
            Send(m_view.get(), QEvent::MouseMove, QPointF(x, 100), Qt::NoButton, Qt::LeftButton, m);
        };
        auto release = [&](double x) {
            Send(m_view.get(), QEvent::MouseButtonRelease, QPointF(x, 100), Qt::LeftButton, Qt::NoButton);
        };
        press(100);
        move(145); // 45 pixels in one event: one frame
        QCOMPARE(next.size(), 1);
        move(160); // 15 from the anchor at 145
        QCOMPARE(next.size(), 1);
        move(165); // 20
        QCOMPARE(next.size(), 2);
        move(140); // 25 back
        QCOMPARE(previous.size(), 1);
        release(140);

        next.clear();
        press(100, Qt::ShiftModifier);
        move(145, Qt::ShiftModifier);
        QCOMPARE(next.size(), 0);
        move(150, Qt::ShiftModifier);
        QCOMPARE(next.size(), 1);
        move(200, Qt::AltModifier); // 50 with Alt's 5: still one frame for the event
        QCOMPARE(next.size(), 2);
        move(205, Qt::AltModifier | Qt::ShiftModifier); // both held: the plain 20
        QCOMPARE(next.size(), 2);
        release(205);

        // At the screen's right edge the pointer goes to its left edge, and the anchor with it.
        QScreen* screen = m_view->screen();
        const QRect edges = screen->geometry();
        next.clear();
        press(100);
        const QPoint edge(edges.right(), m_view->mapToGlobal(QPoint(0, 100)).y());
        const QPointF local = m_view->mapFromGlobal(QPointF(edge));
        Send(m_view.get(), QEvent::MouseMove, local, Qt::NoButton, Qt::LeftButton);
        // Just inside the far edge, out of reach of the probe, so the move the jump makes
        // does not send it back.
        QTRY_COMPARE(QCursor::pos().x(), edges.left() + 3);
        Send(m_view.get(), QEvent::MouseMove, m_view->mapFromGlobal(QPointF(edges.left() + 3, edge.y())), Qt::NoButton,
             Qt::LeftButton);
        QTest::qWait(50);
        QCOMPARE(QCursor::pos().x(), edges.left() + 3);
        const int afterWarp = static_cast<int>(next.size());
        Send(m_view.get(), QEvent::MouseMove, m_view->mapFromGlobal(QPointF(edges.left() + 23, edge.y())), Qt::NoButton,
             Qt::LeftButton);
        QCOMPARE(next.size(), afterWarp + 1); // measured from where the pointer landed
        release(100);
        Settings::Get().endlessMouseScrub = false;
        QCursor::setPos(screen, edges.center());
        press(100);
        Send(m_view.get(), QEvent::MouseMove, local, Qt::NoButton, Qt::LeftButton);
        QTest::qWait(50);
        QCOMPARE(QCursor::pos(), edges.center());
        release(100);
    }

    // The engine's three frames per viewport: a playback time inside the next frame shows it
    // at once; a null delivery leaves only the background.
    void frameSlots_data() { Rows(); }
    void frameSlots()
    {
        MAKE_OR_SKIP();
        QSignalSpy primary(m_view.get(), &ViewerWidget::PrimaryVideoFrameChanged);
        const auto ten = Frame(m_info, kRed, 10);
        const auto nine = Frame(m_info, kGreen, 9);
        const auto eleven = Frame(m_info, kBlue, 11);
        m_view->UpdateVideoFrameCache(0, ten, nine, eleven);
        QCOMPARE(m_view->ShownFrame(0), ten);
        QVERIFY(Near(At(Shown(), 320, 180), kRed));
        m_view->UpdateViewportFrames(11 * 40000 + 5);
        QCOMPARE(m_view->ShownFrame(0), eleven);
        QVERIFY(Near(At(Shown(), 320, 180), kBlue));
        m_view->UpdateViewportFrames(9 * 40000 + 39999);
        QCOMPARE(m_view->ShownFrame(0), nine);
        m_view->UpdateViewportFrames(30 * 40000); // none covers it: what is shown stays
        QCOMPARE(m_view->ShownFrame(0), nine);
        QCOMPARE(primary.size(), 3);
        m_view->UpdateVideoFrameCache(0, nullptr, nullptr, nullptr);
        QVERIFY(!m_view->ShownFrame(0));
        const QImage image = Shown();
        QVERIFY(Near(At(image, 320, 180), Qt::black, 5) && Near(At(image, 10, 10), Qt::black, 5));
    }

    // Files dropped on a viewport open in it; with Ctrl in consecutive viewports from the
    // first; a project file opens as a project; project items are routed by their type.
    void drops_data() { Rows(); }
    void drops()
    {
        MAKE_OR_SKIP();
        m_view->SetViewerLayoutByType(ViewerLayoutHorizontal);
        QSignalSpy urls(m_view.get(), &ViewerWidget::OpenUrlsInViewerRequested);
        QSignalSpy timelines(m_view.get(), &ViewerWidget::OpenTimelinesInViewerRequested);
        QSignalSpy folders(m_view.get(), &ViewerWidget::OpenFolderInViewerRequested);
        QSignalSpy projects(m_view.get(), &ViewerWidget::OpenProjectRequested);
        auto drop = [&](QMimeData* mime, QPointF at, Qt::KeyboardModifiers modifiers) {
            QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, modifiers);
            QCoreApplication::sendEvent(m_view.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent event(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, modifiers);
            QCoreApplication::sendEvent(m_view.get(), &event);
            delete mime;
        };
        auto files = [](QStringList names) {
            auto* mime = new QMimeData;
            QList<QUrl> list;
            for (const QString& name : names)
                list << QUrl::fromLocalFile(QStringLiteral("/media/") + name);
            mime->setUrls(list);
            return mime;
        };
        drop(files({QStringLiteral("a.mov")}), QPointF(480, 180), Qt::NoModifier);
        QCOMPARE(urls.size(), 1);
        QCOMPARE(urls.at(0).at(1).toInt(), 1);
        QCOMPARE(urls.at(0).at(2).toInt(), 1);
        QCOMPARE(urls.at(0).at(3).toBool(), true);
        drop(files({QStringLiteral("a.mov"), QStringLiteral("b.mov"), QStringLiteral("c.mov")}), QPointF(480, 180),
             Qt::ControlModifier);
        QCOMPARE(urls.size(), 2);
        QCOMPARE(urls.at(1).at(0).value<QList<QUrl>>().size(), 3);
        QCOMPARE(urls.at(1).at(1).toInt(), 0);
        QCOMPARE(urls.at(1).at(2).toInt(), 3);
        drop(files({QStringLiteral("review.plvx")}), QPointF(100, 180), Qt::NoModifier);
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects.at(0).at(0).toString(), QStringLiteral("/media/review.plvx"));

        auto items = [](const QString& type, const QList<QUuid>& ids) {
            QByteArray payload;
            QDataStream stream(&payload, QIODevice::WriteOnly);
            stream << static_cast<qint64>(ids.size());
            for (const QUuid& id : ids)
                stream << id;
            auto* mime = new QMimeData;
            mime->setData(type, payload);
            return mime;
        };
        const QList<QUuid> ids{QUuid::createUuid(), QUuid::createUuid()};
        drop(items(ProjectMimeTypes::Timelines, ids), QPointF(100, 180), Qt::NoModifier);
        QCOMPARE(timelines.size(), 1);
        QCOMPARE(timelines.at(0).at(0).value<QList<QUuid>>(), ids);
        QCOMPARE(timelines.at(0).at(1).toInt(), 0);
        QCOMPARE(timelines.at(0).at(2).toInt(), 1);
        drop(items(ProjectMimeTypes::Folder, {ids.first()}), QPointF(480, 180), Qt::NoModifier);
        QCOMPARE(folders.size(), 1);
        QCOMPARE(folders.at(0).at(0).toUuid(), ids.first());
        QCOMPARE(folders.at(0).at(1).toInt(), 1);

        // Outside every viewport (three columns leave a pixel at the right): nothing.
        m_view->SetViewerLayout(1, 3, 1);
        drop(files({QStringLiteral("a.mov")}), QPointF(639.5, 180), Qt::NoModifier);
        QCOMPARE(urls.size(), 2);
    }

    // The eyedropper reports the colour under the pointer and picks it on a press.
    void eyedropper_data() { Rows(); }
    void eyedropper()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        QSignalSpy picked(m_view.get(), &ViewerWidget::AnnotationToolColorChangeRequested);
        m_view->SetEyeDropperEnabled(true);
        Shown();
        Send(m_view.get(), QEvent::MouseMove, QPointF(200, 150), Qt::NoButton, Qt::NoButton);
#ifdef PLOVEX_DEVICE_PIXEL_RATIO_2
        QCOMPARE(m_view->devicePixelRatioF(), 2.0);
#endif
        QVERIFY(Near(m_view->Overlay()->EyeDropperColor(), kRed, 3));
        QCOMPARE(m_view->Overlay()->EyeDropperPoint(), QPoint(200, 150));
        QCOMPARE(m_view->Overlay()->EyeDropperPixel(), QPoint(100, 75)); // two widget pixels a pixel
        Send(m_view.get(), QEvent::MouseButtonPress, QPointF(400, 250), Qt::LeftButton, Qt::LeftButton);
        Send(m_view.get(), QEvent::MouseButtonRelease, QPointF(400, 250), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(picked.size(), 1);
        QVERIFY(Near(picked.at(0).at(0).value<QColor>(), kRed, 3));

    }

    // With a 40-pixel time bar above the picture and the one below hidden, the handle, its
    // hit test and the edge of the mask agree to a pixel, at 1x and zoomed.
    void timeBarAgreement_data()
    {
        QTest::addColumn<bool>("hardware");
        QTest::addRow("OpenGL") << true;
    }
    void timeBarAgreement()
    {
        MAKE_OR_SKIP();
        QWidget top;
        QWidget bottom;
        top.setFixedHeight(40);
        bottom.setFixedHeight(40);
        OpenGLViewer* gl = m_view->GlRenderer();
        top.setParent(gl);
        bottom.setParent(gl);
        gl->SetTimeBars(&top, &bottom);
        gl->SetTimeBarsVisible(true, false);
        m_view->resize(640, 400); // a 360-pixel picture area under the bar
        QTRY_COMPARE(m_view->Overlay()->PictureArea(), QRect(0, 40, 640, 360));
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed), nullptr, nullptr);
        m_view->UpdateVideoFrameCache(1, Frame(m_info, kBlue), nullptr, nullptr);
        m_view->ToggleViewerLayoutTo(ViewerLayoutAB);
        QCOMPARE(m_view->Overlay()->WipePosition(), QPointF(320, 220));
        Drag(m_view.get(), QPointF(320, 220), QPointF(250, 150));
        const QPointF handle = m_view->Overlay()->WipePosition();
        QCOMPARE(handle, QPointF(250, 150));
        QVERIFY(m_view->Overlay()->HitsPositionHandle(QPointF(250, 150)));
        // The last red pixel and the first blue one of a row: the 1-pixel wipe line drawn at
        // the handle lies between them.
        auto agrees = [&](const QImage& image, int y) {
            int lastRed = -1;
            int firstBlue = -1;
            for (int x = 0; x < image.width(); ++x) {
                if (Near(image.pixelColor(x, y), kRed))
                    lastRed = x;
                if (firstBlue < 0 && Near(image.pixelColor(x, y), kBlue))
                    firstBlue = x;
            }
            const bool ok = lastRed >= 248 && lastRed < 251 && firstBlue >= 250 && firstBlue <= 252;
            if (!ok)
                qWarning("row %d: red up to %d, blue from %d", y, lastRed, firstBlue);
            return ok;
        };
        const QImage image = Shown();
        for (int y : {60, 200, 300, 399}) // not the handle's own row
            QVERIFY(agrees(image, y));
        m_view->SetPanAndZoom(QPointF(0.3, 0.2), 2.0f, true, true);
        const QImage zoomed = Shown();
        for (int y : {100, 250, 330})
            QVERIFY(agrees(zoomed, y));
        // The guides follow the picture's centre as the renderer moves it: a marker at the
        // picture's centre lies where the overlay puts it.
        m_view->SetWipeEnabled(false);
        m_view->UpdateVideoFrameCache(0, Frame(m_info, kRed, 0, QPoint(160, 90)), nullptr, nullptr);
        const QPointF marker = MarkerCentre(Shown());
        const QPointF expected = QPointF(320, 220) + QPointF(m_view->Overlay()->PictureOffset());
        QVERIFY2(QLineF(marker, expected).length() < 2.0,
                 qPrintable(QStringLiteral("marker %1,%2 overlay %3,%4").arg(marker.x()).arg(marker.y()).arg(expected.x()).arg(expected.y())));
        gl->SetTimeBars(nullptr, nullptr);
    }

    // A scrub while playing pauses for the drag and resumes in the same direction.
    void scrubDuringPlayback()
    {
        QObject owner;
        Timeline* timeline = TestSupport::ParsedTimeline(TestSupport::MediaPath(QStringLiteral("clip_1080p25.mp4")), &owner);
        AvManager engine;
        m_view = std::make_unique<ViewerWidget>(&engine, false);
        m_view->resize(640, 360);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->SetPrimaryTimeline(timeline);
        engine.DecodeTimeline(timeline, 0, false, true);
        QTRY_VERIFY_WITH_TIMEOUT(m_view->ShownFrame(0), 20000);
        engine.SetPlaybackTime(timeline->FrameStartTime(40));
        engine.Play(false);
        QTRY_VERIFY(engine.Clock()->IsPlaying());
        QSignalSpy paused(m_view.get(), &ViewerWidget::FrameScrubTempPause);
        Send(m_view.get(), QEvent::MouseButtonPress, QPointF(300, 100), Qt::LeftButton, Qt::LeftButton);
        QVERIFY(!engine.Clock()->IsPlaying());
        QCOMPARE(paused.size(), 1);
        Send(m_view.get(), QEvent::MouseMove, QPointF(340, 100), Qt::NoButton, Qt::LeftButton);
        Send(m_view.get(), QEvent::MouseButtonRelease, QPointF(340, 100), Qt::LeftButton, Qt::NoButton);
        QVERIFY(engine.Clock()->IsPlaying());
        QVERIFY(!engine.Clock()->PlayForward());
        engine.Pause();
        m_view.reset();
        QVERIFY(engine.Shutdown(true, 10000));
    }
};

int main(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
#ifdef PLOVEX_DEVICE_PIXEL_RATIO_2
    // Two device pixels to a pixel: the picking and the layouts must hold there too.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    TestViewerWidget test;
    QStringList arguments = application.arguments();
    if (arguments.size() == 1)
        arguments << QStringLiteral("layouts") << QStringLiteral("eyedropper") << QStringLiteral("wipeKeepsItsPlace");
    return QTest::qExec(&test, arguments);
#else
    QApplication application(argc, argv);
    TestViewerWidget test;
    return QTest::qExec(&test, argc, argv);
#endif
}

#include "tst_viewerwidget.moc"
