#include "media/CodecFramePool.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
}

#include <climits>

void CodecFramePool::PoolDeleter::operator()(AVBufferPool* pool) const
{
    av_buffer_pool_uninit(&pool);
}

CodecFramePool::CodecFramePool() = default;

CodecFramePool::~CodecFramePool() = default;

void CodecFramePool::Install(AVCodecContext* context)
{
    context->opaque = this;
    context->get_buffer2 = &CodecFramePool::GetBuffer;
}

int CodecFramePool::GetBuffer(AVCodecContext* context, AVFrame* frame, int flags)
{
    auto* pool = static_cast<CodecFramePool*>(context->opaque);
    // FFmpeg requires its own allocator for codecs without direct rendering and for
    // hardware frames.
    if (!pool || !(context->codec->capabilities & AV_CODEC_CAP_DR1) || context->hw_frames_ctx)
        return avcodec_default_get_buffer2(context, frame, flags);
    return pool->Get(context, frame);
}

int CodecFramePool::Get(AVCodecContext* context, AVFrame* frame)
{
    if (frame->format != m_format || frame->width != m_width || frame->height != m_height) {
        if (!Prepare(context, frame))
            return AVERROR(EINVAL);
    }
    for (size_t i = 0; i < m_pools.size(); ++i) {
        frame->data[i] = nullptr;
        frame->linesize[i] = 0;
        if (!m_pools[i])
            continue;
        frame->buf[i] = av_buffer_pool_get(m_pools[i].get());
        if (!frame->buf[i]) {
            av_frame_unref(frame);
            return AVERROR(ENOMEM);
        }
        frame->data[i] = frame->buf[i]->data;
        frame->linesize[i] = m_lineSizes[i];
    }
    frame->extended_data = frame->data;
    return 0;
}

bool CodecFramePool::Prepare(AVCodecContext* context, const AVFrame* frame)
{
    for (auto& pool : m_pools)
        pool.reset();
    m_format = -1;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    int width = frame->width;
    int height = frame->height;
    int align[AV_NUM_DATA_POINTERS] = {};
    // Codecs read and write beyond the picture: the padded size and row alignment they need.
    avcodec_align_dimensions2(context, &width, &height, align);
    int lineSizes[4] = {};
    for (;;) {
        if (av_image_fill_linesizes(lineSizes, format, width) < 0)
            return false;
        bool aligned = true;
        for (int i = 0; i < 4; ++i)
            aligned = aligned && (align[i] <= 0 || lineSizes[i] % align[i] == 0);
        if (aligned)
            break;
        width += width & ~(width - 1); // the lowest set bit: rows grow toward a wider alignment
    }
    const ptrdiff_t strides[4] = {lineSizes[0], lineSizes[1], lineSizes[2], lineSizes[3]};
    size_t sizes[4] = {};
    if (av_image_fill_plane_sizes(sizes, format, height, strides) < 0)
        return false;
    for (int i = 0; i < 4; ++i) {
        m_lineSizes[static_cast<size_t>(i)] = lineSizes[i];
        if (sizes[i] == 0)
            continue;
        const size_t padding = 16 + static_cast<size_t>(align[i] > 0 ? align[i] : 1) - 1;
        if (sizes[i] > static_cast<size_t>(INT_MAX) - padding)
            return false;
        // Zero-filled when first made, as FFmpeg's own are; after that a buffer holds the
        // last picture decoded into it until the codec overwrites it.
        m_pools[static_cast<size_t>(i)].reset(av_buffer_pool_init(sizes[i] + padding, av_buffer_allocz));
        if (!m_pools[static_cast<size_t>(i)])
            return false;
    }
    m_format = frame->format;
    m_width = frame->width;
    m_height = frame->height;
    return true;
}
