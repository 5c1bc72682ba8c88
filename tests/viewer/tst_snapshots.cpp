// Captures of the view: on both renderers under a real display, with synthetic frames delivered
// through the event loop by a time control of the test's own, and with the real engine decoding
// a generated clip whose pictures carry their frame number.
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/VideoFrame.h"
#include "media/VideoStreamInfo.h"
#include "project/ProjectGlobals.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/PointerSampler.h"
#include "viewer/SnapshotManager.h"
#include "viewer/SnapshotTimeControl.h"
#include "viewer/SurfaceFormat.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>
#include <memory>

namespace {

const QColor kGrey(128, 128, 128);
const QColor kGreen(0, 255, 0);
const QColor kMagenta(255, 0, 255);
const QColor kCyan(0, 255, 255);

// Samples handed in by the test (none here: a press and release make a dot).
class FakeSampler : public PointerSampler
{
public:
    void Start() override { m_active = true; }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }

private:
    bool m_active = false;
};

// The time control a capture steps: fixed spans, and seeks handed to the test.
class FakeTimeControl : public SnapshotTimeControl
{
public:
    int start = 0;
    int end = 0;
    int rangeStart = 0;
    int rangeEnd = 0;
    std::function<void(int)> seek;
    QList<int> seeks;

    int StartFrame() const override { return start; }
    int EndFrame() const override { return end; }
    int RangeStartFrame() const override { return rangeStart; }
    int RangeEndFrame() const override { return rangeEnd; }
    void SeekFrame(int frame) override
    {
        seeks.append(frame);
        if (seek)
            seek(frame);
    }
};

VideoStreamInfo StreamInfo()
{
    VideoStreamInfo info;
    info.width = 320;
    info.height = 180;
    info.paddedWidth = 320;
    info.pixelAspect = 1.0f;
    info.displayAspect = 320.0f / 180.0f;
    return info;
}

// A grey picture for timeline frame `frame` of 40 ms frames.
std::shared_ptr<VideoFrame> Frame(const VideoStreamInfo& info, int frame)
{
    QImage image(info.width, info.height, QImage::Format_RGB888);
    image.fill(kGrey);
    const uint8_t* data[] = {image.constBits(), nullptr, nullptr};
    const int lines[] = {static_cast<int>(image.bytesPerLine()), 0, 0};
    auto made = VideoFrame::Create(data, lines, info.width, info.height, VideoFrameFormatRGB, frame * 40000, 40000.0, &info, false);
    made->timelineFrameStartTime = frame * 40000;
    made->timelineFrameEndTime = frame * 40000 + 39999;
    made->firstTimelineFrame = made->lastTimelineFrame = frame;
    return made;
}

bool Near(const QColor& a, const QColor& b, int tolerance = 60)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

int Count(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Near(image.pixelColor(x, y), colour))
                ++count;
    return count;
}

