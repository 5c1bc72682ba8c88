#include "playback/AudioOutputManager.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AudioFrame.h"
#include "playback/AudioOutput.h"
#include "project/Timeline.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

constexpr int64_t kDriftLimit = 10'000; // µs
constexpr int kDriftSamples = 5;
// Stretched sound kept beyond the device's free space: one 10 ms tick.
constexpr qint64 kStretchCushion = AudioFormat::kSampleRate / 100 * AudioFormat::kBytesPerFrame;

} // namespace

AudioOutputManager::AudioOutputManager(const AudioOutputSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_output(std::make_unique<AudioOutput>(settings))
{
    m_pushTimer.setInterval(10);
    connect(&m_pushTimer, &QTimer::timeout, this, &AudioOutputManager::WriteToAudioOutput);
    m_stretcher.ResetStretcher();
}

AudioOutputManager::~AudioOutputManager()
{
    // The device may run this thread's event loop while it closes; no push may reach a
    // half-destroyed manager.
    m_pushTimer.stop();
    m_pushTimer.disconnect(this);
    m_output.reset();
}

void AudioOutputManager::SetAudioTimeline(Timeline* timeline)
{
    ClearPending();
    m_timeline = timeline;
    if (!timeline) {
        m_pushTimer.stop();
        m_output->Reset();
    } else {
        m_pushTimer.start();
    }
}

void AudioOutputManager::SetSettings(const AudioOutputSettings& settings)
{
    m_settings = settings;
    m_output->SetSettings(settings);
    m_output->ApplyVolume(); // a change of volume or mute is heard at once, playing or not
}

void AudioOutputManager::ClearPending()
{
    m_pending.clear();
    m_resetRequested = true;
}

void AudioOutputManager::SetAudioPlaybackReady(bool ready)
{
    m_playbackReady = ready;
    if (!ready)
        ClearPending();
}

void AudioOutputManager::UpdateAudioOutputState(bool playing, bool playForward, int64_t duration, float playbackMultiplier)
{
    m_output->ApplyVolume();
    m_playing = playing;
    if (!playing && m_output->State() == QAudio::IdleState && m_output->BytesUsed() > 0)
        m_output->Reset();
    const bool unchanged = playForward == m_playForward && playbackMultiplier == m_stretcher.Speed();
    if (unchanged) {
        if (!playing) {
            ClearPending();
            return;
        }
    } else {
        m_playForward = playForward;
        m_stretcher.SetStretchSpeed(playbackMultiplier);
        ClearPending();
        if (!playing)
            return;
    }
    if (m_scrubDuration >= 0 && duration >= 0 && !m_pending.isEmpty())
        m_pending.clear();
    m_scrubDuration = duration;
    m_scrubFetched = false;
}

void AudioOutputManager::Resync()
{
    // Read before the time: a seek landing in between is seen at the next tick.
    m_seekCount = m_timeline ? m_timeline->SeekCount() : 0;
    if (m_timeline)
        m_timeline->SeekAudio(m_pending, m_timeline->PlaybackTime());
    else
        m_pending.clear();
    m_stretcher.ResetStretcher();
    m_driftSum = 0;
    m_driftCount = 0;
    m_lastClockTime = -1;
    m_audioBaseTime = m_timeline ? m_timeline->PlaybackTime() : 0;
    // The device's played time counts from its start; sound played before this point
    // belongs to the old position.
    m_playedAtResync = m_output->PlayedMicroseconds();
    m_resetRequested = false;
    m_soundFlowing = false;
}

void AudioOutputManager::ResetAudioOutputDevice()
{
    m_output->ReleaseAudioDevice();
    Logger::info(QStringLiteral("Audio output device reset"));
    ClearPending();
}

void AudioOutputManager::WriteToAudioOutput()
{
    Timeline* timeline = m_timeline;
    if (!timeline)
        return;
    AudioOutput& output = *m_output;
    if (!m_playing || !m_playbackReady) {
        if (m_pending.isEmpty()) {
            if (output.BytesFree() > 0)
                output.WriteAudio(output.Silence().left(static_cast<qsizetype>(output.BytesFree())));
            return;
        }
    } else {
        // Device events, at most one per tick.
        if (output.DevicesChanged()) {
            output.ReleaseAudioDevice();
            Logger::info(QStringLiteral("Audio output devices changed"));
        } else if (output.BufferIncreased()) {
            const int size = output.RequestedBufferSize();
            output.ReleaseAudioDevice();
            Logger::info(QStringLiteral("Audio output buffer size increased: %1").arg(size));
        } else if (output.RefreshNeeded()) {
            output.ReleaseAudioDevice();
            Logger::info(QStringLiteral("Audio output device refreshed"));
        }
        if (output.Failed())
            return;
        if (output.State() == QAudio::SuspendedState) {
            Resync();
            output.Resume();
        } else if (!output.HasSink() || output.State() == QAudio::StoppedState) {
            Resync();
            if (!output.StartAudioDevice())
                return;
        } else if (m_resetRequested || !timeline->AudioPositionValid() || timeline->SeekCount() != m_seekCount) {
            // A seek's own request may still be on its way to this thread; the timeline
            // already has the new time.
            Resync();
        }
        const QAudio::State state = output.State();
        if (state != QAudio::ActiveState && state != QAudio::IdleState)
            return;
        const qint64 free = output.BytesFree();
        if (m_scrubDuration >= 0) {
            if (m_scrubFetched) {
                if (free > m_pending.size())
                    m_pending.append(QByteArray(static_cast<qsizetype>(free - m_pending.size()), '\0'));
            } else {
                timeline->ReadAudioDuration(m_pending, m_scrubDuration, m_playForward);
                m_scrubFetched = true;
            }
            if (free < 1)
                return;
        } else {
            if (free <= 0)
                return;
            const bool backwardsSilent = !m_playForward && !m_settings.audioOnBackwardsPlayback;
            if (!backwardsSilent) {
                const int64_t clock = timeline->PlaybackTime();
                const double speed = static_cast<double>(m_stretcher.Speed());
                int64_t played = static_cast<int64_t>(speed * static_cast<double>(output.PlayedMicroseconds() - m_playedAtResync));
                if (!m_playForward)
                    played = -played;
                const int64_t drift = m_audioBaseTime - clock + played;
                // A clock that jumped since the resync above is no measure of drift: the next
                // tick resyncs to it.
                const bool jumped = timeline->SeekCount() != m_seekCount;
                if (clock != m_lastClockTime && !jumped) {
                    m_lastClockTime = clock;
                    RecordDrift(std::llabs(drift));
                    if (std::llabs(drift) > kDriftLimit) {
                        m_driftSum += drift;
                        ++m_driftCount;
                        if (m_driftCount >= kDriftSamples) {
                            const int64_t average = m_driftSum / m_driftCount;
                            if (std::llabs(average) > kDriftLimit) {
                                // The sound has wandered from the picture: read where the
                                // clock will be once the buffered sound has played.
                                const int64_t position = clock + output.BufferedDuration();
                                m_audioBaseTime = clock - played;
                                timeline->SeekAudio(m_pending, position);
                                QMutexLocker lock(&m_statsMutex);
                                ++m_stats.corrections;
                            }
                            m_driftSum = 0;
                            m_driftCount = 0;
                            m_lastClockTime = -1;
                        }
                    } else {
                        m_driftSum = 0;
                        m_driftCount = 0;
                        m_lastClockTime = -1;
                    }
                }
                if (m_stretcher.Speed() == 1.0f) {
                    timeline->ReadAudio(m_pending, free, m_playForward);
                } else {
                    // Only the source that keeps the device fed: what its free space, one
                    // tick more and the stretcher's latency take, less the stretched sound
                    // already waiting, times the speed. The stretcher keeps some input back
                    // and hands out sound in steps of its own (at slow speeds a step is
                    // several ticks of sound), so the latency's worth of stretched sound
                    // waits in pending to cover a tick that brings no step. Reading more
                    // than this runs the read position ahead of the sound played and past
                    // the cached audio.
                    const qint64 latency = static_cast<qint64>(m_stretcher.Latency()) * AudioFormat::kBytesPerFrame;
                    const qint64 deficit = free + kStretchCushion + latency - m_pending.size();
                    if (deficit > 0) {
                        const qint64 wanted = static_cast<qint64>(std::ceil(static_cast<double>(deficit) * speed
                                                                            / AudioFormat::kBytesPerFrame))
                                              * AudioFormat::kBytesPerFrame;
                        m_scratch.clear();
                        timeline->ReadAudio(m_scratch, wanted, m_playForward);
                        m_stretcher.PushStretchInput(m_scratch);
                        m_stretcher.ProcessStretch();
                        m_stretcher.TakeStretchOutput(m_pending);
                    }
                }
                RecordRead();
            }
        }
        if (m_pending.isEmpty()) {
            output.WriteAudio(output.Silence().left(static_cast<qsizetype>(free)));
            return;
        }
    }
    const qint64 written = output.WriteAudio(m_pending);
    if (written > 0)
        m_pending.remove(0, static_cast<qsizetype>(written));
}

void AudioOutputManager::RecordDrift(int64_t drift)
{
    QMutexLocker lock(&m_statsMutex);
    m_drift.Add(drift);
}

void AudioOutputManager::RecordRead()
{
    QMutexLocker lock(&m_statsMutex);
    m_stats.pendingPeak = std::max<int64_t>(m_stats.pendingPeak, m_pending.size());
    // Until the first sound after a resync (the stretcher's latency), nothing to write is
    // expected; after it, a tick without sound is a gap.
    if (!m_pending.isEmpty())
        m_soundFlowing = true;
    else if (m_soundFlowing)
        ++m_stats.starvedTicks;
}

AudioOutputManager::SyncStats AudioOutputManager::TakeSyncStats()
{
    QMutexLocker lock(&m_statsMutex);
    SyncStats stats = std::exchange(m_stats, {});
    stats.drift = m_drift.Take();
    return stats;
}

QString AudioOutputManager::AudioDiagnosticReport() const
{
    const AudioOutput& output = *m_output;
    auto flag = [](bool value) { return value ? 1 : 0; };
    QString text;
    text += QStringLiteral("AudioOutputManager\n");
    text += QStringLiteral("------------------\n");
    text += QStringLiteral("Audio Device: %1\n").arg(output.DeviceDescription());
    text += QStringLiteral("Audio Device Changed Count: %1\n").arg(output.DevicesChangedCount());
    text += QStringLiteral("Audio Output Playback Ready: %1\n").arg(flag(m_playbackReady));
    text += QStringLiteral("Audio Output Playing: %1\n").arg(flag(m_playing));
    text += QStringLiteral("Audio Output State: %1\n").arg(output.StateName());
    text += QStringLiteral("Audio Output Underruns: %1\n").arg(output.UnderrunCount());
    text += QStringLiteral("Device Buffer Size: %1 (%2)\n").arg(output.DeviceBufferSize()).arg(output.RequestedBufferSize());
    text += QStringLiteral("Device Buffer Bytes Free: %1\n").arg(output.BytesFree());
    text += QStringLiteral("Device Buffer Bytes Used: %1\n").arg(output.BytesUsed());
    text += QStringLiteral("Cache Buffer Size: %1\n").arg(m_pending.size());
    text += QStringLiteral("Play Forward: %1\n").arg(flag(m_playForward));
    text += QStringLiteral("Playback Multiplier: %1\n").arg(QString::number(static_cast<double>(m_stretcher.Speed())));
    text += QStringLiteral("Timer Started: %1\n").arg(flag(m_pushTimer.isActive()));
    return text;
}

void AudioOutputManager::LogDiagnosticReport()
{
    Logger::output(AudioDiagnosticReport());
}
