#pragma once

#include <memory>

// Owning pointers for FFmpeg objects. Only forward declarations here, so that headers of the
// engine can hold FFmpeg objects without pulling FFmpeg's headers into every includer.
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

struct AvFormatContextDeleter { void operator()(AVFormatContext* p) const; };
struct AvCodecContextDeleter { void operator()(AVCodecContext* p) const; };
struct AvFrameDeleter { void operator()(AVFrame* p) const; };
struct AvPacketDeleter { void operator()(AVPacket* p) const; };
struct SwsContextDeleter { void operator()(SwsContext* p) const; };
struct SwrContextDeleter { void operator()(SwrContext* p) const; };
struct AvBufferDeleter { void operator()(void* p) const; }; // memory from av_malloc

using AvFormatContextPtr = std::unique_ptr<AVFormatContext, AvFormatContextDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AvBufferPtr = std::unique_ptr<unsigned char, AvBufferDeleter>;

AvFramePtr MakeAvFrame();
AvPacketPtr MakeAvPacket();
