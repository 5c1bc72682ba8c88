#include "project/commands/DeleteTimelineCmd.h"

DeleteTimelineCmd::DeleteTimelineCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("DeleteTimeline"), parent)
    , m_id(id)
{
}

void DeleteTimelineCmd::redo()
{
    TakeOut(m_id);
}

void DeleteTimelineCmd::undo()
{
    PutBack();
}
