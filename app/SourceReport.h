#pragma once

#include <QJsonObject>
#include <QString>

class Source;

// Text and JSON descriptions of a parsed source, for the log and for `--info`.
namespace SourceReport {

// Path, status, duration, rate, frame count and every stream record of the parsed file.
QJsonObject ToJson(const Source& source);

// A few lines for the log: streams, frame rate, frame count and colour flags.
QString Summary(const Source& source);

} // namespace SourceReport
