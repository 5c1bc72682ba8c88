// Time to upload and draw one 1080p frame with the OpenGL renderer (median of 200 frames),
// YUV420P and RGB24, and the share of a 24 fps frame's time that leaves. Then the viewer
// widget on both renderers: a new 1080p frame in every viewport of each layout (single, A/B
// wipe, 2 x 2, 4 x 4), against the single viewport measured in the same run. Needs a display.
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "media/VideoStreamInfo.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SurfaceFormat.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerTypes.h"
#include "viewer/ViewerWidget.h"

#include <QApplication>
#include <QTest>

namespace {

std::shared_ptr<VideoFrame> Frame(const VideoStreamInfo& info, VideoFrameFormat format, int seed)
{
    const int w = info.width, h = info.height;
    const bool yuv = format == VideoFrameFormatYUV420P;
    const int line0 = yuv ? w : 3 * w;
    std::vector<uint8_t> p0(static_cast<size_t>(line0 * h)), p1(static_cast<size_t>(w / 2 * h / 2)), p2(p1.size());
    for (size_t i = 0; i < p0.size(); ++i)
        p0[i] = static_cast<uint8_t>(i * 7 + static_cast<size_t>(seed));
    for (size_t i = 0; i < p1.size(); ++i)
        p1[i] = p2[i] = static_cast<uint8_t>(i * 3 + static_cast<size_t>(seed));
    const uint8_t* data[] = {p0.data(), p1.data(), p2.data()};
    const int lines[] = {line0, w / 2, w / 2};
    return VideoFrame::Create(data, lines, w, h, format, 0, 40000.0, &info, false);
}

} // namespace

int main(int argc, char** argv)
{
    QSurfaceFormat format = ViewerSurfaceFormat();
    format.setSwapInterval(0); // measure the work, not the display's refresh
    if (qEnvironmentVariableIsSet("BENCH_SAMPLES"))
        format.setSamples(qEnvironmentVariableIntValue("BENCH_SAMPLES"));
    QSurfaceFormat::setDefaultFormat(format);
    QApplication application(argc, argv);
    OpenGLViewer viewer;
    viewer.resize(1920, 1080);
    viewer.show();
    QTest::qWait(100);
    if (!QTest::qWaitForWindowExposed(&viewer) || !viewer.IsInitialised()) {
        Bench::Print(QStringLiteral("no OpenGL 3.3 context\n"));
        return 1;
    }
    VideoStreamInfo info;
    info.valid = true;
    info.width = 1920;
    info.height = 1080;
    info.paddedWidth = 1920;
    info.pixelAspect = 1.0f;
    info.displayAspect = 16.0f / 9.0f;
    info.yuv = true;
    info.rec709 = true;
    Bench::Print(QStringLiteral("\n### OpenGL upload and draw, 1080p (%1, median of 200 frames)\n\n")
                     .arg(viewer.RendererInfo().trimmed()));
    Bench::Print(QStringLiteral("| viewer size | frame layout | ms per frame | share of a 24 fps frame (41.7 ms) |\n|---|---|---|---|\n"));
    for (const QSize size : {QSize(1920, 1080), QSize(960, 540)})
    for (const VideoFrameFormat layout : {VideoFrameFormatYUV420P, VideoFrameFormatRGB}) {
        viewer.resize(size);
        QTest::qWait(100);
        info.yuv = layout == VideoFrameFormatYUV420P;
        const std::shared_ptr<VideoFrame> frames[2] = {Frame(info, layout, 1), Frame(info, layout, 2)};
        for (int i = 0; i < 10; ++i) { // warm up: textures created, shaders compiled
            viewer.SetViewportFrame(0, frames[i % 2]);
            viewer.repaint();
        }
        std::vector<double> times;
        for (int i = 0; i < 200; ++i) {
            times.push_back(Bench::MedianSeconds(1, [&] {
                viewer.SetViewportFrame(0, frames[i % 2]);
                viewer.repaint();
                viewer.grabFramebuffer().size(); // waits until the drawing is done
            }));
        }
        // The read-back is not part of showing a frame: measure it alone and take it off.
        std::vector<double> readBack;
        for (int i = 0; i < 50; ++i)
            readBack.push_back(Bench::MedianSeconds(1, [&] { viewer.grabFramebuffer().size(); }));
        const double ms = (Bench::Median(times) - Bench::Median(readBack)) * 1000.0;
        Bench::Print(QStringLiteral("| %1x%2 | %3 | %4 | %5% |\n")
                         .arg(size.width())
                         .arg(size.height())
                         .arg(layout == VideoFrameFormatYUV420P ? QStringLiteral("YUV420P") : QStringLiteral("RGB24"))
                         .arg(ms, 0, 'f', 2)
                         .arg(ms / 41.667 * 100.0, 0, 'f', 1));
    }
    viewer.hide();

    // The viewer widget: each renderer gets the frames it is given in use (the OpenGL one
    // planar YUV, the software one RGB, converted by the decoder).
    Bench::Print(QStringLiteral("\n### Viewer widget, a new 1080p frame in every viewport, 1280x720 (median of 40)\n\n"));
    Bench::Print(QStringLiteral("| renderer | layout | viewports | ms per frame | x single |\n|---|---|---|---|---|\n"));
    struct Layout
    {
        const char* name;
        int rows;
        int columns;
        int viewers;
    };
    const Layout layouts[] = {{"single", 1, 1, 1}, {"A/B wipe", 1, 1, 2}, {"2 x 2", 2, 2, 1}, {"4 x 4", 4, 4, 1}};
    for (const bool hardware : {true, false}) {
        ViewerWidget widget(nullptr, hardware);
        widget.resize(1280, 720);
        widget.show();
        QTest::qWait(100);
        if (!QTest::qWaitForWindowExposed(&widget) || (hardware && !widget.GlRenderer()->IsInitialised()))
            continue;
        const VideoFrameFormat layout = hardware ? VideoFrameFormatYUV420P : VideoFrameFormatRGB;
        info.yuv = hardware;
        const std::shared_ptr<VideoFrame> frames[2] = {Frame(info, layout, 1), Frame(info, layout, 2)};
        double single = 0.0;
        for (const Layout& each : layouts) {
            widget.SetViewerLayout(each.rows, each.columns, each.viewers);
            widget.SetWipeEnabled(each.viewers == 2);
            const int viewports = each.rows * each.columns * each.viewers;
            auto draw = [&](int i) {
                for (int v = 0; v < viewports; ++v)
                    widget.UpdateVideoFrameCache(v, frames[(i + v) % 2], nullptr, nullptr);
                widget.repaint();
                if (hardware)
                    widget.GlRenderer()->grabFramebuffer().size(); // waits until the drawing is done
            };
            for (int i = 0; i < 5; ++i)
                draw(i);
            std::vector<double> times;
            for (int i = 0; i < 40; ++i)
                times.push_back(Bench::MedianSeconds(1, [&] { draw(i); }));
            double ms = Bench::Median(times) * 1000.0;
            if (hardware) {
                std::vector<double> readBack;
                for (int i = 0; i < 20; ++i)
                    readBack.push_back(Bench::MedianSeconds(1, [&] { widget.GlRenderer()->grabFramebuffer().size(); }));
                ms -= Bench::Median(readBack) * 1000.0;
            }
            if (single == 0.0)
                single = ms;
            Bench::Print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                             .arg(hardware ? QStringLiteral("OpenGL") : QStringLiteral("software"))
                             .arg(QLatin1String(each.name))
                             .arg(viewports)
                             .arg(ms, 0, 'f', 2)
                             .arg(ms / single, 0, 'f', 2));
        }
    }
    return 0;
}
