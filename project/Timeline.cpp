#include "project/Timeline.h"

#include "media/AudioFrame.h"
#include "media/CacheManager.h"
#include "media/MediaTime.h"
#include "media/VideoFrame.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Track.h"

#include <QScopeGuard>
#include <QSet>
#include <QMutexLocker>
#include <QSize>

#include <algorithm>

Timeline::Timeline(const QString& path, const QString& relativePath, const QUuid& id, QObject* parent)
    : QObject(parent)
{
    auto* track = new Track(true, this);
    track->InsertClip(Clip::CreateOwning(path, relativePath, id), 0);
    AttachTrack(track);
    Init();
}

Timeline::Timeline(QObject* parent, bool withTrack)
    : QObject(parent)
{
    if (withTrack)
        AttachTrack(new Track(false, this));
    Init();
}

Timeline::~Timeline()
{
    emit AboutToBeDestroyed(this);
}

void Timeline::Init()
{
    m_cache = new CacheManager(this);
    m_background = new FrameBookmark(0, this);
    RefreshDecodeCopies();
}

void Timeline::AttachTrack(Track* track)
{
    m_track = track;
    m_track->setParent(this);
    m_endTime = m_track->EndTime();
    connect(m_track, &Track::TrackUpdated, this, &Timeline::OnTrackUpdated);
    connect(m_track, &Track::SourceParsed, this, &Timeline::OnSourceParsed);
    connect(m_track, &Track::SourceUpdated, this, &Timeline::OnSourceUpdated);
}

Timeline* Timeline::Duplicate(QObject* parent) const
{
    auto* copy = new Timeline(parent, false);
    copy->AttachTrack(m_track ? m_track->Copy(false) : new Track(false));
    copy->m_useSourceInOuts = m_useSourceInOuts;
    copy->m_useSourceAudioDelay = m_useSourceAudioDelay.load();
    const int64_t end = copy->EndTime();
    copy->m_pastEnd = m_playbackTime > end;
    copy->m_playbackTime = std::max<int64_t>(std::min<int64_t>(m_playbackTime, end), 0);
    copy->m_rangeStartFrame = m_rangeStartFrame;
    copy->m_rangeEndFrame = m_rangeEndFrame;
    copy->m_rangeStartTime = m_rangeStartTime;
    copy->m_rangeEndTime = m_rangeEndTime;
    if (!IsSourceTimeline()) {
        copy->m_audioOverrideId = m_audioOverrideId;
        copy->m_audioOverrideTimeline = m_audioOverrideTimeline;
    }
    copy->RefreshDecodeCopies();
    return copy;
}

bool Timeline::IsSourceTimeline() const
{
    return m_track && m_track->IsSourceTrack();
}

Source* Timeline::GetSource() const
{
    const Clip* first = ClipAt(0);
    return first && first->Kind() == ClipKind::Owning ? first->GetSource() : nullptr;
}

int32_t Timeline::LastFrame() const
{
    return m_track ? m_track->LastFrame() : 0;
}

int32_t Timeline::FrameCount() const
{
    return m_track ? m_track->FrameCount() : 0;
}

int64_t Timeline::Duration() const
{
    return m_track ? m_track->Duration() : 0;
}

Clip* Timeline::ClipAt(int index) const
{
    return m_track ? m_track->ClipAt(index) : nullptr;
}

Clip* Timeline::ClipAtFrame(int32_t frame) const
{
    return m_track ? m_track->ClipAtFrame(frame) : nullptr;
}

Clip* Timeline::ClipAtTime(int64_t time) const
{
    return m_track ? m_track->ClipAtTime(time) : nullptr;
}

int32_t Timeline::TimeToFrame(int64_t time) const
{
    return m_track ? m_track->TimeToFrame(time) : -1;
}

int64_t Timeline::FrameStartTime(int32_t frame) const
{
    return m_track ? m_track->FrameStartTime(frame) : -1;
}

int64_t Timeline::FrameEndTime(int32_t frame) const
{
    return m_track ? m_track->FrameEndTime(frame) : -1;
}

double Timeline::FrameRateAt(int32_t frame) const
{
    return m_track ? m_track->FrameRateAt(frame) : -1.0;
}

