#include "project/ClientCommands.h"

#include "core/FileHelpers.h"
#include "core/Settings.h"
#include "project/ClientApiHost.h"
#include "project/Clip.h"
#include "project/ExportStatus.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectEngine.h"
#include "project/ProjectGlobals.h"
#include "project/ProjectManager.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kViewers = 4;
// The range of exportImagePadding.
constexpr int kMinExportPadding = 1;
constexpr int kMaxExportPadding = 6;

int Offset()
{
    return ProjectGlobals::TimeControlFrameOffset();
}

// A frame of a reply: the timeline's frame with the offset added, in 64 bits (a JSON number
// holds it exactly).
qint64 DisplayFrame(int32_t frame)
{
    return qint64(frame) + Offset();
}

// A frame of a request taken to the timeline's numbering: the offset taken off in 64 bits
// and the result kept within int32_t (the timeline clamps it further).
int32_t TimelineFrame(qint64 displayFrame)
{
    return static_cast<int32_t>(std::clamp<qint64>(displayFrame - Offset(), std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
}

QUuid IdValue(const QJsonObject& object, const QString& key)
{
    return QUuid::fromString(object.value(key).toString());
}

QString IdText(const QUuid& id)
{
    return id.isNull() ? QString() : id.toString(QUuid::WithBraces);
}

// "1.2.3": three integers, the first at least 1.
bool ValidApiVersion(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const int major = match.captured(1).toInt(&ok);
    if (!ok || major < 1)
        return false;
    match.captured(2).toInt(&ok);
    if (!ok)
        return false;
    match.captured(3).toInt(&ok);
    return ok;
}

QList<TimelineItem*> ById(const QHash<QUuid, TimelineItem*>& items)
{
    QList<TimelineItem*> sorted = items.values();
    std::sort(sorted.begin(), sorted.end(), [](const TimelineItem* a, const TimelineItem* b) { return a->Id() < b->Id(); });
    return sorted;
}

// Depth first, a folder before the folders it contains.
void CollectFolders(const FolderItem* folder, QList<const FolderItem*>& out)
{
    out.append(folder);
    for (const ProjectItem* child : folder->Children())
        if (const auto* sub = qobject_cast<const FolderItem*>(child))
            CollectFolders(sub, out);
}

} // namespace

ClientCommands::ClientCommands(ProjectManager& manager)
    : m_manager(manager)
{
    m_handlers = {
        {QStringLiteral("echo"), &ClientCommands::Echo},
        {QStringLiteral("get_config"), &ClientCommands::GetConfig},
        {QStringLiteral("set_playing"), &ClientCommands::SetPlaying},
        {QStringLiteral("is_autoplay"), &ClientCommands::IsAutoplay},
        {QStringLiteral("import_file"), &ClientCommands::ImportFile},
        {QStringLiteral("get_frame"), &ClientCommands::GetFrame},
        {QStringLiteral("set_frame"), &ClientCommands::SetFrame},
        {QStringLiteral("get_range"), &ClientCommands::GetRange},
        {QStringLiteral("set_range"), &ClientCommands::SetRange},
        {QStringLiteral("new_project"), &ClientCommands::NewProject},
        {QStringLiteral("open_project"), &ClientCommands::OpenProject},
        {QStringLiteral("import_project"), &ClientCommands::ImportProject},
        {QStringLiteral("save_project"), &ClientCommands::SaveProject},
        {QStringLiteral("get_project_path"), &ClientCommands::GetProjectPath},
        {QStringLiteral("add_folder"), &ClientCommands::AddFolder},
        {QStringLiteral("add_timeline"), &ClientCommands::AddTimeline},
        {QStringLiteral("remove"), &ClientCommands::Remove},
        {QStringLiteral("update"), &ClientCommands::Update},
        {QStringLiteral("insert_element_in_timeline"), &ClientCommands::InsertElementInTimeline},
        {QStringLiteral("remove_element_from_timeline"), &ClientCommands::RemoveElementFromTimeline},
        {QStringLiteral("get_timeline_elements"), &ClientCommands::GetTimelineElements},
        {QStringLiteral("get_folders"), &ClientCommands::GetFolders},
        {QStringLiteral("get_timelines"), &ClientCommands::GetTimelines},
        {QStringLiteral("get_sources"), &ClientCommands::GetSources},
        {QStringLiteral("get_default_timeline"), &ClientCommands::GetDefaultTimeline},
        {QStringLiteral("set_default_timeline"), &ClientCommands::SetDefaultTimeline},
        {QStringLiteral("get_active_in_viewer"), &ClientCommands::GetActiveInViewer},
        {QStringLiteral("set_active_in_viewer"), &ClientCommands::SetActiveInViewer},
        {QStringLiteral("set_viewer_layout"), &ClientCommands::SetViewerLayout},
        {QStringLiteral("get_bookmarks"), &ClientCommands::GetBookmarks},
        {QStringLiteral("queue_export"), &ClientCommands::QueueExport},
        {QStringLiteral("query_export"), &ClientCommands::QueryExport},
    };
}

ClientCommands::Outcome ClientCommands::Execute(const QString& body, ClientApiHost& host)
{
    Outcome outcome;
    // A request arriving while an export runs is dropped: the export owns the player.
    if (ExportStatus::Running())
        return outcome;

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    const QJsonObject request = document.object();
    const QString cmd = request.value(QStringLiteral("cmd")).toString();

    QJsonObject reply;
    QString msg;
    bool success = false;
    if (error.error != QJsonParseError::NoError || !document.isObject() || request.isEmpty()) {
        msg = QStringLiteral("Invalid JSON formatting");
    } else if (cmd == QLatin1String("echo")) {
        success = Echo(request, reply, msg);
    } else if (cmd == QLatin1String("initialize")) {
        success = Initialize(request, host, msg);
    } else if (!host.IsInitialized()) {
        msg = QStringLiteral("Server not initialized. Run the \"initialize\" command first.");
    } else {
        outcome.ran = true;
        m_exportQueued = false;
        if (const Handler handler = m_handlers.value(cmd))
            success = (this->*handler)(request, reply, msg);
        else
            msg = QStringLiteral("Invalid command (%1)").arg(cmd);
        if (success && m_exportQueued) {
            outcome.exportQueued = true;
            outcome.exportProperties = m_exportProperties;
        }
        m_exportQueued = false;
    }

    reply.insert(QStringLiteral("success"), success);
    if (!success) {
        reply.insert(QStringLiteral("cmd"), cmd.isEmpty() ? QStringLiteral("???") : cmd);
        if (msg.isEmpty())
            msg = QStringLiteral("Undefined Error");
    }
    reply.insert(QStringLiteral("msg"), msg);
    outcome.reply = QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
    return outcome;
}

bool ClientCommands::Initialize(const QJsonObject& request, ClientApiHost& host, QString& msg)
{
    if (host.IsInitialized()) {
        msg = QStringLiteral("Server is already initialized.");
        return false;
    }
    const QString version = request.value(QStringLiteral("api_version")).toString();
    if (!ValidApiVersion(version)) {
        msg = QStringLiteral("Invalid API Version (%1)").arg(version);
        return false;
    }
    host.SetInitialized();
    return true;
}

bool ClientCommands::Echo(const QJsonObject& request, QJsonObject& reply, QString&)
{
    reply.insert(QStringLiteral("result"), request.value(QStringLiteral("text")).toString());
    return true;
}

bool ClientCommands::GetConfig(const QJsonObject&, QJsonObject& reply, QString&)
{
    reply.insert(QStringLiteral("app_dir"), QCoreApplication::applicationDirPath());
    reply.insert(QStringLiteral("app_name"), QCoreApplication::applicationName());
    reply.insert(QStringLiteral("user_dir"), Settings::ApplicationDirPath());
    reply.insert(QStringLiteral("temp_dir"), Settings::Get().TempDirPath());
    return true;
}

bool ClientCommands::SetPlaying(const QJsonObject& request, QJsonObject&, QString&)
{
    if (ProjectEngine* engine = m_manager.Engine())
        engine->SetPlaying(request.value(QStringLiteral("playing")).toBool(false),
                           request.value(QStringLiteral("play_forwards")).toBool(true));
    return true;
}

bool ClientCommands::IsAutoplay(const QJsonObject&, QJsonObject& reply, QString&)
{
    reply.insert(QStringLiteral("autoplay"), Settings::Get().autoPlayEnabled);
    return true;
}

bool ClientCommands::ImportFile(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    const QString filePath = request.value(QStringLiteral("file_path")).toString();
    const QString name = request.value(QStringLiteral("name")).toString();
    const int rangeStart = request.value(QStringLiteral("range_start")).toInt(-1);
    const int rangeEnd = request.value(QStringLiteral("range_end")).toInt(-1);
    QString sequencePath = filePath.isEmpty() ? QString() : FileHelpers::ResolveSequencePath(filePath);
    // A path naming no file would make a source that can never play.
    QStringList files;
    if (!sequencePath.isEmpty() && (!FileHelpers::ParseSourcePath(sequencePath, files) || files.isEmpty() || !QFileInfo::exists(files.first())))
        sequencePath.clear();

    ProjectManager::ImportOptions options;
    options.parentId = IdValue(request, QStringLiteral("parent_id"));
    options.detectSequences = false;
    // Display frames like every frame of a request; -1 (the default) is the source's start
    // and end.
    options.cutInFrame = rangeStart < 0 ? 0 : std::max(TimelineFrame(rangeStart), 0);
    options.cutOutFrame = rangeEnd < 0 ? -1 : std::max(TimelineFrame(rangeEnd), 0);
    // Taken as it is ("@"): the sequence path is already resolved. The import blocks until
    // the source is parsed.
    const QList<QUuid> ids = sequencePath.isEmpty() ? QList<QUuid>() : m_manager.ImportFiles({sequencePath + QLatin1Char('@')}, options);
    TimelineItem* item = ids.isEmpty() ? nullptr : m_manager.GetProject()->SourceItem(ids.first());
    if (!item) {
        msg = QStringLiteral("Failed to create source for file (%1)").arg(filePath);
        return false;
    }
    if (!name.isEmpty())
        m_manager.GetProject()->RenameItem(item->Id(), name);
    item->GetTimeline()->SetPlaybackFrame(0);
    reply.insert(QStringLiteral("source"), ItemObject(item));
    return true;
}

bool ClientCommands::GetFrame(const QJsonObject&, QJsonObject& reply, QString&)
{
    const Timeline* timeline = m_manager.Engine() ? m_manager.Engine()->PrimaryTimeline() : nullptr;
    reply.insert(QStringLiteral("frame"), timeline ? DisplayFrame(timeline->PlaybackFrame()) : -1);
    return true;
}

bool ClientCommands::SetFrame(const QJsonObject& request, QJsonObject& reply, QString&)
{
    emit m_manager.ClientApiFrameChangeRequested();
    ProjectEngine* engine = m_manager.Engine();
    const Timeline* timeline = engine ? engine->PrimaryTimeline() : nullptr;
    if (!timeline) {
        reply.insert(QStringLiteral("frame"), -1);
        return true;
    }
    const qint64 given = request.value(QStringLiteral("frame")).toInt(0);
    const qint64 wanted = request.value(QStringLiteral("from_range_start")).toBool(false) ? given + timeline->RangeStartFrame()
                                                                                          : given - Offset();
    const auto frame = static_cast<int32_t>(std::clamp<qint64>(wanted, 0, std::max(timeline->LastFrame(), 0)));
    engine->SeekPlayback(timeline->FrameStartTime(frame), request.value(QStringLiteral("audio")).toBool(false));
    reply.insert(QStringLiteral("frame"), DisplayFrame(timeline->PlaybackFrame()));
    return true;
}

bool ClientCommands::GetRange(const QJsonObject&, QJsonObject& reply, QString&)
{
    const Timeline* timeline = m_manager.Engine() ? m_manager.Engine()->PrimaryTimeline() : nullptr;
    reply.insert(QStringLiteral("start_frame"), timeline ? DisplayFrame(timeline->RangeStartFrame()) : -1);
    reply.insert(QStringLiteral("end_frame"), timeline ? DisplayFrame(timeline->RangeEndFrame()) : -1);
    return true;
}

bool ClientCommands::SetRange(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    if (Timeline* timeline = m_manager.Engine() ? m_manager.Engine()->PrimaryTimeline() : nullptr) {
        const int start = request.value(QStringLiteral("start_frame")).toInt(-1);
        const int end = request.value(QStringLiteral("end_frame")).toInt(-1);
        // -1 keeps its meaning (the start, an open end) rather than being shifted.
        timeline->SetPlaybackRange(start < 0 ? 0 : TimelineFrame(start), end < 0 ? -1 : TimelineFrame(end));
    }
    return GetRange(request, reply, msg);
}

bool ClientCommands::NewProject(const QJsonObject& request, QJsonObject&, QString&)
{
    m_manager.NewProject(request.value(QStringLiteral("empty")).toBool(false));
    return true;
}

bool ClientCommands::OpenProject(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString path = request.value(QStringLiteral("file_path")).toString();
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        msg = QStringLiteral("Project file does not exist (%1)").arg(info.absoluteFilePath());
        return false;
    }
    m_manager.NewProject(false);
    return m_manager.OpenProject(info.absoluteFilePath(), true);
}

