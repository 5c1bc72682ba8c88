#include "project/Clip.h"

#include "media/MediaTime.h"
#include "project/FrameBookmark.h"
#include "project/Source.h"

#include <QFileInfo>

#include <algorithm>

Clip* Clip::CreateOwning(const QString& path, const QString& relativePath, const QUuid& id, QObject* parent)
{
    auto* clip = new Clip(ClipKind::Owning, nullptr, parent);
    clip->m_source = new Source(path, relativePath, id, clip);
    clip->WatchSource();
    clip->Refresh();
    return clip;
}

Clip::Clip(ClipKind kind, Source* source, QObject* parent)
    : QObject(parent)
    , m_id(QUuid::createUuid())
    , m_kind(kind)
    , m_source(kind == ClipKind::Empty ? nullptr : source)
{
    if (m_source && m_kind == ClipKind::Reference)
        WatchSource();
    Refresh();
}

Clip* Clip::Copy(bool keepKind, bool watchSource, QObject* parent, bool keepSnapshot) const
{
    const ClipKind kind = keepKind ? m_kind : (m_source ? ClipKind::Reference : ClipKind::Empty);
    // A copy never owns the source: an owning kind is kept only as a marker of a source track.
    auto* copy = new Clip(ClipKind::Empty, nullptr, parent);
    copy->m_kind = kind;
    copy->m_source = m_source;
    copy->m_useSourceInOuts = m_useSourceInOuts;
    if (watchSource && copy->m_source)
        copy->WatchSource();
    if (!keepSnapshot) {
        copy->Refresh();
        return copy;
    }
    copy->m_audioStreamIndex = m_audioStreamIndex;
    copy->m_videoStreamIndex = m_videoStreamIndex;
    copy->m_startTime = m_startTime;
    copy->m_endTime = m_endTime;
    copy->m_startFrame = m_startFrame;
    copy->m_endFrame = m_endFrame;
    copy->m_cutInFrame = m_cutInFrame;
    copy->m_cutInTime = m_cutInTime;
    copy->m_cutOutTime = m_cutOutTime;
    copy->m_frameCount = m_frameCount;
    copy->m_frameDuration = m_frameDuration;
    return copy;
}

void Clip::WatchSource()
{
    // By connection, not by sender: the old source may be gone when the clip is re-pointed.
    for (const QMetaObject::Connection& connection : m_sourceConnections)
        disconnect(connection);
    m_sourceConnections[0] = connect(m_source, &Source::Parsed, this, &Clip::OnSourceParsed);
    m_sourceConnections[1] = connect(m_source, &Source::Updated, this, &Clip::OnSourceUpdated);
}

QString Clip::Name() const
{
    return m_source ? QFileInfo(m_source->Path()).fileName() : QStringLiteral("Unnamed Clip");
}

double Clip::FrameRate() const
{
    return m_frameDuration > 0.0 ? MediaTime::kMicroseconds / m_frameDuration : 0.0;
}

void Clip::SetStart(int64_t time, int32_t frame)
{
    m_startTime = time;
    m_startFrame = frame;
}

void Clip::SetEnd(int64_t time, int32_t frame)
{
    m_endTime = time;
    m_endFrame = frame;
}

void Clip::Refresh()
{
    if (!m_source || m_kind == ClipKind::Empty) {
        m_cutInFrame = 0;
        m_cutInTime = 0;
        m_cutOutTime = -1;
        m_frameCount = 0;
        m_frameDuration = 0.0;
        return;
    }
    m_frameDuration = m_source->FrameDuration();
    const int32_t sourceFrames = m_source->FrameCount();
    if (HonoursInOuts()) {
        m_cutInFrame = m_source->CutInFrame();
        m_cutInTime = m_source->CutInTime();
        m_cutOutTime = m_source->CutOutTime();
        m_frameCount = sourceFrames > 0 ? m_source->EffectiveCutOutFrame() - m_cutInFrame + 1 : 0;
    } else {
        m_cutInFrame = 0;
        m_cutInTime = 0;
        m_cutOutTime = MediaTime::FrameEndTime(sourceFrames - 1, m_frameDuration);
        m_frameCount = sourceFrames;
    }
    m_frameCount = std::max(m_frameCount, 0);
}