double Timeline::FrameDurationAt(int32_t frame) const
{
    const double rate = FrameRateAt(frame);
    return rate > 0.0 ? MediaTime::kMicroseconds / rate : 0.0;
}

int32_t Timeline::FileFrameNumber(int32_t frame) const
{
    const Clip* clip = ClipAtFrame(frame);
    if (!clip || !clip->GetSource())
        return -1;
    return clip->GetSource()->FileFrameNumber(frame - clip->StartFrame() + clip->CutInFrame());
}

QSize Timeline::FirstVideoSize() const
{
    const Clip* clip = ClipAt(0);
    const VideoStreamInfo* video = clip && clip->GetSource() ? clip->GetSource()->FirstVideoStream() : nullptr;
    return video ? QSize(video->width, video->height) : QSize();
}

int Timeline::TimeControlFrameOffset() const
{
    return ProjectGlobals::TimeControlFrameOffset();
}

void Timeline::SetPlaybackFrame(int32_t frame)
{
    frame = std::min(frame, LastFrame());
    const int64_t time = std::max<int64_t>(FrameStartTime(frame), 0);
    const int64_t end = EndTime();
    m_pastEnd = time > end;
    m_playbackTime = std::max<int64_t>(std::min(time, end), 0);
}

void Timeline::SetPlaybackTime(int64_t time, bool seek)
{
    if (seek)
        ++m_seekCount;
    const int64_t end = EndTime();
    m_pastEnd = time > end;
    m_playbackTime = std::max<int64_t>(std::min(time, end), 0);
}

int32_t Timeline::RangeEndFrame() const
{
    return m_rangeEndFrame < 0 ? LastFrame() : m_rangeEndFrame;
}

int64_t Timeline::RangeEndTime() const
{
    return m_rangeEndFrame < 0 ? EndTime() : m_rangeEndTime;
}

void Timeline::SetPlaybackRange(int32_t startFrame, int32_t endFrame)
{
    const int32_t last = LastFrame();
    startFrame = std::clamp(startFrame, 0, std::max(last, 0));
    if (endFrame >= 0)
        endFrame = std::max(endFrame, startFrame); // a range never ends before it starts
    endFrame = endFrame >= 0 && endFrame < last ? endFrame : -1;
    if (startFrame == m_rangeStartFrame && endFrame == m_rangeEndFrame)
        return;
    m_rangeStartFrame = startFrame;
    m_rangeEndFrame = endFrame;
    m_rangeStartTime = std::max<int64_t>(FrameStartTime(startFrame), 0);
    m_rangeEndTime = endFrame < 0 ? -1 : FrameEndTime(endFrame);
    if (Source* source = IsSourceTimeline() ? GetSource() : nullptr)
        source->SetCutInOutFrames(startFrame, endFrame);
    EmitRange();
}

void Timeline::EmitRange()
{
    emit PlaybackRangeChanged(m_rangeStartTime, RangeEndTime());
}

void Timeline::SetOutputId(int32_t id)
{
    if (id == m_outputId)
        return;
    m_outputId = id;
    emit TimelineUpdated();
}

void Timeline::SetUseSourceInOuts(bool use)
{
    if (IsSourceTimeline() || use == m_useSourceInOuts)
        return;
    m_useSourceInOuts = use;
    for (Clip* clip : m_track->Clips())
        clip->SetUseSourceInOuts(use);
    m_track->Layout();
    OnTrackUpdated();
    emit UseSourcePropertiesInTimelineChanged();
    emit MasterTrackEdited();
}

void Timeline::SetUseSourceAudioDelay(bool use)
{
    if (IsSourceTimeline() || use == m_useSourceAudioDelay)
        return;
    m_useSourceAudioDelay = use;
    emit UseSourcePropertiesInTimelineChanged();
    emit MasterTrackEdited();
}

void Timeline::SetAudioDelay(int64_t delay)
{
    Source* source = GetSource();
    if (!IsSourceTimeline() || !source || source->AudioDelay() == delay)
        return;
    source->SetAudioDelay(delay);
    emit MasterTrackEdited();
}

