#pragma once

#include "project/commands/ProjectCommand.h"

// Takes a source (its file watched again when it comes back) out of the project and keeps it until undone.
class DeleteSourceTimelineCmd : public ProjectCommand
{
public:
    DeleteSourceTimelineCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    QUuid m_id;
};
