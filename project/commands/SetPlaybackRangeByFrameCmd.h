#pragma once

#include "project/commands/ProjectCommand.h"

// Sets a timeline's playback range (an end of -1: to the end); undone, the range it had.
class SetPlaybackRangeByFrameCmd : public ProjectCommand
{
public:
    SetPlaybackRangeByFrameCmd(ProjectManager& manager, const QUuid& timelineId, int32_t start, int32_t end,
                               QUndoCommand* parent = nullptr);

    void redo() override { Swap(); }
    void undo() override { Swap(); }

private:
    void Swap();

    QUuid m_timelineId;
    int32_t m_start;
    int32_t m_end;
};