void Timeline::SetPanZoom(QPointF pan, float zoom, bool enabled)
{
    m_panInterpolation = QPointF(std::clamp(pan.x(), -1.0, 1.0), std::clamp(pan.y(), -1.0, 1.0));
    m_zoom = std::clamp(zoom, 1.0f, 4.0f);
    m_panZoomEnabled = enabled;
    emit PanZoomChanged(m_panInterpolation, m_zoom, m_panZoomEnabled);
}

int Timeline::InsertClip(Clip* clip, int index, bool masterEdit)
{
    if (IsSourceTimeline() || !clip || !m_track)
        return -1;
    clip->SetUseSourceInOuts(m_useSourceInOuts);
    index = m_track->InsertClip(clip, index);
    if (masterEdit)
        emit MasterTrackEdited();
    return index;
}

void Timeline::AppendClips(const QList<Clip*>& clips)
{
    if (IsSourceTimeline() || !m_track) {
        qDeleteAll(clips);
        return;
    }
    for (Clip* clip : clips)
        clip->SetUseSourceInOuts(m_useSourceInOuts);
    m_track->AppendClips(clips);
    emit MasterTrackEdited();
}

void Timeline::SetClipOrder(const QList<QUuid>& ids)
{
    if (IsSourceTimeline() || !m_track)
        return;
    m_track->SetClipOrder(ids);
    emit MasterTrackEdited();
}

Clip* Timeline::RemoveClip(int index, bool masterEdit)
{
    if (IsSourceTimeline() || !m_track)
        return nullptr;
    Clip* clip = m_track->TakeClip(index);
    if (clip && masterEdit)
        emit MasterTrackEdited();
    return clip;
}

void Timeline::RemoveClips(const QList<QUuid>& ids)
{
    if (IsSourceTimeline() || !m_track)
        return;
    for (int i = m_track->ClipCount() - 1; i >= 0; --i)
        if (ids.contains(m_track->ClipAt(i)->Id()))
            delete m_track->TakeClip(i);
    emit MasterTrackEdited();
}

void Timeline::SetAudioOverrideId(const QUuid& id)
{
    if (IsSourceTimeline() || id == m_audioOverrideId)
        return;
    m_audioOverrideId = id;
    emit MasterTrackEdited();
    emit AudioOverrideTimelineChanged();
}

void Timeline::SetAudioOverrideTimeline(Timeline* timeline)
{
    if (IsSourceTimeline())
        return;
    m_audioOverrideTimeline = timeline;
}

int Timeline::AddRangeBookmark(int32_t start, int32_t end)
{
    const RangeBookmark bookmark{start, end};
    if (m_rangeBookmarks.contains(bookmark))
        return -1;
    const auto at = std::upper_bound(m_rangeBookmarks.begin(), m_rangeBookmarks.end(), bookmark);
    const int index = static_cast<int>(at - m_rangeBookmarks.begin());
    m_rangeBookmarks.insert(index, bookmark);
    emit BookmarksChanged();
    return index;
}

bool Timeline::HasRangeBookmark(int32_t start, int32_t end) const
{
    return m_rangeBookmarks.contains(RangeBookmark{start, end});
}

bool Timeline::RemoveRangeBookmark(int32_t start, int32_t end)
{
    if (!m_rangeBookmarks.removeOne(RangeBookmark{start, end}))
        return false;
    emit BookmarksChanged();
    return true;
}

int Timeline::AddFrameBookmark(int32_t frame, FrameBookmark* bookmark)
{
    Clip* clip = ClipAtFrame(frame);
    const int index = clip ? clip->AddFrameBookmark(frame, bookmark) : -1;
    if (index >= 0)
        emit BookmarksChanged();
    return index;
}

FrameBookmark* Timeline::FrameBookmarkAt(int32_t frame) const
{
    const Clip* clip = ClipAtFrame(frame);
    return clip ? clip->FrameBookmarkAt(frame) : nullptr;
}

FrameBookmark* Timeline::RemoveFrameBookmark(int32_t frame)
{
    Clip* clip = ClipAtFrame(frame);
    FrameBookmark* bookmark = clip ? clip->RemoveFrameBookmark(frame) : nullptr;
    if (bookmark)
        emit BookmarksChanged();
    return bookmark;
}

QList<FrameBookmark*> Timeline::FrameBookmarks() const
{
    return m_track ? m_track->AllFrameBookmarks() : QList<FrameBookmark*>();
}

