#pragma once

#include "project/commands/ProjectCommand.h"

// Takes a regular timeline out of the project and keeps it until undone.
class DeleteTimelineCmd : public ProjectCommand
{
public:
    DeleteTimelineCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    QUuid m_id;
};
