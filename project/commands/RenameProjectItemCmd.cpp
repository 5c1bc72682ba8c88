#include "project/commands/RenameProjectItemCmd.h"

#include "project/Project.h"
#include "project/ProjectItem.h"

RenameProjectItemCmd::RenameProjectItemCmd(ProjectManager& manager, const QUuid& itemId, const QString& name, QUndoCommand* parent)
    : ProjectCommand(manager, QString(), parent)
    , m_itemId(itemId)
    , m_name(name)
{
}

void RenameProjectItemCmd::Swap()
{
    Project& project = CurrentProject();
    const ProjectItem* item = project.Item(m_itemId);
    if (!item)
        return;
    const QString before = item->Name();
    project.RenameItem(m_itemId, m_name);
    m_name = before;
}
