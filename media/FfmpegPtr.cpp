#include "media/FfmpegPtr.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

void AvFormatContextDeleter::operator()(AVFormatContext* p) const
{
    avformat_close_input(&p);
}

void AvCodecContextDeleter::operator()(AVCodecContext* p) const
{
    avcodec_free_context(&p);
}

void AvFrameDeleter::operator()(AVFrame* p) const
{
    av_frame_free(&p);
}

void AvPacketDeleter::operator()(AVPacket* p) const
{
    av_packet_free(&p);
}

void SwsContextDeleter::operator()(SwsContext* p) const
{
    sws_freeContext(p);
}

void SwrContextDeleter::operator()(SwrContext* p) const
{
    swr_free(&p);
}

void AvBufferDeleter::operator()(void* p) const
{
    av_free(p);
}

AvFramePtr MakeAvFrame()
{
    return AvFramePtr(av_frame_alloc());
}

AvPacketPtr MakeAvPacket()
{
    return AvPacketPtr(av_packet_alloc());
}
