#pragma once

#include "project/ProjectItem.h"

#include <QList>

// A folder of the project tree. It owns its children (their Qt parent) in their order.
class FolderItem : public ProjectItem
{
    Q_OBJECT

public:
    // General folders are the PROJECT base folder and every user folder.
    enum FolderType : int32_t { General = 0, Sources = 1, Timelines = 2 };

    // An empty name becomes "New Folder".
    FolderItem(const QString& name, FolderType type = General, const QUuid& id = QUuid(), QObject* parent = nullptr);

    Kind ItemKind() const override { return FolderKind; }
    FolderType Type() const { return m_type; }
    bool Expanded() const { return m_expanded; }
    void SetExpanded(bool expanded) { m_expanded = expanded; }

    // At `index`; an index below 0 or beyond the count appends. The child takes this folder
    // as its parent.
    void InsertChild(ProjectItem* child, int index = -1);
    int IndexOf(const ProjectItem* child) const;
    // Detached, not deleted: the caller owns it from now on.
    void RemoveChild(ProjectItem* child);
    ProjectItem* TakeChild(int index);
    const QList<ProjectItem*>& Children() const { return m_children; }
    int ChildCount() const { return static_cast<int>(m_children.size()); }
    // Depth first through the sub-folders; null when absent.
    ProjectItem* FindDescendant(const QUuid& id) const;
    bool HasDescendant(const QUuid& id) const { return FindDescendant(id) != nullptr; }
    QList<FolderItem*> SubFolders() const;
    // This folder and every folder below it, parents before children.
    QList<FolderItem*> FolderTree();
    // Folders above this one: 0 for a folder without a parent folder.
    int Depth() const;
    // A child's index not counting the regular timelines before it.
    int SourceIndexOf(const ProjectItem* child) const;

private:
    FolderType m_type;
    bool m_expanded = false;
    QList<ProjectItem*> m_children;
};