bool ClientCommands::ImportProject(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString path = request.value(QStringLiteral("file_path")).toString();
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        msg = QStringLiteral("Project file does not exist (%1)").arg(info.absoluteFilePath());
        return false;
    }
    m_manager.OpenProject(info.absoluteFilePath(), false);
    return true;
}

bool ClientCommands::SaveProject(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString path = request.value(QStringLiteral("file_path")).toString();
    if (path.isEmpty() || !m_manager.SaveProject(path)) {
        msg = QStringLiteral("Save project failed (%1). See log for details.").arg(path);
        return false;
    }
    return true;
}

bool ClientCommands::GetProjectPath(const QJsonObject&, QJsonObject& reply, QString&)
{
    reply.insert(QStringLiteral("project_path"), ProjectGlobals::ProjectPath());
    return true;
}

bool ClientCommands::AddFolder(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    const QUuid id = m_manager.AddFolder(request.value(QStringLiteral("name")).toString(), IdValue(request, QStringLiteral("parent_id")));
    const FolderItem* folder = m_manager.GetProject()->Folder(id);
    if (!folder) {
        msg = QStringLiteral("Failed to create folder");
        return false;
    }
    reply.insert(QStringLiteral("folder"), FolderObject(folder));
    return true;
}

bool ClientCommands::AddTimeline(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    const QUuid id = m_manager.AddTimeline(request.value(QStringLiteral("name")).toString(), IdValue(request, QStringLiteral("parent_id")));
    const TimelineItem* item = m_manager.GetProject()->TimelineItemById(id, false);
    if (!item) {
        msg = QStringLiteral("Failed to create timeline");
        return false;
    }
    reply.insert(QStringLiteral("timeline"), ItemObject(item));
    return true;
}

