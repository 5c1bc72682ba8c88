#pragma once

#include "project/commands/ProjectCommand.h"

// Creates a regular timeline (its parent expanded); redone later, puts the same one back.
class AddTimelineCmd : public ProjectCommand
{
public:
    AddTimelineCmd(ProjectManager& manager, const QString& name, const QUuid& parentId, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;
    QUuid Id() const { return m_id; }

private:
    QString m_name;
    QUuid m_parentId;
    QUuid m_id;
};
