#pragma once

#include "media/DecodeType.h"
#include "project/RangeBookmark.h"
#include "project/RangeBookmark.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QUuid>

#include <atomic>
#include <memory>
#include <vector>

class CacheManager;
class Clip;
class FrameBookmark;
class Source;
class Track;
struct AudioFrame;
struct VideoFrame;

// What the player plays: clips laid end to end on one track, the state of playing it, its
// review data and its frame cache. A source timeline holds the one clip that owns a source;
// a regular timeline holds reference clips.
//
// Lives on the main thread. Decode threads use only: the cache (thread-safe as it says), the
// playback time, state and past-end flag, the output id and whether sources' audio delays
// apply (atomic), the decoding flags, and CopyDecodeTrack(), which hands them a private copy
// of the track. The audio output thread uses the audio
// reading functions and the playback time and seek count.
//
// Lifetime across threads: engine threads borrow a timeline, they never own it. A timeline is
// deleted on the main thread, and its destructor first emits AboutToBeDestroyed; the media
// engine, connected directly to every timeline it has given to one of its threads (a task, the
// audio output) or to a viewer, ends the tasks working on it and waits, pumping events and for
// a bounded time, until they have finished and the audio output has let go of it. So no
// thread but the main one ever sees a timeline being freed. Its frames may outlive it (a
// viewer holds the one it shows): they carry its address as a tag only.
class Timeline : public QObject
{
    Q_OBJECT

public:
    enum PlaybackState { Stopped = 0, PlayingForward = 2, PlayingBackward = 4 };

    // A source timeline: its track holds one clip that creates the source with `id`.
    Timeline(const QString& path, const QString& relativePath, const QUuid& id, QObject* parent = nullptr);
    // An empty timeline, with an empty regular track when `withTrack` is set.
    explicit Timeline(QObject* parent = nullptr, bool withTrack = true);
    ~Timeline() override;

    // A new regular timeline (or source timeline copy) with the same clips, range and time,
    // laid out as the sources are now. It follows no signal of the sources: parsing a source
    // again or moving its cut-in and cut-out does not touch it, so another thread may read it
    // while the main thread edits the project (an export's copy).
    Timeline* Duplicate(QObject* parent = nullptr) const;

    Track* GetTrack() const { return m_track; }
    CacheManager* Cache() const { return m_cache; }
    bool IsSourceTimeline() const;
    Source* GetSource() const; // of a source timeline

    int64_t EndTime() const { return m_endTime; } // any thread
    int32_t LastFrame() const;
    int32_t FrameCount() const;
    int64_t Duration() const;
    Clip* ClipAt(int index) const;
    Clip* ClipAtFrame(int32_t frame) const;
    Clip* ClipAtTime(int64_t time) const;
    int32_t TimeToFrame(int64_t time) const;
    int64_t FrameStartTime(int32_t frame) const;
    int64_t FrameEndTime(int32_t frame) const;
    double FrameRateAt(int32_t frame) const;
    double FrameDurationAt(int32_t frame) const; // µs, 0 when none
    int32_t FileFrameNumber(int32_t frame) const; // number in the file name, -1 when none
    QSize FirstVideoSize() const;
    int TimeControlFrameOffset() const;

    // Playback position and range.
    int64_t PlaybackTime() const { return m_playbackTime; }
    int32_t PlaybackFrame() const { return TimeToFrame(m_playbackTime); }
    void SetPlaybackFrame(int32_t frame);
    // A `seek` is a jump of the clock (not its steady advance); it is counted before the new
    // time is stored, so a reader that sees the new time also sees the new count.
    void SetPlaybackTime(int64_t time, bool seek = false);
    // Seeks so far; any thread. Sound read ahead from the old time is stale once it changes.
    uint32_t SeekCount() const { return m_seekCount; }
    bool PastEnd() const { return m_pastEnd; }
    int32_t RangeStartFrame() const { return m_rangeStartFrame; }
    int32_t RangeEndFrame() const; // resolved
    int32_t StoredRangeEndFrame() const { return m_rangeEndFrame; } // -1 = to the end
    int64_t RangeStartTime() const { return m_rangeStartTime; }
    int64_t RangeEndTime() const; // resolved
    void SetPlaybackRange(int32_t startFrame, int32_t endFrame);

    int PlaybackState() const { return m_playbackState; }
    void SetPlaybackState(int state) { m_playbackState = state; }
    bool PlaysForward() const { return m_playbackState < 3; }

    int32_t OutputId() const { return m_outputId; } // any thread
    void SetOutputId(int32_t id);

    bool UseSourceInOuts() const { return m_useSourceInOuts; }
    void SetUseSourceInOuts(bool use);
    bool UseSourceAudioDelay() const { return m_useSourceAudioDelay; } // any thread
    void SetUseSourceAudioDelay(bool use);
    void SetAudioDelay(int64_t delay); // source timelines only

    // Pan and zoom.
    bool PanZoomEnabled() const { return m_panZoomEnabled; }
    float Zoom() const { return m_zoom; }
    QPointF PanInterpolation() const { return m_panInterpolation; }
    void SetPanZoom(QPointF pan, float zoom, bool enabled);
    bool HoldAnnotations() const { return m_holdAnnotations; }
    void SetHoldAnnotations(bool hold) { m_holdAnnotations = hold; }

    // Clips (regular timelines only; -1 / null otherwise).
    int InsertClip(Clip* clip, int index, bool masterEdit = true);
    // Many clips at the end, laid out and announced once (a project being read).
    void AppendClips(const QList<Clip*>& clips);
    Clip* RemoveClip(int index, bool masterEdit = true);
    void RemoveClips(const QList<QUuid>& ids);
    // See Track::SetClipOrder; a master-track edit.
    void SetClipOrder(const QList<QUuid>& ids);

