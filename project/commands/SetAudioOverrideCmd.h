#pragma once

#include "project/commands/ProjectCommand.h"

// Makes a regular timeline play another timeline's (or source's) sound, or its own (null).
class SetAudioOverrideCmd : public ProjectCommand
{
public:
    SetAudioOverrideCmd(ProjectManager& manager, const QUuid& timelineId, const QUuid& overrideId, QUndoCommand* parent = nullptr);

    void redo() override { Swap(); }
    void undo() override { Swap(); }

private:
    void Swap();

    QUuid m_timelineId;
    QUuid m_overrideId;
};
