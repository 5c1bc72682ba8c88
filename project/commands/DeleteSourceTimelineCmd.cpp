#include "project/commands/DeleteSourceTimelineCmd.h"

DeleteSourceTimelineCmd::DeleteSourceTimelineCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("DeleteSource"), parent)
    , m_id(id)
{
}

void DeleteSourceTimelineCmd::redo()
{
    TakeOut(m_id);
}

void DeleteSourceTimelineCmd::undo()
{
    PutBack();
}