    // Audio override (regular timelines only).
    QUuid AudioOverrideId() const { return m_audioOverrideId; }
    void SetAudioOverrideId(const QUuid& id);
    Timeline* AudioOverrideTimeline() const { return m_audioOverrideTimeline; }
    void SetAudioOverrideTimeline(Timeline* timeline);

    // Bookmarks.
    const QList<RangeBookmark>& RangeBookmarks() const { return m_rangeBookmarks; }
    int AddRangeBookmark(int32_t start, int32_t end);
    bool HasRangeBookmark(int32_t start, int32_t end) const;
    bool RemoveRangeBookmark(int32_t start, int32_t end);
    int AddFrameBookmark(int32_t frame, FrameBookmark* bookmark = nullptr);
    FrameBookmark* FrameBookmarkAt(int32_t frame) const;
    FrameBookmark* RemoveFrameBookmark(int32_t frame);
    QList<FrameBookmark*> FrameBookmarks() const;
    FrameBookmark* BackgroundAnnotations() const { return m_background; }
    void ReplaceBackgroundAnnotations(FrameBookmark* bookmark);
    FrameBookmark* TakeBackgroundAnnotations();
    bool AnnotationsSaved() const;
    void MarkAnnotationsSaved();

    // Readiness of the cached runs at the playhead (always, once it is past the end) or at `t`.
    bool AudioReady() const { return m_pastEnd || AudioReadyAt(m_playbackTime); }
    bool AudioReadyAt(int64_t t) const;
    bool VideoReady() const { return m_pastEnd || VideoReadyAt(m_playbackTime); }
    bool VideoReadyAt(int64_t t) const;

    // Cache, for the engine.
    void CacheVideoFrame(const std::shared_ptr<VideoFrame>& frame);
    void CacheAudioFrame(const std::shared_ptr<AudioFrame>& frame);
    void GetVideoFrames(int64_t t, std::vector<std::shared_ptr<VideoFrame>>& out) const;
    void TrimAudioCache();
    void TrimVideoCache();
    void ClearCache();
    bool IsDecoding(DecodeType type) const;
    void SetDecoding(DecodeType type, bool decoding);

    // The engine's private copy of the track, laid out; the caller owns it. Any thread.
    Track* CopyDecodeTrack(DecodeType type) const;
    // Remakes the copies handed to the engine from the track, down the audio override chain;
    // emits DecodeCopiesRefreshed.
    void RefreshDecodeCopies();
    // The sources the clips of the two copies play (an audio override timeline's among them):
    // what a decode task that copies the track now can reach. Main thread.
    QList<Source*> DecodeSources() const;

    // Audio for the output: positions at `t` (the playback time when negative), then reads
    // bytes of the engine format forwards, or sample frames in reverse order backwards.
    void SeekAudio(QByteArray& buffer, int64_t t);
    void ReadAudio(QByteArray& buffer, int64_t bytes, bool forward);
    void ReadAudioDuration(QByteArray& buffer, int64_t duration, bool forward);
    bool AudioPositionValid() const;

signals:
    void TimelineUpdated();
    void MasterTrackEdited();
    void SourceParsed();
    void SourceUpdated();
    void EndTimeChanged(int64_t endTime);
    void PlaybackRangeChanged(int64_t startTime, int64_t endTime);
    void TimeControlFrameOffsetChanged(int frameOffset);
    void AudioOverrideTimelineChanged();
    void PanZoomChanged(QPointF panInterpolation, float zoomFactor, bool isEnabled);
    void UseSourcePropertiesInTimelineChanged();
    void BookmarksChanged();
    // The copies handed to decode tasks were remade: they may play other sources now.
    void DecodeCopiesRefreshed();
    // Emitted on the main thread at the start of the destructor, while the timeline is whole.
    // Whoever lent it to another thread takes it back before returning (see the class comment).
    void AboutToBeDestroyed(Timeline* timeline);

public slots:
    void OnTrackUpdated();
    void OnSourceParsed();
    void OnSourceUpdated();

private:
    void Init();
    void AttachTrack(Track* track);
    void EmitRange();

    Track* m_track = nullptr;
    mutable QMutex m_decodeCopiesMutex;
    std::unique_ptr<Track> m_decodeCopies[2]; // audio, video; guarded by the mutex
    CacheManager* m_cache = nullptr;
    std::atomic<int64_t> m_playbackTime{0};
    std::atomic<uint32_t> m_seekCount{0};
    int64_t m_rangeStartTime = 0;
    int64_t m_rangeEndTime = -1;
    int32_t m_rangeStartFrame = 0;
    int32_t m_rangeEndFrame = -1;
    std::atomic<bool> m_pastEnd{false};
    bool m_useSourceInOuts = true;
    std::atomic<bool> m_useSourceAudioDelay{true};
    std::atomic<int32_t> m_outputId{-1};
    std::atomic<int64_t> m_endTime{-1}; // the track's, kept for readers on other threads
    std::atomic<int> m_playbackState{Stopped};
    int64_t m_audioByteOffset = 0; // in the current audio block
    QList<RangeBookmark> m_rangeBookmarks;
    bool m_panZoomEnabled = false;
    float m_zoom = 1.0f;
    QPointF m_panInterpolation;
    bool m_holdAnnotations = false;
    FrameBookmark* m_background = nullptr;
    QPointer<Timeline> m_audioOverrideTimeline;
    QUuid m_audioOverrideId;
    std::atomic<bool> m_decoding[2] = {false, false};
};
