#pragma once

#include "playback/LoopState.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

// The player's one clock: playback time, direction, speed, range and loop state, advanced
// by a 1 ms precise timer by the wall-clock time that really passed (times the speed), so
// late timer events make larger steps rather than slow playback. It knows nothing of frames:
// its owner tells it to hold (SetWaitingForFrames) while the frame for the new time is
// missing. Times are microseconds. Main thread only.
class PlaybackManager : public QObject
{
    Q_OBJECT

public:
    explicit PlaybackManager(QObject* parent = nullptr);
    ~PlaybackManager() override;

    void Play(bool forward, bool useLoopStartOverride = false);
    void Stop();
    // With range handling: a time outside the active bounds wraps, bounces or stops as the
    // loop state says.
    void Seek(int64_t time, bool userSeek);
    void SetEndTime(int64_t time);
    void SetPlaybackRange(int64_t start, int64_t end);
    void ResetPlaybackRange();
    void SetPlaybackSpeed(float speed);
    void SetLoopState(int state);
    void CycleLoopState();
    void SetWaitingForFrames(bool waiting) { m_waitingForFrames = waiting; }
    void SetLoopStartOverride(int64_t time) { m_loopStartOverride = time; }

    int64_t CurrentTime() const { return m_currentTime; }
    int64_t EndTime() const { return m_endTime; }
    int64_t RangeStart() const { return m_rangeStart; }
    int64_t RangeEnd() const { return m_rangeEnd; }
    float PlaybackSpeed() const { return m_playbackSpeed; }
    bool PlayForward() const { return m_playForward; }
    bool IsPlaying() const { return m_timer.isActive(); }
    bool IsWaitingForFrames() const { return m_waitingForFrames; }
    LoopState GetLoopState() const; // a stored value above 2 reads (and is reset) as LoopOff
    bool LoopStartOverrideActive() const { return m_loopStartOverrideActive; }
    bool AutoPlayEnabled() const;
    void SetAutoPlayEnabled(bool enabled);
    bool AudioScrubEnabled() const;
    void SetAudioScrubEnabled(bool enabled);
    bool AudioScrubAllowed() const { return AudioScrubEnabled(); }

    // The clock's source of microseconds (monotonic); tests substitute their own.
    void SetTimeSource(std::function<int64_t()> now) { m_now = std::move(now); }

public slots:
    // One tick of the timer.
    void UpdatePlaybackTime();

signals:
    void PlaybackTimeChanged(int64_t playbackTime, bool isSeek);
    void PlaybackStateChanged(bool playing, bool playForward);
    void PlaybackSpeedChanged(float playbackSpeed);
    void PlaybackRangeChanged(int64_t startTime, int64_t endTime);
    void PlaybackEndTimeChanged(int64_t endTime);
    void LoopStateChanged(LoopState loopState);

private:
    int64_t LowerBound() const;
    int64_t UpperBound() const;

    QTimer m_timer;
    int64_t m_currentTime = 0;
    int64_t m_endTime = 0;
    int64_t m_rangeStart = 0;
    int64_t m_rangeEnd = 0;
    bool m_playForward = true;
    bool m_loopStartOverrideActive = false;
    int64_t m_loopStartOverride = 0;
    float m_playbackSpeed = 1.0f;
    int64_t m_lastTick = 0;
    bool m_waitingForFrames = false;
    std::function<int64_t()> m_now;
};
