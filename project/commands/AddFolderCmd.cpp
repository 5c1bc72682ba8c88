#include "project/commands/AddFolderCmd.h"

#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectItem.h"

AddFolderCmd::AddFolderCmd(ProjectManager& manager, const QString& name, const QUuid& parentId, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("AddFolder"), parent)
    , m_name(name)
    , m_parentId(parentId)
{
}

void AddFolderCmd::redo()
{
    if (m_id.isNull())
        m_id = CurrentProject().CreateFolder(m_name, m_parentId, false)->Id();
    else
        PutBack();
    if (const ProjectItem* folder = CurrentProject().Item(m_id))
        Expand(folder->ParentId());
}

void AddFolderCmd::undo()
{
    TakeOut(m_id);
    RestoreExpanded();
}
