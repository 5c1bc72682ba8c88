#include "media/VideoFrame.h"
#include "media/VideoStreamInfo.h"

#include <QTest>

#include <vector>

namespace {

// A plane of `rows` rows of `lineSize` bytes whose byte at (x, y) is (x + 3y) mod 251.
std::vector<uint8_t> Pattern(int lineSize, int rows)
{
    std::vector<uint8_t> plane(static_cast<size_t>(lineSize) * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < lineSize; ++x)
            plane[static_cast<size_t>(y * lineSize + x)] = static_cast<uint8_t>((x + 3 * y) % 251);
    return plane;
}

} // namespace

class TestVideoFrame : public QObject
{
    Q_OBJECT

private slots:
    void yuvPlanesKeepPadding()
    {
        const int width = 1366, height = 9, luma = 1368, chroma = 684;
        auto y = Pattern(luma, height), u = Pattern(chroma, 5), v = Pattern(chroma, 5);
        const uint8_t* data[] = {y.data(), u.data(), v.data()};
        const int lines[] = {luma, chroma, chroma};
        VideoStreamInfo info;
        auto frame = VideoFrame::Create(data, lines, width, height, VideoFrameFormatYUV420P, 80000, 40000.0, &info, false);
        QCOMPARE(frame->format, VideoFrameFormatYUV420P);
        QCOMPARE(frame->time, 80000);
        QCOMPARE(frame->endTime, 120000);
        QCOMPARE(frame->streamInfo, &info);
        QCOMPARE(frame->planeImages[0].size(), QSize(luma, height));
        QCOMPARE(frame->planeImages[0].format(), QImage::Format_Grayscale8);
        // Odd heights keep their last chroma row.
        QCOMPARE(frame->planeImages[1].size(), QSize(chroma, 5));
        QCOMPARE(frame->planeImages[2].size(), QSize(chroma, 5));
        QCOMPARE(int(frame->planeImages[0].constScanLine(8)[1367]), (1367 + 24) % 251);
        QCOMPARE(int(frame->planeImages[2].constScanLine(4)[683]), (683 + 12) % 251);
        QVERIFY(!frame->exportBuffer);
        QCOMPARE(frame->ByteSize(), int64_t(luma * height + 2 * chroma * 5));
        QCOMPARE(frame->timelineFrameStartTime, -1);
        QCOMPARE(frame->firstTimelineFrame, -1);
    }

    void rgbImageWidthIsRowLength()
    {
        const int width = 5, height = 3, line = 16; // 15 bytes of pixels, one of padding
        auto rgb = Pattern(line, height);
        const uint8_t* data[] = {rgb.data(), nullptr, nullptr};
        const int lines[] = {line, 0, 0};
        auto frame = VideoFrame::Create(data, lines, width, height, VideoFrameFormatRGB, 0, 41708.3, nullptr, false);
        QCOMPARE(frame->planeImages[0].format(), QImage::Format_RGB888);
        QCOMPARE(frame->planeImages[0].width(), line / 3);
        QCOMPARE(frame->endTime, 41708);
        QVERIFY(!frame->planes[1] && !frame->planes[2]);
        const QRgb pixel = frame->planeImages[0].pixel(1, 2);
        QCOMPARE(qRed(pixel), (3 + 6) % 251);
        QCOMPARE(qGreen(pixel), (4 + 6) % 251);
        QCOMPARE(qBlue(pixel), (5 + 6) % 251);
    }

    void exportBufferIsTight_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("bytes"); // of the packed picture
        QTest::addRow("rgb padded") << int(VideoFrameFormatRGB) << 5 << 3 << 45;
        QTest::addRow("rgba") << int(VideoFrameFormatRGBA) << 4 << 2 << 32;
        QTest::addRow("yuv odd") << int(VideoFrameFormatYUV420P) << 7 << 5 << 35 + 2 * 3 * 2; // chroma 3 x 2
        QTest::addRow("yuv even") << int(VideoFrameFormatYUV420P) << 8 << 4 << 32 + 2 * 4 * 2;
    }

    void exportBufferIsTight()
    {
        QFETCH(int, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, bytes);
        const auto f = static_cast<VideoFrameFormat>(format);
        const int bytesPerPixel = f == VideoFrameFormatRGB ? 3 : f == VideoFrameFormatRGBA ? 4 : 1;
        const int line0 = width * bytesPerPixel + 3, line12 = width / 2 + 5;
        auto p0 = Pattern(line0, height), p1 = Pattern(line12, height), p2 = Pattern(line12, height);
        const uint8_t* data[] = {p0.data(), p1.data(), p2.data()};
        const int lines[] = {line0, line12, line12};
        auto frame = VideoFrame::Create(data, lines, width, height, f, 0, 40000.0, nullptr, true);
        QVERIFY(frame->planeImages[0].isNull());
        QVERIFY(!frame->planes[0]);
        const int rowBytes = width * bytesPerPixel;
        QCOMPARE(frame->exportBufferSize, bytes);
        const uint8_t* out = frame->exportBuffer.get();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < rowBytes; ++x)
                QCOMPARE(out[y * rowBytes + x], p0[static_cast<size_t>(y * line0 + x)]);
        if (f == VideoFrameFormatYUV420P) {
            const uint8_t* v = out + width * height + (width / 2) * (height / 2);
            QCOMPARE(v[(height / 2 - 1) * (width / 2) + width / 2 - 1],
                     p2[static_cast<size_t>((height / 2 - 1) * line12 + width / 2 - 1)]);
        }
    }

    void emptyFrame()
    {
        auto frame = VideoFrame::CreateEmpty(1234);
        QVERIFY(frame->empty);
        QCOMPARE(frame->time, 1234);
        QCOMPARE(frame->endTime, std::numeric_limits<int64_t>::max());
        QCOMPARE(frame->planeImages[0].size(), QSize(1, 1));
        QCOMPARE(frame->planeImages[0].format(), QImage::Format_RGB888);
        QCOMPARE(frame->planeImages[0].pixel(0, 0), qRgb(0, 0, 0));
    }

    // A cached 1080p YUV 4:2:0 picture costs its picture bytes and nothing more.
    void hdFrameHoldsOnlyItsPicture()
    {
        auto y = Pattern(1920, 1080), u = Pattern(960, 540), v = Pattern(960, 540);
        const uint8_t* data[] = {y.data(), u.data(), v.data()};
        const int lines[] = {1920, 960, 960};
        auto frame = VideoFrame::Create(data, lines, 1920, 1080, VideoFrameFormatYUV420P, 0, 40000.0, nullptr, false);
        QCOMPARE(frame->ByteSize(), int64_t(1920 * 1080 * 3 / 2));
    }
};

QTEST_GUILESS_MAIN(TestVideoFrame)
#include "tst_videoframe.moc"
