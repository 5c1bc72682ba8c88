#include "project/commands/SetPlaybackRangeByFrameCmd.h"

#include "project/Project.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"

SetPlaybackRangeByFrameCmd::SetPlaybackRangeByFrameCmd(ProjectManager& manager, const QUuid& timelineId, int32_t start,
                                                       int32_t end, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("SetPlaybackRange"), parent)
    , m_timelineId(timelineId)
    , m_start(start)
    , m_end(end)
{
}

void SetPlaybackRangeByFrameCmd::redo()
{
    m_users.clear();
    if (const Timeline* timeline = AnyTimeline(m_timelineId); timeline && timeline->IsSourceTimeline())
        for (const TimelineItem* item : CurrentProject().Timelines())
            if (const Timeline* user = item->GetTimeline(); user->GetTrack()->HasSource(m_timelineId))
                m_users.append({item->Id(), user->RangeStartFrame(), user->StoredRangeEndFrame(), user->PlaybackTime()});
    Swap();
}

void SetPlaybackRangeByFrameCmd::undo()
{
    Swap();
    for (const Kept& kept : std::as_const(m_users))
        if (Timeline* user = RegularTimeline(kept.id)) {
            user->SetPlaybackRange(kept.start, kept.end);
            user->SetPlaybackTime(kept.time);
        }
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
