#include "InfoCommand.h"

#include "AvParser.h"
#include "FileHelpers.h"
#include "ProjectGlobals.h"
#include "Source.h"
#include "SourceReport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

QStringList InfoSourcePaths(const QStringList& paths)
{
    QStringList sources;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const bool member = info.isFile() && FileHelpers::IsImageFile(path);
        const QString name = member ? FileHelpers::ResolveSequencePath(info.absoluteFilePath()) : path;
        if (!sources.contains(name))
            sources.append(name);
    }
    return sources;
}

namespace {

// Whether the report lists a stream that can be played: a file whose every stream was
// refused (a picture too large to decode, say) opens without an error status but shows
// nothing.
bool HasUsableStream(const QJsonObject& report)
{
    for (const char* key : {"videoStreams", "audioStreams"})
        for (const QJsonValue stream : report.value(QLatin1String(key)).toArray())
            if (stream.toObject().value(QLatin1String("valid")).toBool())
                return true;
    return false;
}

} // namespace

int RunInfoCommand(const QStringList& paths)
{
    ProjectGlobals::ResetFromSettings();
    bool failed = false;
    for (const QString& path : InfoSourcePaths(paths)) {
        Source source(path, QString(), QUuid());
        if (source.FileCount() > 0) {
            // A sequence is probed through its first existing file.
            int file = 0;
            while (file < source.FileCount() - 1 && !source.FileExists(file))
                ++file;
            AvParser parser;
            parser.Parse(&source, file);
        }
        const QJsonObject report = SourceReport::ToJson(source);
        failed = failed || source.HasError() || !HasUsableStream(report);
        const QByteArray line = QJsonDocument(report).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
