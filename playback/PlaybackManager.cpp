#include "playback/PlaybackManager.h"

#include "core/Platform.h"
#include "core/Settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>

PlaybackManager::PlaybackManager(QObject* parent)
    : QObject(parent)
    , m_now([] {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    })
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    connect(&m_timer, &QTimer::timeout, this, &PlaybackManager::UpdatePlaybackTime);
    Seek(m_currentTime, true);
}

PlaybackManager::~PlaybackManager()
{
    if (IsPlaying())
        Platform::KeepDisplayAwake(false);
}

int64_t PlaybackManager::LowerBound() const
{
    if (!IsPlaying())
        return 0;
    return m_loopStartOverrideActive ? m_loopStartOverride : m_rangeStart;
}

int64_t PlaybackManager::UpperBound() const
{
    return IsPlaying() ? m_rangeEnd : m_endTime;
}

void PlaybackManager::Seek(int64_t time, bool userSeek)
{
    if (userSeek && Settings::Get().pausePlaybackOnSeek)
        Stop();
    m_currentTime = time;
    const int64_t lower = LowerBound();
    const int64_t upper = UpperBound();
    bool isSeek = userSeek;
    if (!IsPlaying()) {
        // Stopped, the loop state has no say: positioning is limited to the media.
        m_currentTime = std::clamp(time, lower, upper);
    } else if (time < lower || time > upper) {
        switch (GetLoopState()) {
        case LoopOn:
            m_currentTime = m_playForward ? lower : upper;
            isSeek = true;
            break;
        case LoopPingPong:
            m_currentTime = time < lower ? lower : upper;
            m_playForward = !m_playForward;
            emit PlaybackStateChanged(IsPlaying(), m_playForward);
            isSeek = true;
            break;
        case LoopOff:
            m_currentTime = time < lower ? lower : upper;
            if (IsPlaying())
                Stop();
            break;
        }
    }
    emit PlaybackTimeChanged(m_currentTime, isSeek);
}

void PlaybackManager::UpdatePlaybackTime()
{
    const int64_t now = m_now();
    const int64_t elapsed = now - m_lastTick;
    m_lastTick = now;
    const auto step = static_cast<int64_t>(static_cast<float>(elapsed) * m_playbackSpeed);
    if (!m_waitingForFrames)
        m_currentTime += m_playForward ? step : -step;
    Seek(m_currentTime, false);
}

void PlaybackManager::Play(bool forward, bool useLoopStartOverride)
{
    m_loopStartOverrideActive = forward && useLoopStartOverride;
    const bool directionChanged = forward != m_playForward;
    m_playForward = forward;
    if (!IsPlaying()) {
        const int64_t lower = m_loopStartOverrideActive ? m_loopStartOverride : m_rangeStart;
        if (!forward && m_currentTime <= lower)
            Seek(m_rangeEnd, true);
        else if (forward && m_currentTime >= m_rangeEnd)
            Seek(lower, true);
        m_lastTick = m_now();
        m_timer.start();
        Platform::KeepDisplayAwake(true);
        emit PlaybackStateChanged(true, m_playForward);
    } else if (directionChanged) {
        emit PlaybackStateChanged(true, m_playForward);
    }
}

void PlaybackManager::Stop()
{
    m_loopStartOverrideActive = false;
    if (!IsPlaying())
        return;
    m_timer.stop();
    Platform::KeepDisplayAwake(false);
    emit PlaybackStateChanged(false, m_playForward);
}

void PlaybackManager::SetEndTime(int64_t time)
{
    if (time == m_endTime)
        return;
    m_endTime = std::max<int64_t>(time, 0);
    emit PlaybackEndTimeChanged(m_endTime);
    if (m_currentTime > m_endTime)
        Seek(m_endTime, true);
}

void PlaybackManager::SetPlaybackRange(int64_t start, int64_t end)
{
    if (start == m_rangeStart && end == m_rangeEnd)
        return;
    start = std::max<int64_t>(start, 0);
    if (end < start)
        end = start;
    else if (end > m_endTime)
        end = m_endTime;
    m_rangeStart = start;
    m_rangeEnd = end;
    emit PlaybackRangeChanged(m_rangeStart, m_rangeEnd);
}

void PlaybackManager::ResetPlaybackRange()
{
    const int64_t end = std::max<int64_t>(m_endTime, 0);
    if (m_rangeStart == 0 && m_rangeEnd == end)
        return;
    m_rangeStart = 0;
    m_rangeEnd = end;
    emit PlaybackRangeChanged(m_rangeStart, m_rangeEnd);
}

void PlaybackManager::SetPlaybackSpeed(float speed)
{
    m_playbackSpeed = std::isnan(speed) ? 1.0f : std::clamp(speed, 0.1f, 4.0f);
    emit PlaybackSpeedChanged(m_playbackSpeed);
}

LoopState PlaybackManager::GetLoopState() const
{
    int& stored = Settings::Get().loopState;
    if (stored < 0 || stored > 2)
        stored = LoopOff;
    return static_cast<LoopState>(stored);
}

void PlaybackManager::SetLoopState(int state)
{
    Settings::Get().loopState = state < 0 || state > 2 ? LoopOff : state;
    emit LoopStateChanged(GetLoopState());
}

void PlaybackManager::CycleLoopState()
{
    SetLoopState((GetLoopState() + 1) % 3);
}

bool PlaybackManager::AutoPlayEnabled() const
{
    return Settings::Get().autoPlayEnabled;
}

void PlaybackManager::SetAutoPlayEnabled(bool enabled)
{
    Settings::Get().autoPlayEnabled = enabled;
}

bool PlaybackManager::AudioScrubEnabled() const
{
    return Settings::Get().audioScrubEnabled;
}

void PlaybackManager::SetAudioScrubEnabled(bool enabled)
{
    Settings::Get().audioScrubEnabled = enabled;
}
