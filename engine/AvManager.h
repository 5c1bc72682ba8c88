#pragma once

#include "engine/AvWorkerTask.h"
#include "media/VideoFrame.h"
#include "playback/LoopState.h"
#include "project/ExportProperties.h"
#include "project/ProjectEngine.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class AvWorker;
class ExportPassRunner;
class PlaybackManager;
class QThread;
class Source;
class Timeline;
struct AudioFrame;

// The media engine's face on the main thread: owns the playback clock, runs every engine
// task (parse a source, decode a timeline's audio or video) on a thread of its own, relays
// requests to the workers and their results back, holds the clock while the frames for the
// new time are not cached yet, and frees dropped caches on the main thread in batches.
// Main thread only; workers are reached through queued signals.
//
// The timelines and sources it gives to its threads stay the project's: it connects to their
// AboutToBeDestroyed and, before one is freed, ends every task that may reach it (restarting
// afterwards, without a deleted source, the decoding it ended for other timelines), waits
// until the audio output has let go of it, and tells the viewers showing a picture that points
// into it to drop the picture (VideoFrameChanged with null frames). See Timeline and Source.
class AvManager : public QObject, public ProjectEngine
{
    Q_OBJECT

public:
    explicit AvManager(QObject* parent = nullptr);
    ~AvManager() override;

    PlaybackManager* Clock() const { return m_clock.get(); }
    Timeline* PrimaryTimeline() const override;
    int ActiveWorkerCount() const { return static_cast<int>(m_active.size()); }
    // The worker of the audio output task (id of the first task), or null.
    AvWorker* AudioOutputWorker() const;
    // The worker of an active or ending task, or null. It lives on its task's thread: reach it
    // only with queued calls.
    AvWorker* Worker(int workerId) const;
    int ShuttingDownWorkerCount() const { return static_cast<int>(m_shuttingDown.size()); }
    int PendingDeferredFrameCount() const;
    // Ids of the active tasks of `type` for `timeline` (any timeline when null).
    QList<int> TaskIds(int type, const Timeline* timeline = nullptr) const;

    // The passes StartTimelineExport runs (the export library installs them). Main thread.
    void SetExportPassRunner(std::shared_ptr<ExportPassRunner> runner);
    bool HasExportPassRunner() const { return m_exportRunner != nullptr; }
    // The export tasks' timeline copies that exist now (for tests that check none is left).
    int ExportTimelineCount() const { return static_cast<int>(m_exportTimelines.size()); }

