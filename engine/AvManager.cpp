#include "engine/AvManager.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvWorker.h"
#include "media/AudioFrame.h"
#include "media/CacheManager.h"
#include "playback/PlaybackManager.h"
#include "project/FrameBookmark.h"
#include "project/Timeline.h"
#include "project/Track.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QVariant>

#include <algorithm>

namespace {

constexpr int kDeferredBatch = 100; // frame references freed per main-loop turn

} // namespace

AvManager::AvManager(QObject* parent)
    : QObject(parent)
    , m_clock(std::make_unique<PlaybackManager>())
{
    qRegisterMetaType<AvWorkerTask*>();
    qRegisterMetaType<std::shared_ptr<VideoFrame>>();
    m_deferredTimer.setSingleShot(true);
    m_deferredTimer.setInterval(10);
    connect(&m_deferredTimer, &QTimer::timeout, this, &AvManager::ProcessDeferredDelete);

    PlaybackManager* clock = m_clock.get();
    connect(clock, &PlaybackManager::PlaybackStateChanged, this, &AvManager::OnPlaybackStateChanged);
    connect(clock, &PlaybackManager::PlaybackTimeChanged, this, &AvManager::OnPlaybackTimeChanged);
    connect(clock, &PlaybackManager::PlaybackSpeedChanged, this, [this](float speed) {
        emit PlaybackSpeedChanged(speed);
        emit AudioOutputStateUpdated(m_clock->IsPlaying(), m_clock->PlayForward(), -1, speed);
    });
    connect(clock, &PlaybackManager::PlaybackRangeChanged, this, &AvManager::PlaybackRangeChanged);
    connect(clock, &PlaybackManager::PlaybackEndTimeChanged, this, &AvManager::PlaybackEndTimeChanged);
    connect(clock, &PlaybackManager::LoopStateChanged, this, &AvManager::LoopStateChanged);
    qRegisterMetaType<Timeline*>();
    StartTask(AvWorkerTask::AudioOutput, nullptr);
}

AvWorker* AvManager::AudioOutputWorker() const
{
    for (const auto& entry : m_active)
        if (entry->task->type == AvWorkerTask::AudioOutput)
            return entry->worker;
    return nullptr;
}

AvManager::~AvManager()
{
    Shutdown(true, 10000);
}

Timeline* AvManager::PrimaryTimeline() const
{
    return m_primary;
}

int AvManager::StartTask(int type, Timeline* timeline)
{
    // While the engine shuts down, a task started now would be missed by the end requests
    // already sent and keep the shutdown waiting.
    if (m_shuttingDownAll || m_finalShutdown)
        return -1;
    auto entry = std::make_unique<Entry>();
    entry->id = s_nextWorkerId++;
    entry->task = std::make_unique<AvWorkerTask>();
    entry->task->type = type;
    entry->task->timeline = timeline;
    entry->thread = new QThread;
    entry->thread->setProperty("id", entry->id);
    connect(entry->thread, &QThread::finished, this, &AvManager::FinalThreadCleanup);
    entry->worker = new AvWorker(entry->id);
    AvWorker* worker = entry->worker;
    // Deleted on its own thread as that ends, after its last event; also when the thread
    // outlives a shutdown that gave up waiting.
    connect(entry->thread, &QThread::finished, worker, &QObject::deleteLater, Qt::DirectConnection);
    connect(this, &AvManager::TaskStarted, worker, &AvWorker::DoTask);
    connect(this, &AvManager::WorkerShutdownStarted, worker, &AvWorker::EndTask);
    connect(this, &AvManager::SeekRequested, worker, &AvWorker::Seek);
    connect(this, &AvManager::RefreshCacheRequested, worker, &AvWorker::RefreshCache);
    connect(this, &AvManager::DecodeTrackUpdated, worker, &AvWorker::UpdateDecodeTrack);
    if (type == AvWorkerTask::AudioOutput) {
        connect(this, &AvManager::AudioOutputStateUpdated, worker, &AvWorker::UpdateAudioOutputState);
        connect(this, &AvManager::AudioPlaybackReadyChanged, worker, &AvWorker::SetAudioPlaybackReady);
        connect(this, &AvManager::AudioPlaybackTimelineChanged, worker, &AvWorker::SetAudioPlaybackTimeline);
        connect(this, &AvManager::ResetAudioOutputDeviceRequested, worker, &AvWorker::ResetAudioOutputDevice);
        connect(this, &AvManager::LogAudioOutputInfoRequested, worker, &AvWorker::LogAudioOutputInfo);
    }
    connect(worker, &AvWorker::TaskCompleted, this, &AvManager::QuitThread);
    connect(worker, &AvWorker::VideoFrameChanged, this, &AvManager::OnVideoFrameChanged);
    worker->moveToThread(entry->thread);
    entry->thread->start(QThread::InheritPriority);
    const int id = entry->id;
    AvWorkerTask* task = entry->task.get();
    if (timeline && task->IsDecode())
        timeline->SetPlaybackState(m_playbackState);
    m_active.push_back(std::move(entry));
    emit TaskStarted(id, task);
    return id;
}

