#include "project/commands/SetAudioOverrideCmd.h"

#include "project/ProjectManager.h"
#include "project/Timeline.h"

SetAudioOverrideCmd::SetAudioOverrideCmd(ProjectManager& manager, const QUuid& timelineId, const QUuid& overrideId,
                                         QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("SetAudioOverride"), parent)
    , m_timelineId(timelineId)
    , m_overrideId(overrideId)
{
}

void SetAudioOverrideCmd::Swap()
{
    Timeline* timeline = RegularTimeline(m_timelineId);
    if (!timeline)
        return;
    const QUuid before = timeline->AudioOverrideId();
    timeline->SetAudioOverrideId(m_overrideId);
    m_overrideId = before;
    m_manager.ResolveAudioOverride(timeline);
}
