#include "project/commands/OpenInViewerCmd.h"

#include "project/ProjectManager.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"

OpenInViewerCmd::OpenInViewerCmd(ProjectManager& manager, const QUuid& itemId, int viewer, bool autoPlay, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("OpenInViewer"), parent)
    , m_itemId(itemId)
    , m_viewer(viewer)
    , m_autoPlay(autoPlay)
{
}

void OpenInViewerCmd::redo()
{
    if (!m_done) {
        m_done = true;
        const Timeline* timeline = AnyTimeline(m_itemId);
        m_formerViewer = timeline ? timeline->OutputId() : -1;
        const TimelineItem* shown = m_manager.ItemInViewer(m_viewer);
        m_formerItemId = shown ? shown->Id() : QUuid();
    }
    m_manager.ShowInViewer(m_itemId, m_viewer, m_autoPlay);
}

void OpenInViewerCmd::undo()
{
    m_manager.ShowInViewer(m_formerItemId, m_viewer, false);
    if (m_formerViewer >= 0 && m_formerViewer != m_viewer && !m_itemId.isNull())
        m_manager.ShowInViewer(m_itemId, m_formerViewer, false);
}
