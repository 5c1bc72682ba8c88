#pragma once

#include <array>
#include <memory>

struct AVBufferPool;
struct AVCodecContext;
struct AVFrame;

// Picture memory for a decoder that makes a new codec context for every picture, as image
// sequences do (one context per file). FFmpeg's own frame pool lives and dies with its
// context, so there every picture would be decoded into fresh, zero-filled memory, whose
// page faults cost a large share of decoding it. Buffers taken from here return when FFmpeg
// releases them and serve the next picture of the same size and format.
//
// Owned by one decoder and used on its thread. A codec context it is installed on must be
// freed before the pool; buffers still held then are freed when released.
class CodecFramePool
{
public:
    CodecFramePool();
    ~CodecFramePool();
    CodecFramePool(const CodecFramePool&) = delete;
    CodecFramePool& operator=(const CodecFramePool&) = delete;

    // Makes `context` take picture buffers from this pool; codecs that cannot decode into
    // buffers of the caller's keep FFmpeg's. Call before the context is opened.
    void Install(AVCodecContext* context);

private:
    static int GetBuffer(AVCodecContext* context, AVFrame* frame, int flags);
    int Get(AVCodecContext* context, AVFrame* frame);
    // Lays out planes for the frame's size and format as FFmpeg's own pool would.
    bool Prepare(AVCodecContext* context, const AVFrame* frame);

    struct PoolDeleter
    {
        void operator()(AVBufferPool* pool) const;
    };
    std::array<std::unique_ptr<AVBufferPool, PoolDeleter>, 4> m_pools;
    std::array<int, 4> m_lineSizes{};
    int m_format = -1;
    int m_width = 0;
    int m_height = 0;
};