std::vector<std::unique_ptr<AvManager::Entry>>::iterator
AvManager::FindIn(std::vector<std::unique_ptr<Entry>>& list, int workerId)
{
    return std::find_if(list.begin(), list.end(), [workerId](const auto& e) { return e->id == workerId; });
}

AvManager::Entry* AvManager::FindActive(int workerId)
{
    auto it = FindIn(m_active, workerId);
    return it == m_active.end() ? nullptr : it->get();
}

QList<int> AvManager::TaskIds(int type, const Timeline* timeline) const
{
    QList<int> ids;
    for (const auto& entry : m_active)
        if (entry->task->type == type && (!timeline || entry->task->timeline == timeline))
            ids.append(entry->id);
    return ids;
}

int AvManager::PendingDeferredFrameCount() const
{
    return static_cast<int>(m_deferredVideo.size() + m_deferredAudio.size());
}

void AvManager::BeginShutdown(std::vector<std::unique_ptr<Entry>>::iterator it)
{
    const int id = (*it)->id;
    m_shuttingDown.push_back(std::move(*it));
    m_active.erase(it);
    emit WorkerShutdownStarted(id);
}

void AvManager::ParseSource(Timeline* sourceTimeline)
{
    if (!sourceTimeline || !sourceTimeline->IsSourceTimeline()) {
        Logger::error(QStringLiteral("Failed to parse source. Invalid source timeline."));
        return;
    }
    StartTask(AvWorkerTask::ParseSource, sourceTimeline);
}