    // Ends every task; returns false when some did not finish within `timeoutMs`. A non-final
    // shutdown keeps the audio output task.
    bool Shutdown(bool final, int timeoutMs);

public slots:
    bool ParseSource(Timeline* sourceTimeline) override;
    // The project's viewers: the timeline decoded (sound and picture) for the viewer's output,
    // or the output's tasks ended and the viewer emptied.
    void ShowInViewer(Timeline* timeline, int viewer, bool autoPlay) override;
    void PausePlayback() override { Pause(); }
    void SetPlaying(bool playing, bool forward) override;
    void SeekPlayback(int64_t time, bool audioScrub) override { SetPlaybackTime(time, audioScrub); }
    void DecodeTimeline(Timeline* timeline, int outputId, bool audio, bool video, bool keepViewerFrameOverride = false);
    void EndDecodingTask(int outputId, bool clearViewer, bool dropCache = false);
    void Play(bool forward = true, bool steppedPlayback = false);
    void Pause();
    void TogglePlayPause();
    void SetPlaybackTime(int64_t playbackTime, bool audioScrub = false, bool ignoreIfCacheNotReady = false,
                         bool ignoreInitializeStepped = false, bool audioScrubForward = true);
    void SetPlaybackSpeed(float speed);
    void SetLoopState(int loopState);
    void ToggleLoopState();
    void SetAutoPlayEnabled(bool enabled);
    void SetAudioScrubEnabled(bool enabled);
    void SetPrimaryTimeline(Timeline* timeline);
    void UpdatePrimaryDecodeTracks();
    void ReloadTimeline(Timeline* timeline);
    void RefreshCache();
    void LogCacheStats();
    void ResetAudioOutput() { emit ResetAudioOutputDeviceRequested(); }
    // Hands the audio output a copy of the volume, mute and backwards-sound settings as they
    // are now (the output thread never reads the settings itself).
    void ApplyAudioOutputSettings();
    void LogAudioOutputInfo() { emit LogAudioOutputInfoRequested(); }
    void ProcessDeferredDelete();
    // Runs a prepared export: an audio pass, then a video pass, each on an engine thread over
    // a copy of the request's timeline made here. ExportTasksEnded follows once, when the last
    // pass has ended (at once when the request has failed or was cancelled already).
    void StartTimelineExport(std::shared_ptr<ExportProperties> exportProperties);

signals:
    void ShutdownCompleted();
    void WorkerShutdownStarted(int workerId);
    void TaskStarted(int workerId, AvWorkerTask* task);
    void DecodeTrackUpdated(int workerId);
    void SeekRequested(int workerId);
    void RefreshCacheRequested(int workerId);
    void AudioOutputStateUpdated(bool playing, bool playForward, int64_t duration, float playbackSpeed);
    // Sent to the audio output before each state update (see AudioOutputSettings).
    void AudioOutputSettingsUpdated(const AudioOutputSettings& settings);
    void UpdateAudioOverrideRequested(Timeline* timeline);
    void AudioPlaybackReadyChanged(bool audioPlaybackReady);
    void AudioPlaybackTimelineChanged(Timeline* timeline);
    void ResetAudioOutputDeviceRequested();
    void LogAudioOutputInfoRequested();
    void PrimaryTimelineChanged(Timeline* timeline, bool primaryTimelineCleared);
    void PlaybackStateChanged(bool playing, bool playForward);
    void PlaybackSpeedChanged(float playbackSpeed);
    void PlaybackTimeChanged(int64_t playbackTime);
    void PlaybackFrameChanged(int playbackFrame);
    void PlaybackRangeChanged(int64_t startTime, int64_t endTime);
    void PlaybackEndTimeChanged(int64_t endTime);
    void SeekInProgress();
    void LoopStateChanged(LoopState loopState);
    void VideoFrameChanged(int outputId, std::shared_ptr<VideoFrame> videoFrame,
                           std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame);
    void TimelineDecodingEnded(Timeline* timeline);
    void ExportTasksEnded();
    void ExportLogMsgReceived(const QString& text, int msgType, bool isErrorMsg);

private slots:
    void QuitThread(int workerId);
    void FinalThreadCleanup();
    // The audio output has taken the oldest timeline sent to it that it had not taken yet.
    void OnAudioPlaybackTimelineTaken();
    void OnDecodeCopiesRefreshed();
    // Run by a timeline's or source's AboutToBeDestroyed: returns once no thread can reach it.
    void ReleaseTimeline(Timeline* timeline);
    void ReleaseSource(Source* source);
    void OnVideoFrameChanged(int workerId, std::shared_ptr<VideoFrame> videoFrame,
                             std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame);
    void OnPlaybackStateChanged(bool playing, bool forward);
    void OnPlaybackTimeChanged(int64_t time, bool isSeek);

private:
    struct Entry
    {
        QThread* thread = nullptr; // deleted by FinalThreadCleanup once it has finished
        AvWorker* worker = nullptr; // lives on `thread`; deletes itself when `thread` finishes
        std::unique_ptr<AvWorkerTask> task;
        int id = -1;
        bool dropCache = false;
    };

