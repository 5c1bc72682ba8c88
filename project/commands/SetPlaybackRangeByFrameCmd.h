#pragma once

#include "project/commands/ProjectCommand.h"

#include <QList>

// Sets a timeline's playback range (an end of -1: to the end); undone, the range it had. A
// source's range is its cut: the timelines that use it change length with it, and get their
// own ranges and playheads back with the undo.
class SetPlaybackRangeByFrameCmd : public ProjectCommand
{
public:
    SetPlaybackRangeByFrameCmd(ProjectManager& manager, const QUuid& timelineId, int32_t start, int32_t end,
                               QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;

private:
    struct Kept
    {
        QUuid id;
        int32_t start;
        int32_t end;
        int64_t time;
    };

    void Swap();

    QUuid m_timelineId;
    int32_t m_start;
    int32_t m_end;
    QList<Kept> m_users; // the timelines using the source, before the redo
};
