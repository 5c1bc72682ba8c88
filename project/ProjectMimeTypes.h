#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

// The types under which the project panel drags its items. Each payload is the dragged
// items' ids written with QDataStream: the count as a qint64, then each QUuid.
namespace ProjectMimeTypes {

// Always, unless a base folder is among the dragged items.
inline const QString Internal = QStringLiteral("tanmere/project-view-internal");
// Exactly one item, a folder.
inline const QString Folder = QStringLiteral("tanmere/project-view-folder");
// No folder, and at least one timeline or source.
inline const QString Timelines = QStringLiteral("tanmere/project-view-timelines");
// Clips dragged within the timeline panel (their ids, in the same form).
inline const QString Clips = QStringLiteral("tanmere/timeline-view-clips");

QByteArray WriteIds(const QList<QUuid>& ids);
// The ids of a payload; a damaged payload gives those read before the damage.
QList<QUuid> ReadIds(const QByteArray& payload);

} // namespace ProjectMimeTypes