void Send(QWidget* widget, QEvent::Type type, QPointF local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

QStringList Files(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestSnapshots : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_panel; // the viewer with a time bar beside it, as the player has it
    ViewerWidget* m_view = nullptr;
    QWidget* m_bar = nullptr;
    std::unique_ptr<Timeline> m_timeline;
    VideoStreamInfo m_info = StreamInfo();
    FakeTimeControl m_time;

    // A viewer on the renderer the row names, with a cyan time bar 40 pixels high above the
    // picture: inside the OpenGL renderer, as that renderer keeps it, or above the software
    // viewer in the panel. The picture area is 640 x 360 either way. `engine` may be null.
    bool Make(AvManager* engine = nullptr)
    {
        QFETCH(bool, hardware);
        m_panel = std::make_unique<QWidget>();
        auto* column = new QVBoxLayout(m_panel.get());
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        m_view = new ViewerWidget(engine, hardware);
        m_view->SetPointerSampler(new FakeSampler);
        m_bar = new QWidget;
        m_bar->setFixedHeight(40);
        m_bar->setAutoFillBackground(true);
        QPalette palette = m_bar->palette();
        palette.setColor(QPalette::Window, kCyan);
        m_bar->setPalette(palette);
        if (hardware) {
            column->addWidget(m_view);
            m_panel->resize(640, 400);
        } else {
            column->addWidget(m_bar);
            column->addWidget(m_view);
            m_panel->resize(640, 400);
        }
        m_panel->move(200, 200);
        m_panel->show();
        if (!QTest::qWaitForWindowExposed(m_panel.get()))
            return false;
        if (hardware) {
            if (!QTest::qWaitFor([this] { return m_view->GlRenderer()->IsInitialised(); }, 5000))
                return false;
            OpenGLViewer* gl = m_view->GlRenderer();
            m_bar->setParent(gl);
            gl->SetTimeBars(m_bar, nullptr);
            gl->SetTimeBarsVisible(true, false);
        }
        if (!engine) {
            m_timeline = std::make_unique<Timeline>(QStringLiteral("/media/a.mov"), QString(), QUuid());
            TestSupport::FakeParsedVideo(*m_timeline->GetSource(), 10, 25.0);
            m_view->SetPrimaryTimeline(m_timeline.get());
        }
        return true;
    }

    // Seeks answered later from the event loop, with the frame given by `shown` for the one
    // asked for (the frame itself unless a test says otherwise).
    void DeliverSyntheticFrames(std::function<int(int)> shown = [](int frame) { return frame; })
    {
        m_time.seek = [this, shown](int frame) {
            QTimer::singleShot(0, m_view, [this, frame, shown] {
                m_view->UpdateVideoFrameCache(0, Frame(m_info, shown(frame)), nullptr, nullptr);
            });
        };
    }

    QSize PictureArea() const
    {
        const qreal ratio = m_view->devicePixelRatioF();
        return QSize(640, 360) * ratio;
    }

    void Rows()
    {
        QTest::addColumn<bool>("hardware");
        QTest::addRow("OpenGL") << true;
        QTest::addRow("software") << false;
    }

    void SoftwareRow()
    {
        QTest::addColumn<bool>("hardware");
        QTest::addRow("software") << false;
    }

#define MAKE_OR_SKIP(...)                                                    \
    do {                                                                     \
        if (!Make(__VA_ARGS__))                                              \
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
        Settings::Get().pencilSize = 20.0f; // a dot about 13 pixels wide on a 640-pixel picture
        Settings::Get().annotationToolColor = kGreen;
        Settings::Get().viewerOverlayLineColor = kMagenta;
        m_time = FakeTimeControl();
    }

    void cleanup()
    {
        m_panel.reset();
        m_view = nullptr;
        m_bar = nullptr;
        m_timeline.reset();
    }

    void namesAndFilters()
    {
        QCOMPARE(SnapshotManager::SequenceFilePath("/out", "shot", 7, 4, "png"), QStringLiteral("/out/shot.0007.png"));
        QCOMPARE(SnapshotManager::SequenceFilePath("/out", "shot", 12345, 4, "jpg"), QStringLiteral("/out/shot.12345.jpg"));
        QCOMPARE(SnapshotManager::SequenceFilePath("/out", "a b", 3, 1, "png"), QStringLiteral("/out/a b.3.png"));
        QCOMPARE(SnapshotManager::FileDialogFilter(0), QStringLiteral("PNG (*.png)"));
        QCOMPARE(SnapshotManager::FileDialogFilter(1), QStringLiteral("JPG (*.jpg)"));
        QCOMPARE(SnapshotManager::FileDialogFilter(2), QStringLiteral("PNG (*.png)"));
        QTemporaryDir folder;
        Settings::Get().lastImgCaptureDirPath = folder.path();
        QVERIFY(SnapshotManager::ProposedSnapshotPath().startsWith(folder.path() + "/snapshot_"));
        Settings::Get().lastImgCaptureDirPath = folder.path() + "/gone";
        QVERIFY(!SnapshotManager::ProposedSnapshotPath().startsWith(folder.path()));
        SnapshotManager manager(nullptr, nullptr);
        QCOMPARE(manager.FrameTimeout(), SnapshotManager::kDefaultFrameTimeoutMs);
        QCOMPARE(manager.LastExtension(), QStringLiteral("png"));
    }

    // What the viewer shows goes into the capture, drawings and guides included, and the time
    // bar does not: the capture is the picture area.
    void captureHoldsDrawingAndOverlay_data() { Rows(); }
    void captureHoldsDrawingAndOverlay()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        m_view->SetAnnotationVisibility(AnnotationVisibilityOn);
        m_view->SetViewerOverlayDrawable(OverlaySafeArea);
        m_view->SetAnnotationTool(AnnotationToolPencil);
        const QPointF dot = m_view->GlRenderer() ? QPointF(200, 240) : QPointF(200, 200); // picture (200, 200)
        Send(m_view, QEvent::MouseButtonPress, dot, Qt::LeftButton, Qt::LeftButton);
        Send(m_view, QEvent::MouseButtonRelease, dot, Qt::LeftButton, Qt::NoButton);
        QVERIFY(m_timeline->FrameBookmarkAt(0));

        SnapshotManager manager(m_view, &m_time);
        QImage image;
        QTRY_VERIFY_WITH_TIMEOUT((image = manager.CaptureView(), Count(image, kGreen) > 50 && Count(image, kMagenta) > 500), 5000);
        const qreal ratio = m_view->devicePixelRatioF();
        QCOMPARE(image.size(), PictureArea());
        QCOMPARE(Count(image, kCyan), 0);
        // The top row is the picture's (grey, crossed by nothing there), not the bar's place.
        QVERIFY(Near(image.pixelColor(image.width() / 2, 1), kGrey, 20));
        // The dot lies where it was drawn on the picture.
        QVERIFY(Near(image.pixelColor(static_cast<int>(200 * ratio), static_cast<int>(200 * ratio)), kGreen));
        // The 93 % safe-area frame's top edge, 12.6 pixels below the picture's top.
        bool edge = false;
        for (int y = static_cast<int>(10 * ratio); y <= static_cast<int>(15 * ratio); ++y)
            edge = edge || Near(image.pixelColor(image.width() / 2, y), kMagenta, 80);
        QVERIFY(edge);

        // Drawings switched off are not captured.
        m_view->SetAnnotationVisibility(AnnotationVisibilityOff);
        QTRY_COMPARE_WITH_TIMEOUT(Count(manager.CaptureView(), kGreen), 0, 5000);
    }

    void clipboard_data() { Rows(); }
    void clipboard()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        m_view->SetViewerOverlayDrawable(OverlaySafeArea);
        QGuiApplication::clipboard()->clear();
        SnapshotManager manager(m_view, &m_time);
        QVERIFY(manager.SnapshotToClipboard());
        QImage copied;
        QTRY_VERIFY((copied = QGuiApplication::clipboard()->image(), !copied.isNull()));
        QCOMPARE(copied.size(), PictureArea());
        QVERIFY(Near(copied.pixelColor(copied.width() / 2, copied.height() / 2), kGrey, 20));
        QVERIFY(Count(copied, kMagenta) > 500);
    }

    // The file goes where it was asked, in the format its extension names; the folder is made,
    // remembered, and the extension is kept for the next snapshot.
    void file_data() { SoftwareRow(); }
    void file()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        QTemporaryDir root;
        const QString folder = root.path() + "/new/snap shots";
        SnapshotManager manager(m_view, &m_time);
        QVERIFY(manager.SnapshotToFolder(folder, "first", "jpg"));
        QCOMPARE(Settings::Get().lastImgCaptureDirPath, folder);
        QCOMPARE(QImageReader(folder + "/first.jpg").format(), QByteArray("jpeg"));
        QVERIFY(manager.SnapshotToFolder(folder, "second"));
        QCOMPARE(QImageReader(folder + "/second.jpg").format(), QByteArray("jpeg"));
        QVERIFY(manager.SnapshotToFolder(folder, "third", "png"));
        QImageReader png(folder + "/third.png");
        QCOMPARE(png.format(), QByteArray("png"));
        const QImage saved = png.read();
        QCOMPARE(saved.size(), PictureArea());
        QVERIFY(Near(saved.pixelColor(320, 180), kGrey, 20));
        QCOMPARE(Files(folder), QStringList({"first.jpg", "second.jpg", "third.png"}));

        // Mode 0 through the frame writer: the view as it is, one file, reported with its frame.
        QSignalSpy generated(&manager, &SnapshotManager::ExportFrameGenerated);
        SnapshotProperties current{folder, "now", "png", SnapshotModeCurrentView, 4};
        QCOMPARE(manager.WriteSnapshotFrames(current), 0);
        QCOMPARE(generated.size(), 1);
        QCOMPARE(generated[0][1].toInt(), 0);
        QVERIFY(m_time.seeks.isEmpty());
        QCOMPARE(QImageReader(folder + "/now.png").format(), QByteArray("png"));

        // A folder that cannot be made (a file stands in its way).
        TestSupport::Touch(root.path() + "/blocked");
        TestSupport::LogCapture log;
        QVERIFY(!manager.SnapshotToFolder(root.path() + "/blocked/sub", "x", "png"));
        QVERIFY(log.HasError("Failed to create snapshot directory: " + root.path() + "/blocked/sub"));
        // An image format that cannot be written.
        QVERIFY(!manager.SnapshotToFolder(folder, "odd", "nosuchformat"));
        QVERIFY(log.HasError("Failed to save snapshot: " + folder + "/odd.nosuchformat"));
    }

    // Bookmarks only, over the playback range, with the real engine: exactly the bookmarked
    // frames inside the range, each file showing the picture its name numbers.
    void bookmarksOfRangeWithEngine_data() { Rows(); }
    void bookmarksOfRangeWithEngine()
    {
        QObject owner;
        Timeline* timeline = TestSupport::ParsedTimeline(TestSupport::MediaPath(QStringLiteral("long_silent_3min.mp4")), &owner);
        QVERIFY(timeline->LastFrame() > 100);
        AvManager engine;
        if (!Make(&engine)) {
            engine.Shutdown(true, 10000);
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL 3.3 context on this display");
        }
        m_view->SetPrimaryTimeline(timeline);
        engine.DecodeTimeline(timeline, 0, false, true);
        QTRY_VERIFY_WITH_TIMEOUT(m_view->ShownFrame(0), 20000);
        for (int frame : {3, 10, 11, 30, 41, 60})
            QVERIFY(timeline->AddFrameBookmark(frame) >= 0);
        m_time.start = 0;
        m_time.end = timeline->LastFrame();
        m_time.rangeStart = 5;
        m_time.rangeEnd = 40;
        m_time.seek = [&](int frame) { engine.SetPlaybackTime(timeline->FrameStartTime(frame)); };

        QTemporaryDir folder;
        SnapshotManager manager(m_view, &m_time);
        QSignalSpy generated(&manager, &SnapshotManager::ExportFrameGenerated);
        QSignalSpy progress(&manager, &SnapshotManager::SnapshotProgressChanged);
        SnapshotProperties properties;
        properties.folder = folder.path();
        properties.name = "shot";
        properties.format = "png";
        properties.mode = SnapshotModeRangeBookmarks;
        properties.frameNumberWidth = 4;
        QCOMPARE(manager.FramesToCapture(properties), QList<int>({10, 11, 30}));
        QCOMPARE(manager.WriteSnapshotFrames(properties), 10);

        QCOMPARE(Files(folder.path()), QStringList({"shot.0010.png", "shot.0011.png", "shot.0030.png"}));
        for (int frame : {10, 11, 30}) {
            const QImage image(SnapshotManager::SequenceFilePath(folder.path(), "shot", frame, 4, "png"));
            QCOMPARE(image.size(), PictureArea()); // 64 x 36 scaled to fill the 640 x 360 area
            QCOMPARE(TestSupport::FrameNumberFromImage(image, image.width(), image.height()), frame);
        }
        QCOMPARE(generated.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const int frame = QList<int>({10, 11, 30})[i];
            QCOMPARE(generated[i][1].toInt(), frame);
            const QImage image = generated[i][0].value<QImage>();
            QCOMPARE(TestSupport::FrameNumberFromImage(image, image.width(), image.height()), frame);
        }
        QCOMPARE(progress.first()[0].toInt(), 0);
        QCOMPARE(progress.last()[0].toInt(), 100);

        // The whole timeline's bookmarks take the ones outside the range too.
        properties.mode = SnapshotModeAllBookmarks;
        QCOMPARE(manager.FramesToCapture(properties), QList<int>({3, 10, 11, 30, 41, 60}));
        properties.mode = SnapshotModeRangeFrames;
        QCOMPARE(manager.FramesToCapture(properties).size(), 36);

        m_panel.reset();
        QVERIFY(engine.Shutdown(true, 10000));
    }

    // Every frame of the range, delivered later through the event loop; the wait takes the
    // frame asked for, not whatever frame comes next.
    void rangeFramesWaitForTheirFrame_data() { Rows(); }
    void rangeFramesWaitForTheirFrame()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        m_time.rangeStart = 2;
        m_time.rangeEnd = 5;
        // Each seek first shows the frame before the one asked for, then the one asked for.
        m_time.seek = [this](int frame) {
            QTimer::singleShot(0, m_view, [this, frame] {
                m_view->UpdateVideoFrameCache(0, Frame(m_info, frame - 1), nullptr, nullptr);
                QTimer::singleShot(0, m_view, [this, frame] {
                    m_view->UpdateVideoFrameCache(0, Frame(m_info, frame), nullptr, nullptr);
                });
            });
        };
        QTemporaryDir folder;
        SnapshotManager manager(m_view, &m_time);
        QList<int> shownWhenCaptured;
        connect(&manager, &SnapshotManager::ExportFrameGenerated, this, [&](const QImage&, int) {
            shownWhenCaptured.append(m_view->ShownFrame(0)->firstTimelineFrame);
        });
        SnapshotProperties properties{folder.path(), "r", "jpg", SnapshotModeRangeFrames, 3};
        QCOMPARE(manager.WriteSnapshotFrames(properties), 2);
        QCOMPARE(shownWhenCaptured, QList<int>({2, 3, 4, 5}));
        QCOMPARE(Files(folder.path()), QStringList({"r.002.jpg", "r.003.jpg", "r.004.jpg", "r.005.jpg"}));

        // Frames only reported, nothing written.
        QTemporaryDir none;
        properties.folder = none.path();
        properties.writeFiles = false;
        QSignalSpy generated(&manager, &SnapshotManager::ExportFrameGenerated);
        QCOMPARE(manager.WriteSnapshotFrames(properties), 2);
        QCOMPARE(generated.size(), 4);
        QVERIFY(Files(none.path()).isEmpty());
    }

    // A cancel stops the capture before the next frame, whether it comes between frames or
    // during the wait for one; the files already written stay.
    void cancel_data() { Rows(); }
    void cancel()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        m_time.rangeStart = 1;
        m_time.rangeEnd = 8;
        DeliverSyntheticFrames();
        QTemporaryDir folder;
        SnapshotManager manager(m_view, &m_time);
        connect(&manager, &SnapshotManager::ExportFrameGenerated, this, [&](const QImage&, int frame) {
            if (frame == 2)
                manager.CancelSnapshotOperation();
        });
        TestSupport::LogCapture log;
        SnapshotProperties properties{folder.path(), "c", "png", SnapshotModeRangeFrames, 4};
        QCOMPARE(manager.WriteSnapshotFrames(properties), 1);
        QCOMPARE(Files(folder.path()), QStringList({"c.0001.png", "c.0002.png"}));
        QCOMPARE(m_time.seeks, QList<int>({1, 2}));
        QVERIFY(manager.IsCancelled());
        QVERIFY(!manager.IsCapturing());

        // During the wait for a frame that is never delivered: the cancel ends the wait, not the
        // (default, long) timeout.
        m_time.seek = [&](int) { QTimer::singleShot(0, &manager, &SnapshotManager::CancelSnapshotOperation); };
        m_time.seeks.clear();
        QCOMPARE(manager.WriteSnapshotFrames(properties), -1);
        QCOMPARE(m_time.seeks, QList<int>({1}));
        QVERIFY(log.errors.isEmpty());
    }

    // A frame that is never shown ends the capture with an error after the timeout, rather than
    // holding the window; a wrong frame shown does not count as the frame asked for.
    void frameNeverShownTimesOut_data() { Rows(); }
    void frameNeverShownTimesOut()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        m_time.rangeStart = 3;
        m_time.rangeEnd = 6;
        DeliverSyntheticFrames([](int frame) { return frame == 5 ? 7 : frame; });
        QTemporaryDir folder;
        SnapshotManager manager(m_view, &m_time);
        manager.SetFrameTimeout(300);
        QSignalSpy log(&manager, &SnapshotManager::ExportLogMsgReceived);
        TestSupport::LogCapture logged;
        SnapshotProperties properties{folder.path(), "t", "png", SnapshotModeRangeFrames, 4};
        QCOMPARE(manager.WriteSnapshotFrames(properties), -1);
        QCOMPARE(Files(folder.path()), QStringList({"t.0003.png", "t.0004.png"}));
        QCOMPARE(m_time.seeks, QList<int>({3, 4, 5}));
        const QString message = QStringLiteral("Timed out waiting for frame 5 to be shown (300 ms)");
        QVERIFY(logged.HasError(message));
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0][0].toString(), message);
        QCOMPARE(log[0][1].toInt(), SnapshotManager::kGeneralLogChannel);
        QVERIFY(log[0][2].toBool());
        QVERIFY(!manager.IsCapturing());
    }

    // Nothing to capture: no bookmarks in the range, or a range that is empty.
    void nothingToCapture_data() { SoftwareRow(); }
    void nothingToCapture()
    {
        MAKE_OR_SKIP();
        m_view->UpdateVideoFrameCache(0, Frame(m_info, 0), nullptr, nullptr);
        m_time.rangeStart = 0;
        m_time.rangeEnd = 9;
        DeliverSyntheticFrames();
        QVERIFY(m_timeline->AddFrameBookmark(8) >= 0);
        m_time.rangeEnd = 5;
        QTemporaryDir folder;
        SnapshotManager manager(m_view, &m_time);
        QSignalSpy log(&manager, &SnapshotManager::ExportLogMsgReceived);
        TestSupport::LogCapture logged;
        SnapshotProperties properties{folder.path(), "n", "png", SnapshotModeRangeBookmarks, 4};
        QCOMPARE(manager.WriteSnapshotFrames(properties), -1);
        QVERIFY(logged.HasError("Export frame count is zero"));
        QCOMPARE(log.size(), 1);
        QVERIFY(m_time.seeks.isEmpty());
        QVERIFY(Files(folder.path()).isEmpty());
    }
};

int main(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    TestSnapshots test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_snapshots.moc"
