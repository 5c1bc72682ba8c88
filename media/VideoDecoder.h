#pragma once

#include "media/AvDecoderBase.h"
#include "media/AvDecoderBase.h"
#include "media/DecodeStatus.h"
#include "media/VideoFrame.h"
#include "media/VideoFrame.h"

#include <deque>
#include <memory>

struct AVFrame;
struct AVPacket;
struct VideoStreamInfo;
class CodecFramePool;
class VideoDecodeWorker;

// Turns one video stream of one file of a source (its entry) into VideoFrames, forwards or backwards,
// from any media time, in the layout the renderer wants (YUV420P for the OpenGL viewer,
// RGB24 or RGBA for the software viewer and four-component sources). Frames are emitted
// through VideoFrameDecoded, in time order forwards and latest first backwards.
//
// Owned and driven by one engine thread (the decode scheduler's, or a parse task's); frames
// leave it only as shared pointers. Stop() may arrive queued while DecodeNext runs: the
// decoder emits ProcessEventsRequested between packets so that its owner can run them.
class VideoDecoder : public AvDecoderBase
{
    Q_OBJECT

public:
    explicit VideoDecoder(bool exportFrames, QObject* parent = nullptr);
    ~VideoDecoder() override;

    void CreateDefaultWorker();

    // Opens stream record `streamInfoIndex` of the file of `entry`. The record is only read.
    bool Open(SourceFileEntry* entry, int streamInfoIndex) override;
    bool OpenStream(int streamInfoIndex) override;

    void SetForward(bool forward) { m_forward = forward; }
    bool IsForward() const { return m_forward; }

    // Positions the demuxer a little before `t` (µs on the source's time line) so that the
    // frame holding `t` is among the next ones delivered (forwards) or the first (backwards).
    void Seek(int64_t t);
    // MoreToCome; Busy while a packet is in flight; forwards EndOfFile once the codec was
    // drained at the end of the file; backwards StartReached once the stream's first frame
    // was delivered.
    DecodeStatus DecodeNext();
    Q_INVOKABLE void Stop() { m_decoding = false; }
    int BusyWorkerCount() const { return m_packetInFlight ? 1 : 0; }
    void Shutdown();

    // Finds the stream's start offset (time stamp of the first frame) and decoded end time,
    // and from them its end time and frame count. Warns and uses 0 / -1 when they cannot be
    // found. Writes into the open stream record: for the parser only, since once a source is
    // parsed its records are read-only (see Source).
    void MeasureStreamTimes();

    // Bytes of converted frames a backward window may hold. A group of pictures that does not
    // fit is delivered in several windows. Until it is set, a quarter of the cacheSize
    // setting, read when first needed: decode tasks set it from their cache, so that their
    // threads never read the settings, which the main thread may change meanwhile.
    void SetBackwardMemoryLimit(int64_t bytes) { m_backwardMemoryLimit = bytes; }

    // Builds the frame of a picture decoded elsewhere, as decoding stream record
    // `streamInfoIndex` of the file of `entry` would have: the record decides the layout. The
    // parse of an image-sequence file decodes its one picture, so that it need not be
    // decoded twice. Closes whatever is open; null when the record is not usable.
    std::shared_ptr<VideoFrame> ConvertPicture(SourceFileEntry* entry, int streamInfoIndex, const AVFrame* picture);
    // Picture memory of image-sequence files, kept from one file to the next (made on first use).
    CodecFramePool* ImageFramePool();

    const VideoStreamInfo* StreamInfo() const { return m_streamInfo; }
    int64_t LastDecodedFrameTime() const { return m_lastDecodedFrameTime; }

signals:
    void DecodePacketRequested(int workerId);
    void ProcessEventsRequested();
    void VideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame);

public slots:
    void OnPacketProcessingCompleted(int workerId);
    void OnDecodingTaskCompleted(int workerId);

protected:
    void ConfigureVideoCodec(AVCodecContext* context) override;
    // Moves the container so that decoding starts at a keyframe at or before `s` µs on the
    // source's time line, at the start of the file for 0. Returns 0 or the FFmpeg error.
    // Virtual so that tests can make chosen seeks fail.
    virtual int SeekContainer(int64_t s);

private:
    // Sets the frame layout for the stream record in use; returns the picture's buffer size,
    // negative when it has none.
    int ChooseTargetLayout();
    // Gives the worker's task the stream, codec and layout in use.
    void FillTaskLayout(VideoDecodeWorker& worker) const;
    // Seeks the demuxer so that decoding starts at a keyframe at or before `s` µs.
    bool SeekDemuxer(int64_t s);
    // SeekDemuxer at `s`, or, where the container refuses, at ever earlier points down to the
    // start of the file: a failed seek must not cost the pictures before its target. Returns
    // the point reached, -1 when even the start was refused.
    int64_t SeekDemuxerAtOrBefore(int64_t s);
    DecodeStatus ReadNextPacket();
    bool PastBackwardWindow(const AVPacket& packet) const;
    bool NotWanted(const AVPacket& packet) const;
    DecodeStatus BackwardStep();
    bool FillBackwardWindow();
    void QueueBackwardWindow(int64_t windowEnd);
    int64_t BackwardMemoryLimit();

    bool m_export = false;
    VideoStreamInfo* m_streamInfo = nullptr;
    int m_containerStreamIndex = -1;
    double m_timeBase = 0.0; // µs per tick
    int m_targetPixelFormat = 0;
    VideoFrameFormat m_targetFormat = VideoFrameFormatYUV420P;
    int m_alignment = 1;
    bool m_openGLFrames = true; // frames for the OpenGL viewer (see RendererInUse), chosen on open
    int64_t m_lastDecodedFrameTime = 0;
    bool m_packetInFlight = false;
    bool m_decoding = false;
    bool m_forward = true;
    int64_t m_windowEnd = -1;
    int64_t m_packetSequence = 0;
    bool m_convert = true;
    // Forwards, the first frame after a seek must not be later than the time asked for.
    int64_t m_seekTarget = 0;
    bool m_verifyLanding = false;
    int64_t m_landingSeek = 0;
    int64_t m_landingBackoff = 0;
    std::unique_ptr<VideoDecodeWorker> m_worker;
    // Image sequences: picture memory kept from one file's codec context to the next.
    std::unique_ptr<CodecFramePool> m_framePool;

    // Backward play: the frames of one window, earliest first, emitted latest first.
    std::deque<std::shared_ptr<VideoFrame>> m_pending;
    int64_t m_pendingBytes = 0;
    int64_t m_backwardMemoryLimit = -1; // bytes; -1 until set or first needed
    int64_t m_backwardWindowEnd = -1;  // µs; the latest frame wanted in the window
    bool m_backwardSeekDone = false;   // the demuxer already stands before the window
    bool m_windowFromStart = false;    // the window was decoded from the start of the file
    bool m_windowTruncated = false;    // earlier frames of the window were dropped for memory
    int64_t m_convertFrom = -1;        // µs; frames before it would be dropped anyway
    int64_t m_lastFrameBytes = 0;      // size of a converted frame, once one was seen
    bool m_endOfFile = false;
    bool m_windowDrained = false;      // the codec was drained at the end of the window
};