bool ClientCommands::Remove(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString idText = request.value(QStringLiteral("id")).toString();
    if (idText.isEmpty()) {
        msg = QStringLiteral("\"id\" invalid");
        return false;
    }
    Project* project = m_manager.GetProject();
    const QUuid id = QUuid::fromString(idText);
    const ProjectItem* item = id.isNull() ? nullptr : project->Item(id);
    if (!item) {
        msg = QStringLiteral("Invalid id (%1)").arg(idText);
        return false;
    }
    switch (item->ItemKind()) {
    case ProjectItem::FolderKind:
        if (project->BaseFolders().contains(static_cast<FolderItem*>(const_cast<ProjectItem*>(item)))) {
            msg = QStringLiteral("Base folders cannot be removed.");
            return false;
        }
        // Through the delete-items operation: the sources inside leave every timeline first,
        // so no clip points at a source the cleared undo stack has freed.
        m_manager.DeleteProjectItems({id});
        return true;
    case ProjectItem::TimelineKind:
        m_manager.DeleteTimeline(id);
        return true;
    case ProjectItem::SourceKind: {
        const bool used = std::any_of(project->Timelines().cbegin(), project->Timelines().cend(), [&](const TimelineItem* timeline) {
            return !timeline->GetTimeline()->GetTrack()->ClipIndicesForSource(id).isEmpty();
        });
        if (used && !request.value(QStringLiteral("force")).toBool(false)) {
            msg = QStringLiteral("Source exists in timelines. Use \"force\" flag to remove.");
            return false;
        }
        m_manager.DeleteSource(id);
        return true;
    }
    }
    msg = QStringLiteral("Unsupport object type.");
    return false;
}