void AvManager::WaitWhileShuttingDown(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!m_shuttingDown.empty() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

void AvManager::DecodeTimeline(Timeline* timeline, int outputId, bool audio, bool video, bool keepViewerFrameOverride)
{
    if (!timeline) {
        Logger::error(QStringLiteral("Failed to decode timeline. Timeline is NULL."));
        return;
    }
    if (m_shuttingDownAll || m_finalShutdown)
        return;
    if (outputId < 4) {
        const int request = outputId >= 0 ? ++m_outputRequests[static_cast<size_t>(outputId)] : 0;
        const int previous = timeline->OutputId();
        if (previous >= 0 && previous != outputId)
            EndDecodingTask(previous, !keepViewerFrameOverride);
        EndDecodingTask(outputId, false);
        WaitWhileShuttingDown(10000);
        // The events processed while waiting may have given this output another timeline,
        // or begun shutting the engine down: the newer request stands.
        if (m_shuttingDownAll || m_finalShutdown
            || (outputId >= 0 && request != m_outputRequests[static_cast<size_t>(outputId)]))
            return;
        if (outputId >= 0) {
            if (m_outputTimelines.value(outputId) && m_outputTimelines.value(outputId) != timeline)
                m_outputTimelines.value(outputId)->SetOutputId(-1);
            m_outputTimelines[outputId] = timeline;
        }
        timeline->SetOutputId(outputId);
        ReleaseCacheLater(timeline, true, true);
        timeline->SetDecoding(DecodeType::Audio, false);
        timeline->SetDecoding(DecodeType::Video, false);
        emit UpdateAudioOverrideRequested(timeline);
        if (!m_primary || outputId <= m_primary->OutputId() || m_primary == timeline)
            SetPrimaryTimeline(timeline);
        else
            timeline->SetPlaybackTime(m_primary->PlaybackTime());
    }
    ShareCache(timeline);
    if (audio)
        StartTask(AvWorkerTask::DecodeAudio, timeline);
    if (video)
        StartTask(AvWorkerTask::DecodeVideo, timeline);
}

void AvManager::EndDecodingTask(int outputId, bool clearViewer, bool dropCache)
{
    bool ended = false;
    Timeline* endedTimeline = nullptr;
    for (int i = static_cast<int>(m_active.size()) - 1; i >= 0; --i) {
        Entry* entry = m_active[static_cast<size_t>(i)].get();
        if (!entry->task->IsDecode() || !entry->task->timeline || entry->task->timeline->OutputId() != outputId)
            continue;
        entry->dropCache = dropCache;
        endedTimeline = entry->task->timeline;
        if (clearViewer && entry->task->type == AvWorkerTask::DecodeVideo)
            emit VideoFrameChanged(outputId, nullptr, nullptr, nullptr);
        BeginShutdown(m_active.begin() + i);
        ended = true;
    }
    if (!ended)
        return;
    ShareCache(nullptr);
    if (endedTimeline && endedTimeline == m_primary && TaskIds(AvWorkerTask::DecodeVideo, endedTimeline).isEmpty()
        && TaskIds(AvWorkerTask::DecodeAudio, endedTimeline).isEmpty())
        SetPrimaryTimeline(nullptr);
}

void AvManager::ShareCache(Timeline* added)
{
    QList<Timeline*> collected;
    for (const auto& entry : m_active)
        if (entry->task->IsDecode() && entry->task->timeline && !collected.contains(entry->task->timeline)
            && entry->task->timeline != added)
            collected.append(entry->task->timeline);
    const int n = static_cast<int>(collected.size()) + (added ? 1 : 0);
    if (n < 1)
        return;
    const int share = std::max(Settings::Get().cacheSize / n, CacheManager::kMinimumCacheSize);
    if (added)
        added->Cache()->SetCacheSize(share);
    const int64_t noted = collected.isEmpty() ? CacheManager::VideoBudget(share)
                                              : collected.first()->Cache()->VideoMaximumSize();
    for (Timeline* timeline : std::as_const(collected))
        timeline->Cache()->SetCacheSize(share);
    if (CacheManager::VideoBudget(share) < noted)
        for (const auto& entry : m_active)
            if (entry->task->IsDecode())
                emit RefreshCacheRequested(entry->id);
}

void AvManager::RefreshCache()
{
    ShareCache(nullptr);
}

void AvManager::QuitThread(int workerId)
{
    auto it = FindIn(m_active, workerId);
    if (it != m_active.end()) {
        m_shuttingDown.push_back(std::move(*it));
        m_active.erase(it);
    }
    auto entryIt = FindIn(m_shuttingDown, workerId);
    if (entryIt == m_shuttingDown.end()) {
        Logger::warning(QStringLiteral("Worker id not found (quit worker thread): %1").arg(workerId));
        return;
    }
    Entry* entry = entryIt->get();
    Timeline* timeline = entry->task->timeline;
    if (!m_shuttingDownAll && entry->task->IsDecode() && timeline) {
        const DecodeType type = entry->task->type == AvWorkerTask::DecodeAudio ? DecodeType::Audio : DecodeType::Video;
        timeline->SetDecoding(type, false);
        if (entry->dropCache)
            ReleaseCacheLater(timeline, type == DecodeType::Video, type == DecodeType::Audio);
        if (TaskIds(AvWorkerTask::DecodeAudio, timeline).isEmpty() && TaskIds(AvWorkerTask::DecodeVideo, timeline).isEmpty())
            emit TimelineDecodingEnded(timeline);
    }
    entry->thread->quit();
}

void AvManager::ReleaseCacheLater(Timeline* timeline, bool video, bool audio)
{
    CacheManager* cache = timeline->Cache();
    if (video) {
        cache->ClearVideo(true);
        auto frames = cache->TakeReleasedVideoFrames();
        m_deferredVideo.insert(m_deferredVideo.end(), std::make_move_iterator(frames.begin()),
                               std::make_move_iterator(frames.end()));
    }
    if (audio) {
        cache->ClearAudio(true);
        auto frames = cache->TakeReleasedAudioFrames();
        m_deferredAudio.insert(m_deferredAudio.end(), std::make_move_iterator(frames.begin()),
                               std::make_move_iterator(frames.end()));
    }
    if (!m_deferredVideo.empty() || !m_deferredAudio.empty())
        m_deferredTimer.start();
}

void AvManager::FinalThreadCleanup()
{
    auto* thread = qobject_cast<QThread*>(sender());
    const int id = thread ? thread->property("id").toInt() : -1;
    auto it = FindIn(m_shuttingDown, id);
    if (it == m_shuttingDown.end()) {
        Logger::warning(QStringLiteral("Worker id not found (on thread finished): %1").arg(id));
        return;
    }
    (*it)->thread->deleteLater(); // its worker went as the thread finished
    m_shuttingDown.erase(it);
}

void AvManager::ProcessDeferredDelete()
{
    int freed = 0;
    while (!m_deferredVideo.empty() && freed < kDeferredBatch) {
        m_deferredVideo.pop_back();
        ++freed;
    }
    while (!m_deferredAudio.empty() && freed < kDeferredBatch) {
        m_deferredAudio.pop_back();
        ++freed;
    }
    if (!m_deferredVideo.empty() || !m_deferredAudio.empty())
        m_deferredTimer.start();
}

bool AvManager::Shutdown(bool final, int timeoutMs)
{
    m_clock->Stop();
    m_playbackState = 0;
    for (const auto& entry : m_active)
        if (entry->task->IsDecode() && entry->task->timeline)
            entry->task->timeline->SetPlaybackState(Timeline::Stopped);
    m_shuttingDownAll = true;
    m_finalShutdown = m_finalShutdown || final;
    // The audio output task, when there is one, is the first and survives a non-final shutdown.
    const bool keepFirst = !final && !m_active.empty() && m_active.front()->task->type == AvWorkerTask::AudioOutput;
    while (static_cast<int>(m_active.size()) > (keepFirst ? 1 : 0))
        BeginShutdown(m_active.begin() + (keepFirst ? 1 : 0));
    if (final)
        emit WorkerShutdownStarted(-1);
    QElapsedTimer timer;
    timer.start();
    const size_t remaining = keepFirst ? 1 : 0;
    while (m_active.size() + m_shuttingDown.size() > remaining && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    m_shuttingDownAll = false;
    const bool done = m_active.size() + m_shuttingDown.size() <= remaining;
    if (done)
        emit ShutdownCompleted();
    return done;
}

void AvManager::OnVideoFrameChanged(int workerId, std::shared_ptr<VideoFrame> videoFrame,
                                    std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame)
{
    const Entry* entry = FindActive(workerId);
    if (!entry || !entry->task->timeline)
        return; // a task that is ending: its frames are of no interest any more
    emit VideoFrameChanged(entry->task->timeline->OutputId(), std::move(videoFrame), std::move(previousFrame),
                           std::move(nextFrame));
}

void AvManager::OnPlaybackStateChanged(bool playing, bool forward)
{
    m_playbackState = !playing ? Timeline::Stopped : forward ? Timeline::PlayingForward : Timeline::PlayingBackward;
    for (const auto& entry : m_active)
        if (entry->task->IsDecode() && entry->task->timeline)
            entry->task->timeline->SetPlaybackState(m_playbackState);
    emit PlaybackStateChanged(playing, forward);
    emit AudioOutputStateUpdated(playing, forward, -1, m_clock->PlaybackSpeed());
}

void AvManager::OnPlaybackTimeChanged(int64_t time, bool isSeek)
{
    // The audio output task has no timeline of its own: it sees a seek in its timeline's
    // seek count, raised here before the new time is stored.
    bool waiting = false;
    for (const auto& entry : m_active) {
        const AvWorkerTask* task = entry->task.get();
        if (task->type == AvWorkerTask::ParseSource || !task->timeline)
            continue;
        task->timeline->SetPlaybackTime(time, isSeek);
        const bool taskWaiting = (task->type == AvWorkerTask::DecodeAudio && !task->timeline->AudioReadyAt(time))
                                 || (task->type == AvWorkerTask::DecodeVideo && !task->timeline->VideoReadyAt(time));
        if (taskWaiting) {
            waiting = true;
            if (isSeek)
                emit SeekRequested(entry->id);
        }
    }
    if (m_primary) {
        emit PlaybackTimeChanged(time);
        const int frame = m_primary->TimeToFrame(time);
        if (frame != m_lastPlaybackFrame) {
            m_lastPlaybackFrame = frame;
            emit PlaybackFrameChanged(frame);
        }
    }
    if (waiting && isSeek)
        emit SeekInProgress();
    m_clock->SetWaitingForFrames(waiting);
    if (m_audioPlaybackReady == waiting) {
        m_audioPlaybackReady = !waiting;
        emit AudioPlaybackReadyChanged(m_audioPlaybackReady);
    }
}

void AvManager::Play(bool forward, bool steppedPlayback)
{
    if (!m_primary || m_primary->GetTrack()->ClipCount() == 0)
        return;
    const bool stepped = forward && steppedPlayback && InitializeStepped(-1);
    m_clock->Play(forward, stepped);
}

void AvManager::Pause()
{
    m_clock->Stop();
}

void AvManager::TogglePlayPause()
{
    if (m_clock->IsPlaying())
        Pause();
    else
        Play(m_clock->PlayForward());
}

void AvManager::SetPlaybackTime(int64_t playbackTime, bool audioScrub, bool ignoreIfCacheNotReady,
                                bool ignoreInitializeStepped, bool audioScrubForward)
{
    if (ignoreIfCacheNotReady) {
        for (const auto& entry : m_active) {
            const AvWorkerTask* task = entry->task.get();
            if (!task->timeline)
                continue;
            if ((task->type == AvWorkerTask::DecodeAudio && !task->timeline->AudioReadyAt(playbackTime))
                || (task->type == AvWorkerTask::DecodeVideo && !task->timeline->VideoReadyAt(playbackTime)))
                return;
        }
    }
    bool positioned = false;
    if (!ignoreInitializeStepped && m_clock->IsPlaying() && m_clock->LoopStartOverrideActive())
        positioned = InitializeStepped(playbackTime);
    if (!positioned)
        m_clock->Seek(playbackTime, true);
    if (audioScrub && m_primary && m_clock->AudioScrubAllowed() && !m_clock->IsPlaying()) {
        const auto duration = static_cast<int64_t>(m_primary->FrameDurationAt(m_primary->PlaybackFrame()));
        if (duration >= 1)
            emit AudioOutputStateUpdated(true, audioScrubForward, duration, m_clock->PlaybackSpeed());
    }
}

bool AvManager::InitializeStepped(int64_t t)
{
    if (!m_primary)
        return false;
    const int32_t first = m_primary->RangeStartFrame();
    const int32_t last = m_primary->RangeEndFrame();
    QList<int32_t> frames;
    for (const FrameBookmark* bookmark : m_primary->FrameBookmarks())
        if (bookmark->TimelineFrame() >= first && bookmark->TimelineFrame() <= last)
            frames.append(bookmark->TimelineFrame());
    if (frames.isEmpty())
        return false;
    const int32_t frame = t < 0 ? m_primary->PlaybackFrame() : m_primary->TimeToFrame(t);
    int32_t chosen = frames.first();
    for (int32_t bookmarked : std::as_const(frames))
        if (bookmarked <= frame)
            chosen = bookmarked;
    m_clock->Seek(m_primary->FrameStartTime(chosen), true);
    m_clock->SetLoopStartOverride(m_primary->FrameStartTime(frames.first()));
    return true;
}

void AvManager::SetPlaybackSpeed(float speed)
{
    m_clock->SetPlaybackSpeed(speed);
}

void AvManager::SetLoopState(int loopState)
{
    m_clock->SetLoopState(loopState);
}

void AvManager::ToggleLoopState()
{
    m_clock->CycleLoopState();
}

void AvManager::SetAutoPlayEnabled(bool enabled)
{
    m_clock->SetAutoPlayEnabled(enabled);
}

void AvManager::SetAudioScrubEnabled(bool enabled)
{
    m_clock->SetAudioScrubEnabled(enabled);
}

void AvManager::DisconnectPrimary()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_primaryConnections))
        disconnect(connection);
    m_primaryConnections.clear();
}

