#include "project/commands/InsertClipCmd.h"

#include "project/Clip.h"
#include "project/Project.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"

InsertClipCmd::InsertClipCmd(ProjectManager& manager, const QUuid& timelineId, Clip* clip, int index, QUndoCommand* parent)
    : ProjectCommand(manager, QStringLiteral("InsertClip"), parent)
    , m_timelineId(timelineId)
    , m_kept(clip)
    , m_index(index)
{
}

InsertClipCmd::~InsertClipCmd() = default;

void InsertClipCmd::redo()
{
    m_usedIndex = -1;
    Timeline* timeline = RegularTimeline(m_timelineId);
    if (!timeline || !m_kept)
        return;
    if (!m_done) {
        m_sourceId = m_kept->GetSource() ? m_kept->GetSource()->Id() : QUuid();
        m_done = true;
    } else {
        // As DeleteClipCmd: only onto a source in the project, or its replacement.
        const TimelineItem* source = CurrentProject().CurrentReplacement(m_sourceId);
        if (!source)
            return;
        m_kept->SetSource(source->GetTimeline()->GetSource());
    }
    m_usedIndex = timeline->InsertClip(m_kept.release(), m_index);
}

void InsertClipCmd::undo()
{
    Timeline* timeline = RegularTimeline(m_timelineId);
    if (Clip* clip = timeline && m_usedIndex >= 0 ? timeline->RemoveClip(m_usedIndex) : nullptr)
        m_kept.reset(clip);
}