bool ClientCommands::Update(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    const QJsonValue value = request.value(QStringLiteral("object"));
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.isEmpty()) {
        msg = QStringLiteral("\"object\" invalid");
        return false;
    }
    const QString idText = object.value(QStringLiteral("id")).toString();
    if (idText.isEmpty()) {
        msg = QStringLiteral("Invalid id");
        return false;
    }
    Project* project = m_manager.GetProject();
    const QUuid id = QUuid::fromString(idText);
    ProjectItem* item = id.isNull() ? nullptr : project->Item(id);
    if (!item) {
        msg = QStringLiteral("Object not found (%1)").arg(idText);
        return false;
    }

    if (FolderItem* target = project->Folder(IdValue(object, QStringLiteral("parent_id")))) {
        // The tree hangs from the base folders: none of them ever moves.
        if (project->BaseFolders().contains(item)) {
            msg = QStringLiteral("Base folders cannot be moved.");
            return false;
        }
        const bool regularTimeline = item->ItemKind() == ProjectItem::TimelineKind;
        const bool source = item->ItemKind() == ProjectItem::SourceKind;
        if (target == project->TimelinesFolder() && !regularTimeline) {
            msg = QStringLiteral("The TIMELINES folder cannot be the parent of a source or folder.");
            return false;
        }
        if (target == project->SourcesFolder() && !source) {
            msg = QStringLiteral("The SOURCES folder cannot be the parent of a timeline or folder.");
            return false;
        }
        // Into itself or a folder of its own, or deeper than folders may nest: refused whole.
        if (!project->MoveItem(item, target, object.value(QStringLiteral("parent_index")).toInt(-1))) {
            msg = QStringLiteral("Cannot move (%1) into folder (%2)").arg(idText, IdText(target->Id()));
            return false;
        }
    }
    m_manager.RenameItem(id, object.value(QStringLiteral("name")).toString());

    if (const auto* folder = qobject_cast<const FolderItem*>(item)) {
        emit m_manager.ProjectUpdated();
        reply.insert(QStringLiteral("updated"), FolderObject(folder));
        return true;
    }
    auto* timelineItem = static_cast<TimelineItem*>(item);
    Timeline* timeline = timelineItem->GetTimeline();
    const int32_t playbackFrame = TimelineFrame(object.value(QStringLiteral("playback_frame")).toInt(-1));
    const int32_t rangeStart = TimelineFrame(object.value(QStringLiteral("range_start_frame")).toInt(-1));
    const int32_t rangeEnd = TimelineFrame(object.value(QStringLiteral("range_end_frame")).toInt(-1));
    if (!timelineItem->IsSource()) {
        const bool use = object.value(QStringLiteral("use_source_in_outs")).toBool(false);
        if (use != timeline->UseSourceInOuts())
            timeline->SetUseSourceInOuts(use);
    }
    ProjectEngine* engine = m_manager.Engine();
    if (engine && engine->PrimaryTimeline() == timeline)
        engine->SeekPlayback(timeline->FrameStartTime(playbackFrame), false);
    else
        timeline->SetPlaybackFrame(playbackFrame);
    timeline->SetPlaybackRange(rangeStart, rangeEnd);
    emit m_manager.ProjectUpdated();
    reply.insert(QStringLiteral("updated"), ItemObject(timelineItem));
    return true;
}

