#pragma once

#include <QString>

#include <functional>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// The send/receive step that the video and audio decoders share: feeds one packet to a codec
// and hands every frame the codec returns to a callback. Used on the decoder's own thread.
class PacketDecoder
{
public:
    // `kind` names the media in messages ("video" or "audio").
    explicit PacketDecoder(const char* kind);

    // Sends `packet` (an empty packet starts draining the codec; null sends nothing and only
    // collects frames still waiting) and calls `onFrame` for each frame received, in order.
    // Codec errors are logged; invalid data is a warning and the packet is skipped.
    // Returns 0, or the negative FFmpeg error that ended the step. End of stream is not an
    // error: it sets EndOfStream().
    int Decode(AVCodecContext* codec, const AVPacket* packet, AVFrame* frame,
               const std::function<void(AVFrame*)>& onFrame);

    bool EndOfStream() const { return m_endOfStream; }
    void Reset() { m_endOfStream = false; } // after the codec was flushed

private:
    // Receives frames until the codec wants input; returns 0 or the error that stopped it.
    int ReceiveAll(AVCodecContext* codec, AVFrame* frame, const std::function<void(AVFrame*)>& onFrame);

    QString m_invalidDataWarning;
    bool m_endOfStream = false;
};
