#pragma once

#include "playback/AudioOutputSettings.h"
#include "playback/AudioStretcher.h"
#include "playback/RecentSamples.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

class AudioOutput;
class Timeline;

// Pushes the played timeline's audio to the sound device every 10 ms: as much as the device
// can take, read from the timeline's audio cache, stretched when the speed is not 1, or one
// frame's worth when scrubbing. The clock stays the master: when the device's played time
// drifts from it for a while, the read position moves to match. Lives on the audio output
// thread; the media manager reaches it through queued calls.
//
// The timeline is borrowed: the media manager keeps it alive until this object has taken
// another one (SetAudioTimeline, confirmed back to the manager) or is destroyed.
class AudioOutputManager : public QObject
{
    Q_OBJECT

public:
    explicit AudioOutputManager(const AudioOutputSettings& settings, QObject* parent = nullptr);
    ~AudioOutputManager() override;

    void SetAudioTimeline(Timeline* timeline);
    void ClearPending(); // and resynchronise at the next tick
    QString AudioDiagnosticReport() const;
    AudioOutput* Output() const { return m_output.get(); }
    // The volume, mute and backwards-sound settings in force (this object's thread).
    const AudioOutputSettings& OutputSettings() const { return m_settings; }

    // How well sound followed the clock since the last call, for tests and benchmarks.
    struct SyncStats
    {
        std::vector<int64_t> drift; // |drift| µs at each clock change while playing, the latest kMaxDriftSamples
        int corrections = 0;        // times the read position was moved to the clock
        int64_t pendingPeak = 0;    // bytes: the most sound read and waiting for the device
        int starvedTicks = 0;       // ticks of play with nothing to write once sound had begun
    };
    static constexpr size_t kMaxDriftSamples = 60'000; // ten minutes of clock changes at 100 a second
    // Returns the measurements and starts new ones. Any thread.
    SyncStats TakeSyncStats();

public slots:
    // Copied on the main thread (see AudioOutputSettings).
    void SetSettings(const AudioOutputSettings& settings);
    void SetAudioPlaybackReady(bool ready);
    void UpdateAudioOutputState(bool playing, bool playForward, int64_t duration, float playbackMultiplier);
    void WriteToAudioOutput();
    // Gives up the device; the next tick opens it again.
    void ResetAudioOutputDevice();
    void LogDiagnosticReport();

private:
    void Resync();

    Timeline* m_timeline = nullptr;
    AudioOutputSettings m_settings;
    QTimer m_pushTimer;
    std::unique_ptr<AudioOutput> m_output;
    AudioStretcher m_stretcher;
    QByteArray m_pending;
    QByteArray m_scratch;
    int64_t m_scrubDuration = -1;
    bool m_scrubFetched = false;
    bool m_playing = false;
    bool m_playForward = false;
    bool m_playbackReady = false;
    int64_t m_audioBaseTime = 0;
    int64_t m_playedAtResync = 0; // the device's played time (µs) at the last resync
    uint32_t m_seekCount = 0;     // the timeline's seek count at the last resync
    int64_t m_lastClockTime = -1;
    int64_t m_driftSum = 0;
    int m_driftCount = 0;
    bool m_resetRequested = false;
    bool m_soundFlowing = false; // sound was read since the last resync

    void RecordDrift(int64_t drift);
    void RecordRead(); // after a read for normal play

    mutable QMutex m_statsMutex;
    SyncStats m_stats;                            // guarded by m_statsMutex; drift kept below
    RecentSamples<int64_t> m_drift{kMaxDriftSamples}; // guarded by m_statsMutex
};
