#pragma once

#include "media/MetadataMap.h"

#include <cstdint>

// What probing learned about one video stream of one file. Records live in their source's
// file entry and keep their address until the source is parsed again or destroyed; decoders
// and frames point at them.
struct VideoStreamInfo
{
    bool valid = false;
    int32_t streamIndex = -1;   // index in the container
    QString codecName;
    int64_t endTime = -1;        // µs, last microsecond, clamped to the source's end; -1 for sequences
    int64_t decodedEndTime = -1; // µs, last decodable frame + one frame duration (before clamping)
    int32_t width = 0;
    int32_t height = 0;
    int32_t rotation = 0; // degrees, from the display matrix
    QString pixelFormatName;
    bool yuv = false;
    bool rec709 = false;
    bool rec2020 = false;
    bool linear = false;
    int32_t componentCount = 0;
    int32_t bitsPerPixel = 0;
    float pixelAspect = 0.0f;
    QString colorPrimaries;
    QString colorTransfer;
    QString colorSpace;
    QString colorRange;
    int64_t startTimeOffset = -1; // µs, subtracted from every frame time; 0 for sequences
    double frameDuration = 0.0;   // µs; -1 for sequences
    double frameRate = 0.0;       // fps rounded to three decimals; -1 for sequences
    int32_t frameCount = 0;
    int32_t codecDelay = 0;
    int32_t paddedWidth = 0; // width of decoded rows in pixels
    float displayAspect = 0.0f;
    MetadataMap metadata;
};
