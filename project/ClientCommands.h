#pragma once

#include "project/ExportProperties.h"

#include <QHash>
#include <QJsonObject>
#include <QString>

class ClientApiHost;
class FolderItem;
class ProjectManager;
class TimelineItem;

// The client API's commands: one JSON request body in, at most one reply body out. The
// ProjectManager runs it for every request the server hands over (OnExecuteCmd) and sends
// the reply; the handlers change the project through the manager's operations.
//
// Frame numbers crossing the API are display numbers: the time-control frame offset is added
// to every frame in a reply and taken off every frame in a request. Main thread only.
class ClientCommands
{
public:
    // What one request came to.
    struct Outcome
    {
        QString reply;           // the reply body; null when the request gets none
        bool ran = false;        // a command ran (past the initialisation gate)
        bool exportQueued = false;
        ExportProperties exportProperties; // when exportQueued
    };

    explicit ClientCommands(ProjectManager& manager);

    Outcome Execute(const QString& body, ClientApiHost& host);

    // The "queue_export" parameters turned into a request: empty on success, else the failure
    // text. Exposed for the tests of its rules.
    static QString BuildExportProperties(const QJsonObject& request, ExportProperties& properties);

private:
    // A handler fills the reply's command fields and returns true, or sets `msg` and returns
    // false. A handler may also set `msg` on success.
    using Handler = bool (ClientCommands::*)(const QJsonObject& request, QJsonObject& reply, QString& msg);

    bool Echo(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetConfig(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SetPlaying(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool IsAutoplay(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool ImportFile(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetFrame(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SetFrame(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetRange(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SetRange(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool NewProject(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool OpenProject(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool ImportProject(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SaveProject(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetProjectPath(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool AddFolder(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool AddTimeline(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool Remove(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool Update(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool InsertElementInTimeline(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool RemoveElementFromTimeline(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetTimelineElements(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetFolders(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetTimelines(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetSources(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetDefaultTimeline(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SetDefaultTimeline(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetActiveInViewer(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SetActiveInViewer(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool SetViewerLayout(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool GetBookmarks(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool QueueExport(const QJsonObject& request, QJsonObject& reply, QString& msg);
    bool QueryExport(const QJsonObject& request, QJsonObject& reply, QString& msg);

    // "initialize", before the table: it needs the host.
    bool Initialize(const QJsonObject& request, ClientApiHost& host, QString& msg);

    QJsonObject ItemObject(const TimelineItem* item) const;
    QJsonObject FolderObject(const FolderItem* folder) const;

    ProjectManager& m_manager;
    QHash<QString, Handler> m_handlers;
    // Set by a successful "queue_export" for Execute to hand on.
    bool m_exportQueued = false;
    ExportProperties m_exportProperties;
};
