#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

// A node of the project tree: a folder, a regular timeline or a source. Its Qt parent is the
// folder that holds it (none while detached). Main thread only.
class ProjectItem : public QObject
{
    Q_OBJECT

public:
    enum Kind { FolderKind = 0, TimelineKind = 1, SourceKind = 2 };

    // A new random id unless `id` is a stored, non-null one.
    ProjectItem(const QString& name, const QUuid& id, QObject* parent = nullptr);

    QUuid Id() const { return m_id; }
    QUuid ParentId() const { return m_parentId; }
    void SetParentId(const QUuid& id) { m_parentId = id; }
    QString Name() const { return m_name; }
    // An empty or unchanged name is ignored; otherwise NameChanged.
    void SetName(const QString& name);
    virtual Kind ItemKind() const = 0;

signals:
    void NameChanged(const QString& name);

private:
    QUuid m_id;
    QUuid m_parentId;
    QString m_name;
};
