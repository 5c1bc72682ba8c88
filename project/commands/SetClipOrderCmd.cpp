#include "project/commands/SetClipOrderCmd.h"

#include "project/Timeline.h"
#include "project/Track.h"

SetClipOrderCmd::SetClipOrderCmd(ProjectManager& manager, const QUuid& timelineId, const QList<QUuid>& order, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("SetClipOrder"), parent)
    , m_timelineId(timelineId)
    , m_order(order)
{
    if (const Timeline* timeline = RegularTimeline(timelineId))
        m_oldOrder = timeline->GetTrack()->ClipIds();
}

void SetClipOrderCmd::redo()
{
    if (Timeline* timeline = RegularTimeline(m_timelineId))
        timeline->SetClipOrder(m_order);
}

void SetClipOrderCmd::undo()
{
    if (Timeline* timeline = RegularTimeline(m_timelineId))
        timeline->SetClipOrder(m_oldOrder);
}