void AvManager::SetPrimaryTimeline(Timeline* timeline)
{
    if (timeline && timeline == m_primary)
        return;
    m_lastPlaybackFrame = -1;
    DisconnectPrimary();
    if (!timeline) {
        int best = -1;
        for (const auto& entry : m_active) {
            Timeline* candidate = entry->task->IsDecode() ? entry->task->timeline : nullptr;
            if (candidate && candidate->OutputId() >= 0 && (best < 0 || candidate->OutputId() < best)) {
                best = candidate->OutputId();
                timeline = candidate;
            }
        }
    }
    m_primary = timeline;
    emit AudioPlaybackTimelineChanged(timeline);
    if (!timeline) {
        emit PrimaryTimelineChanged(nullptr, true);
        m_clock->Seek(0, true);
        m_clock->SetEndTime(0);
        m_clock->ResetPlaybackRange();
        return;
    }
    m_primaryConnections << connect(timeline, &Timeline::EndTimeChanged, this,
                                    [this](int64_t end) { m_clock->SetEndTime(end - 1); });
    m_primaryConnections << connect(timeline, &Timeline::PlaybackRangeChanged, this,
                                    [this](int64_t start, int64_t end) { m_clock->SetPlaybackRange(start, end); });
    m_primaryConnections << connect(timeline, &QObject::destroyed, this, [this] { SetPrimaryTimeline(nullptr); });
    timeline->SetPlaybackFrame(std::min(timeline->PlaybackFrame(), timeline->LastFrame()));
    emit PrimaryTimelineChanged(timeline, false);
    m_clock->SetEndTime(timeline->EndTime() - 1);
    m_clock->SetPlaybackRange(timeline->RangeStartTime(), timeline->RangeEndTime());
    m_clock->Seek(timeline->PlaybackTime(), true);
}

