#include "project/ProjectItem.h"

ProjectItem::ProjectItem(const QString& name, const QUuid& id, QObject* parent)
    : QObject(parent)
    , m_id(id.isNull() ? QUuid::createUuid() : id)
    , m_name(name)
{
}

void ProjectItem::SetName(const QString& name)
{
    if (name.isEmpty() || name == m_name)
        return;
    m_name = name;
    emit NameChanged(name);
}
