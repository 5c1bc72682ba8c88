#include "media/VideoFrame.h"

#include <cstring>
#include <limits>

namespace {

int BytesPerPixel(VideoFrameFormat format)
{
    switch (format) {
    case VideoFrameFormatRGB:
        return 3;
    case VideoFrameFormatRGBA:
        return 4;
    case VideoFrameFormatYUV420P:
        return 1;
    }
    return 1;
}

// Copies `rows` rows of `rowBytes` bytes into `out`, dropping any padding of the source rows.
uint8_t* PackRows(uint8_t* out, const uint8_t* source, int sourceLineSize, int rowBytes, int rows)
{
    if (sourceLineSize == rowBytes) {
        std::memcpy(out, source, static_cast<size_t>(rowBytes) * static_cast<size_t>(rows));
        return out + static_cast<ptrdiff_t>(rowBytes) * rows;
    }
    for (int y = 0; y < rows; ++y, out += rowBytes)
        std::memcpy(out, source + static_cast<ptrdiff_t>(y) * sourceLineSize, static_cast<size_t>(rowBytes));
    return out;
}

std::shared_ptr<VideoFrame> NewFrame(VideoFrameFormat format, int64_t time, double frameDuration,
                                     const VideoStreamInfo* streamInfo)
{
    auto frame = std::make_shared<VideoFrame>();
    frame->format = format;
    frame->time = time;
    frame->endTime = time + static_cast<int64_t>(frameDuration > 0.0 ? frameDuration : 0.0);
    frame->streamInfo = streamInfo;
    return frame;
}

} // namespace

std::shared_ptr<VideoFrame> VideoFrame::Create(const uint8_t* const data[], const int lineSize[], int width,
                                               int height, VideoFrameFormat format, int64_t time,
                                               double frameDuration, const VideoStreamInfo* streamInfo,
                                               bool forExport)
{
    if (forExport) {
        auto frame = NewFrame(format, time, frameDuration, streamInfo);
        const bool yuv = format == VideoFrameFormatYUV420P;
        if (yuv) {
            const int chromaWidth = width / 2;
            const int32_t size = width * height + 2 * chromaWidth * (height / 2);
            frame->exportBuffer = FrameBufferPool::Instance().Acquire(static_cast<size_t>(size));
            uint8_t* out = PackRows(frame->exportBuffer.get(), data[0], lineSize[0], width, height);
            out = PackRows(out, data[1], lineSize[1], chromaWidth, height / 2);
            PackRows(out, data[2], lineSize[2], chromaWidth, height / 2);
            frame->exportBufferSize = size;
        } else {
            const int rowBytes = BytesPerPixel(format) * width;
            frame->exportBufferSize = rowBytes * height;
            frame->exportBuffer = FrameBufferPool::Instance().Acquire(static_cast<size_t>(frame->exportBufferSize));
            PackRows(frame->exportBuffer.get(), data[0], lineSize[0], rowBytes, height);
        }
        return frame;
    }

    auto display = Allocate(format, height, lineSize, time, frameDuration, streamInfo);
    for (size_t i = 0; i < 3; ++i)
        if (display->planes[i])
            std::memcpy(display->planes[i].get(), data[i], static_cast<size_t>(display->planeSizes[i]));
    return display;
}

std::shared_ptr<VideoFrame> VideoFrame::Allocate(VideoFrameFormat format, int height, const int lineSizes[3],
                                                 int64_t time, double frameDuration,
                                                 const VideoStreamInfo* streamInfo)
{
    auto frame = NewFrame(format, time, frameDuration, streamInfo);
    const bool yuv = format == VideoFrameFormatYUV420P;
    const int chromaHeight = (height + 1) / 2; // odd heights keep their last chroma row
    const size_t planeCount = yuv ? 3 : 1;
    for (size_t i = 0; i < planeCount; ++i) {
        const int rows = i == 0 ? height : chromaHeight;
        frame->lineSizes[i] = lineSizes[i];
        frame->planeSizes[i] = lineSizes[i] * rows;
        frame->planes[i] = FrameBufferPool::Instance().Acquire(static_cast<size_t>(frame->planeSizes[i]) + kConversionSlack);
        if (yuv)
            frame->planeImages[i] = QImage(frame->planes[i].get(), lineSizes[i], rows, lineSizes[i], QImage::Format_Grayscale8);
    }
    if (!yuv) {
        const QImage::Format imageFormat = format == VideoFrameFormatRGBA ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
        frame->planeImages[0] = QImage(frame->planes[0].get(), lineSizes[0] / BytesPerPixel(format), height,
                                       lineSizes[0], imageFormat);
    }
    return frame;
}

std::shared_ptr<VideoFrame> VideoFrame::CreateEmpty(int64_t time)
{
    auto frame = std::make_shared<VideoFrame>();
    frame->empty = true;
    frame->format = VideoFrameFormatRGB;
    frame->time = time;
    frame->endTime = std::numeric_limits<int64_t>::max();
    frame->planes[0] = FrameBufferPool::Instance().Acquire(4);
    std::memset(frame->planes[0].get(), 0, 4); // black
    frame->lineSizes[0] = 4;
    frame->planeSizes[0] = 4;
    frame->planeImages[0] = QImage(frame->planes[0].get(), 1, 1, 4, QImage::Format_RGB888);
    return frame;
}

int64_t VideoFrame::ByteSize() const
{
    return static_cast<int64_t>(planeSizes[0]) + planeSizes[1] + planeSizes[2] + exportBufferSize;
}