bool ClientCommands::InsertElementInTimeline(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString sourceText = request.value(QStringLiteral("source_id")).toString();
    const QString timelineText = request.value(QStringLiteral("timeline_id")).toString();
    if (sourceText.isEmpty()) {
        msg = QStringLiteral("\"source_id\" invalid");
        return false;
    }
    if (timelineText.isEmpty()) {
        msg = QStringLiteral("\"timeline_id\" invalid");
        return false;
    }
    const QUuid sourceId = QUuid::fromString(sourceText);
    const TimelineItem* source = sourceId.isNull() ? nullptr : m_manager.GetProject()->SourceItem(sourceId);
    const Clip* clip = source ? source->GetTimeline()->GetTrack()->ClipAt(0) : nullptr;
    if (!clip) {
        msg = QStringLiteral("Source not found (%1)").arg(sourceText);
        return false;
    }
    const QUuid timelineId = QUuid::fromString(timelineText);
    if (!m_manager.RegularTimeline(timelineId)) {
        msg = QStringLiteral("Timeline not found (%1)").arg(timelineText);
        return false;
    }
    m_manager.InsertClip(timelineId, clip, request.value(QStringLiteral("index")).toInt(-1));
    return true;
}

bool ClientCommands::RemoveElementFromTimeline(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString timelineText = request.value(QStringLiteral("timeline_id")).toString();
    if (timelineText.isEmpty()) {
        msg = QStringLiteral("\"id\" invalid");
        return false;
    }
    const QUuid timelineId = QUuid::fromString(timelineText);
    const Timeline* timeline = m_manager.RegularTimeline(timelineId);
    if (!timeline) {
        msg = QStringLiteral("Timeline not found (%1)").arg(timelineText);
        return false;
    }
    // -1, the default, is the last clip.
    const int given = request.value(QStringLiteral("index")).toInt(-1);
    const int index = given == -1 ? timeline->GetTrack()->ClipCount() - 1 : given;
    if (!timeline->ClipAt(index)) {
        msg = QStringLiteral("Index out of range (%1)").arg(given);
        return false;
    }
    m_manager.DeleteClip(timelineId, index);
    return true;
}

