#pragma once

// The one place where the code branches on FFmpeg versions. Include after FFmpeg's headers.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <cmath>

// Display rotation of a stream in degrees (counter-clockwise, as FFmpeg reports it),
// truncated toward zero; 0 when the stream has no display matrix.
inline int StreamDisplayRotation(const AVStream* stream)
{
    const uint8_t* matrix = nullptr;
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 102) // FFmpeg 6.1
    const AVPacketSideData* side = av_packet_side_data_get(stream->codecpar->coded_side_data,
                                                           stream->codecpar->nb_coded_side_data,
                                                           AV_PKT_DATA_DISPLAYMATRIX);
    if (side && side->size >= 9 * sizeof(int32_t))
        matrix = side->data;
#else
    size_t size = 0;
    matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (size < 9 * sizeof(int32_t))
        matrix = nullptr;
#endif
    if (!matrix)
        return 0;
    const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    return std::isfinite(degrees) ? static_cast<int>(std::trunc(degrees)) : 0;
}
