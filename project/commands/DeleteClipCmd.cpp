#include "project/commands/DeleteClipCmd.h"

#include "project/Clip.h"
#include "project/Project.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"

DeleteClipCmd::DeleteClipCmd(ProjectManager& manager, const QUuid& timelineId, int index, QUndoCommand* parent)
    : ProjectCommand(manager, QString(), parent)
    , m_timelineId(timelineId)
    , m_index(index)
{
}

DeleteClipCmd::~DeleteClipCmd() = default;

void DeleteClipCmd::redo()
{
    Timeline* timeline = RegularTimeline(m_timelineId);
    if (m_kept || !timeline || !timeline->ClipAt(m_index))
        return; // still holding the clip an undo could not put back
    // A shorter timeline may cut its range and playhead back: undone, they come back too.
    m_rangeStart = timeline->RangeStartFrame();
    m_rangeEnd = timeline->StoredRangeEndFrame();
    m_playbackTime = timeline->PlaybackTime();
    Clip* clip = timeline->RemoveClip(m_index);
    m_sourceId = clip->GetSource() ? clip->GetSource()->Id() : QUuid();
    m_kept.reset(clip);
}

void DeleteClipCmd::undo()
{
    Timeline* timeline = RegularTimeline(m_timelineId);
    if (!timeline || !m_kept)
        return;
    // Only onto a source in the project (or the one that replaced it on a reload): a clip
    // whose source is gone stays kept.
    if (!m_sourceId.isNull()) {
        const TimelineItem* source = CurrentProject().CurrentReplacement(m_sourceId);
        if (!source)
            return;
        m_kept->SetSource(source->GetTimeline()->GetSource());
    }
    timeline->InsertClip(m_kept.release(), m_index);
    timeline->SetPlaybackRange(m_rangeStart, m_rangeEnd);
    timeline->SetPlaybackTime(m_playbackTime);
}
