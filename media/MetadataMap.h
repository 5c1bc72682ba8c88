#pragma once

#include <QMap>
#include <QString>

// FFmpeg metadata tags of a container or stream, key to value.
using MetadataMap = QMap<QString, QString>;
