#pragma once

#include "project/commands/ProjectCommand.h"

// Takes a folder out of the project and keeps it until undone.
class DeleteFolderCmd : public ProjectCommand
{
public:
    DeleteFolderCmd(ProjectManager& manager, const QUuid& id, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    QUuid m_id;
};
