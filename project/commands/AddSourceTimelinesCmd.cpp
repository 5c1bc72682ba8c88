#include "project/commands/AddSourceTimelinesCmd.h"

#include "project/FolderItem.h"
#include "project/Project.h"
#include "project/TimelineItem.h"

AddSourceTimelinesCmd::AddSourceTimelinesCmd(ProjectManager& manager, const QList<SourceProperties>& records, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("AddSource(s)"), parent)
    , m_records(records)
{
}

AddSourceTimelinesCmd::~AddSourceTimelinesCmd() = default;

void AddSourceTimelinesCmd::redo()
{
    Project& project = CurrentProject();
    if (!m_created) {
        m_created = true;
        for (SourceProperties record : std::as_const(m_records)) {
            const bool expand = record.expandParent;
            record.expandParent = false; // here, so that the undo can fold it again
            if (const TimelineItem* item = project.CreateSource(record)) {
                m_ids.append(item->Id());
                if (expand)
                    m_expandedParents.append(item->ParentId());
            }
        }
        for (const QUuid& parent : std::as_const(m_expandedParents))
            Expand(parent);
        project.BlockingLoad();
        return;
    }
    for (Kept& kept : m_kept)
        project.ReinsertSource(kept.item.release(), kept.parentId, kept.index);
    m_kept.clear();
    for (const QUuid& parent : std::as_const(m_expandedParents))
        Expand(parent);
}

void AddSourceTimelinesCmd::undo()
{
    Project& project = CurrentProject();
    // Last first, so that each index is the one to put it back at after those before it.
    std::vector<Kept> kept;
    for (auto it = m_ids.crbegin(); it != m_ids.crend(); ++it) {
        TimelineItem* item = project.SourceItem(*it);
        const auto* parent = item ? qobject_cast<const FolderItem*>(item->parent()) : nullptr;
        if (!parent)
            continue;
        Kept entry{nullptr, parent->Id(), parent->IndexOf(item)};
        project.DetachSource(item);
        entry.item.reset(item);
        kept.push_back(std::move(entry));
    }
    m_kept.clear();
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        m_kept.push_back(std::move(*it));
    RestoreExpanded();
}
