#include "project/commands/SetPlaybackRangeByFrameCmd.h"

#include "project/Timeline.h"

SetPlaybackRangeByFrameCmd::SetPlaybackRangeByFrameCmd(ProjectManager& manager, const QUuid& timelineId, int32_t start,
                                                       int32_t end, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("SetPlaybackRange"), parent)
    , m_timelineId(timelineId)
    , m_start(start)
    , m_end(end)
{
}

void SetPlaybackRangeByFrameCmd::Swap()
{
    Timeline* timeline = AnyTimeline(m_timelineId);
    if (!timeline)
        return;
    const int32_t start = timeline->RangeStartFrame();
    const int32_t end = timeline->StoredRangeEndFrame();
    timeline->SetPlaybackRange(m_start, m_end);
    m_start = start;
    m_end = end;
}
