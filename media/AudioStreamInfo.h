#pragma once

#include "media/MetadataMap.h"

#include <cstdint>

// What probing learned about one audio stream of one file.
struct AudioStreamInfo
{
    bool valid = false;
    int32_t streamIndex = -1;
    QString codecName;
    int64_t startTime = 0; // µs
    int64_t endTime = -1;  // µs, last microsecond of decoded audio
    int32_t channelCount = 0;
    uint64_t channelMask = 0;
    bool planar = false;
    int32_t bytesPerSample = 0;
    int32_t sampleRate = 0; // Hz
    int32_t sampleFormat = 0; // FFmpeg sample format code
    int32_t initialPadding = 0;
    int32_t extraDataSize = 0;
    int64_t startTimeOffset = 0; // µs, the first video stream's, so audio and video share one zero
    MetadataMap metadata;
};
