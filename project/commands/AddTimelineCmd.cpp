#include "project/commands/AddTimelineCmd.h"

#include "project/Project.h"
#include "project/ProjectItem.h"
#include "project/TimelineItem.h"

AddTimelineCmd::AddTimelineCmd(ProjectManager& manager, const QString& name, const QUuid& parentId, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("AddTimeline"), parent)
    , m_name(name)
    , m_parentId(parentId)
{
}

void AddTimelineCmd::redo()
{
    if (m_id.isNull())
        m_id = CurrentProject().CreateTimeline(m_name, m_parentId, false)->Id();
    else
        PutBack();
    if (const ProjectItem* timeline = CurrentProject().Item(m_id))
        Expand(timeline->ParentId());
}

void AddTimelineCmd::undo()
{
    TakeOut(m_id);
    RestoreExpanded();
}
