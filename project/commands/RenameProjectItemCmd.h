#pragma once

#include "project/commands/ProjectCommand.h"

// Gives an item a name; undone, the name it had.
class RenameProjectItemCmd : public ProjectCommand
{
public:
    RenameProjectItemCmd(ProjectManager& manager, const QUuid& itemId, const QString& name, QUndoCommand* parent = nullptr);

    void redo() override { Swap(); }
    void undo() override { Swap(); }

private:
    void Swap();

    QUuid m_itemId;
    QString m_name;
};
