#pragma once

#include "project/commands/ProjectCommand.h"

class Clip;

// Inserts a clip (taken) into a regular timeline; undone, takes it out and keeps it. Redone
// again, the clip is pointed at its source anew (the source may have been re-created).
class InsertClipCmd : public ProjectCommand
{
public:
    InsertClipCmd(ProjectManager& manager, const QUuid& timelineId, Clip* clip, int index, QUndoCommand* parent = nullptr);
    ~InsertClipCmd() override;

    void redo() override;
    void undo() override;

private:
    QUuid m_timelineId;
    std::unique_ptr<Clip> m_kept;
    int m_index;
    int m_usedIndex = -1;
    QUuid m_sourceId;
    bool m_done = false;
};
