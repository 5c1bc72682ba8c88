#pragma once

#include <QJsonObject>
#include <QString>

class Project;

// The two files read but never written: the older project format (".plvx", 1-based frames)
// and the bookmark file (".bmk", an INI file bringing one media file with its bookmarks).
namespace ProjectFileLegacy {

// `document` is the parsed file, its metadata already checked.
bool ReadOlderFormat(Project& project, const QJsonObject& document, const QString& path, bool open);
bool ReadBookmarkFile(Project& project, const QString& path);

} // namespace ProjectFileLegacy
