#pragma once

#include "media/FfmpegPtr.h"
#include "media/PacketDecoder.h"
#include "media/VideoFrame.h"

#include <QObject>

#include <array>
#include <memory>
#include <vector>

struct VideoStreamInfo;

// Decodes one packet at a time into VideoFrames: sends it to the codec, times every frame it
// returns, converts the frames wanted into the target layout with a cached swscale context.
// Owned by a VideoDecoder and used on the decoder's thread; the decoder fills the task,
// emits DecodePacketRequested, and reads the task's frames when DecodingCompleted arrives.
class VideoDecodeWorker : public QObject
{
    Q_OBJECT

public:
    // Forwards, frames more than this many frame durations before the task's window end are
    // decoded (later pictures may refer to them) but not converted.
    static constexpr double kConvertWindowFrames = 24.0;

    struct Task
    {
        const VideoStreamInfo* streamInfo = nullptr;
        AVCodecContext* codec = nullptr;  // the decoder's; one packet in flight at a time
        double timeBase = 0.0;            // µs per tick
        int targetPixelFormat = 0;        // FFmpeg pixel format
        VideoFrameFormat targetFormat = VideoFrameFormatYUV420P;
        int alignment = 1;                // of plane rows, a power of two
        bool exr = false;                 // apply the gamma table for the software viewer
        bool gamma = false;
        int64_t sequence = 0;
        int64_t windowEnd = -1;   // µs; see kConvertWindowFrames
        int64_t convertFrom = -1; // µs; frames before it are not converted (-1: all are)
        int64_t frameTime = 0;    // µs, time of the last frame decoded (in: the decoder's last)
        bool convert = true;      // false: frames are only timed (measuring stream times)
        int64_t firstTimestamp = INT64_MIN; // µs, raw time stamp of the first frame decoded
        int64_t packetFirstTime = INT64_MIN; // µs, time of the first frame this packet gave
        int decodedCount = 0;
        int skipped = 0;          // frames not converted because of convertFrom
        std::vector<std::shared_ptr<VideoFrame>> frames; // a null entry marks the end of the stream
    };

    VideoDecodeWorker(int id, bool exportFrames, QObject* parent = nullptr);
    ~VideoDecodeWorker() override;

    int Id() const { return m_id; }
    AVPacket* Packet() { return m_packet.get(); }
    Task& CurrentTask() { return m_task; }
    bool EndOfStream() const { return m_decoder.EndOfStream(); }
    // Builds the frame of a picture decoded elsewhere, timed at `time` µs, with the layout of
    // the current task (its codec is not used).
    std::shared_ptr<VideoFrame> ConvertPicture(const AVFrame* picture, int64_t time) { return Convert(picture, time); }
    void ResetEndOfStream() { m_decoder.Reset(); }

public slots:
    void Decode();

signals:
    void PacketProcessingCompleted(int workerId);
    void DecodingCompleted(int workerId);

private:
    void OnFrame(AVFrame* decoded);
    std::shared_ptr<VideoFrame> Convert(const AVFrame* decoded, int64_t time);
    bool PrepareScaler(const AVFrame* decoded);
    int ScalerFlags() const;

    const int m_id;
    const bool m_export;
    AvPacketPtr m_packet;
    AvFramePtr m_decoded;
    SwsContextPtr m_scaler;
    // Size, formats and colour rules m_scaler's colour details were set for.
    std::array<int, 6> m_scalerColourKey = {-1, -1, -1, -1, -1, -1};
    AvBufferPtr m_exportScratch; // conversion target for export frames before packing
    int m_exportScratchSize = 0;
    PacketDecoder m_decoder{"video"};
    Task m_task;
};
