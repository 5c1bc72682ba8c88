#pragma once

#include "project/commands/ProjectCommand.h"

// Moves an item to a folder at an index (the folder expanded) and back. The index names a
// place among the folder's children before the move: moving further down the same folder, it
// is one less once the item has left its old place.
class MoveProjectItemCmd : public ProjectCommand
{
public:
    MoveProjectItemCmd(ProjectManager& manager, const QUuid& itemId, const QUuid& targetFolderId, int index,
                       QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    QUuid m_itemId;
    QUuid m_targetId;
    int m_index;
    QUuid m_fromId;
    int m_fromIndex = -1;
};
