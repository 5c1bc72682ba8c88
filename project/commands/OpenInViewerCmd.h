#pragma once

#include "project/commands/ProjectCommand.h"

// Shows an item (a null id: nothing) in a viewer. Undone, the viewer shows what it showed
// before, and the item goes back to the viewer it was in.
class OpenInViewerCmd : public ProjectCommand
{
public:
    OpenInViewerCmd(ProjectManager& manager, const QUuid& itemId, int viewer, bool autoPlay, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    QUuid m_itemId;
    int m_viewer;
    bool m_autoPlay;
    bool m_done = false;
    int m_formerViewer = -1; // where the item was
    QUuid m_formerItemId;    // what the viewer showed
};
