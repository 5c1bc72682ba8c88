#include "project/commands/DeleteFolderCmd.h"

DeleteFolderCmd::DeleteFolderCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("DeleteFolder"), parent)
    , m_id(id)
{
}

void DeleteFolderCmd::redo()
{
    TakeOut(m_id);
}

void DeleteFolderCmd::undo()
{
    PutBack();
}