void Timeline::ReplaceBackgroundAnnotations(FrameBookmark* bookmark)
{
    delete m_background;
    m_background = bookmark ? bookmark : new FrameBookmark(0);
    m_background->setParent(this);
}

FrameBookmark* Timeline::TakeBackgroundAnnotations()
{
    FrameBookmark* taken = m_background;
    taken->setParent(nullptr);
    m_background = new FrameBookmark(0, this);
    return taken;
}

bool Timeline::AnnotationsSaved() const
{
    if (!m_background->IsSaved())
        return false;
    const QList<FrameBookmark*> bookmarks = FrameBookmarks();
    return std::all_of(bookmarks.begin(), bookmarks.end(), [](const FrameBookmark* b) { return b->IsSaved(); });
}

void Timeline::MarkAnnotationsSaved()
{
    m_background->MarkSaved();
    for (FrameBookmark* bookmark : FrameBookmarks())
        bookmark->MarkSaved();
}

bool Timeline::AudioReadyAt(int64_t t) const
{
    if (t > EndTime())
        return true;
    return m_cache->AudioFrameCount() > 0 && m_cache->AudioStartTime() <= t && t <= m_cache->AudioEndTime();
}

bool Timeline::VideoReadyAt(int64_t t) const
{
    if (t > EndTime())
        return true;
    return m_cache->VideoFrameCount() > 0 && m_cache->VideoTimelineStartTime() <= t
           && t <= m_cache->VideoTimelineEndTime();
}

void Timeline::CacheVideoFrame(const std::shared_ptr<VideoFrame>& frame)
{
    if (!frame)
        return;
    frame->timeline = this;
    m_cache->CacheVideoFrame(frame);
}

void Timeline::CacheAudioFrame(const std::shared_ptr<AudioFrame>& frame)
{
    m_cache->CacheAudioFrame(frame);
}

void Timeline::GetVideoFrames(int64_t t, std::vector<std::shared_ptr<VideoFrame>>& out) const
{
    m_cache->GetVideoFrames(t, out);
}

void Timeline::TrimAudioCache()
{
    m_cache->TrimAudio(m_playbackTime, PlaysForward(), 0.5);
}

void Timeline::TrimVideoCache()
{
    m_cache->TrimVideo(m_playbackTime, PlaysForward(), 0.5);
}

void Timeline::ClearCache()
{
    m_cache->Clear();
}

bool Timeline::IsDecoding(DecodeType type) const
{
    return type == DecodeType::Audio ? m_decoding[0].load() : m_decoding[1].load();
}

void Timeline::SetDecoding(DecodeType type, bool decoding)
{
    (type == DecodeType::Audio ? m_decoding[0] : m_decoding[1]) = decoding;
}

Track* Timeline::CopyDecodeTrack(DecodeType type) const
{
    QMutexLocker lock(&m_decodeCopiesMutex);
    const auto& copy = m_decodeCopies[type == DecodeType::Audio ? 0 : 1];
    return copy ? copy->Clone() : nullptr;
}

void Timeline::RefreshDecodeCopies()
{
    // Main thread only. The timelines being refreshed down an override chain: a chain that
    // loops back stops where it began.
    static QSet<const Timeline*> refreshing;
    if (refreshing.contains(this))
        return;
    refreshing.insert(this);
    const auto done = qScopeGuard([this] { refreshing.remove(this); });
    std::unique_ptr<Track> video(m_track ? m_track->Copy(false) : nullptr);
    std::unique_ptr<Track> audio;
    Timeline* override = IsSourceTimeline() ? nullptr : m_audioOverrideTimeline.data();
    if (override && override != this && override->GetTrack()) {
        audio.reset(override->GetTrack()->Copy(false));
        const int64_t end = override->m_rangeEndFrame < 0 ? override->GetTrack()->EndTime() : override->m_rangeEndTime;
        audio->FitToRange(override->m_rangeStartTime, end, EndTime());
    } else if (m_track) {
        audio.reset(m_track->Copy(false));
    }
    if (video)
        video->moveToThread(nullptr); // used from decode threads through Clone() only
    if (audio)
        audio->moveToThread(nullptr);
    {
        QMutexLocker lock(&m_decodeCopiesMutex);
        m_decodeCopies[0] = std::move(audio);
        m_decodeCopies[1] = std::move(video);
    }
    // Down the chain of override timelines.
    if (override && override != this)
        override->RefreshDecodeCopies();
    emit DecodeCopiesRefreshed();
}

