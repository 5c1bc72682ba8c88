#include "media/PacketDecoder.h"

#include "core/Logger.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

PacketDecoder::PacketDecoder(const char* kind)
    : m_invalidDataWarning(QStringLiteral("Invalid data decoding %1 packet... skipping").arg(QLatin1String(kind)))
{
}

int PacketDecoder::ReceiveAll(AVCodecContext* codec, AVFrame* frame, const std::function<void(AVFrame*)>& onFrame)
{
    int damaged = 0; // consecutive damaged frames: a codec that only reports errors is left
    for (;;) {
        const int result = avcodec_receive_frame(codec, frame);
        if (result >= 0) {
            damaged = 0;
            onFrame(frame);
            av_frame_unref(frame);
            continue;
        }
        if (result == AVERROR(EAGAIN))
            return 0;
        if (result == AVERROR_EOF) {
            m_endOfStream = true;
            return 0;
        }
        if (result == AVERROR_INVALIDDATA && ++damaged < 64) {
            // With frame threads a damaged packet is reported here rather than on sending.
            Logger::warning(m_invalidDataWarning);
            continue;
        }
        Logger::error(QStringLiteral("receive_frame error: %1").arg(result));
        return result;
    }
}

int PacketDecoder::Decode(AVCodecContext* codec, const AVPacket* packet, AVFrame* frame,
                          const std::function<void(AVFrame*)>& onFrame)
{
    if (packet && !m_endOfStream) {
        int result = avcodec_send_packet(codec, packet->size > 0 ? packet : nullptr);
        if (result == AVERROR(EAGAIN)) {
            // The codec holds frames that must be taken before it accepts more input.
            const int received = ReceiveAll(codec, frame, onFrame);
            if (received < 0)
                return received;
            result = avcodec_send_packet(codec, packet->size > 0 ? packet : nullptr);
            if (result == AVERROR(EAGAIN))
                Logger::error(QStringLiteral("EAGAIN (on send --> Should not see this error)"));
        }
        if (result == AVERROR_INVALIDDATA) {
            Logger::warning(m_invalidDataWarning);
        } else if (result == AVERROR_EOF) {
            m_endOfStream = true;
        } else if (result < 0 && result != AVERROR(EAGAIN)) {
            Logger::error(QStringLiteral("send_packet error: %1").arg(result));
            return result;
        }
    }
    return ReceiveAll(codec, frame, onFrame);
}
