#include "engine/AvManager.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvWorker.h"
#include "engine/ExportPassRunner.h"
#include "media/AudioFrame.h"
#include "media/CacheManager.h"
#include "media/FrameBufferPool.h"
#include "playback/PlaybackManager.h"
#include "project/FrameBookmark.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/Track.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QVariant>

#include <algorithm>

namespace {

constexpr int kDeferredBatch = 100; // frame references freed per main-loop turn
// How long ended tasks are waited for (and the audio output for a timeline it plays) before
// a timeline is decoded again or a timeline or source is freed.
constexpr int kTaskEndTimeoutMs = 10000;

} // namespace

AvManager::AvManager(QObject* parent)
    : QObject(parent)
    , m_clock(std::make_unique<PlaybackManager>())
{
    qRegisterMetaType<AvWorkerTask*>();
    qRegisterMetaType<AudioOutputSettings>();
    // The pool sizes itself from the settings once: here, on the main thread, rather than on
    // the engine thread that happens to decode first.
    FrameBufferPool::Instance();
    qRegisterMetaType<std::shared_ptr<VideoFrame>>();
    m_deferredTimer.setSingleShot(true);
    m_deferredTimer.setInterval(10);
    connect(&m_deferredTimer, &QTimer::timeout, this, &AvManager::ProcessDeferredDelete);

    PlaybackManager* clock = m_clock.get();
    connect(clock, &PlaybackManager::PlaybackStateChanged, this, &AvManager::OnPlaybackStateChanged);
    connect(clock, &PlaybackManager::PlaybackTimeChanged, this, &AvManager::OnPlaybackTimeChanged);
    connect(clock, &PlaybackManager::PlaybackSpeedChanged, this, [this](float speed) {
        emit PlaybackSpeedChanged(speed);
        EmitAudioOutputState(m_clock->IsPlaying(), m_clock->PlayForward(), -1, speed);
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

AvWorker* AvManager::Worker(int workerId) const
{
    for (const auto* list : {&m_active, &m_shuttingDown})
        for (const auto& entry : *list)
            if (entry->id == workerId)
                return entry->worker;
    return nullptr;
}

AvManager::~AvManager()
{
    if (Shutdown(true, 10000))
        return;
    // An export pass that has not ended still reads its timeline copy: the copy is left to it
    // (never freed) rather than freed under it.
    for (const auto* list : {&m_active, &m_shuttingDown})
        for (const auto& entry : *list) {
            if (!entry->task->IsExport())
                continue;
            const auto it = std::find_if(m_exportTimelines.begin(), m_exportTimelines.end(),
                                         [&entry](const auto& copy) { return copy.get() == entry->task->timeline; });
            if (it != m_exportTimelines.end()) {
                disconnect(it->get(), nullptr, this, nullptr);
                static_cast<void>(it->release()); // leaked on purpose
            }
        }
}

Timeline* AvManager::PrimaryTimeline() const
{
    return m_primary;
}

void AvManager::SetPlaying(bool playing, bool forward)
{
    if (playing)
        Play(forward);
    else
        Pause();
}

int AvManager::StartTask(int type, Timeline* timeline, Source* source, std::shared_ptr<ExportProperties> exportRequest)
{
    // While the engine shuts down, a task started now would be missed by the end requests
    // already sent and keep the shutdown waiting.
    if (m_shuttingDownAll || m_finalShutdown)
        return -1;
    if (timeline && m_releasingTimelines.contains(timeline))
        return -1;
    if (timeline)
        Watch(timeline);
    if (source)
        Watch(source);
    auto entry = std::make_unique<Entry>();
    entry->id = s_nextWorkerId++;
    entry->task = std::make_unique<AvWorkerTask>();
    entry->task->type = type;
    entry->task->timeline = timeline;
    entry->task->source = source;
    if (exportRequest) {
        entry->task->exportProperties = exportRequest.get();
        entry->task->exportRequest = std::move(exportRequest);
        entry->task->exportRunner = m_exportRunner;
    }
    entry->task->imageSequenceThreadCount = Settings::Get().imageSequenceThreadCount;
    entry->task->audioOutput = AudioOutputSettings::FromSettings();
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
        connect(this, &AvManager::AudioOutputSettingsUpdated, worker, &AvWorker::SetAudioOutputSettings);
        connect(this, &AvManager::AudioOutputStateUpdated, worker, &AvWorker::UpdateAudioOutputState);
        connect(this, &AvManager::AudioPlaybackReadyChanged, worker, &AvWorker::SetAudioPlaybackReady);
        connect(this, &AvManager::AudioPlaybackTimelineChanged, worker, &AvWorker::SetAudioPlaybackTimeline);
        connect(this, &AvManager::ResetAudioOutputDeviceRequested, worker, &AvWorker::ResetAudioOutputDevice);
        connect(this, &AvManager::LogAudioOutputInfoRequested, worker, &AvWorker::LogAudioOutputInfo);
        connect(worker, &AvWorker::AudioPlaybackTimelineTaken, this, &AvManager::OnAudioPlaybackTimelineTaken);
    }
    connect(worker, &AvWorker::TaskCompleted, this, &AvManager::QuitThread);
    connect(worker, &AvWorker::VideoFrameChanged, this, &AvManager::OnVideoFrameChanged);
    connect(worker, &AvWorker::ExportLogMsgReceived, this, &AvManager::ExportLogMsgReceived);
    worker->moveToThread(entry->thread);
    entry->thread->start(QThread::InheritPriority);
    const int id = entry->id;
    AvWorkerTask* task = entry->task.get();
    if (timeline && task->IsDecode())
        timeline->SetPlaybackState(m_playbackState);
    m_active.push_back(std::move(entry));
    if (type == AvWorkerTask::ExportAudio)
        m_exportAudioId = id;
    else if (type == AvWorkerTask::ExportVideo)
        m_exportVideoId = id;
    if (timeline && task->IsDecode())
        AddReachableSources(timeline);
    emit TaskStarted(id, task);
    return id;
}

void AvManager::Watch(Timeline* timeline)
{
    connect(timeline, &Timeline::AboutToBeDestroyed, this, &AvManager::ReleaseTimeline, Qt::UniqueConnection);
    connect(timeline, &Timeline::DecodeCopiesRefreshed, this, &AvManager::OnDecodeCopiesRefreshed, Qt::UniqueConnection);
}

void AvManager::Watch(Source* source)
{
    connect(source, &Source::AboutToBeDestroyed, this, &AvManager::ReleaseSource, Qt::UniqueConnection);
}

bool AvManager::HasDecodeTasks(const Timeline* timeline) const
{
    for (const auto* list : {&m_active, &m_shuttingDown})
        for (const auto& entry : *list)
            if (entry->task->IsDecode() && entry->task->timeline == timeline)
                return true;
    return false;
}

void AvManager::AddReachableSources(Timeline* timeline)
{
    QSet<Source*>& reachable = m_reachableSources[timeline];
    for (Source* source : timeline->DecodeSources()) {
        reachable.insert(source);
        Watch(source);
    }
}

void AvManager::PruneReachableSources(Timeline* timeline)
{
    const auto it = m_reachableSources.find(timeline);
    if (it != m_reachableSources.end() && !HasDecodeTasks(timeline) && !IsExportTimeline(timeline)
        && timeline->Cache()->VideoFrameCount() == 0 && m_shownTimelines.key(timeline, -1) < 0)
        m_reachableSources.erase(it);
}

bool AvManager::IsExportTimeline(const Timeline* timeline) const
{
    return std::any_of(m_exportTimelines.cbegin(), m_exportTimelines.cend(),
                       [timeline](const auto& copy) { return copy.get() == timeline; });
}

bool AvManager::SourceInUse(Source* source) const
{
    return std::any_of(m_reachableSources.cbegin(), m_reachableSources.cend(),
                       [source](const QSet<Source*>& reachable) { return reachable.contains(source); });
}

void AvManager::OnDecodeCopiesRefreshed()
{
    // A task told to take a new copy may take this one.
    auto* timeline = qobject_cast<Timeline*>(sender());
    if (!timeline || !HasDecodeTasks(timeline))
        return;
    AddReachableSources(timeline);
    // The track changed (clips added, removed, reordered, a source parsed again): the tasks
    // decoding the timeline take the new copy, and its viewer shows the new picture.
    for (const auto& entry : m_active)
        if (entry->task->IsDecode() && entry->task->timeline == timeline)
            emit DecodeTrackUpdated(entry->id);
}

void AvManager::SendAudioPlaybackTimeline(Timeline* timeline)
{
    if (timeline)
        Watch(timeline);
    if (AudioOutputWorker())
        m_audioTimelinesSent.push_back(timeline);
    emit AudioPlaybackTimelineChanged(timeline);
}

void AvManager::OnAudioPlaybackTimelineTaken()
{
    if (m_audioTimelinesSent.empty())
        return;
    m_audioTimelineTaken = m_audioTimelinesSent.front();
    m_audioTimelinesSent.pop_front();
}

bool AvManager::AudioOutputHolds(const Timeline* timeline) const
{
    return timeline
           && (m_audioTimelineTaken == timeline
               || std::find(m_audioTimelinesSent.begin(), m_audioTimelinesSent.end(), timeline) != m_audioTimelinesSent.end());
}

bool AvManager::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void AvManager::ReleaseTimeline(Timeline* timeline)
{
    if (!timeline || m_releasingTimelines.contains(timeline))
        return;
    m_releasingTimelines.insert(timeline);
    bool ended = false;
    for (int i = static_cast<int>(m_active.size()) - 1; i >= 0; --i) {
        AvWorkerTask* task = m_active[static_cast<size_t>(i)]->task.get();
        if (task->timeline != timeline)
            continue;
        if (task->IsDecode()) {
            BeginShutdown(m_active.begin() + i);
            ended = true;
        } else {
            task->timeline = nullptr; // a parse reads its source only
        }
    }
    for (const auto& entry : m_shuttingDown)
        if (!entry->task->IsDecode() && entry->task->timeline == timeline)
            entry->task->timeline = nullptr;
    if (ended)
        ShareCache(nullptr);
    if (m_primary == timeline)
        SetPrimaryTimeline(nullptr); // another one, or none, goes to the audio output
    else if (AudioOutputHolds(timeline) && m_audioTimelinesSent.empty())
        SendAudioPlaybackTimeline(m_primary);
    for (auto it = m_outputTimelines.begin(); it != m_outputTimelines.end();) {
        if (it.value() != timeline) {
            ++it;
            continue;
        }
        ShowFrame(it.key(), nullptr, nullptr, nullptr, nullptr);
        it = m_outputTimelines.erase(it);
    }
    for (const int outputId : m_shownTimelines.keys(timeline))
        ShowFrame(outputId, nullptr, nullptr, nullptr, nullptr);
    auto reached = [this, timeline] {
        if (AudioOutputHolds(timeline))
            return true;
        for (const auto* list : {&m_active, &m_shuttingDown})
            for (const auto& entry : *list)
                if (entry->task->timeline == timeline)
                    return true;
        return false;
    };
    if (!WaitUntil([&] { return !reached(); }, kTaskEndTimeoutMs)) {
        Logger::error(QStringLiteral("Timeline deleted while the engine still uses it: its tasks did not end in time."));
        // Nothing on this thread looks at it again.
        for (const auto* list : {&m_active, &m_shuttingDown})
            for (const auto& entry : *list)
                if (entry->task->timeline == timeline)
                    entry->task->timeline = nullptr;
    }
    m_reachableSources.remove(timeline);
    m_releasingTimelines.remove(timeline);
}

void AvManager::ReleaseSource(Source* source)
{
    StopExportsReaching(source);
    // Timelines whose tasks or cached pictures may reach the source.
    QList<Timeline*> reaching;
    for (auto it = m_reachableSources.cbegin(); it != m_reachableSources.cend(); ++it)
        if (it.value().contains(source))
            reaching.append(it.key());
    struct Restart
    {
        QPointer<Timeline> timeline;
        int outputId;
        bool audio;
        bool video;
        int request;
    };
    std::vector<Restart> restarts;
    bool ended = false;
    for (Timeline* timeline : std::as_const(reaching)) {
        const bool audio = !TaskIds(AvWorkerTask::DecodeAudio, timeline).isEmpty();
        const bool video = !TaskIds(AvWorkerTask::DecodeVideo, timeline).isEmpty();
        const int outputId = timeline->OutputId();
        if (audio || video) {
            const int request = outputId >= 0 && outputId < 4 ? m_outputRequests[static_cast<size_t>(outputId)] : 0;
            restarts.push_back({timeline, outputId, audio, video, request});
            for (int i = static_cast<int>(m_active.size()) - 1; i >= 0; --i) {
                Entry* entry = m_active[static_cast<size_t>(i)].get();
                if (!entry->task->IsDecode() || entry->task->timeline != timeline)
                    continue;
                entry->dropCache = true;
                BeginShutdown(m_active.begin() + i);
                ended = true;
            }
        }
        for (const int shownIn : m_shownTimelines.keys(timeline))
            ShowFrame(shownIn, nullptr, nullptr, nullptr, nullptr);
    }
    if (ended)
        ShareCache(nullptr);
    // As when its output's decoding ends: the clock follows another timeline, or none, until
    // the decoding restarts.
    if (m_primary && reaching.contains(m_primary) && TaskIds(AvWorkerTask::DecodeVideo, m_primary).isEmpty()
        && TaskIds(AvWorkerTask::DecodeAudio, m_primary).isEmpty())
        SetPrimaryTimeline(nullptr);
    auto reached = [&] {
        for (const auto* list : {&m_active, &m_shuttingDown})
            for (const auto& entry : *list)
                if (entry->task->source == source
                    || (entry->task->IsDecode() && reaching.contains(entry->task->timeline))
                    || (entry->task->IsExport() && entry->task->timeline
                        && entry->task->timeline->DecodeSources().contains(source)))
                    return true;
        return false;
    };
    if (!WaitUntil([&] { return !reached(); }, kTaskEndTimeoutMs))
        Logger::error(QStringLiteral("Source deleted while the engine still uses it: its tasks did not end in time."));
    for (Timeline* timeline : std::as_const(reaching)) {
        const auto it = m_reachableSources.find(timeline);
        if (it == m_reachableSources.end())
            continue; // deleted meanwhile
        it->remove(source);
        // Pictures of the source left in a cache no task fills: their stream records go now.
        // An export copy's cache goes with the copy, once its pass has ended.
        if (!HasDecodeTasks(timeline) && !IsExportTimeline(timeline))
            ReleaseCacheLater(timeline, true, false);
        PruneReachableSources(timeline);
    }
    if (restarts.empty())
        return;
    // Once the source is gone, the decoding ended for it goes on without it, unless the output
    // was given something else meanwhile.
    QTimer::singleShot(0, this, [this, restarts] {
        for (const Restart& restart : restarts) {
            Timeline* timeline = restart.timeline;
            const bool outputUnchanged = restart.outputId < 0 || restart.outputId >= 4
                                         || m_outputRequests[static_cast<size_t>(restart.outputId)] == restart.request;
            if (timeline && outputUnchanged && !HasDecodeTasks(timeline) && timeline->OutputId() == restart.outputId)
                DecodeTimeline(timeline, restart.outputId, restart.audio, restart.video, true);
        }
    });
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
    if ((*it)->task->exportRequest)
        (*it)->task->exportRequest->cancelled = true; // the pass stops at its next check
    m_shuttingDown.push_back(std::move(*it));
    m_active.erase(it);
    emit WorkerShutdownStarted(id);
}

bool AvManager::ParseSource(Timeline* sourceTimeline)
{
    if (!sourceTimeline || !sourceTimeline->IsSourceTimeline()) {
        Logger::error(QStringLiteral("Failed to parse source. Invalid source timeline."));
        return false;
    }
    Source* source = sourceTimeline->GetSource();
    // The parse rewrites the stream records that decoders and decoded pictures point into.
    if (SourceInUse(source)) {
        Logger::error(QStringLiteral("Failed to parse source. Its frames are in use."));
        return false;
    }
    return StartTask(AvWorkerTask::ParseSource, sourceTimeline, source) >= 0;
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
    if (m_shuttingDownAll || m_finalShutdown || m_releasingTimelines.contains(timeline))
        return;
    Watch(timeline);
    const QPointer<Timeline> alive(timeline); // main thread only: the slots and events below may delete it
    if (outputId < 4) {
        const int request = outputId >= 0 ? ++m_outputRequests[static_cast<size_t>(outputId)] : 0;
        const int previous = timeline->OutputId();
        if (previous >= 0 && previous != outputId)
            EndDecodingTask(previous, !keepViewerFrameOverride);
        EndDecodingTask(outputId, false);
        WaitWhileShuttingDown(kTaskEndTimeoutMs);
        // The events processed while waiting may have given this output another timeline,
        // or begun shutting the engine down: the newer request stands.
        if (!alive || m_shuttingDownAll || m_finalShutdown || m_releasingTimelines.contains(timeline)
            || (outputId >= 0 && request != m_outputRequests[static_cast<size_t>(outputId)]))
            return;
        // An old task that has not ended still writes into the timeline's cache: a second one
        // beside it would corrupt the cache.
        const bool stuck = std::any_of(m_shuttingDown.begin(), m_shuttingDown.end(), [timeline](const auto& entry) {
            return entry->task->IsDecode() && entry->task->timeline == timeline;
        });
        if (stuck) {
            Logger::error(QStringLiteral("Failed to decode timeline. Its previous decode tasks did not end in time."));
            return;
        }
        if (previous >= 0 && previous != outputId && m_outputTimelines.value(previous) == timeline)
            m_outputTimelines.remove(previous);
        if (outputId >= 0) {
            Timeline* shown = m_outputTimelines.value(outputId);
            if (shown && shown != timeline)
                shown->SetOutputId(-1);
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

void AvManager::ShowInViewer(Timeline* timeline, int viewer, bool autoPlay)
{
    if (!timeline) {
        if (viewer >= 0 && viewer < 4)
            ++m_outputRequests[static_cast<size_t>(viewer)]; // a decode still waiting for it gives way
        EndDecodingTask(viewer, true);
        if (m_shownTimelines.contains(viewer))
            ShowFrame(viewer, nullptr, nullptr, nullptr, nullptr);
        if (Timeline* shown = m_outputTimelines.take(viewer))
            shown->SetOutputId(-1);
        return;
    }
    DecodeTimeline(timeline, viewer, true, true);
    if (autoPlay)
        Play();
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
            ShowFrame(outputId, nullptr, nullptr, nullptr, nullptr);
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
    if (!m_shuttingDownAll && entry->task->IsDecode() && timeline && !m_releasingTimelines.contains(timeline)) {
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
    PruneReachableSources(timeline);
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
    const int type = (*it)->task->type;
    Timeline* timeline = (*it)->task->timeline;
    m_shuttingDown.erase(it);
    if (type == AvWorkerTask::ExportAudio || type == AvWorkerTask::ExportVideo) {
        OnExportTaskFinished(id, timeline);
    } else if (type == AvWorkerTask::AudioOutput) {
        m_audioTimelinesSent.clear(); // an audio output that is gone holds nothing
        m_audioTimelineTaken = nullptr;
    } else if (timeline && m_reachableSources.contains(timeline)) {
        PruneReachableSources(timeline);
    }
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
    for (const QueuedExportPass& pass : m_exportQueue)
        pass.request->cancelled = true;
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
    StartNextExportPass(); // drops the cancelled passes left in the queue
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
    ShowFrame(entry->task->timeline->OutputId(), entry->task->timeline, std::move(videoFrame), std::move(previousFrame),
              std::move(nextFrame));
}

void AvManager::ShowFrame(int outputId, Timeline* timeline, std::shared_ptr<VideoFrame> videoFrame,
                          std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame)
{
    Timeline* before = m_shownTimelines.value(outputId);
    if (videoFrame)
        m_shownTimelines.insert(outputId, timeline);
    else
        m_shownTimelines.remove(outputId);
    emit VideoFrameChanged(outputId, std::move(videoFrame), std::move(previousFrame), std::move(nextFrame));
    if (before && before != m_shownTimelines.value(outputId) && m_reachableSources.contains(before))
        PruneReachableSources(before);
}

void AvManager::OnPlaybackStateChanged(bool playing, bool forward)
{
    m_playbackState = !playing ? Timeline::Stopped : forward ? Timeline::PlayingForward : Timeline::PlayingBackward;
    for (const auto& entry : m_active)
        if (entry->task->IsDecode() && entry->task->timeline)
            entry->task->timeline->SetPlaybackState(m_playbackState);
    emit PlaybackStateChanged(playing, forward);
    EmitAudioOutputState(playing, forward, -1, m_clock->PlaybackSpeed());
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
            EmitAudioOutputState(true, audioScrubForward, duration, m_clock->PlaybackSpeed());
    }
}

void AvManager::ApplyAudioOutputSettings()
{
    emit AudioOutputSettingsUpdated(AudioOutputSettings::FromSettings());
}

void AvManager::EmitAudioOutputState(bool playing, bool playForward, int64_t duration, float playbackSpeed)
{
    // The output reads volume and mute at each state update: it gets them copied first.
    ApplyAudioOutputSettings();
    emit AudioOutputStateUpdated(playing, playForward, duration, playbackSpeed);
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
    SendAudioPlaybackTimeline(timeline);
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

void AvManager::SetExportPassRunner(std::shared_ptr<ExportPassRunner> runner)
{
    m_exportRunner = std::move(runner);
}

void AvManager::StartTimelineExport(std::shared_ptr<ExportProperties> exportProperties)
{
    if (!exportProperties)
        return;
    ExportProperties& request = *exportProperties;
    Timeline* timeline = request.timeline;
    if (request.Proceeding() && (!timeline || !m_exportRunner || m_finalShutdown)) {
        emit ExportLogMsgReceived(!timeline ? QStringLiteral("Export failed: no timeline to export")
                                            : QStringLiteral("Export failed: the export passes are not available"),
                                  ExportLogGeneral, true);
        request.failed = true;
    }
    if (request.ffmpegExePath.isEmpty())
        request.ffmpegExePath = Settings::Get().ffmpegExePath;
    m_exportRunning = true;
    if (request.Proceeding()) {
        // Each pass works on its own copy, made here on the main thread: edits of the project
        // while the export runs do not reach it. For a source timeline the copy's range is the
        // source's cut-in and cut-out, which must not move: its pass reads the range it wants
        // from the request instead.
        auto makeCopy = [&](bool audioPass) {
            auto copy = std::unique_ptr<Timeline>(timeline->Duplicate());
            if (!copy->IsSourceTimeline()) {
                if (request.ignoreRange)
                    copy->SetPlaybackRange(0, -1);
                if (audioPass && request.audioStartFrame >= 0)
                    copy->SetPlaybackRange(request.audioStartFrame, copy->StoredRangeEndFrame());
            }
            Timeline* raw = copy.get();
            m_exportTimelines.push_back(std::move(copy));
            // Its sources count as reached until the copy goes (a queued pass's too), as a
            // decode task's do: none is parsed again meanwhile, and before one is freed the
            // export reaching it stops.
            AddReachableSources(raw);
            return raw;
        };
        if (!request.noAudio) {
            request.audioPending = true;
            m_exportQueue.push_back({AvWorkerTask::ExportAudio, makeCopy(true), exportProperties});
        }
        if (!request.noVideo && !request.mergeAfterAudio) {
            request.videoPending = true;
            m_exportQueue.push_back({AvWorkerTask::ExportVideo, makeCopy(false), exportProperties});
        }
    }
    if (m_exportQueue.empty() && m_exportAudioId < 0 && m_exportVideoId < 0) {
        // Nothing to run: reported as ended from the event loop, as a finished export would be.
        QTimer::singleShot(0, this, [this] { StartNextExportPass(); });
        return;
    }
    StartNextExportPass();
}

void AvManager::StartNextExportPass()
{
    while (m_exportAudioId < 0 && m_exportVideoId < 0 && !m_exportQueue.empty() && !m_shuttingDownAll) {
        QueuedExportPass pass = m_exportQueue.front();
        m_exportQueue.pop_front();
        // The passes run in order: one that follows a failed or stopped pass does not start.
        if (pass.request->Proceeding()
            && StartTask(pass.type, pass.timeline, nullptr, pass.request) >= 0)
            return;
        if (pass.type == AvWorkerTask::ExportAudio)
            pass.request->audioPending = false;
        else
            pass.request->videoPending = false;
        DeleteExportTimeline(pass.timeline);
    }
    if (m_exportRunning && m_exportAudioId < 0 && m_exportVideoId < 0 && m_exportQueue.empty()) {
        m_exportRunning = false;
        emit ExportTasksEnded();
    }
}

void AvManager::OnExportTaskFinished(int workerId, Timeline* copy)
{
    if (workerId == m_exportAudioId)
        m_exportAudioId = -1;
    if (workerId == m_exportVideoId)
        m_exportVideoId = -1;
    DeleteExportTimeline(copy);
    StartNextExportPass();
}

void AvManager::DeleteExportTimeline(Timeline* copy)
{
    const auto it = std::find_if(m_exportTimelines.begin(), m_exportTimelines.end(),
                                 [copy](const auto& owned) { return owned.get() == copy; });
    if (it == m_exportTimelines.end())
        return;
    std::unique_ptr<Timeline> owned = std::move(*it);
    m_exportTimelines.erase(it);
    m_reachableSources.remove(copy);
    owned.reset(); // its AboutToBeDestroyed finds no task on it any more
}

void AvManager::StopExportsReaching(Source* source)
{
    // Said once per request, before its passes end (the runner's closing line comes after).
    QSet<ExportProperties*> told;
    auto stop = [&](ExportProperties* request) {
        if (!request->cancelled && !told.contains(request)) {
            told.insert(request);
            emit ExportLogMsgReceived(QStringLiteral("Export stopped: a source it plays was closed: %1").arg(source->Path()),
                                      ExportLogGeneral, true);
        }
        request->cancelled = true;
    };
    for (const auto* list : {&m_active, &m_shuttingDown})
        for (const auto& entry : *list)
            if (entry->task->IsExport() && entry->task->exportRequest && entry->task->timeline
                && entry->task->timeline->DecodeSources().contains(source))
                stop(entry->task->exportRequest.get());
    for (auto it = m_exportQueue.begin(); it != m_exportQueue.end();) {
        if (!it->timeline->DecodeSources().contains(source)) {
            ++it;
            continue;
        }
        stop(it->request.get());
        if (it->type == AvWorkerTask::ExportAudio)
            it->request->audioPending = false;
        else
            it->request->videoPending = false;
        Timeline* copy = it->timeline;
        it = m_exportQueue.erase(it);
        DeleteExportTimeline(copy);
    }
}
