#pragma once

#include "media/DecodeType.h"
#include "media/VideoFrame.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <memory>

class Clip;
class Source;
class Timeline;
class Track;
class AudioDecoder;
class ImageSequenceDecoder;
class VideoDecoder;
struct AudioFrame;
struct AudioStreamInfo;

// Keeps one timeline's frame cache filled around its playhead, for one decode type (audio
// or video): walks the clips of its own copy of the timeline's track in the playback
// direction, decodes the clip under the decode position, moves every frame onto the
// timeline, caches it, trims the cache, and reports the frame at the playhead.
//
// Lives on its task's thread, where StartDecoding runs until Stop. Requests from other
// threads (Restart, Stop, UpdateDecodeTrack, RefreshCache) arrive queued and run between
// decode steps, inside ProcessEvents.
class DecodeManager : public QObject
{
    Q_OBJECT

public:
    // The image-sequence thread count setting is copied here: construct on the main thread,
    // or give the count copied there (engine tasks do), since the settings are not read on
    // other threads.
    explicit DecodeManager(QObject* parent = nullptr);
    explicit DecodeManager(int imageSequenceThreadCount, QObject* parent = nullptr);
    ~DecodeManager() override;

    // Runs the decode loop until Stop(). A null timeline or DecodeType::None logs and returns.
    void StartDecoding(Timeline* timeline, DecodeType decodeType, bool exportFrames);

    // Number of times a decoder was opened (a seek within the clip re-seeks instead). Any thread.
    int DecoderOpenCount() const { return m_decoderOpens; }

    // Any thread: the decode loop ends at its next check, also in the middle of a clip. Stop,
    // queued to this manager's thread, is still needed to stop a decoder's own work sooner.
    void RequestStop() { m_running = false; }

public slots:
    // A seek: decoding moves to the timeline's playback time.
    void Restart();
    void Stop();
    // The timeline's track changed: decode from a fresh copy.
    void UpdateDecodeTrack();
    // The cache budget changed: trim toward the new limit.
    void RefreshCache();

signals:
    void VideoFrameChanged(std::shared_ptr<VideoFrame> videoFrame, std::shared_ptr<VideoFrame> previousFrame,
                           std::shared_ptr<VideoFrame> nextFrame);
    void ProcessAudioOutput();

private:
    void MainLoop();
    void HandleSeekRequest();
    void SelectClip(int64_t t);
    bool WantsForward() const;
    // Ends the clip being decoded because the playback direction turned.
    void DirectionChanged();
    void DecodeVideoClip(Clip* clip);
    void DecodeImageSequenceClip(Clip* clip);
    // Decodes the clip from the clip decode position until the clip is done, a seek leaves
    // it or the direction changes; a seek within the clip re-seeks `decoder`. Returns whether
    // the stream's end (or start) ended the pass.
    template <typename Decoder>
    bool DecodeClipPass(Clip* clip, Decoder& decoder);
    void NoVideoClip(Clip* clip);
    // A clip pass that delivered nothing: covers the rest of the clip with what is cached.
    void FillGap(Clip* clip);
    void ApplyTrackUpdate();
    void DecodeAudioClip(Clip* clip);
    void SilenceForClip(Clip* clip);
    void OnAudioFrameDecoded(std::shared_ptr<AudioFrame> block, AudioStreamInfo* streamInfo);
    void OnVideoFrameDecoded(std::shared_ptr<VideoFrame> frame);
    // A file of the sequence gave no picture: its frame is shown empty.
    void OnImageSequenceFileSkipped(int fileIndex);
    // Moves a frame of the current clip onto the timeline and caches it. `clipFrame` counts
    // from the clip's cut-in; a frame that `spansClip` covers the whole clip.
    void PlaceVideoFrame(std::shared_ptr<VideoFrame> frame, int32_t clipFrame, bool spansClip);
    bool DecoderForward() const;
    void ProcessEvents();
    void OutputVideoFrame();
    void Wait(int milliseconds);

    Timeline* m_timeline = nullptr; // borrowed for the task's life (see Timeline)
    std::atomic<bool> m_running{false};
    std::unique_ptr<Track> m_track; // this manager's own copy
    Clip* m_clip = nullptr;         // in m_track
    bool m_decodingInClip = false;
    DecodeType m_decodeType = DecodeType::None;
    bool m_forward = true;
    int64_t m_clipDecodePosition = -1; // µs, source time
    int64_t m_wantedTime = -1;         // µs, timeline time just sought to, until it is cached
    bool m_seekRequested = false;
    bool m_reseekInClip = false;
    bool m_trackUpdateRequested = false;
    std::unique_ptr<VideoDecoder> m_videoDecoder;
    std::unique_ptr<ImageSequenceDecoder> m_imageSequenceDecoder;
    bool m_sequencePass = false; // the frames being placed come from m_imageSequenceDecoder
    Source* m_sequenceSource = nullptr; // whose entries m_imageSequenceDecoder decodes, while it does
    std::unique_ptr<AudioDecoder> m_audioDecoder;
    int64_t m_audioOffset = 0; // µs, the source's audio delay while the timeline applies it
    std::shared_ptr<VideoFrame> m_shownFrame;
    int64_t m_shownFrameIndex = -1;
    bool m_exportFrames = false;
    std::atomic<int> m_decoderOpens{0};
    const int m_imageSequenceThreadCount;
    int m_framesCached = 0; // by the current clip pass
};