bool ClientCommands::GetTimelineElements(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    const QString timelineText = request.value(QStringLiteral("timeline_id")).toString();
    if (timelineText.isEmpty()) {
        msg = QStringLiteral("\"id\" invalid");
        return false;
    }
    const Timeline* timeline = m_manager.RegularTimeline(QUuid::fromString(timelineText));
    if (!timeline) {
        msg = QStringLiteral("Timeline not found (%1)").arg(timelineText);
        return false;
    }
    QJsonArray sources;
    for (int index = 0; index < timeline->GetTrack()->ClipCount(); ++index) {
        const Source* source = timeline->ClipAt(index)->GetSource();
        if (const TimelineItem* item = source ? m_manager.GetProject()->SourceItem(source->Id()) : nullptr)
            sources.append(ItemObject(item));
    }
    reply.insert(QStringLiteral("sources"), sources);
    return true;
}

bool ClientCommands::GetFolders(const QJsonObject&, QJsonObject& reply, QString&)
{
    QList<const FolderItem*> folders;
    for (const FolderItem* base : m_manager.GetProject()->BaseFolders())
        CollectFolders(base, folders);
    QJsonArray array;
    for (const FolderItem* folder : std::as_const(folders))
        array.append(FolderObject(folder));
    reply.insert(QStringLiteral("folders"), array);
    return true;
}

bool ClientCommands::GetTimelines(const QJsonObject&, QJsonObject& reply, QString&)
{
    QJsonArray array;
    for (const TimelineItem* item : ById(m_manager.GetProject()->Timelines()))
        array.append(ItemObject(item));
    reply.insert(QStringLiteral("timelines"), array);
    return true;
}

bool ClientCommands::GetSources(const QJsonObject&, QJsonObject& reply, QString&)
{
    QJsonArray array;
    for (const TimelineItem* item : ById(m_manager.GetProject()->Sources()))
        array.append(ItemObject(item));
    reply.insert(QStringLiteral("sources"), array);
    return true;
}

bool ClientCommands::GetDefaultTimeline(const QJsonObject&, QJsonObject& reply, QString&)
{
    const Project* project = m_manager.GetProject();
    const TimelineItem* item = project->TimelineItemById(project->DefaultTimelineId(), false);
    reply.insert(QStringLiteral("timeline"), item ? ItemObject(item) : QJsonObject());
    return true;
}

bool ClientCommands::SetDefaultTimeline(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString idText = request.value(QStringLiteral("id")).toString();
    const QUuid id = QUuid::fromString(idText);
    if (m_manager.GetProject()->SourceItem(id)) {
        msg = QStringLiteral("Invalid timeline id (%1)").arg(idText);
        return false;
    }
    m_manager.SetDefaultTimeline(id);
    return true;
}

bool ClientCommands::GetActiveInViewer(const QJsonObject& request, QJsonObject& reply, QString& msg)
{
    const int index = request.value(QStringLiteral("index")).toInt(-1);
    if (index < 0) {
        msg = QStringLiteral("Invalid viewer index: %0").arg(index);
        return false;
    }
    const TimelineItem* item = m_manager.ItemInViewer(index);
    reply.insert(QStringLiteral("timeline"), item ? ItemObject(item) : QJsonObject());
    return true;
}

bool ClientCommands::SetActiveInViewer(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const int index = request.value(QStringLiteral("index")).toInt(-1);
    if (index < 0) {
        msg = QStringLiteral("Invalid viewer index: %0").arg(index);
        return false;
    }
    const QString idText = request.value(QStringLiteral("id")).toString();
    const QUuid id = QUuid::fromString(idText);
    if (id.isNull()) {
        msg = QStringLiteral("Invalid id (%1)").arg(idText);
        return false;
    }
    if (!m_manager.GetProject()->TimelineItemById(id, true)) {
        msg = QStringLiteral("Id is not a vaild timeline or source: %1").arg(idText);
        return false;
    }
    if (index < kViewers)
        m_manager.OpenItemsInViewers({id}, index, Settings::Get().autoPlayEnabled);
    return true;
}