void AvManager::UpdatePrimaryDecodeTracks()
{
    if (!m_primary)
        return;
    for (const auto& entry : m_active)
        if (entry->task->IsDecode() && entry->task->timeline == m_primary)
            emit DecodeTrackUpdated(entry->id);
}

void AvManager::ReloadTimeline(Timeline* timeline)
{
    if (!timeline)
        return;
    const bool audio = !TaskIds(AvWorkerTask::DecodeAudio, timeline).isEmpty();
    const bool video = !TaskIds(AvWorkerTask::DecodeVideo, timeline).isEmpty();
    if (audio || video)
        DecodeTimeline(timeline, timeline->OutputId(), audio, video, true);
}

void AvManager::LogCacheStats()
{
    const int64_t time = m_clock->CurrentTime();
    QString text = QStringLiteral("\n");
    text += QStringLiteral("Playback Time: %1 (%2)\n").arg(QString::number(static_cast<double>(time) / 1e6)).arg(time);
    text += QStringLiteral("Updates Paused: %1\n").arg(m_clock->IsWaitingForFrames() ? 1 : 0);
    text += QStringLiteral("Audio Playback Ready: %1\n").arg(m_audioPlaybackReady ? 1 : 0);
    QList<Timeline*> logged;
    for (const auto& entry : m_active) {
        Timeline* timeline = entry->task->IsDecode() ? entry->task->timeline : nullptr;
        if (!timeline || logged.contains(timeline))
            continue;
        logged.append(timeline);
        text += timeline->Cache()->CacheInfo(QStringLiteral("Viewer %1").arg(timeline->OutputId()));
    }
    Logger::output(text);
}
