#include "media/VideoDecodeWorker.h"

#include "core/Logger.h"
#include "media/FloatPixels.h"
#include "media/VideoStreamInfo.h"

#include <array>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace {

// Linear EXR values shown on the software viewer are brought to display gamma.
const std::array<uint8_t, 256>& GammaTable()
{
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<size_t>(i)] = static_cast<uint8_t>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / 2.2)));
        return t;
    }();
    return table;
}

void ApplyGamma(VideoFrame& frame)
{
    const auto& table = GammaTable();
    uint8_t* data = frame.planes[0].get();
    const int32_t size = frame.planeSizes[0];
    if (frame.format == VideoFrameFormatRGBA) {
        for (int32_t i = 0; i + 3 < size; i += 4) {
            data[i] = table[data[i]];
            data[i + 1] = table[data[i + 1]];
            data[i + 2] = table[data[i + 2]];
        }
    } else {
        for (int32_t i = 0; i < size; ++i)
            data[i] = table[data[i]];
    }
}

// Whether a decoded picture is planar float G, B, R (and A), as OpenEXR files decode, going
// to packed 8-bit RGB or RGBA: swscale takes a generic path for these that costs about a
// third as much as decoding the picture, ConvertFloatPlanes a small part of that.
bool IsFloatPlanesToPacked(const AVFrame* decoded, VideoFrameFormat target)
{
    return (decoded->format == AV_PIX_FMT_GBRPF32 || decoded->format == AV_PIX_FMT_GBRAPF32)
           && (target == VideoFrameFormatRGB || target == VideoFrameFormatRGBA);
}

void ConvertFloatPlanes(const AVFrame* decoded, VideoFrameFormat target, uint8_t* out, int outLineSize)
{
    const bool alpha = decoded->format == AV_PIX_FMT_GBRAPF32;
    const int channels = target == VideoFrameFormatRGBA ? 4 : 3;
    for (int y = 0; y < decoded->height; ++y) {
        auto row = [&](int plane) {
            return reinterpret_cast<const float*>(decoded->data[plane] + static_cast<ptrdiff_t>(y) * decoded->linesize[plane]);
        };
        FloatPixels::PackRow(row(2), row(0), row(1), alpha ? row(3) : nullptr, decoded->width, channels,
                             out + static_cast<ptrdiff_t>(y) * outLineSize);
    }
}

} // namespace

VideoDecodeWorker::VideoDecodeWorker(int id, bool exportFrames, QObject* parent)
    : QObject(parent)
    , m_id(id)
    , m_export(exportFrames)
    , m_packet(MakeAvPacket())
    , m_decoded(MakeAvFrame())
{
}

VideoDecodeWorker::~VideoDecodeWorker() = default;

void VideoDecodeWorker::Decode()
{
    Task& task = m_task;
    if (task.codec) {
        const int result = m_decoder.Decode(task.codec, m_packet.get(), m_decoded.get(),
                                            [this](AVFrame* frame) { OnFrame(frame); });
        (void)result; // logged by the step; decoding goes on with the next packet
    }
    emit PacketProcessingCompleted(m_id);
    if (m_decoder.EndOfStream())
        task.frames.push_back(nullptr);
    av_packet_unref(m_packet.get());
    emit DecodingCompleted(m_id);
}

void VideoDecodeWorker::OnFrame(AVFrame* decoded)
{
    Task& task = m_task;
    const VideoStreamInfo* info = task.streamInfo;
    const double fd = info ? info->frameDuration : 0.0;
    const int64_t offset = info ? std::max<int64_t>(info->startTimeOffset, 0) : 0;
    int64_t time = 0;
    if (decoded->best_effort_timestamp != AV_NOPTS_VALUE) {
        const double raw = static_cast<double>(decoded->best_effort_timestamp) * task.timeBase;
        if (task.firstTimestamp == INT64_MIN)
            task.firstTimestamp = static_cast<int64_t>(std::trunc(raw));
        // Rounded up, as frame boundaries are: a 23.976 fps frame stamped 41,708.33 µs
        // starts at 41,709, where its frame begins, not a microsecond inside the one
        // before. The tolerance absorbs floating-point noise on exact boundaries.
        time = static_cast<int64_t>(std::ceil(raw - static_cast<double>(offset) - 1e-3));
    } else {
        time = static_cast<int64_t>(std::trunc(static_cast<double>(task.frameTime) + fd));
    }
    task.frameTime = time;
    if (task.packetFirstTime == INT64_MIN)
        task.packetFirstTime = time;
    ++task.decodedCount;
    if (!task.convert)
        return;
    // Frames well before the wanted time are only decoded, to reach the wanted one.
    if (task.windowEnd >= 0 && fd > 0.0
        && static_cast<double>(task.windowEnd) - kConvertWindowFrames * fd > static_cast<double>(time))
        return;
    if (task.convertFrom >= 0 && time < task.convertFrom) {
        ++task.skipped;
        return;
    }
    if (auto frame = Convert(decoded, time))
        task.frames.push_back(std::move(frame));
}

int VideoDecodeWorker::ScalerFlags() const
{
    // Accurate rounding makes YUV to RGB conversion eight times slower (8 ms instead of 1 ms
    // for a 1080p picture here) for at most one level of difference: the software viewer
    // does without it; export frames keep it.
    const bool rgbDisplay = !m_export && m_task.targetFormat != VideoFrameFormatYUV420P;
    return SWS_BILINEAR | SWS_FULL_CHR_H_INT | (rgbDisplay ? 0 : SWS_ACCURATE_RND);
}

