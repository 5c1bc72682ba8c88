#pragma once

#include "project/commands/ProjectCommand.h"

// Creates a folder (its parent expanded); redone later, puts the same folder back.
class AddFolderCmd : public ProjectCommand
{
public:
    AddFolderCmd(ProjectManager& manager, const QString& name, const QUuid& parentId, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;
    QUuid Id() const { return m_id; }

private:
    QString m_name;
    QUuid m_parentId;
    QUuid m_id;
};
