#pragma once

#include <QList>
#include <QPair>
#include <QUndoCommand>
#include <QUuid>

#include <memory>

class Project;
class ProjectItem;
class ProjectManager;
class Timeline;

// Base of the project's undo commands. A command names items by id and looks them up again
// at every redo and undo, so it survives their deletion and re-creation by other commands; what
// it takes out of the project it owns until it puts it back.
class ProjectCommand : public QUndoCommand
{
public:
    ProjectCommand(ProjectManager& manager, const QString& text, QUndoCommand* parent = nullptr);
    ~ProjectCommand() override;

protected:
    Project& CurrentProject() const;
    Timeline* RegularTimeline(const QUuid& id) const;
    Timeline* AnyTimeline(const QUuid& id) const;

    // Takes the folder, source or timeline with `id` out of the tree and keeps it, with its
    // place; false when there is no such item.
    bool TakeOut(const QUuid& id);
    // Puts the kept item back in its place; false when nothing is kept.
    bool PutBack();
    // Expands a folder as part of the redo, remembering how it was; RestoreExpanded, in the
    // undo, puts every folder expanded since back the way it was.
    void Expand(const QUuid& folderId);
    void RestoreExpanded();

    ProjectManager& m_manager;

private:
    std::unique_ptr<ProjectItem> m_kept;
    QList<QPair<QUuid, bool>> m_expanded; // folders expanded by the redo, as they were
    QUuid m_keptParentId;
    int m_keptIndex = -1;
};
