#include "project/FolderItem.h"

FolderItem::FolderItem(const QString& name, FolderType type, const QUuid& id, QObject* parent)
    : ProjectItem(name.isEmpty() ? QStringLiteral("New Folder") : name, id, parent)
    , m_type(type)
{
}

void FolderItem::InsertChild(ProjectItem* child, int index)
{
    if (!child)
        return;
    if (index < 0 || index > ChildCount())
        index = ChildCount();
    child->setParent(this);
    child->SetParentId(Id());
    m_children.insert(index, child);
}

int FolderItem::IndexOf(const ProjectItem* child) const
{
    return static_cast<int>(m_children.indexOf(const_cast<ProjectItem*>(child)));
}

void FolderItem::RemoveChild(ProjectItem* child)
{
    const int index = IndexOf(child);
    if (index >= 0)
        TakeChild(index);
}

ProjectItem* FolderItem::TakeChild(int index)
{
    if (index < 0 || index >= ChildCount())
        return nullptr;
    ProjectItem* child = m_children.takeAt(index);
    child->setParent(nullptr);
    return child;
}

ProjectItem* FolderItem::FindDescendant(const QUuid& id) const
{
    if (id.isNull())
        return nullptr;
    for (ProjectItem* child : m_children) {
        if (child->Id() == id)
            return child;
        if (const auto* folder = qobject_cast<const FolderItem*>(child))
            if (ProjectItem* found = folder->FindDescendant(id))
                return found;
    }
    return nullptr;
}

QList<FolderItem*> FolderItem::FolderTree()
{
    QList<FolderItem*> folders{this};
    for (qsizetype i = 0; i < folders.size(); ++i)
        folders.append(folders.at(i)->SubFolders());
    return folders;
}

int FolderItem::Depth() const
{
    int depth = 0;
    for (const QObject* up = parent(); qobject_cast<const FolderItem*>(up); up = up->parent())
        ++depth;
    return depth;
}

QList<FolderItem*> FolderItem::SubFolders() const
{
    QList<FolderItem*> folders;
    for (ProjectItem* child : m_children)
        if (auto* folder = qobject_cast<FolderItem*>(child))
            folders.append(folder);
    return folders;
}

int FolderItem::SourceIndexOf(const ProjectItem* child) const
{
    const int index = IndexOf(child);
    if (index < 0)
        return -1;
    int timelinesBefore = 0;
    for (int i = 0; i < index; ++i)
        timelinesBefore += m_children.at(i)->ItemKind() == TimelineKind ? 1 : 0;
    return index - timelinesBefore;
}
