#include "project/commands/MoveProjectItemCmd.h"

#include "project/FolderItem.h"
#include "project/Project.h"

MoveProjectItemCmd::MoveProjectItemCmd(ProjectManager& manager, const QUuid& itemId, const QUuid& targetFolderId, int index,
                                       QUndoCommand* parent)
    : ProjectCommand(manager, QString(), parent)
    , m_itemId(itemId)
    , m_targetId(targetFolderId)
    , m_index(index)
{
}

void MoveProjectItemCmd::redo()
{
    Project& project = CurrentProject();
    ProjectItem* item = project.Item(m_itemId);
    FolderItem* target = project.Folder(m_targetId);
    const auto* from = item ? qobject_cast<const FolderItem*>(item->parent()) : nullptr;
    if (!from || !target)
        return;
    const int fromIndex = from->IndexOf(item);
    int index = m_index;
    if (from == target && index > fromIndex)
        --index;
    const QUuid fromId = from->Id();
    if (project.MoveItem(item, target, index)) {
        m_fromId = fromId;
        m_fromIndex = fromIndex;
        Expand(m_targetId);
    }
}

void MoveProjectItemCmd::undo()
{
    Project& project = CurrentProject();
    if (ProjectItem* item = m_fromId.isNull() ? nullptr : project.Item(m_itemId))
        project.MoveItem(item, project.Folder(m_fromId), m_fromIndex);
    m_fromId = QUuid();
    RestoreExpanded();
}
