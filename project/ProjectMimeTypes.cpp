#include "project/ProjectMimeTypes.h"

#include <QDataStream>
#include <QIODevice>

namespace ProjectMimeTypes {

QByteArray WriteIds(const QList<QUuid>& ids)
{
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream << static_cast<qint64>(ids.size());
    for (const QUuid& id : ids)
        stream << id;
    return payload;
}

QList<QUuid> ReadIds(const QByteArray& payload)
{
    QDataStream stream(payload);
    qint64 count = 0;
    stream >> count;
    QList<QUuid> ids;
    for (qint64 i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        QUuid id;
        stream >> id;
        if (stream.status() == QDataStream::Ok)
            ids.append(id);
    }
    return ids;
}

} // namespace ProjectMimeTypes
