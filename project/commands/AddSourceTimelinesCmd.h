#pragma once

#include "project/SourceProperties.h"
#include "project/commands/ProjectCommand.h"

#include <QList>

class TimelineItem;

// Creates a source per record and parses them all in one blocking load. Undone, the sources
// are taken out and kept; redone again, the same sources go back where they were, parsed
// already.
class AddSourceTimelinesCmd : public ProjectCommand
{
public:
    AddSourceTimelinesCmd(ProjectManager& manager, const QList<SourceProperties>& records, QUndoCommand* parent = nullptr);
    ~AddSourceTimelinesCmd() override;

    void redo() override;
    void undo() override;
    // The sources created, in the order of the records.
    const QList<QUuid>& Ids() const { return m_ids; }

private:
    struct Kept
    {
        std::unique_ptr<TimelineItem> item;
        QUuid parentId;
        int index = -1;
    };

    QList<SourceProperties> m_records;
    QList<QUuid> m_ids;
    QList<QUuid> m_expandedParents; // the folders the records ask to expand
    std::vector<Kept> m_kept; // in the order of m_ids while undone
    bool m_created = false;
};
