#include "project/commands/FrameBookmarkCmd.h"

#include "project/FrameBookmark.h"
#include "project/Timeline.h"

FrameBookmarkCmd::FrameBookmarkCmd(ProjectManager& manager, const QString& text, const QUuid& timelineId, int32_t frame,
                                   bool insert, QUndoCommand* parent)
    : ProjectCommand(manager, text, parent)
    , m_timelineId(timelineId)
    , m_frame(frame)
    , m_insert(insert)
{
}

FrameBookmarkCmd::~FrameBookmarkCmd() = default;

void FrameBookmarkCmd::redo()
{
    m_changed = m_insert ? Insert() : Remove();
}

void FrameBookmarkCmd::undo()
{
    if (m_changed)
        m_insert ? Remove() : Insert();
}

bool FrameBookmarkCmd::Insert()
{
    Timeline* timeline = AnyTimeline(m_timelineId);
    if (!timeline)
        return false;
    FrameBookmark* bookmark = m_kept.release();
    if (timeline->AddFrameBookmark(m_frame, bookmark) >= 0)
        return true;
    delete bookmark; // a kept record that no longer fits
    return false;
}

bool FrameBookmarkCmd::Remove()
{
    Timeline* timeline = AnyTimeline(m_timelineId);
    FrameBookmark* bookmark = timeline ? timeline->RemoveFrameBookmark(m_frame) : nullptr;
    if (!bookmark)
        return false;
    bookmark->setParent(nullptr);
    m_kept.reset(bookmark);
    return true;
}
