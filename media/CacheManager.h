#pragma once

#include "media/AudioFrame.h"
#include "media/VideoFrame.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

using VideoFramePtr = std::shared_ptr<VideoFrame>;

// The decoded frames of one timeline: a run of audio blocks and a run of video frames, each
// contiguous in time and ordered by time, kept within a memory budget.
//
// Threads: the video run is inserted into, trimmed and searched only on the timeline's video
// decode thread. The audio run is written by the audio decode thread and read by the audio
// output thread; every audio operation takes the mutex. Any thread may read the start and
// end times, sizes and limits (single atomic values). The release lists are taken by the
// main thread, which frees their frames in batches.
class CacheManager : public QObject
{
    Q_OBJECT

public:
    explicit CacheManager(QObject* parent = nullptr); // budget from the cacheSize setting

    // Whatever the setting or a timeline's share of it, a cache gets at least this (MB).
    static constexpr int kMinimumCacheSize = 256;
    static constexpr int64_t kBytesPerMegabyte = 1'000'000;
    // The video budget of a cache of `megabytes`, in bytes: never below the minimum.
    static constexpr int64_t VideoBudget(int megabytes)
    {
        return static_cast<int64_t>(megabytes > kMinimumCacheSize ? megabytes : kMinimumCacheSize) * kBytesPerMegabyte;
    }

    // Video maximum = VideoBudget(m); the audio maximum is 1.2 % of it. The audio size counts
    // the bytes the blocks hold (AudioFrame::HeldBytes): silence blocks count nothing, so a
    // soundless timeline of any length fits, as one block per clip or gap.
    void SetCacheSize(int megabytes);

    void CacheAudioFrame(const AudioFramePtr& frame);
    void CacheVideoFrame(const VideoFramePtr& frame);
    void AppendSilence(int64_t from, int64_t to);
    void PrependSilence(int64_t from, int64_t to);

    // Each removes at most one frame, and only when the run is at its maximum: from the
    // front when more than (1 - bias) of the bytes lie behind the playhead `t` (forward
    // play), from the back when more than `bias` of them lie ahead (backward play).
    void TrimAudio(int64_t t, bool forward, double bias);
    void TrimVideo(int64_t t, bool forward, double bias);

    // Appends the frame whose timeline span holds `t`, then its previous and next frames
    // (null at the ends); three nulls when `t` is outside the run.
    void GetVideoFrames(int64_t t, std::vector<VideoFramePtr>& out) const;

    AudioFramePtr GetAudioFrame(int64_t t, bool setCursor);
    AudioFramePtr CurrentAudioFrame();
    AudioFramePtr StepAudioFrame(bool forward);

    void ExtendVideoEnd(int64_t t);

    // Empties both runs. With `deferRelease` the frames go to the release lists instead of
    // being freed here.
    void Clear(bool deferRelease = false);
    void ClearVideo(bool deferRelease = false);
    void ClearAudio(bool deferRelease = false);
    std::vector<VideoFramePtr> TakeReleasedVideoFrames();
    std::vector<AudioFramePtr> TakeReleasedAudioFrames();

    int VideoFrameCount() const { return m_videoCount; }
    int AudioFrameCount() const;
    int64_t VideoStartTime() const { return m_videoStartTime; }
    int64_t VideoEndTime() const { return m_videoEndTime; }
    int64_t VideoTimelineStartTime() const { return m_videoTimelineStartTime; }
    int64_t VideoTimelineEndTime() const { return m_videoTimelineEndTime; }
    int32_t FirstTimelineFrame() const { return m_firstTimelineFrame; }
    int32_t LastTimelineFrame() const { return m_lastTimelineFrame; }
    int64_t VideoSize() const { return m_videoSize; }
    int64_t VideoMaximumSize() const { return m_videoMaximumSize; }
    bool IsVideoFull() const { return m_videoSize >= m_videoMaximumSize; }
    int64_t AudioStartTime() const { return m_audioStartTime; }
    int64_t AudioEndTime() const { return m_audioEndTime; }
    int64_t AudioSize() const { return m_audioSize; }
    int64_t AudioMaximumSize() const { return m_audioMaximumSize; }
    bool IsAudioFull() const { return m_audioSize >= m_audioMaximumSize; }

    QString CacheInfo(const QString& title) const;

    // A block of silence from `from` to `to` µs (inclusive) in the engine format.
    static AudioFramePtr MakeSilence(int64_t from, int64_t to);

private:
    void RemoveFirstVideo();
    void RemoveLastVideo();
    void ClearVideoFields();
    void ClearAudioLocked(bool deferRelease);
    void InsertAudioLocked(const AudioFramePtr& frame);

    std::deque<AudioFramePtr> m_audioFrames;  // guarded by m_mutex
    std::deque<VideoFramePtr> m_videoFrames;  // video decode thread only
    std::vector<AudioFramePtr> m_releasedAudio; // guarded by m_mutex
    std::vector<VideoFramePtr> m_releasedVideo; // guarded by m_mutex

    std::atomic<int64_t> m_audioStartTime{0};
    std::atomic<int64_t> m_audioEndTime{0};
    std::atomic<int64_t> m_audioSize{0};
    std::atomic<int64_t> m_audioMaximumSize{0};
    std::atomic<int64_t> m_videoStartTime{0};
    std::atomic<int64_t> m_videoEndTime{0};
    std::atomic<int64_t> m_videoTimelineStartTime{0};
    std::atomic<int64_t> m_videoTimelineEndTime{0};
    std::atomic<int32_t> m_firstTimelineFrame{0};
    std::atomic<int32_t> m_lastTimelineFrame{0};
    std::atomic<int64_t> m_videoSize{0};
    std::atomic<int64_t> m_videoMaximumSize{0};
    std::atomic<int32_t> m_videoCount{0};
    // Index of the block the audio output reads, guarded by m_mutex. -1 when a look-up found
    // nothing; kLostCursor when its block was trimmed away, so that steps find nothing.
    static constexpr int64_t kLostCursor = INT64_MIN / 2;
    int64_t m_audioCursor = -1;
    mutable QMutex m_mutex;
};
