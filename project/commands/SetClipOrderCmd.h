#pragma once

#include "project/commands/ProjectCommand.h"

#include <QList>

// Reorders a regular timeline's clips; undone, the order they had when the command was made.
class SetClipOrderCmd : public ProjectCommand
{
public:
    SetClipOrderCmd(ProjectManager& manager, const QUuid& timelineId, const QList<QUuid>& order, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    QUuid m_timelineId;
    QList<QUuid> m_order;
    QList<QUuid> m_oldOrder;
};
