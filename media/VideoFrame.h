#pragma once

#include "media/FrameBufferPool.h"

#include <QImage>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class Timeline;
struct VideoStreamInfo;

// Pixel layouts the engine produces.
enum VideoFrameFormat : int32_t {
    VideoFrameFormatRGB = 0,     // packed 8-bit R, G, B
    VideoFrameFormatRGBA = 1,    // packed 8-bit R, G, B, A
    VideoFrameFormatYUV420P = 2, // three 8-bit planes, chroma at half width and half height
};

// One decoded picture. Always held by std::shared_ptr and immutable once it has left the
// decoder, except for the timeline fields, which the decode scheduler fills in before the
// frame is cached, and the two end times, which the cache may stretch later.
//
// Display frames own copies of the decoded planes, row padding included, and expose them as
// QImage views (`planeImages`) whose width is the padded row length; renderers crop with the
// stream's padded width. Export frames own one tightly packed buffer instead.
struct VideoFrame
{
    std::array<FrameBuffer, 3> planes; // plane 1 and 2 only for YUV420P
    std::array<QImage, 3> planeImages;                // null on the export path
    VideoFrameFormat format = VideoFrameFormatRGB;
    int64_t time = 0; // µs, start of the picture on the source's (later the timeline's) time line
    // µs, time + frame duration truncated; INT64_MAX for an empty frame. The two end times
    // are stretched by the cache while viewers may read them, hence atomic.
    std::atomic<int64_t> endTime{0};
    int64_t timelineFrameStartTime = -1;
    std::atomic<int64_t> timelineFrameEndTime{-1};
    int32_t firstTimelineFrame = -1;
    int32_t lastTimelineFrame = -1;
    // The caching timeline, as a tag: never dereferenced, since a frame may outlive it.
    Timeline* timeline = nullptr;
    const VideoStreamInfo* streamInfo = nullptr;   // not owned; see VideoStreamInfo
    // Keeps `streamInfo` alive when the record is not a source's but the decoder's own (an
    // image-sequence file probed while decoding); null otherwise.
    std::shared_ptr<const void> streamInfoOwner;
    bool empty = false;
    FrameBuffer exportBuffer;
    int32_t exportBufferSize = 0;

    std::array<int32_t, 3> lineSizes{};  // bytes per row of each plane
    std::array<int32_t, 3> planeSizes{}; // bytes of each plane buffer

    // Builds a frame from converted planes of `width` x `height` pixels. `data` and
    // `lineSize` follow FFmpeg's plane layout; rows may be padded.
    static std::shared_ptr<VideoFrame> Create(const uint8_t* const data[], const int lineSize[], int width,
                                              int height, VideoFrameFormat format, int64_t time,
                                              double frameDuration, const VideoStreamInfo* streamInfo,
                                              bool forExport);

    // Bytes allocated beyond the end of every plane: the SIMD converters write whole blocks
    // of pixels and overrun rows whose width is not a multiple of 16 by up to 32 bytes.
    static constexpr size_t kConversionSlack = 64;

    // A display frame with uninitialised planes of `lineSizes` bytes per row for a picture
    // `height` rows high, for the caller to fill (a converter writing straight into it).
    // The plane images exist already and show whatever the planes hold.
    static std::shared_ptr<VideoFrame> Allocate(VideoFrameFormat format, int height, const int lineSizes[3],
                                                int64_t time, double frameDuration,
                                                const VideoStreamInfo* streamInfo);

    // A placeholder with no picture: one black 1 x 1 RGB image.
    static std::shared_ptr<VideoFrame> CreateEmpty(int64_t time = 0);

    // Bytes of picture data this frame holds.
    int64_t ByteSize() const;
};
