#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>

// A block of decoded sound in the engine format: 48,000 Hz, 2 channels, 32-bit float,
// interleaved (8 bytes per sample frame). Always held by std::shared_ptr.
struct AudioFrame
{
    QByteArray data;
    int64_t size = 0;       // bytes of data
    int64_t startTime = 0;  // µs, media time of the first sample
    int64_t endTime = 0;    // µs, start + sampleCount / source rate - 1, truncated
    int32_t sampleCount = 0; // samples per channel
    bool flag = false;
};

using AudioFramePtr = std::shared_ptr<AudioFrame>;
