#pragma once

#include "media/AudioFrame.h"
#include "media/AudioFrame.h"
#include "media/AvDecoderBase.h"
#include "media/AvDecoderBase.h"
#include "media/DecodeStatus.h"
#include "media/PacketDecoder.h"
#include "media/PacketDecoder.h"

#include <deque>
#include <memory>
#include <vector>

struct AudioStreamInfo;

// Turns one audio stream of a source's file into blocks of the engine's audio format
// (48 kHz, stereo, float), forwards or backwards from any media time. Each decoded frame
// becomes one block, timed by the stream's time stamps. Blocks are emitted through
// AudioFrameDecoded in time order forwards and latest first backwards; a null block marks
// the end of the stream (forwards) or its start (backwards).
//
// Owned and driven by one engine thread (the audio decode scheduler's, or a parse task's).
class AudioDecoder : public AvDecoderBase
{
    Q_OBJECT

public:
    explicit AudioDecoder(QObject* parent = nullptr);
    ~AudioDecoder() override;

    bool OpenStream(int streamInfoIndex) override;
    void SetForward(bool forward) { m_forward = forward; }
    bool IsForward() const { return m_forward; }
    // Container index of the stream seeks go through (the file's first video stream), or -1.
    void SetSeekStream(int containerIndex) { m_seekStream = containerIndex; }
    // Positions a little (100 ms) before `t` µs.
    void Seek(int64_t t);
    // Forwards: MoreToCome, or EndOfFile once the end marker was emitted. Backwards:
    // MoreToCome, or StartReached once the stream's first block and the marker were emitted.
    DecodeStatus DecodeNext();
    Q_INVOKABLE void Stop() { m_decoding = false; }

    // Finds the stream's start time (the first block that ends after 0) and end time (the
    // end of its last block). Warns when no block decodes.
    void MeasureStreamTimes();

signals:
    void ProcessEventsRequested();
    void AudioFrameDecoded(std::shared_ptr<AudioFrame> audioFrame, AudioStreamInfo* streamInfo);

private:
    bool SeekDemuxer(int64_t s);
    // Reads the next packet of the stream and decodes it into m_blocks; EndOfFile at the end
    // (after draining the codec).
    DecodeStatus DecodeStep();
    void ConvertFrame(const AVFrame* frame);
    DecodeStatus BackwardStep();
    // Cuts the window's last blocks back to the window end; returns the start of the last
    // block dropped whole (-1 when none was).
    int64_t TrimToWindowEnd();

    AudioStreamInfo* m_streamInfo = nullptr;
    int m_containerStreamIndex = -1;
    double m_timeBase = 0.0; // µs per tick
    AvFramePtr m_frame;
    SwrContextPtr m_resampler;
    AvPacketPtr m_packet;
    PacketDecoder m_decoder{"audio"};
    bool m_decoding = false;
    bool m_forward = true;
    int64_t m_seekTime = 0; // µs; backwards, the end of the window
    int m_seekStream = -1;
    int64_t m_blockTime = -1; // µs, start of the next block
    bool m_endOfFile = false;
    std::vector<AudioFramePtr> m_blocks;  // of the packet just decoded
    std::deque<AudioFramePtr> m_pending;  // backwards: the window, earliest first
    // Backwards, after the first window: the window ends just before sound already emitted.
    bool m_continuingBackwards = false;
};