bool ClientCommands::SetViewerLayout(const QJsonObject& request, QJsonObject&, QString& msg)
{
    const QString layout = request.value(QStringLiteral("layout")).toString();
    if (layout == QLatin1String("single")) {
        emit m_manager.ViewerLayoutChangeRequested(1, 1, 1);
    } else if (layout == QLatin1String("horizontal")) {
        emit m_manager.ViewerLayoutChangeRequested(1, 2, 1);
    } else if (layout == QLatin1String("vertical")) {
        emit m_manager.ViewerLayoutChangeRequested(2, 1, 1);
    } else {
        msg = QStringLiteral("Invalid layout type. Expected \"single\", \"horizontal\" or \"vertical\".");
        return false;
    }
    return true;
}

bool ClientCommands::GetBookmarks(const QJsonObject& request, QJsonObject& reply, QString&)
{
    const QString idText = request.value(QStringLiteral("id")).toString();
    const QUuid only = QUuid::fromString(idText);
    const bool includeEmpty = request.value(QStringLiteral("include_empty_timelines")).toBool(true);
    const Project* project = m_manager.GetProject();
    QJsonArray array;
    for (const auto* map : {&project->Timelines(), &project->Sources()}) {
        for (const TimelineItem* item : ById(*map)) {
            if (!idText.isEmpty() && item->Id() != only)
                continue;
            QJsonArray bookmarks;
            QJsonArray annotations;
            for (const FrameBookmark* bookmark : item->GetTimeline()->FrameBookmarks()) {
                if (bookmark->TimelineFrame() < 0)
                    continue;
                (bookmark->HasAnnotation() ? annotations : bookmarks).append(DisplayFrame(bookmark->TimelineFrame()));
            }
            if (bookmarks.isEmpty() && annotations.isEmpty() && !includeEmpty)
                continue;
            QJsonObject entry;
            entry.insert(QStringLiteral("id"), IdText(item->Id()));
            entry.insert(QStringLiteral("name"), item->Name());
            entry.insert(QStringLiteral("bookmarks"), bookmarks);
            entry.insert(QStringLiteral("annotations"), annotations);
            array.append(entry);
        }
    }
    reply.insert(QStringLiteral("bookmarks"), array);
    return true;
}

QString ClientCommands::BuildExportProperties(const QJsonObject& request, ExportProperties& properties)
{
    const QString dir = request.value(QStringLiteral("output_dir_path")).toString();
    const QString base = request.value(QStringLiteral("base_file_name")).toString();
    const QString ext = request.value(QStringLiteral("ext")).toString();
    static const QStringList formats{QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("png"), QStringLiteral("jpg"),
                                     QStringLiteral("wav")};
    if (!formats.contains(ext))
        return QStringLiteral("Unsupported export file format: %1").arg(ext);
    const bool imageSequence = ext == QLatin1String("png") || ext == QLatin1String("jpg");
    const int padding = request.value(QStringLiteral("padding")).toInt(4);
    // The digits the export settings allow: a wider run would be a huge file name pattern.
    if (imageSequence && (padding < kMinExportPadding || padding > kMaxExportPadding))
        return QStringLiteral("Invalid padding: %1. Expected %2 to %3").arg(padding).arg(kMinExportPadding).arg(kMaxExportPadding);

    int numbering = ExportNumberingZeroBased;
    if (imageSequence) {
        const QString text = request.value(QStringLiteral("frame_numbering")).toString(QStringLiteral("zero_based"));
        static const QStringList names{QStringLiteral("zero_based"), QStringLiteral("one_based"), QStringLiteral("match_frame")};
        numbering = static_cast<int>(names.indexOf(text));
        if (numbering < 0)
            return QStringLiteral("Invalid frames_to_capture value: %1. Expected one of 'zero_based', 'one_based' or 'match_frame'").arg(text);
    }

    const int width = request.value(QStringLiteral("width")).toInt(0);
    const int height = request.value(QStringLiteral("height")).toInt(0);
    if (width < 1 || height < 1)
        return QStringLiteral("Invalid width/height: %1x%2").arg(width).arg(height);

    const bool viewerCapture = request.value(QStringLiteral("viewer_capture")).toBool(false);
    int selection = ExportFramesAll;
    bool excludeAnnotations = false;
    QColor background;
    if (viewerCapture) {
        const QString text = request.value(QStringLiteral("frames_to_capture")).toString(QStringLiteral("all"));
        static const QStringList names{QStringLiteral("all"), QStringLiteral("bookmarks"), QStringLiteral("stepped")};
        selection = static_cast<int>(names.indexOf(text));
        if (selection < 0)
            return QStringLiteral("Invalid frames_to_capture value: %1. Expected one of 'all', 'stepped' or 'bookmarks'").arg(text);
        excludeAnnotations = request.value(QStringLiteral("exclude_annotations")).toBool(false);
        const QJsonArray color = request.value(QStringLiteral("annotation_bg_color")).toArray();
        const bool wellFormed = color.size() == 4 && std::all_of(color.begin(), color.end(), [](const QJsonValue& v) {
                                    return v.isDouble() && std::isfinite(v.toDouble()) && v.toDouble() == std::floor(v.toDouble());
                                });
        if (!wellFormed)
            return QStringLiteral("Invalid annotation_bg_color format. Expected list of 4 integers [R, G, B, A].");
        auto channel = [&](int i) { return static_cast<int>(std::clamp(color.at(i).toDouble(), 0.0, 255.0)); };
        background = QColor(channel(0), channel(1), channel(2), channel(3));
    }

    properties.outputDirPath = dir;
    properties.baseName = base;
    properties.imageFormat = imageSequence ? ext : QString();
    properties.imageSequence = imageSequence;
    properties.padding = padding;
    properties.numberingType = numbering;
    properties.width = width;
    properties.height = height;
    properties.ignoreRange = request.value(QStringLiteral("ignore_range")).toBool(false);
    properties.noAudio = request.value(QStringLiteral("exclude_audio")).toBool(false);
    properties.viewerCapture = viewerCapture;
    properties.frameSelection = selection;
    properties.excludeAnnotations = excludeAnnotations;
    properties.annotationBackgroundColor = background;
    properties.outputPath = imageSequence ? QStringLiteral("%1/%2.%3.%4").arg(dir, base, QString(padding, QLatin1Char('#')), ext)
                                          : QStringLiteral("%1/%2.%3").arg(dir, base, ext);
    return {};
}

