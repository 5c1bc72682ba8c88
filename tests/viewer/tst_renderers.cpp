// Both renderers, drawing synthetic frames of known colours and shapes, compared pixel by
// pixel with what the frames should look like. Needs a display with OpenGL 3.3 for the
// OpenGL renderer; without one those cases are skipped with a message, or fail where
// PLOVEX_GL_REQUIRED=1 promised one.
#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AvParser.h"
#include "media/VideoDecoder.h"
#include "media/VideoStreamInfo.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "tests/TestSupport.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SoftwareViewer.h"
#include "viewer/SurfaceFormat.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

struct Yuv
{
    int y, u, v;
};

// The Y'CbCr levels a picture of `colour` (a BT.709 display colour) is stored with, by the
// standards' own definitions rather than by any decoding formula: luma weights Kr and Kb
// (BT.601 0.299 and 0.114, BT.709 0.2126 and 0.0722, BT.2020 0.2627 and 0.0593), BT.601 and
// BT.709 in studio range (Y 16-235, Cb and Cr 128 +- 112). BT.2020 pictures are taken in full
// range, their BT.709 primaries converted to BT.2020 ones in linear light (ITU-R BT.2087),
// from a display gamma of 2.2 to a BT.2020 gamma of 2.4. A renderer shows `colour` again.
Yuv Encode(const QColor& colour, bool rec709, bool rec2020)
{
    double r = colour.redF(), g = colour.greenF(), b = colour.blueF();
    double kr = 0.299, kb = 0.114;
    if (rec709) {
        kr = 0.2126;
        kb = 0.0722;
    } else if (rec2020) {
        kr = 0.2627;
        kb = 0.0593;
        const double lr = std::pow(r, 2.2), lg = std::pow(g, 2.2), lb = std::pow(b, 2.2);
        r = std::pow(0.6274 * lr + 0.3293 * lg + 0.0433 * lb, 1 / 2.4);
        g = std::pow(0.0691 * lr + 0.9195 * lg + 0.0114 * lb, 1 / 2.4);
        b = std::pow(0.0164 * lr + 0.0880 * lg + 0.8956 * lb, 1 / 2.4);
    }
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    const double cb = (b - y) / (2 * (1 - kb)), cr = (r - y) / (2 * (1 - kr));
    auto level = [](double x) { return static_cast<int>(std::lround(x)); };
    if (rec2020)
        return {level(255 * y), level(128 + 255 * cb), level(128 + 255 * cr)};
    return {level(16 + 219 * y), level(128 + 224 * cb), level(128 + 224 * cr)};
}

// Colours for the matrix tests. Pure green, yellow and cyan are left out under BT.2020: their
// red (and blue) comes out of 8-bit levels near black, where the display gamma magnifies one
// level into many.
QList<QColor> TestColours(bool rec2020)
{
    QList<QColor> colours = {QColor(255, 255, 255), QColor(0, 0, 0),       QColor(255, 0, 0),   QColor(0, 0, 255),
                             QColor(255, 0, 255),   QColor(128, 128, 128), QColor(192, 48, 80)};
    if (!rec2020)
        colours << QColor(0, 255, 0) << QColor(255, 255, 0) << QColor(0, 255, 255);
    return colours;
}