    int StartTask(int type, Timeline* timeline, Source* source = nullptr,
                  std::shared_ptr<ExportProperties> exportRequest = nullptr);
    // Starts the next queued export pass when none runs; emits ExportTasksEnded when none
    // runs and none is queued any more.
    void StartNextExportPass();
    // An ended export task: its timeline copy goes, the next pass may start.
    void OnExportTaskFinished(int workerId, Timeline* copy);
    void DeleteExportTimeline(Timeline* copy);
    // Stops the exports that may reach `source` (it is about to be freed): running passes are
    // cancelled, queued ones dropped with their copies.
    void StopExportsReaching(Source* source);
    // Connects, once, to the timeline's AboutToBeDestroyed and DecodeCopiesRefreshed, or to
    // the source's AboutToBeDestroyed.
    void Watch(Timeline* timeline);
    void Watch(Source* source);
    bool HasDecodeTasks(const Timeline* timeline) const; // active or ending
    // Adds the sources the timeline's decode copies play to those its tasks may reach.
    void AddReachableSources(Timeline* timeline);
    // Forgets what the timeline may reach once it has no decode task, no cached picture and
    // no picture in a viewer.
    void PruneReachableSources(Timeline* timeline);
    // Whether a task, a cache or a viewer may reach the source's stream records.
    bool SourceInUse(Source* source) const;
    // One of the copies made for export passes (queued, running or ending).
    bool IsExportTimeline(const Timeline* timeline) const;
    // Emits VideoFrameChanged, remembering whose picture the output shows.
    void ShowFrame(int outputId, Timeline* timeline, std::shared_ptr<VideoFrame> videoFrame,
                   std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame);
    // Tells the audio output which timeline to play; it holds the timeline from then on.
    void SendAudioPlaybackTimeline(Timeline* timeline);
    bool AudioOutputHolds(const Timeline* timeline) const;
    // Pumps events until `done` holds; false when `timeoutMs` passed first.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
    void ShareCache(Timeline* added);
    void EmitAudioOutputState(bool playing, bool playForward, int64_t duration, float playbackSpeed);
    bool InitializeStepped(int64_t t);
    Entry* FindActive(int workerId);
    std::vector<std::unique_ptr<Entry>>::iterator FindIn(std::vector<std::unique_ptr<Entry>>& list, int workerId);
    void BeginShutdown(std::vector<std::unique_ptr<Entry>>::iterator it);
    void WaitWhileShuttingDown(int timeoutMs);
    // Empties the timeline's video and/or audio cache; the frames are freed by
    // ProcessDeferredDelete, a batch per turn.
    void ReleaseCacheLater(Timeline* timeline, bool video, bool audio);
    void DisconnectPrimary();

    std::vector<std::unique_ptr<Entry>> m_active;
    std::vector<std::unique_ptr<Entry>> m_shuttingDown;
    std::unique_ptr<PlaybackManager> m_clock;
    QMap<int, Timeline*> m_outputTimelines;
    std::vector<std::shared_ptr<AudioFrame>> m_deferredAudio;
    std::vector<std::shared_ptr<VideoFrame>> m_deferredVideo;
    bool m_shuttingDownAll = false;
    bool m_finalShutdown = false; // no task starts after a final shutdown began
    // DecodeTimeline calls per output: a call that waits for the output's old tasks gives way
    // to a newer one made meanwhile (from the events processed while it waits).
    std::array<int, 4> m_outputRequests = {};
    Timeline* m_primary = nullptr;
    // Timelines sent to the audio output that it has not confirmed yet, oldest first, and the
    // one it confirmed last: the timelines it may be reading.
    std::deque<Timeline*> m_audioTimelinesSent;
    Timeline* m_audioTimelineTaken = nullptr;
    // For each timeline with decode tasks or cached pictures, and each export pass's copy
    // until it is deleted, the sources those may reach: every source of its decode copies
    // since its tasks started (a task keeps the copy it took until it is told to take a new
    // one).
    QHash<Timeline*, QSet<Source*>> m_reachableSources;
    QMap<int, Timeline*> m_shownTimelines; // whose picture each output shows
    QSet<const Timeline*> m_releasingTimelines; // no task starts on them
    QList<QMetaObject::Connection> m_primaryConnections;
    std::shared_ptr<ExportPassRunner> m_exportRunner;
    // Export passes not started yet (the video pass waits for the audio pass), in order.
    struct QueuedExportPass
    {
        int type = 0;
        Timeline* timeline = nullptr; // the copy, owned by m_exportTimelines
        std::shared_ptr<ExportProperties> request;
    };
    std::deque<QueuedExportPass> m_exportQueue;
    std::vector<std::unique_ptr<Timeline>> m_exportTimelines; // copies made for export passes
    int m_exportAudioId = -1;
    int m_exportVideoId = -1;
    bool m_exportRunning = false;
    int m_lastPlaybackFrame = -1;
    int m_playbackState = 0;
    bool m_audioPlaybackReady = false;
    QTimer m_deferredTimer;
    static inline int s_nextWorkerId = 0;
};