bool ClientCommands::QueueExport(const QJsonObject& request, QJsonObject&, QString& msg)
{
    ExportProperties properties;
    msg = BuildExportProperties(request, properties);
    if (!msg.isEmpty())
        return false;
    m_exportProperties = properties;
    m_exportQueued = true;
    return true;
}

bool ClientCommands::QueryExport(const QJsonObject&, QJsonObject& reply, QString&)
{
    reply.insert(QStringLiteral("completed"), !ExportStatus::Running());
    reply.insert(QStringLiteral("error_msg"), ExportStatus::GeneralLog());
    return true;
}

QJsonObject ClientCommands::ItemObject(const TimelineItem* item) const
{
    const Timeline* timeline = item->GetTimeline();
    const auto* parent = qobject_cast<const FolderItem*>(item->parent());
    QJsonObject object;
    object.insert(QStringLiteral("id"), IdText(item->Id()));
    object.insert(QStringLiteral("name"), item->Name());
    object.insert(QStringLiteral("parent_id"), parent ? IdText(parent->Id()) : QString());
    object.insert(QStringLiteral("parent_index"), parent ? parent->IndexOf(item) : -1);
    object.insert(QStringLiteral("playback_frame"), DisplayFrame(timeline->PlaybackFrame()));
    object.insert(QStringLiteral("range_start_frame"), DisplayFrame(timeline->RangeStartFrame()));
    object.insert(QStringLiteral("range_end_frame"), DisplayFrame(timeline->RangeEndFrame()));
    object.insert(QStringLiteral("output_id"), static_cast<int>(timeline->OutputId()));
    object.insert(QStringLiteral("is_source"), item->IsSource());
    if (item->IsSource()) {
        const Source* source = timeline->GetSource();
        object.insert(QStringLiteral("path"), source ? source->AbsolutePath() : QString());
        object.insert(QStringLiteral("audio_delay"), source ? static_cast<qint64>(source->AudioDelay()) : 0);
    } else {
        object.insert(QStringLiteral("use_source_in_outs"), timeline->UseSourceInOuts());
        object.insert(QStringLiteral("use_source_audio_delay"), timeline->UseSourceAudioDelay());
    }
    return object;
}

QJsonObject ClientCommands::FolderObject(const FolderItem* folder) const
{
    const auto* parent = qobject_cast<const FolderItem*>(folder->parent());
    QJsonObject object;
    object.insert(QStringLiteral("id"), IdText(folder->Id()));
    object.insert(QStringLiteral("parent_id"), parent ? IdText(parent->Id()) : QString());
    object.insert(QStringLiteral("name"), folder->Name());
    return object;
}
