#include "project/Track.h"

#include "media/MediaTime.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/Source.h"

#include <QFileInfo>

#include <algorithm>

Track::Track(bool sourceTrack, QObject* parent)
    : QObject(parent)
    , m_sourceTrack(sourceTrack)
{
}

Clip* Track::ClipAt(int index) const
{
    return index >= 0 && index < ClipCount() ? m_clips.at(index) : nullptr;
}

Clip* Track::ClipAtFrame(int32_t frame) const
{
    for (Clip* clip : m_clips)
        if (clip->StartFrame() <= frame && frame <= clip->EndFrame())
            return clip;
    return nullptr;
}

Clip* Track::ClipAtTime(int64_t time) const
{
    return ClipAt(ClipIndexAtTime(time));
}

int Track::ClipIndexAtTime(int64_t time) const
{
    for (int i = 0; i < ClipCount(); ++i)
        if (m_clips.at(i)->StartTime() <= time && time <= m_clips.at(i)->EndTime())
            return i;
    return -1;
}

QList<int> Track::ClipIndicesForSource(const QUuid& sourceId) const
{
    QList<int> indices;
    for (int i = 0; i < ClipCount(); ++i)
        if (m_clips.at(i)->GetSource() && m_clips.at(i)->GetSource()->Id() == sourceId)
            indices.append(i);
    return indices;
}

bool Track::HasSource(const QUuid& sourceId) const
{
    return !ClipIndicesForSource(sourceId).isEmpty();
}

bool Track::HasSourceFile(const QString& path) const
{
    if (!QFileInfo::exists(path))
        return false;
    return std::any_of(m_clips.begin(), m_clips.end(),
                       [&](const Clip* clip) { return clip->GetSource() && clip->GetSource()->ContainsFile(path); });
}

int64_t Track::Duration() const
{
    return m_clips.isEmpty() ? 0 : m_clips.last()->EndTime() + 1;
}

int64_t Track::EndTime() const
{
    return m_clips.isEmpty() ? -1 : m_clips.last()->EndTime();
}

int32_t Track::LastFrame() const
{
    return m_clips.isEmpty() ? 0 : m_clips.last()->EndFrame();
}

int32_t Track::FrameCount() const
{
    return m_clips.isEmpty() ? 0 : m_clips.last()->StartFrame() + m_clips.last()->FrameCount();
}

bool Track::HasAudio() const
{
    return std::any_of(m_clips.begin(), m_clips.end(),
                       [](const Clip* clip) { return clip->GetSource() && clip->GetSource()->AudioStreamCount() > 0; });
}

bool Track::HasVideo() const
{
    return std::any_of(m_clips.begin(), m_clips.end(),
                       [](const Clip* clip) { return clip->GetSource() && clip->GetSource()->VideoStreamCount() > 0; });
}

bool Track::HasSourceError() const
{
    return std::any_of(m_clips.begin(), m_clips.end(),
                       [](const Clip* clip) { return clip->GetSource() && clip->GetSource()->HasError(); });
}

QList<QUuid> Track::ClipIds() const
{
    QList<QUuid> ids;
    for (const Clip* clip : m_clips)
        ids.append(clip->Id());
    return ids;
}

QList<FrameBookmark*> Track::AllFrameBookmarks() const
{
    QList<FrameBookmark*> bookmarks;
    for (const Clip* clip : m_clips)
        bookmarks.append(clip->FrameBookmarks());
    return bookmarks;
}

int Track::LastClipStartingAtFrame(int32_t frame) const
{
    for (int i = ClipCount() - 1; i >= 0; --i)
        if (m_clips.at(i)->StartFrame() <= frame)
            return i;
    return -1;
}

int Track::LastClipStartingAtTime(int64_t time) const
{
    for (int i = ClipCount() - 1; i >= 0; --i)
        if (m_clips.at(i)->StartTime() <= time)
            return i;
    return -1;
}

int32_t Track::TimeToFrame(int64_t time) const
{
    const Clip* clip = ClipAt(LastClipStartingAtTime(time));
    if (!clip)
        return -1;
    return clip->StartFrame() + MediaTime::TimeToFrame(time - clip->StartTime(), clip->FrameDuration());
}

int64_t Track::FrameStartTime(int32_t frame) const
{
    const Clip* clip = ClipAt(LastClipStartingAtFrame(frame));
    if (!clip)
        return -1;
    return clip->StartTime() + MediaTime::FrameStartTime(frame - clip->StartFrame(), clip->FrameDuration());
}

int64_t Track::FrameEndTime(int32_t frame) const
{
    const Clip* clip = ClipAt(LastClipStartingAtFrame(frame));
    if (!clip)
        return -1;
    return clip->StartTime() + MediaTime::FrameEndTime(frame - clip->StartFrame(), clip->FrameDuration());
}

