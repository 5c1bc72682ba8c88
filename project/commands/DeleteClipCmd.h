#pragma once

#include "project/commands/ProjectCommand.h"

class Clip;

// Removes the clip at an index of a regular timeline and keeps it; undone, the clip goes back
// pointed at its source again (when the source exists), and the timeline's range and playhead
// are as they were.
class DeleteClipCmd : public ProjectCommand
{
public:
    DeleteClipCmd(ProjectManager& manager, const QUuid& timelineId, int index, QUndoCommand* parent = nullptr);
    ~DeleteClipCmd() override;

    void redo() override;
    void undo() override;

private:
    QUuid m_timelineId;
    int m_index;
    QUuid m_sourceId;
    std::unique_ptr<Clip> m_kept;
    int32_t m_rangeStart = 0;
    int32_t m_rangeEnd = -1;
    int64_t m_playbackTime = 0;
};
