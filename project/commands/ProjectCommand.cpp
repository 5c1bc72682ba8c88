#include "project/commands/ProjectCommand.h"

#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/ProjectManager.h"
#include "project/TimelineItem.h"

ProjectCommand::ProjectCommand(ProjectManager& manager, const QString& text, QUndoCommand* parent)
    : QUndoCommand(text, parent)
    , m_manager(manager)
{
}

ProjectCommand::~ProjectCommand() = default;

Project& ProjectCommand::CurrentProject() const
{
    return *m_manager.GetProject();
}

Timeline* ProjectCommand::RegularTimeline(const QUuid& id) const
{
    return m_manager.RegularTimeline(id);
}

Timeline* ProjectCommand::AnyTimeline(const QUuid& id) const
{
    return m_manager.AnyTimeline(id);
}

bool ProjectCommand::TakeOut(const QUuid& id)
{
    Project& project = CurrentProject();
    ProjectItem* item = project.Item(id);
    const auto* parent = item ? qobject_cast<const FolderItem*>(item->parent()) : nullptr;
    if (!parent || project.BaseFolders().contains(item))
        return false;
    m_keptParentId = parent->Id();
    m_keptIndex = parent->IndexOf(item);
    if (auto* folder = qobject_cast<FolderItem*>(item))
        project.DetachFolder(folder);
    else if (auto* timelineItem = qobject_cast<TimelineItem*>(item); timelineItem && timelineItem->IsSource())
        project.DetachSource(timelineItem);
    else if (timelineItem)
        project.DetachTimeline(timelineItem);
    m_kept.reset(item);
    return true;
}

bool ProjectCommand::PutBack()
{
    if (!m_kept)
        return false;
    Project& project = CurrentProject();
    ProjectItem* item = m_kept.release();
    if (auto* folder = qobject_cast<FolderItem*>(item))
        project.ReinsertFolder(folder, m_keptParentId, m_keptIndex);
    else if (auto* timelineItem = static_cast<TimelineItem*>(item); timelineItem->IsSource())
        project.ReinsertSource(timelineItem, m_keptParentId, m_keptIndex);
    else
        project.ReinsertTimeline(timelineItem, m_keptParentId, m_keptIndex);
    return true;
}

void ProjectCommand::Expand(const QUuid& folderId)
{
    FolderItem* folder = CurrentProject().Folder(folderId);
    if (!folder)
        return;
    m_expanded.append({folderId, folder->Expanded()});
    folder->SetExpanded(true);
}

void ProjectCommand::RestoreExpanded()
{
    for (auto it = m_expanded.crbegin(); it != m_expanded.crend(); ++it)
        if (FolderItem* folder = CurrentProject().Folder(it->first))
            folder->SetExpanded(it->second);
    m_expanded.clear();
}
