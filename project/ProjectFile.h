#pragma once

#include <QString>

class Project;

// Saving a project as one JSON document and reading it back. Current format only for now
// (".plvx2", also "dorvy" files); see ProjectFileCodec for the encodings of its values.
namespace ProjectFile {

// The suffix of saved projects, and the ones the file dialogs offer.
inline const QString kSuffix = QStringLiteral("plvx2");

// Writes `project` to the project path (ProjectGlobals). Written to a temporary file beside
// it and renamed over it only when every byte is on disk, so a failure never leaves a
// half-written project behind. False, with an error logged, when it could not be written.
bool Write(const Project& project);

// The document `Write` would write, as bytes.
QByteArray Serialise(const Project& project);

// Reads the project file at `path` into `project`: with `open` as the document (its
// project-wide values and viewer layout applied, the path set), else merged into it (the tree
// only). Sources are parsed in one blocking load: the project's ParseSourceRequested must be
// connected to whatever parses them. False, with the error logged, when the file cannot be
// read or is not a project; metadata errors fail before anything changes.
bool Read(Project& project, const QString& path, bool open);
// Whether `path` can be read as a project, the reasons logged as Read logs them, changing
// nothing: for checking a file before the open document is given up for it.
bool CanRead(const QString& path);
// The same for a document already in memory; `path` names it (its ending picks the format,
// and it is the project path when opening).
bool ReadDocument(Project& project, const QByteArray& bytes, const QString& path, bool open);

} // namespace ProjectFile
