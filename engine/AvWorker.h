#pragma once

#include "engine/AvWorkerTask.h"
#include "media/VideoFrame.h"

#include <QObject>

#include <atomic>
#include <memory>

class AudioOutputManager;
class DecodeManager;
class Timeline;

// Runs one engine task on its own thread: creates the object that does the work (a parser,
// a decode manager, ...) and reports back. Lives on its task's thread; the media manager
// reaches it only through queued signals carrying a worker id, which every worker but the
// addressee ignores (-1 addresses all). A worker runs one task in its life.
class AvWorker : public QObject
{
    Q_OBJECT

public:
    explicit AvWorker(int id, QObject* parent = nullptr);
    ~AvWorker() override;

    int Id() const { return m_id; }
    AudioOutputManager* AudioOutput() const { return m_audioOutput.get(); } // this worker's thread only
    // Workers alive in the process (for tests that check nothing is left behind).
    static int LiveCount() { return s_live; }

public slots:
    void DoTask(int workerId, AvWorkerTask* task);
    void EndTask(int workerId);
    void UpdateDecodeTrack(int workerId);
    void Seek(int workerId);
    void RefreshCache(int workerId);
    // The audio output task's requests. Each timeline sent is confirmed with
    // AudioPlaybackTimelineTaken once the output reads it instead of the one before.
    void SetAudioPlaybackTimeline(Timeline* timeline);
    void SetAudioPlaybackReady(bool ready);
    void SetAudioOutputSettings(const AudioOutputSettings& settings);
    void UpdateAudioOutputState(bool playing, bool playForward, int64_t duration, float playbackMultiplier);
    void ResetAudioOutputDevice();
    void LogAudioOutputInfo();

signals:
    void TaskCompleted(int workerId);
    void VideoFrameChanged(int workerId, std::shared_ptr<VideoFrame> videoFrame,
                           std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame);
    void AudioPlaybackTimelineTaken();
    // A line of an export pass's log: text, channel (ExportLoggingMsgType), error flag.
    void ExportLogMsgReceived(const QString& text, int msgType, bool isErrorMsg);

private:
    void Complete();
    // An export task's pass is no longer pending in its request (it ran, or never will).
    static void ClearExportPending(AvWorkerTask* task);

    const int m_id;
    bool m_busy = false;
    bool m_completed = false;
    bool m_endRequested = false;
    AvWorkerTask* m_task = nullptr;
    std::unique_ptr<DecodeManager> m_decodeManager; // while a decode task runs
    std::unique_ptr<AudioOutputManager> m_audioOutput; // an audio output task's, until it ends
    static inline std::atomic<int> s_live{0};
};
