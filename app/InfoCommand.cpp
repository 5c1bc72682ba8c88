#include "app/InfoCommand.h"

#include "app/SourceReport.h"
#include "core/FileHelpers.h"
#include "media/AvParser.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdio>
#include <vector>

QStringList InfoSourcePaths(const QStringList& paths)
{
    // Existing numbered images are resolved in one batch, so that each folder is listed once.
    std::vector<bool> isMember;
    QStringList members;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        isMember.push_back(info.isFile() && FileHelpers::IsImageFile(path));
        if (isMember.back())
            members.append(info.absoluteFilePath());
    }
    const QStringList memberNames = FileHelpers::ResolveSequencePaths(members);
    QStringList sources;
    QSet<QString> known;
    qsizetype nextMember = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString name = isMember[static_cast<size_t>(i)] ? memberNames.at(nextMember++) : paths.at(i);
        if (!known.contains(name)) {
            known.insert(name);
            sources.append(name);
        }
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
            AvParser parser;
            source.ApplyParseResult(parser.Parse(source.ParserFileEntry(source.ProbeFileIndex())));
        }
        const QJsonObject report = SourceReport::ToJson(source);
        failed = failed || source.HasError() || !HasUsableStream(report);
        const QByteArray line = QJsonDocument(report).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
