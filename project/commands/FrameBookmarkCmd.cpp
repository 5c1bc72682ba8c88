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
    m_insert ? Insert() : Remove();
}

void FrameBookmarkCmd::undo()
{
    m_insert ? Remove() : Insert();
}

void FrameBookmarkCmd::Insert()
{
    Timeline* timeline = AnyTimeline(m_timelineId);
    if (!timeline)
        return;
    FrameBookmark* bookmark = m_kept.release();
    if (timeline->AddFrameBookmark(m_frame, bookmark) < 0)
        delete bookmark; // a kept record that no longer fits
}

void FrameBookmarkCmd::Remove()
{
    Timeline* timeline = AnyTimeline(m_timelineId);
    if (FrameBookmark* bookmark = timeline ? timeline->RemoveFrameBookmark(m_frame) : nullptr) {
        bookmark->setParent(nullptr);
        m_kept.reset(bookmark);
    }
}
