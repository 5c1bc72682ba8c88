#pragma once

#include "project/commands/ProjectCommand.h"

// A new source on the same file right after the one duplicated, parsed at once, that takes
// over what the settings say of its state (position, range, bookmarks, drawings, audio delay).
// Undone, it is taken out and kept; redone again, the same source comes back.
class DuplicateSourceTimelineCmd : public ProjectCommand
{
public:
    DuplicateSourceTimelineCmd(ProjectManager& manager, const QUuid& sourceId, QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;
    QUuid Id() const { return m_id; }

private:
    void Create();

    QUuid m_sourceId;
    QUuid m_id;
};