bool Near(const QColor& a, const QColor& b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString Describe(const QColor& c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// A stream record for synthetic frames; kept alive by the test.
VideoStreamInfo& Info(int width, int height, int paddedWidth = 0)
{
    static std::list<VideoStreamInfo> infos;
    VideoStreamInfo& info = infos.emplace_back();
    info.valid = true;
    info.width = width;
    info.height = height;
    info.paddedWidth = paddedWidth ? paddedWidth : width;
    info.pixelAspect = 1.0f;
    info.displayAspect = static_cast<float>(width) / static_cast<float>(height);
    info.frameDuration = 40000.0;
    return info;
}

// A YUV 4:2:0 frame of vertical bars of equal width; rows padded to `info.paddedWidth`,
// the padding filled with `padding`.
std::shared_ptr<VideoFrame> YuvBars(const VideoStreamInfo& info, const QList<Yuv>& bars, Yuv padding = {16, 128, 128})
{
    const int line = info.paddedWidth, chromaLine = line / 2, h = info.height;
    std::vector<uint8_t> y(static_cast<size_t>(line * h)), u(static_cast<size_t>(chromaLine * h / 2)), v(u.size());
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < line; ++x) {
            const Yuv c = x < info.width ? bars[x * bars.size() / info.width] : padding;
            y[static_cast<size_t>(row * line + x)] = static_cast<uint8_t>(c.y);
            if (row % 2 == 0 && x % 2 == 0) {
                u[static_cast<size_t>(row / 2 * chromaLine + x / 2)] = static_cast<uint8_t>(c.u);
                v[static_cast<size_t>(row / 2 * chromaLine + x / 2)] = static_cast<uint8_t>(c.v);
            }
        }
    const uint8_t* data[] = {y.data(), u.data(), v.data()};
    const int lines[] = {line, chromaLine, chromaLine};
    return VideoFrame::Create(data, lines, info.width, h, VideoFrameFormatYUV420P, 0, 40000.0, &info, false);
}

// A packed RGB(A) frame drawn by `paint` on a picture of the stream's size.
std::shared_ptr<VideoFrame> RgbFrame(const VideoStreamInfo& info, bool alpha, const std::function<void(QImage&)>& paint)
{
    QImage image(info.width, info.height, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    paint(image);
    const uint8_t* data[] = {image.constBits(), nullptr, nullptr};
    const int lines[] = {static_cast<int>(image.bytesPerLine()), 0, 0};
    return VideoFrame::Create(data, lines, info.width, info.height, alpha ? VideoFrameFormatRGBA : VideoFrameFormatRGB, 0,
                              40000.0, &info, false);
}

// Left half one colour, right half another; top half and bottom half differ in shade.
std::shared_ptr<VideoFrame> Quadrants(const VideoStreamInfo& info)
{
    return RgbFrame(info, false, [](QImage& image) {
        const int w = image.width(), h = image.height();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixelColor(x, y, x < w / 2 ? (y < h / 2 ? QColor(255, 0, 0) : QColor(255, 255, 0))
                                                    : (y < h / 2 ? QColor(0, 0, 255) : QColor(0, 255, 0)));
    });
}

} // namespace

class TestRenderers : public QObject
{
    Q_OBJECT

    std::unique_ptr<OpenGLViewer> m_gl;
    std::unique_ptr<SoftwareViewer> m_software;

    // The OpenGL viewer after the frame was drawn, or a skip.
    QImage DrawGl(const std::shared_ptr<VideoFrame>& frame, int index = 0)
    {
        m_gl->SetViewportFrame(index, frame);
        return m_gl->GrabViewportImage();
    }

    QImage DrawSoftware(const std::shared_ptr<VideoFrame>& frame)
    {
        m_software->SetViewportFrame(0, frame);
        return m_software->GrabViewportImage();
    }

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        m_gl = std::make_unique<OpenGLViewer>();
        m_gl->resize(640, 360);
        m_gl->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_gl.get()));
        // Valid once the viewer's initialisation has run, which decides IsInitialised(); never
        // where no context can be had at all. Either way the OpenGL cases check it in init().
        if (!QTest::qWaitFor([this] { return m_gl->isValid(); }, 5000))
            qInfo("no OpenGL context could be made on this display");
        m_software = std::make_unique<SoftwareViewer>();
        m_software->resize(640, 360);
        m_software->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_software.get()));
    }

    void init()
    {
        if (QByteArray(QTest::currentTestFunction()).startsWith("gl") && !m_gl->IsInitialised())
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL 3.3 context on this display");
        if (m_gl->IsInitialised()) {
            m_gl->SetGrid(1, 1, 1);
            m_gl->ResetTransform();
            m_gl->SetWipePolygon({});
            for (int i = 0; i < ViewerBase::MaxViewports; ++i) {
                m_gl->SetViewportFrame(i, nullptr);
                m_gl->SetViewportOpacity(i, 1.0f);
            }
        }
        m_software->ResetTransform();
    }

    void glColours_data()
    {
        QTest::addColumn<bool>("rec709");
        QTest::addColumn<bool>("rec2020");
        QTest::addRow("BT.601") << false << false;
        QTest::addRow("BT.709") << true << false;
        QTest::addRow("BT.2020") << false << true;
    }

    void glColours()
    {
        QFETCH(bool, rec709);
        QFETCH(bool, rec2020);
        VideoStreamInfo& info = Info(640, 360);
        info.yuv = true;
        info.rec709 = rec709;
        info.rec2020 = rec2020;
        const QList<QColor> colours = TestColours(rec2020);
        QList<Yuv> bars;
        for (const QColor& colour : colours)
            bars << Encode(colour, rec709, rec2020);
        const QImage image = DrawGl(YuvBars(info, bars));
        for (int i = 0; i < bars.size(); ++i) {
            const int x = static_cast<int>((i + 0.5) * image.width() / bars.size());
            const QColor got = image.pixelColor(x, image.height() / 2);
            QVERIFY2(Near(got, colours[i]),
                     qPrintable(QStringLiteral("bar %1: %2, made as %3").arg(i).arg(Describe(got), Describe(colours[i]))));
        }
    }

    // Packed frames look the same on both renderers.
    void glAndSoftwareAgree_data()
    {
        QTest::addColumn<bool>("alpha");
        QTest::addRow("RGB") << false;
        QTest::addRow("RGBA") << true;
    }

    void glAndSoftwareAgree()
    {
        QFETCH(bool, alpha);
        if (!m_gl->IsInitialised())
            PLOVEX_SKIP_WITHOUT_GL("no OpenGL 3.3 context on this display");
        VideoStreamInfo& info = Info(640, 360);
        const auto frame = RgbFrame(info, alpha, [](QImage& image) {
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    image.setPixelColor(x, y, QColor(x * 255 / image.width(), y * 255 / image.height(), 100));
        });
        const QImage gl = DrawGl(frame);
        const QImage software = DrawSoftware(frame);
        for (int y = 30; y < 360; y += 60)
            for (int x = 30; x < 640; x += 60) {
                QVERIFY2(Near(gl.pixelColor(x, y), software.pixelColor(x, y)),
                         qPrintable(QStringLiteral("(%1, %2): %3 and %4")
                                        .arg(x)
                                        .arg(y)
                                        .arg(Describe(gl.pixelColor(x, y)), Describe(software.pixelColor(x, y)))));
                QVERIFY(Near(gl.pixelColor(x, y), QColor(x * 255 / 640, y * 255 / 360, 100)));
            }
    }

    // A 4:3 picture in a 16:9 cell is pillar-boxed; a 2.39:1 one letter-boxed.
    void glBoxing()
    {
        VideoStreamInfo& square = Info(480, 360);
        QImage image = DrawGl(RgbFrame(square, false, [](QImage& i) { i.fill(Qt::white); }));
        QCOMPARE(image.pixelColor(75, 180), QColor(Qt::black));
        QVERIFY(Near(image.pixelColor(85, 180), Qt::white));
        QVERIFY(Near(image.pixelColor(554, 180), Qt::white));
        QCOMPARE(image.pixelColor(565, 180), QColor(Qt::black));
        VideoStreamInfo& wide = Info(956, 400);
        image = DrawGl(RgbFrame(wide, false, [](QImage& i) { i.fill(Qt::white); }));
        QCOMPARE(image.pixelColor(320, 40), QColor(Qt::black));
        QVERIFY(Near(image.pixelColor(320, 52), Qt::white));
        QVERIFY(Near(image.pixelColor(320, 307), Qt::white));
        QCOMPARE(image.pixelColor(320, 320), QColor(Qt::black));
        // The software renderer places it the same way.
        image = DrawSoftware(RgbFrame(square, false, [](QImage& i) { i.fill(Qt::white); }));
        QCOMPARE(image.pixelColor(75, 180), QColor(Qt::black));
        QVERIFY(Near(image.pixelColor(85, 180), Qt::white));
    }

    void glFlipsAndRotation()
    {
        VideoStreamInfo& info = Info(640, 360);
        const auto frame = Quadrants(info);
        QImage image = DrawGl(frame);
        QVERIFY(Near(image.pixelColor(100, 60), QColor(255, 0, 0)));
        QVERIFY(Near(image.pixelColor(540, 300), QColor(0, 255, 0)));
        m_gl->SetFlipHorizontal(true);
        image = DrawGl(frame);
        QVERIFY(Near(image.pixelColor(100, 60), QColor(0, 0, 255)));
        m_gl->SetFlipHorizontal(false);
        m_gl->SetFlipVertical(true);
        image = DrawGl(frame);
        QVERIFY(Near(image.pixelColor(100, 60), QColor(255, 255, 0)));
        m_gl->SetFlipVertical(false);
        // A quarter turn clockwise: the picture stands upright in a pillar box, and its
        // top-left (red) corner moves to the top right.
        m_gl->RotateClockwise();
        image = DrawGl(frame);
        const int boxWidth = static_cast<int>(360.0 * 360.0 / 640.0);
        const int left = (640 - boxWidth) / 2;
        QCOMPARE(image.pixelColor(left - 5, 180), QColor(Qt::black));
        QVERIFY(Near(image.pixelColor(left + boxWidth - 20, 20), QColor(255, 0, 0)));
        QVERIFY(Near(image.pixelColor(left + 20, 20), QColor(255, 255, 0)));
        for (int i = 0; i < 3; ++i)
            m_gl->RotateClockwise();
        QCOMPARE(m_gl->Rotation(), 0);
        m_gl->RotateCounterClockwise();
        QCOMPARE(m_gl->Rotation(), 270);
    }

    // The padding columns of a 1366-wide picture never show at its right edge.
    void glPaddingIsCropped()
    {
        VideoStreamInfo& info = Info(1366, 768, 1368);
        info.yuv = true;
        info.rec709 = true;
        const auto frame = YuvBars(info, {{16, 128, 128}}, {235, 16, 235}); // black picture, vivid padding
        m_gl->resize(1366 / 2, 768 / 2);
        QTRY_COMPARE(m_gl->size(), QSize(1366 / 2, 768 / 2));
        const QImage image = DrawGl(frame);
        for (int y = 10; y < image.height(); y += 40) {
            const QColor edge = image.pixelColor(image.width() - 1, y);
            QVERIFY2(edge.red() < 40 && edge.green() < 40 && edge.blue() < 40, qPrintable(Describe(edge)));
        }
        m_gl->resize(640, 360);
        QTRY_COMPARE(m_gl->size(), QSize(640, 360));
    }

    // A/B with a wipe: B outside the polygon, A inside it; without one A covers B.
    void glWipe()
    {
        VideoStreamInfo& info = Info(640, 360);
        const auto red = RgbFrame(info, false, [](QImage& i) { i.fill(Qt::red); });
        const auto green = RgbFrame(info, false, [](QImage& i) { i.fill(Qt::green); });
        m_gl->SetGrid(1, 1, 2);
        m_gl->SetViewportFrame(1, green);
        QImage image = DrawGl(red, 0);
        QVERIFY(Near(image.pixelColor(500, 180), Qt::red));
        m_gl->SetWipePolygon(QPolygonF({QPointF(0, 0), QPointF(320, 0), QPointF(320, 360), QPointF(0, 360)}));
        image = m_gl->GrabViewportImage();
        QVERIFY(Near(image.pixelColor(100, 180), Qt::red));
        QVERIFY(Near(image.pixelColor(500, 180), Qt::green));
        // A's opacity fades A, and the field that hides B with it: at half, half of each.
        m_gl->SetViewportOpacity(0, 0.5f);
        image = m_gl->GrabViewportImage();
        QVERIFY2(Near(image.pixelColor(100, 180), QColor(128, 64, 0), 8), qPrintable(Describe(image.pixelColor(100, 180))));
        QVERIFY(Near(image.pixelColor(500, 180), Qt::green));
    }

    void glTexturesAreReused()
    {
        VideoStreamInfo& info = Info(640, 360);
        info.yuv = true;
        DrawGl(YuvBars(info, {{100, 100, 100}}));
        const int created = m_gl->TextureCreationCount();
        DrawGl(YuvBars(info, {{200, 150, 100}}));
        DrawGl(YuvBars(info, {{50, 60, 70}}));
        QCOMPARE(m_gl->TextureCreationCount(), created);
        VideoStreamInfo& other = Info(320, 180);
        other.yuv = true;
        DrawGl(YuvBars(other, {{100, 100, 100}}));
        QCOMPARE(m_gl->TextureCreationCount(), created + 3);
    }

    void glLayout()
    {
        m_gl->SetGrid(2, 2, 1);
        QCOMPARE(m_gl->ViewportsInUse(), 4);
        QCOMPARE(m_gl->LayoutKind(), 4);
        QCOMPARE(m_gl->Output(3)->displayRect, QRect(320, 180, 320, 180));
        QCOMPARE(m_gl->ViewportIndexAt(m_gl->pos() + QPoint(330, 10)), 1);
        m_gl->SetGrid(1, 1, 2);
        QCOMPARE(m_gl->LayoutKind(), 1);
        QCOMPARE(m_gl->Output(1)->displayRect, m_gl->Output(0)->displayRect);
        m_gl->SetGrid(1, 2, 1);
        QCOMPARE(m_gl->LayoutKind(), 2);
    }

    // A clip with rotation metadata shows the way the ffmpeg tool shows it.
    void glRotationMetadataMatchesFfmpeg()
    {
        const QString clip = TestSupport::MediaPath(QStringLiteral("clip_rotated.mp4"));
        QTemporaryDir dir;
        const QString reference = dir.filePath(QStringLiteral("frame.png"));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-i", clip, "-frames:v", "1", reference}), 0);
        const QImage expected(reference);
        QCOMPARE(expected.size(), QSize(360, 640));
        Source source(clip, QString(), QUuid());
        AvParser parser;
        source.ApplyParseResult(parser.Parse(source.ParserFileEntry(0)));
        VideoDecoder decoder(false);
        decoder.CreateDefaultWorker();
        QVERIFY(decoder.Open(source.ParserFileEntry(0), 0));
        std::shared_ptr<VideoFrame> first;
        connect(&decoder, &VideoDecoder::VideoFrameDecoded, this, [&](std::shared_ptr<VideoFrame> f) {
            if (f && !first)
                first = f;
        });
        decoder.Seek(0);
        while (!first && decoder.DecodeNext() != DecodeStatus::EndOfFile) {
        }
        QVERIFY(first);
        m_gl->resize(360, 640);
        QTRY_COMPARE(m_gl->size(), QSize(360, 640));
        const QImage image = DrawGl(first);
        m_gl->resize(640, 360);
        QTRY_COMPARE(m_gl->size(), QSize(640, 360));
        QCOMPARE(image.size(), QSize(360, 640));
        for (int y = 40; y < 640; y += 80)
            for (int x = 30; x < 360; x += 60)
                QVERIFY2(Near(image.pixelColor(x, y), expected.pixelColor(x, y), 24),
                         qPrintable(QStringLiteral("(%1, %2): %3, ffmpeg %4")
                                        .arg(x)
                                        .arg(y)
                                        .arg(Describe(image.pixelColor(x, y)), Describe(expected.pixelColor(x, y)))));
    }

    // JPEG sequences whose rows are 4 and 1 pixels more than a multiple of 8, decoded for the
    // OpenGL viewer (planar YUV): on a viewer of the picture's size both renderers show the
    // colours the files were made with, in every row and up to the last column.
    void glYuvSequenceEdges_data()
    {
        QTest::addColumn<int>("width");
        QTest::addRow("1004 wide") << 1004;
        QTest::addRow("1001 wide") << 1001;
    }
    void glYuvSequenceEdges()
    {
        QFETCH(int, width);
        const int height = 128;
        // The blocks of the generated files: columns [start, end) and their colour.
        const struct
        {
            int start, end;
            QColor colour;
        } blocks[] = {{0, 496, QColor(192, 48, 80)}, {496, 992, QColor(48, 112, 192)}, {992, width, QColor(208, 176, 32)}};
        const QString path = TestSupport::MediaPath(QStringLiteral("seq_jpeg_%1").arg(width)) + QStringLiteral("/j.####.jpg 1-3");
        Source source(path, QString(), QUuid());
        QVERIFY(source.IsImageSequence());
        QCOMPARE(source.FileCount(), 3);

        OpenGLViewer gl;
        SoftwareViewer software;
        for (QWidget* viewer : {static_cast<QWidget*>(&gl), static_cast<QWidget*>(&software)}) {
            viewer->resize(width, height);
            viewer->show();
            QVERIFY(QTest::qWaitForWindowExposed(viewer));
        }
        QTRY_VERIFY_WITH_TIMEOUT(gl.IsInitialised(), 5000);
        QTRY_COMPARE(gl.size(), QSize(width, height));
        QTRY_COMPARE(software.size(), QSize(width, height));

        AvParser parser;
        for (int file = 0; file < source.FileCount(); ++file) {
            source.ApplyParseResult(parser.Parse(source.ParserFileEntry(file)));
            VideoDecoder decoder(false);
            decoder.CreateDefaultWorker();
            QVERIFY(decoder.Open(source.ParserFileEntry(file), 0));
            std::shared_ptr<VideoFrame> frame;
            connect(&decoder, &VideoDecoder::VideoFrameDecoded, this, [&](std::shared_ptr<VideoFrame> f) {
                if (f && !frame)
                    frame = f;
            });
            decoder.Seek(0);
            while (!frame && decoder.DecodeNext() != DecodeStatus::EndOfFile) {
            }
            QVERIFY(frame);
            QCOMPARE(frame->format, VideoFrameFormatYUV420P);
            QCOMPARE(frame->streamInfo->width, width);

            gl.SetViewportFrame(0, frame);
            software.SetViewportFrame(0, frame);
            const QImage glImage = gl.GrabViewportImage();
            const QImage softwareImage = software.GrabViewportImage();
            QCOMPARE(glImage.size(), QSize(width, height));
            QCOMPARE(softwareImage.size(), QSize(width, height));
            for (const auto& block : blocks) {
                // Two columns either side of a boundary between blocks blend the two colours.
                const int first = block.start == 0 ? 0 : block.start + 2;
                const int last = block.end == width ? width - 1 : block.end - 3;
                for (int y = 0; y < height; ++y)
                    for (int x = first; x <= last; ++x) {
                        const QColor a = glImage.pixelColor(x, y);
                        const QColor b = softwareImage.pixelColor(x, y);
                        QVERIFY2(Near(a, block.colour, 10) && Near(b, block.colour, 10) && Near(a, b),
                                 qPrintable(QStringLiteral("file %1 (%2, %3): OpenGL %4, software %5, made as %6")
                                                .arg(file)
                                                .arg(x)
                                                .arg(y)
                                                .arg(Describe(a), Describe(b), Describe(block.colour))));
                    }
            }
        }
    }

    void softwareRotationAndFlips()
    {
        VideoStreamInfo& info = Info(640, 360);
        const auto frame = Quadrants(info);
        m_software->SetFlipHorizontal(true);
        QImage image = DrawSoftware(frame);
        QVERIFY(Near(image.pixelColor(100, 60), QColor(0, 0, 255)));
        m_software->ResetTransform();
        m_software->RotateClockwise();
        image = DrawSoftware(frame);
        const int boxWidth = static_cast<int>(360.0 * 360.0 / 640.0);
        const int left = (640 - boxWidth) / 2;
        QVERIFY(Near(image.pixelColor(left + boxWidth - 20, 20), QColor(255, 0, 0)));
        QVERIFY(Near(image.pixelColor(left + 20, 20), QColor(255, 255, 0)));
    }

    // YUV frames (decoded for OpenGL when no context could be had) show in the colours they
    // were made from, under each of the OpenGL viewer's matrices.
    void softwareShowsYuv_data() { glColours_data(); }
    void softwareShowsYuv()
    {
        QFETCH(bool, rec709);
        QFETCH(bool, rec2020);
        VideoStreamInfo& info = Info(640, 360);
        info.yuv = true;
        info.rec709 = rec709;
        info.rec2020 = rec2020;
        const QList<QColor> colours = TestColours(rec2020);
        QList<Yuv> bars;
        for (const QColor& colour : colours)
            bars << Encode(colour, rec709, rec2020);
        const QImage image = DrawSoftware(YuvBars(info, bars));
        for (int i = 0; i < bars.size(); ++i) {
            const QColor got = image.pixelColor(static_cast<int>((i + 0.5) * 640 / bars.size()), 180);
            QVERIFY2(Near(got, colours[i]),
                     qPrintable(QStringLiteral("bar %1: %2, made as %3").arg(i).arg(Describe(got), Describe(colours[i]))));
        }
    }

    void softwareEmptyViewport()
    {
        m_software->SetViewportFrame(0, nullptr);
        QCOMPARE(m_software->PictureSize(0), QSize(960, 540));
        m_software->SetBackgroundType(1);
        const QImage image = m_software->GrabViewportImage();
        QCOMPARE(image.pixelColor(320, 180), QColor(118, 118, 118));
        m_software->SetBackgroundType(0);
        // An empty-flagged frame counts as none.
        m_software->SetViewportFrame(0, VideoFrame::CreateEmpty());
        QVERIFY(!m_software->Output(0)->frame);
    }
};

int main(int argc, char** argv)
{
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    TestRenderers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_renderers.moc"
