#pragma once

#include "project/commands/ProjectCommand.h"

class FrameBookmark;

// Adds (`insert`) or removes a frame bookmark of a timeline; the other way when undone. A
// removed bookmark is kept with its drawings and comes back as it was.
class FrameBookmarkCmd : public ProjectCommand
{
public:
    FrameBookmarkCmd(ProjectManager& manager, const QString& text, const QUuid& timelineId, int32_t frame, bool insert,
                     QUndoCommand* parent = nullptr);
    ~FrameBookmarkCmd() override;

    void redo() override;
    void undo() override;

private:
    // Each says whether it changed the timeline.
    bool Insert();
    bool Remove();

    QUuid m_timelineId;
    int32_t m_frame;
    bool m_insert;
    bool m_changed = false; // by the last redo
    std::unique_ptr<FrameBookmark> m_kept;
};

class InsertFrameBookmarkCmd : public FrameBookmarkCmd
{
public:
    InsertFrameBookmarkCmd(ProjectManager& manager, const QUuid& timelineId, int32_t frame, QUndoCommand* parent = nullptr)
        : FrameBookmarkCmd(manager, QStringLiteral("InsertFrameBookmark"), timelineId, frame, true, parent)
    {
    }
};

class RemoveFrameBookmarkCmd : public FrameBookmarkCmd
{
public:
    RemoveFrameBookmarkCmd(ProjectManager& manager, const QUuid& timelineId, int32_t frame, QUndoCommand* parent = nullptr)
        : FrameBookmarkCmd(manager, QStringLiteral("RemoveFrameBookmark"), timelineId, frame, false, parent)
    {
    }
};
