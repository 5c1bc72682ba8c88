#pragma once

#include <QString>

// The types under which the project panel drags its items. Each payload is the dragged
// items' ids written with QDataStream: the count as a qint64, then each QUuid.
namespace ProjectMimeTypes {

// Always, unless a base folder is among the dragged items.
inline const QString Internal = QStringLiteral("tanmere/project-view-internal");
// Exactly one item, a folder.
inline const QString Folder = QStringLiteral("tanmere/project-view-folder");
// No folder, and at least one timeline or source.
inline const QString Timelines = QStringLiteral("tanmere/project-view-timelines");

} // namespace ProjectMimeTypes
