#include "project/commands/DeleteSourceTimelineCmd.h"

#include "project/Project.h"
#include "project/TimelineItem.h"

DeleteSourceTimelineCmd::DeleteSourceTimelineCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("DeleteSource"), parent)
    , m_id(id)
{
}

void DeleteSourceTimelineCmd::redo()
{
    // The source, or the one that took its place when its file was reloaded since.
    const TimelineItem* source = CurrentProject().CurrentReplacement(m_id);
    TakeOut(source ? source->Id() : m_id);
}

void DeleteSourceTimelineCmd::undo()
{
    PutBack();
}
