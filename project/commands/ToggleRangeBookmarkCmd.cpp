#include "project/commands/ToggleRangeBookmarkCmd.h"

#include "project/Timeline.h"

ToggleRangeBookmarkCmd::ToggleRangeBookmarkCmd(ProjectManager& manager, const QUuid& timelineId, int32_t start, int32_t end,
                                               QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("ToggleRangeBookmark"), parent)
    , m_timelineId(timelineId)
    , m_start(start)
    , m_end(end)
{
}

void ToggleRangeBookmarkCmd::Toggle()
{
    Timeline* timeline = AnyTimeline(m_timelineId);
    if (!timeline)
        return;
    if (!timeline->RemoveRangeBookmark(m_start, m_end))
        timeline->AddRangeBookmark(m_start, m_end);
}