QList<Source*> Timeline::DecodeSources() const
{
    QList<Source*> sources;
    QMutexLocker lock(&m_decodeCopiesMutex);
    for (const auto& copy : m_decodeCopies) {
        if (!copy)
            continue;
        for (const Clip* clip : copy->Clips())
            if (clip->GetSource() && !sources.contains(clip->GetSource()))
                sources.append(clip->GetSource());
    }
    return sources;
}

void Timeline::OnTrackUpdated()
{
    m_endTime = m_track ? m_track->EndTime() : -1;
    const int64_t end = EndTime();
    if (m_playbackTime > end)
        m_playbackTime = std::max<int64_t>(end, 0);
    // A range that no longer fits (its end, or with an open end its start, beyond the last
    // frame) becomes the whole timeline.
    if (RangeEndFrame() > LastFrame() || m_rangeStartFrame > std::max(LastFrame(), 0))
        SetPlaybackRange(0, LastFrame());
    // Range times follow the layout (a clip before the range may have changed length).
    m_rangeStartTime = std::max<int64_t>(FrameStartTime(m_rangeStartFrame), 0);
    if (m_rangeEndFrame >= 0)
        m_rangeEndTime = FrameEndTime(m_rangeEndFrame);
    RefreshDecodeCopies();
    emit EndTimeChanged(end);
    EmitRange();
    emit TimelineUpdated();
}

void Timeline::OnSourceParsed()
{
    OnTrackUpdated();
    emit SourceParsed();
}

void Timeline::OnSourceUpdated()
{
    OnTrackUpdated();
    emit SourceUpdated();
}

void Timeline::SeekAudio(QByteArray& buffer, int64_t t)
{
    buffer.clear();
    if (t < 0)
        t = m_playbackTime;
    const AudioFramePtr block = m_cache->GetAudioFrame(t, true);
    m_audioByteOffset = block ? AudioFormat::BytesForDuration(t - block->startTime) : 0;
}

void Timeline::ReadAudio(QByteArray& buffer, int64_t bytes, bool forward)
{
    constexpr int64_t frameBytes = AudioFormat::kBytesPerFrame;
    AudioFramePtr block = m_cache->CurrentAudioFrame();
    int64_t written = 0;
    if (forward) {
        while (block && written < bytes) {
            const int64_t available = block->size - m_audioByteOffset;
            const int64_t take = std::min(available, bytes - written);
            if (take > 0) {
                if (block->flag || block->data.size() < m_audioByteOffset + take)
                    buffer.append(QByteArray(static_cast<qsizetype>(take), '\0'));
                else
                    buffer.append(block->data.constData() + m_audioByteOffset, static_cast<qsizetype>(take));
                written += take;
                m_audioByteOffset += take;
            }
            if (m_audioByteOffset >= block->size) {
                block = m_cache->StepAudioFrame(true);
                m_audioByteOffset = 0;
            }
        }
        return;
    }
    while (block && written < bytes) {
        if (m_audioByteOffset >= 0 && m_audioByteOffset + frameBytes <= block->size) {
            if (block->flag || block->data.size() < m_audioByteOffset + frameBytes)
                buffer.append(QByteArray(frameBytes, '\0'));
            else
                buffer.append(block->data.constData() + m_audioByteOffset, frameBytes);
            written += frameBytes;
        }
        m_audioByteOffset -= frameBytes;
        if (m_audioByteOffset < 0) {
            block = m_cache->StepAudioFrame(false);
            m_audioByteOffset = block ? block->size - frameBytes : 0;
        }
    }
}

void Timeline::ReadAudioDuration(QByteArray& buffer, int64_t duration, bool forward)
{
    if (duration <= 0 || !m_cache->CurrentAudioFrame())
        return;
    ReadAudio(buffer, AudioFormat::BytesForDuration(duration), forward);
}

bool Timeline::AudioPositionValid() const
{
    return m_cache->CurrentAudioFrame() != nullptr;
}