void Clip::SetSource(Source* source)
{
    if (m_kind != ClipKind::Reference || !source)
        return;
    m_source = source;
    WatchSource();
    m_startTime = 0;
    m_endTime = -1;
    m_startFrame = 0;
    m_endFrame = -1;
    Refresh();
}

int32_t Clip::BookmarkTimelineFrame(int32_t sourceFrame) const
{
    if (HonoursInOuts()) {
        const int32_t cutOut = m_cutInFrame + m_frameCount - 1;
        if (sourceFrame < m_cutInFrame || sourceFrame > cutOut)
            return -1;
        return m_startFrame - m_cutInFrame + sourceFrame;
    }
    if (sourceFrame < 0 || sourceFrame > m_frameCount - 1)
        return -1;
    return m_startFrame + sourceFrame;
}

void Clip::UpdateBookmarkPositions()
{
    for (FrameBookmark* bookmark : std::as_const(m_frameBookmarks))
        bookmark->SetTimelineFrame(BookmarkTimelineFrame(bookmark->Frame()));
}

int Clip::AddFrameBookmark(int32_t timelineFrame, FrameBookmark* bookmark)
{
    const int32_t sourceFrame = SourceFrame(timelineFrame);
    const auto found = std::find_if(m_frameBookmarks.begin(), m_frameBookmarks.end(),
                                    [&](const FrameBookmark* b) { return b->Frame() == sourceFrame; });
    if (found != m_frameBookmarks.end())
        return -1;
    if (!bookmark)
        bookmark = new FrameBookmark(sourceFrame);
    bookmark->setParent(this);
    bookmark->SetFrame(sourceFrame);
    const auto at = std::find_if(m_frameBookmarks.begin(), m_frameBookmarks.end(),
                                 [&](const FrameBookmark* b) { return b->Frame() > sourceFrame; });
    const int index = static_cast<int>(at - m_frameBookmarks.begin());
    m_frameBookmarks.insert(index, bookmark);
    UpdateBookmarkPositions();
    return index;
}

FrameBookmark* Clip::FrameBookmarkAt(int32_t timelineFrame) const
{
    const int32_t sourceFrame = SourceFrame(timelineFrame);
    for (FrameBookmark* bookmark : m_frameBookmarks)
        if (bookmark->Frame() == sourceFrame)
            return bookmark;
    return nullptr;
}

FrameBookmark* Clip::RemoveFrameBookmark(int32_t timelineFrame)
{
    FrameBookmark* bookmark = FrameBookmarkAt(timelineFrame);
    if (bookmark) {
        m_frameBookmarks.removeOne(bookmark);
        bookmark->setParent(nullptr);
    }
    return bookmark;
}

QList<FrameBookmark*> Clip::CopyFrameBookmarks(QObject* parent) const
{
    QList<FrameBookmark*> copies;
    for (const FrameBookmark* bookmark : m_frameBookmarks)
        copies.append(bookmark->Copy(parent));
    return copies;
}

void Clip::ReplaceFrameBookmarks(const QList<FrameBookmark*>& bookmarks)
{
    qDeleteAll(m_frameBookmarks);
    m_frameBookmarks = bookmarks;
    for (FrameBookmark* bookmark : std::as_const(m_frameBookmarks))
        bookmark->setParent(this);
    std::stable_sort(m_frameBookmarks.begin(), m_frameBookmarks.end(),
                     [](const FrameBookmark* a, const FrameBookmark* b) { return a->Frame() < b->Frame(); });
    UpdateBookmarkPositions();
}

bool Clip::AllSaved() const
{
    return std::all_of(m_frameBookmarks.begin(), m_frameBookmarks.end(), [](const FrameBookmark* b) { return b->IsSaved(); });
}

void Clip::MarkSaved()
{
    for (FrameBookmark* bookmark : std::as_const(m_frameBookmarks))
        bookmark->MarkSaved();
}