bool VideoDecodeWorker::PrepareScaler(const AVFrame* decoded)
{
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), decoded->width, decoded->height,
                                        static_cast<AVPixelFormat>(decoded->format), decoded->width, decoded->height,
                                        static_cast<AVPixelFormat>(m_task.targetPixelFormat), ScalerFlags(), nullptr,
                                        nullptr, nullptr));
    if (!m_scaler)
        return false;
    // YUV to RGB by the matrix the OpenGL viewer uses for the stream (BT.601, BT.709 or
    // BT.2020) and the picture's own range: swscale would take BT.601 for every picture.
    const AVPixFmtDescriptor* source = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(decoded->format));
    const AVPixFmtDescriptor* target = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(m_task.targetPixelFormat));
    if (!source || !target || (source->flags & AV_PIX_FMT_FLAG_RGB) || !(target->flags & AV_PIX_FMT_FLAG_RGB)
        || source->nb_components < 3)
        return true;
    const VideoStreamInfo* info = m_task.streamInfo;
    const int colourSpace = info && info->rec2020 ? SWS_CS_BT2020 : info && info->rec709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    const bool fullRange = decoded->color_range == AVCOL_RANGE_JPEG;
    // The cached context is made again whenever the picture's size or format changes.
    const std::array<int, 6> key = {decoded->width, decoded->height, decoded->format, m_task.targetPixelFormat,
                                    colourSpace, fullRange ? 1 : 0};
    if (key == m_scalerColourKey)
        return true;
    const int* coefficients = sws_getCoefficients(colourSpace);
    sws_setColorspaceDetails(m_scaler.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    m_scalerColourKey = key;
    return true;
}

std::shared_ptr<VideoFrame> VideoDecodeWorker::Convert(const AVFrame* decoded, int64_t time)
{
    const Task& task = m_task;
    const VideoStreamInfo* info = task.streamInfo;
    const int width = decoded->width;
    const int height = decoded->height;
    const bool floatPlanes = IsFloatPlanesToPacked(decoded, task.targetFormat);
    if (width <= 0 || height <= 0 || (!floatPlanes && !PrepareScaler(decoded))) {
        Logger::error(QStringLiteral("Failed to prepare image surface for decoding"), AVERROR(EINVAL));
        return nullptr;
    }
    const auto target = static_cast<AVPixelFormat>(task.targetPixelFormat);
    // Rows are as wide as the stream's padded width; the renderers crop the padding.
    const int rowPixels = std::max(info ? info->paddedWidth : width, width);
    int lineSizes[4] = {};
    if (av_image_fill_linesizes(lineSizes, target, rowPixels) < 0) {
        Logger::error(QStringLiteral("Failed to prepare image surface for decoding"), AVERROR(EINVAL));
        return nullptr;
    }
    for (int& line : lineSizes)
        line = FFALIGN(line, task.alignment);
    const double fd = info ? info->frameDuration : 0.0;

    if (m_export) {
        const int size = av_image_get_buffer_size(target, rowPixels, height, task.alignment);
        if (size < 0) {
            Logger::error(QStringLiteral("Failed to prepare image surface for decoding"), size);
            return nullptr;
        }
        if (size > m_exportScratchSize) {
            m_exportScratch.reset(static_cast<unsigned char*>(av_malloc(static_cast<size_t>(size) + VideoFrame::kConversionSlack)));
            m_exportScratchSize = m_exportScratch ? size : 0;
            if (!m_exportScratch)
                return nullptr;
        }
        uint8_t* planes[4] = {};
        av_image_fill_pointers(planes, target, height, m_exportScratch.get(), lineSizes);
        if (floatPlanes)
            ConvertFloatPlanes(decoded, task.targetFormat, planes[0], lineSizes[0]);
        else
            sws_scale(m_scaler.get(), decoded->data, decoded->linesize, 0, height, planes, lineSizes);
        return VideoFrame::Create(planes, lineSizes, width, height, task.targetFormat, time, fd, info, true);
    }

    auto frame = VideoFrame::Allocate(task.targetFormat, height, lineSizes, time, fd, info);
    uint8_t* planes[4] = {frame->planes[0].get(), frame->planes[1].get(), frame->planes[2].get(), nullptr};
    if (floatPlanes)
        ConvertFloatPlanes(decoded, task.targetFormat, planes[0], lineSizes[0]);
    else
        sws_scale(m_scaler.get(), decoded->data, decoded->linesize, 0, height, planes, lineSizes);
    // Padding at the end of rows is never shown; clear it so the pictures are deterministic.
    const int pixelBytes = task.targetFormat == VideoFrameFormatRGB ? 3 : task.targetFormat == VideoFrameFormatRGBA ? 4 : 1;
    for (int plane = 0; plane < 3 && planes[plane]; ++plane) {
        const int used = (plane == 0 ? width : (width + 1) / 2) * pixelBytes;
        const int rows = plane == 0 ? height : (height + 1) / 2;
        if (lineSizes[plane] > used)
            for (int y = 0; y < rows; ++y)
                std::memset(planes[plane] + static_cast<ptrdiff_t>(y) * lineSizes[plane] + used, 0,
                            static_cast<size_t>(lineSizes[plane] - used));
    }
    if (task.exr && task.gamma)
        ApplyGamma(*frame);
    return frame;
}
