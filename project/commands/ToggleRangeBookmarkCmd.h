#pragma once

#include "project/commands/ProjectCommand.h"

// Removes a timeline's range bookmark when it has it, else adds it; the same undone.
class ToggleRangeBookmarkCmd : public ProjectCommand
{
public:
    ToggleRangeBookmarkCmd(ProjectManager& manager, const QUuid& timelineId, int32_t start, int32_t end,
                           QUndoCommand* parent = nullptr);

    void redo() override { Toggle(); }
    void undo() override { Toggle(); }

private:
    void Toggle();

    QUuid m_timelineId;
    int32_t m_start;
    int32_t m_end;
};