int32_t Track::SourceFrame(int32_t frame) const
{
    const Clip* clip = ClipAtFrame(frame);
    return clip ? clip->SourceFrame(frame) : -1;
}

double Track::FrameRateAt(int32_t frame) const
{
    const Clip* clip = ClipAt(LastClipStartingAtFrame(frame));
    return clip ? clip->FrameRate() : -1.0;
}

Track* Track::Copy(bool watchSources, QObject* parent) const
{
    auto* copy = new Track(m_sourceTrack, parent);
    for (const Clip* clip : m_clips) {
        Clip* clipCopy = clip->Copy(m_sourceTrack, watchSources, copy);
        copy->m_clips.append(clipCopy);
        if (watchSources)
            copy->Watch(clipCopy);
        copy->Layout();
    }
    return copy;
}

Track* Track::Clone(QObject* parent) const
{
    auto* clone = new Track(m_sourceTrack, parent);
    for (const Clip* clip : m_clips) {
        Clip* copy = clip->Copy(true, false, clone, true);
        copy->SetAudioStreamIndex(clip->AudioStreamIndex());
        copy->SetVideoStreamIndex(clip->VideoStreamIndex());
        clone->m_clips.append(copy);
    }
    return clone;
}

void Track::Watch(Clip* clip)
{
    connect(clip, &Clip::SourceParsed, this, &Track::OnSourceParsed, Qt::UniqueConnection);
    connect(clip, &Clip::SourceUpdated, this, &Track::OnSourceUpdated, Qt::UniqueConnection);
    if (!m_sourceTrack && clip->GetSource())
        connect(clip->GetSource(), &Source::CutInOutChanged, this, &Track::OnSourceCutInOutChanged, Qt::UniqueConnection);
}

int Track::InsertClip(Clip* clip, int index)
{
    if (!clip)
        return -1;
    if (index < 0 || index > ClipCount())
        index = ClipCount();
    clip->setParent(this);
    m_clips.insert(index, clip);
    Watch(clip);
    Layout();
    emit TrackUpdated();
    return index;
}

void Track::AppendClips(const QList<Clip*>& clips)
{
    for (Clip* clip : clips) {
        clip->setParent(this);
        m_clips.append(clip);
        Watch(clip);
    }
    Layout();
    emit TrackUpdated();
}

void Track::SetClipOrder(const QList<QUuid>& ids)
{
    QList<Clip*> ordered;
    QList<Clip*> rest = m_clips;
    for (const QUuid& id : ids) {
        const auto found = std::find_if(rest.begin(), rest.end(), [&](const Clip* clip) { return clip->Id() == id; });
        if (found != rest.end()) {
            ordered.append(*found);
            rest.erase(found);
        }
    }
    m_clips = ordered + rest;
    Layout();
    emit TrackUpdated();
}

Clip* Track::TakeClip(int index)
{
    Clip* clip = ClipAt(index);
    if (!clip)
        return nullptr;
    m_clips.removeAt(index);
    disconnect(clip, nullptr, this, nullptr);
    if (clip->GetSource() && !HasSource(clip->GetSource()->Id()))
        disconnect(clip->GetSource(), nullptr, this, nullptr);
    clip->setParent(nullptr);
    Layout();
    emit TrackUpdated();
    return clip;
}

void Track::Layout()
{
    int64_t t = 0;
    int32_t f = 0;
    for (Clip* clip : std::as_const(m_clips)) {
        clip->Refresh();
        clip->SetStart(t, f);
        const int32_t n = clip->FrameCount();
        t = clip->StartTime() + MediaTime::FrameStartTime(n, clip->FrameDuration());
        clip->SetEnd(t - 1, f + n - 1);
        f = clip->EndFrame() + 1;
        clip->UpdateBookmarkPositions();
    }
}

void Track::FitToRange(int64_t s, int64_t e, int64_t playingEnd)
{
    if (m_clips.isEmpty() || s < 0 || e <= s)
        return;
    for (int i = 0; i < ClipCount(); ++i) {
        Clip* clip = m_clips.at(i);
        const int64_t start = i == 0 ? -s : m_clips.at(i - 1)->EndTime() + 1;
        const int64_t end = std::min(e - s, clip->EndTime() - s);
        clip->SetStart(start, i);
        clip->SetEnd(end, i);
        if (end == e - s) {
            auto* silence = new Clip(ClipKind::Empty, nullptr, this);
            silence->SetStart(end + 1, i + 1);
            silence->SetEnd(playingEnd, i + 1);
            m_clips.insert(i + 1, silence);
            return;
        }
    }
}

void Track::OnSourceParsed()
{
    Layout();
    emit SourceParsed();
}

void Track::OnSourceUpdated()
{
    Layout();
    emit SourceUpdated();
}

void Track::OnSourceCutInOutChanged()
{
    Layout();
    emit TrackUpdated();
}
