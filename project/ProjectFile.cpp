#include "project/ProjectFile.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/JsonStream.h"
#include "project/Project.h"
#include "project/ProjectFileCodec.h"
#include "project/ProjectFileLegacy.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QJsonParseError>
#include <QSaveFile>

namespace ProjectFile {

namespace {

QLatin1StringView L(const char* text)
{
    return QLatin1StringView(text);
}

void WriteId(JsonStream& json, const char* key, const QUuid& id)
{
    json.Key(L(key));
    json.Latin1(QLatin1StringView(id.toString(QUuid::WithBraces).toLatin1()));
}

// Keys of every object below are written in sorted order, as the format keeps them.
void WriteStroke(JsonStream& json, const AnnotationStroke& stroke)
{
    json.BeginObject();
    json.Key(L("color"));
    json.String(stroke.color.name(QColor::HexArgb));
    json.Key(L("path"));
    json.Latin1(QLatin1StringView(ProjectFileCodec::PathToPayload(stroke.path)));
    json.Key(L("points"));
    json.String(ProjectFileCodec::PointsToString(stroke.points));
    if (stroke.type == AnnotationStroke::Text) {
        json.Key(L("text"));
        json.String(stroke.text);
    }
    json.Key(L("type"));
    json.Int(stroke.type);
    json.Key(L("width"));
    json.Double(static_cast<double>(stroke.width));
    json.EndObject();
}

void WriteBookmark(JsonStream& json, int32_t frame, const FrameBookmark& bookmark)
{
    json.BeginObject();
    json.Key(L("frame"));
    json.Int(frame);
    json.Key(L("strokes"));
    json.BeginArray();
    for (const AnnotationStroke& stroke : bookmark.Strokes())
        WriteStroke(json, stroke);
    json.EndArray();
    json.EndObject();
}

// The placement keys, in their sorted places: "index" before "name", the parent keys later.
struct Placement
{
    int index = -1;
    QUuid parentId;
    bool parentIsProject = false;
};

Placement Place(const Project& project, const ProjectItem* item, const FolderItem* home, bool sourceIndex)
{
    Placement placement;
    const auto* parent = qobject_cast<const FolderItem*>(item->parent());
    if (parent == project.ProjectFolder())
        placement.parentIsProject = true;
    else if (parent && parent != home)
        placement.parentId = parent->Id();
    placement.index = parent ? (sourceIndex ? parent->SourceIndexOf(item) : parent->IndexOf(item)) : -1;
    return placement;
}

void WritePanAndParent(JsonStream& json, const Timeline& timeline, const Placement& placement)
{
    json.Key(L("pan_interp_x"));
    json.Double(timeline.PanInterpolation().x());
    json.Key(L("pan_interp_y"));
    json.Double(timeline.PanInterpolation().y());
    json.Key(L("pan_zoom_enabled"));
    json.Bool(timeline.PanZoomEnabled());
    if (!placement.parentId.isNull())
        WriteId(json, "parent_id", placement.parentId);
    if (placement.parentIsProject) {
        json.Key(L("parent_is_proj"));
        json.Bool(true);
    }
}

// Every source or timeline in the tree, grouped by folder, each group in tree order.
void Collect(const FolderItem* folder, ProjectItem::Kind kind, QList<const TimelineItem*>& items)
{
    QList<const FolderItem*> folders;
    for (const ProjectItem* child : folder->Children()) {
        if (child->ItemKind() == kind)
            items.append(static_cast<const TimelineItem*>(child));
        else if (const auto* sub = qobject_cast<const FolderItem*>(child))
            folders.append(sub);
    }
    for (const FolderItem* sub : folders)
        Collect(sub, kind, items);
}

void WriteFolders(JsonStream& json, const FolderItem* folder, const Project& project)
{
    for (const FolderItem* sub : folder->SubFolders()) {
        json.BeginObject();
        WriteId(json, "_id", sub->Id());
        if (sub->Expanded()) {
            json.Key(L("expanded"));
            json.Bool(true);
        }
        json.Key(L("name"));
        json.String(sub->Name());
        if (folder != project.ProjectFolder())
            WriteId(json, "parent_id", folder->Id());
        json.EndObject();
        WriteFolders(json, sub, project);
    }
}

// The "z_bookmarks" entries of one source or timeline: its clips' bookmarks, then its
// background drawing.
void WriteClipBookmarks(JsonStream& json, const QUuid& parent, const Timeline& timeline)
{
    const Track* track = timeline.GetTrack();
    for (int i = 0; track && i < track->ClipCount(); ++i) {
        const Clip* clip = track->ClipAt(i);
        if (clip->FrameBookmarks().isEmpty())
            continue;
        json.BeginObject();
        json.Key(L("clip_index"));
        json.Int(i);
        json.Key(L("frame_data"));
        json.BeginArray();
        for (const FrameBookmark* bookmark : clip->FrameBookmarks())
            WriteBookmark(json, bookmark->Frame(), *bookmark);
        json.EndArray();
        WriteId(json, "parent", parent);
        json.EndObject();
    }
    if (const FrameBookmark* background = timeline.BackgroundAnnotations(); background && background->HasAnnotation()) {
        json.BeginObject();
        json.Key(L("clip_index"));
        json.Int(-1);
        json.Key(L("frame_data"));
        json.BeginArray();
        WriteBookmark(json, 0, *background);
        json.EndArray();
        WriteId(json, "parent", parent);
        json.EndObject();
    }
}

} // namespace

QByteArray Serialise(const Project& project)
{
    QByteArray out;
    out.reserve(1 << 20);
    JsonStream json(out);
    json.BeginObject();
    json.Key(L("_meta"));
    json.BeginObject();
    json.Key(L("format"));
    json.String(kSuffix);
    json.Key(L("version"));
    json.Int(1);
    json.EndObject();

    json.Key(L("_project"));
    json.BeginObject();
    json.Key(L("image_seq_frame_rate"));
    json.Double(ProjectGlobals::ImageSequenceFrameRate());
    json.Key(L("notes"));
    json.String(project.Notes());
    json.Key(L("source_root_dir"));
    json.String(ProjectGlobals::SourceRootDirPath());
    json.Key(L("time_control_frame_offset"));
    json.Int(ProjectGlobals::TimeControlFrameOffset());
    json.EndObject();

    json.Key(L("folders"));
    json.BeginArray();
    json.BeginArray();
    for (const FolderItem* base : project.BaseFolders())
        json.Bool(base->Expanded());
    json.EndArray();
    WriteFolders(json, project.ProjectFolder(), project);
    json.EndArray();

    QList<const TimelineItem*> sourceItems;
    Collect(project.ProjectFolder(), ProjectItem::SourceKind, sourceItems);
    Collect(project.SourcesFolder(), ProjectItem::SourceKind, sourceItems);
    json.Key(L("sources"));
    json.BeginArray();
    for (const TimelineItem* item : sourceItems) {
        const Timeline& timeline = *item->GetTimeline();
        const Source& source = *timeline.GetSource();
        const Placement placement = Place(project, item, project.SourcesFolder(), true);
        json.BeginObject();
        WriteId(json, "_id", item->Id());
        json.Key(L("audio_delay"));
        json.Int(source.AudioDelay());
        json.Key(L("cut_in_frame"));
        json.Int(source.CutInFrame());
        json.Key(L("cut_out_frame"));
        const int32_t cutOut = source.CutOutFrame();
        // Uncut is written -1; a source not parsed (missing media) keeps its cut-out.
        json.Int(source.FrameCount() > 0 && cutOut >= source.FrameCount() - 1 ? -1 : cutOut);
        json.Key(L("hold_annotations"));
        json.Bool(timeline.HoldAnnotations());
        json.Key(L("index"));
        json.Int(placement.index);
        json.Key(L("name"));
        json.String(item->Name());
        json.Key(L("output_id"));
        json.Int(timeline.OutputId());
        WritePanAndParent(json, timeline, placement);
        json.Key(L("path"));
        json.String(source.Path());
        json.Key(L("playback_frame"));
        json.Int(std::max(timeline.PlaybackFrame(), 0));
        json.Key(L("range_bookmarks"));
        json.String(ProjectFileCodec::RangeBookmarksToString(timeline.RangeBookmarks()));
        json.Key(L("relative_path"));
        json.String(source.RelativePath());
        json.Key(L("zoom"));
        json.Double(static_cast<double>(timeline.Zoom()));
        json.EndObject();
    }
    json.EndArray();

    QList<const TimelineItem*> timelineItems;
    Collect(project.ProjectFolder(), ProjectItem::TimelineKind, timelineItems);
    Collect(project.TimelinesFolder(), ProjectItem::TimelineKind, timelineItems);
    json.Key(L("timelines"));
    json.BeginArray();
    for (const TimelineItem* item : timelineItems) {
        const Timeline& timeline = *item->GetTimeline();
        const Placement placement = Place(project, item, project.TimelinesFolder(), false);
        json.BeginObject();
        WriteId(json, "_id", item->Id());
        WriteId(json, "audio_override", timeline.AudioOverrideId());
        json.Key(L("hold_annotations"));
        json.Bool(timeline.HoldAnnotations());
        json.Key(L("index"));
        json.Int(placement.index);
        if (project.DefaultTimelineId() == item->Id()) {
            json.Key(L("is_default"));
            json.Bool(true);
        }
        json.Key(L("name"));
        json.String(item->Name());
        json.Key(L("output_id"));
        json.Int(timeline.OutputId());
        WritePanAndParent(json, timeline, placement);
        json.Key(L("playback_frame"));
        json.Int(std::max(timeline.PlaybackFrame(), 0)); // an empty timeline has none
        json.Key(L("range_bookmarks"));
        json.String(ProjectFileCodec::RangeBookmarksToString(timeline.RangeBookmarks()));
        json.Key(L("range_end_frame"));
        json.Int(timeline.RangeEndFrame());
        json.Key(L("range_start_frame"));
        json.Int(timeline.RangeStartFrame());
        json.Key(L("tracks"));
        json.BeginArray();
        json.BeginObject();
        json.Key(L("clips"));
        json.BeginArray();
        const Track* track = timeline.GetTrack();
        for (int i = 0; track && i < track->ClipCount(); ++i) {
            const Clip* clip = track->ClipAt(i);
            json.BeginObject();
            if (clip->Kind() == ClipKind::Reference && clip->GetSource())
                WriteId(json, "source_id", clip->GetSource()->Id());
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        json.EndArray();
        json.Key(L("use_source_audio_delay"));
        json.Bool(timeline.UseSourceAudioDelay());
        json.Key(L("use_source_in_outs"));
        json.Bool(timeline.UseSourceInOuts());
        json.Key(L("zoom"));
        json.Double(static_cast<double>(timeline.Zoom()));
        json.EndObject();
    }
    json.EndArray();

    json.Key(L("viewer"));
    json.BeginObject();
    json.Key(L("layout"));
    json.Int(ProjectGlobals::ViewerLayout());
    json.EndObject();

    json.Key(L("z_bookmarks"));
    json.BeginArray();
    for (const TimelineItem* item : sourceItems)
        WriteClipBookmarks(json, item->Id(), *item->GetTimeline());
    for (const TimelineItem* item : timelineItems)
        WriteClipBookmarks(json, item->Id(), *item->GetTimeline());
    json.EndArray();
    json.EndObject();
    out.append('\n');
    return out;
}

bool Write(const Project& project)
{
    const QString path = ProjectGlobals::ProjectPath();
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    QDir directory = info.absoluteDir();
    if (!directory.exists() && !directory.mkpath(QStringLiteral("."))) {
        Logger::error(QStringLiteral("Failed to create project directory: %1").arg(directory.absolutePath()));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Logger::error(QStringLiteral("Failed to open project file for write: %1").arg(path));
        return false;
    }
    const QByteArray bytes = Serialise(project);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        Logger::error(QStringLiteral("Failed to open project file for write: %1").arg(path));
        return false;
    }
    return true;
}


namespace {

const QString kDuplicate = QStringLiteral("ID already exists in project... Skipping.");

QUuid ReadId(const QJsonValue& value)
{
    return QUuid::fromString(value.toString());
}

QList<FrameBookmark*> ReadBookmarks(const QJsonArray& frames)
{
    QList<FrameBookmark*> bookmarks;
    for (const QJsonValue& value : frames) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        const int frame = object.value(QStringLiteral("frame")).toInt(-1);
        if (frame < 0)
            continue;
        auto* bookmark = new FrameBookmark(frame);
        for (const QJsonValue& stroke : object.value(QStringLiteral("strokes")).toArray())
            if (stroke.isObject())
                if (const std::optional<AnnotationStroke> read = ProjectFileCodec::StrokeFromJson(stroke.toObject()))
                    bookmark->Strokes().append(*read);
        bookmarks.append(bookmark);
    }
    return bookmarks;
}

// The parent a stored item names: "parent_id", PROJECT for "parent_is_proj".
QUuid ReadParent(const QJsonObject& object, const Project& project)
{
    if (object.value(QStringLiteral("parent_is_proj")).toBool(false))
        return project.ProjectFolder()->Id();
    return ReadId(object.value(QStringLiteral("parent_id")));
}

} // namespace

bool Read(Project& project, const QString& path, bool open)
{
    if (path.endsWith(QLatin1String(".bmk")))
        return ProjectFileLegacy::ReadBookmarkFile(project, path);
    QFile file(path);
    if (!file.exists()) {
        Logger::error(QStringLiteral("Failed to open project. File does not exist: %1").arg(path));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        Logger::error(QStringLiteral("Failed to open project file: %1").arg(path));
        return false;
    }
    return ReadDocument(project, file.readAll(), path, open);
}

bool CanRead(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        Logger::error(QStringLiteral("Failed to open project. File does not exist: %1").arg(path));
        return false;
    }
    if (path.endsWith(QLatin1String(".bmk")))
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        Logger::error(QStringLiteral("Failed to open project file: %1").arg(path));
        return false;
    }
    const QJsonObject meta = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("_meta")).toObject();
    if (meta.isEmpty()) {
        Logger::error(QStringLiteral("Project metadata not found: %1").arg(path));
        return false;
    }
    const QString format = meta.value(QStringLiteral("format")).toString();
    const bool known = path.endsWith(QLatin1String(".plvx")) ? format == QLatin1String("plvx")
                                                              : (format == kSuffix || format == QLatin1String("dorvy"));
    if (!known || meta.value(QStringLiteral("version")).toInt(-1) < 1) {
        Logger::error(QStringLiteral("Unknown file format: %1").arg(path));
        return false;
    }
    return true;
}

bool ReadDocument(Project& project, const QByteArray& bytes, const QString& path, bool open)
{
    const bool older = path.endsWith(QLatin1String(".plvx"));
    const QJsonObject document = QJsonDocument::fromJson(bytes).object();
    const QJsonObject meta = document.value(QStringLiteral("_meta")).toObject();
    if (meta.isEmpty()) {
        Logger::error(QStringLiteral("Project metadata not found: %1").arg(path));
        return false;
    }
    const QString format = meta.value(QStringLiteral("format")).toString();
    const bool known = older ? format == QLatin1String("plvx") : (format == kSuffix || format == QLatin1String("dorvy"));
    if (!known || meta.value(QStringLiteral("version")).toInt(-1) < 1) {
        Logger::error(QStringLiteral("Unknown file format: %1").arg(path));
        return false;
    }
    if (older)
        return ProjectFileLegacy::ReadOlderFormat(project, document, path, open);
    const Settings& settings = Settings::Get();
    if (open) {
        project.SetProjectPath(path);
        const QJsonObject values = document.value(QStringLiteral("_project")).toObject();
        const QString root = values.value(QStringLiteral("source_root_dir")).toString();
        if (root != ProjectGlobals::SourceRootDirPath())
            project.SetSourceRootDirPath(root);
        project.SetImageSequenceFrameRate(values.value(QStringLiteral("image_seq_frame_rate")).toDouble(settings.defaultImageSequenceFrameRate));
        project.SetTimeControlFrameOffset(values.value(QStringLiteral("time_control_frame_offset")).toInt(settings.defaultTimeControlFrameOffset));
        project.SetNotes(values.value(QStringLiteral("notes")).toString());
        ProjectGlobals::SetViewerLayout(document.value(QStringLiteral("viewer")).toObject().value(QStringLiteral("layout")).toInt(0));
    }

    // Folders: the base folders' expanded flags, then user folders, parents before children.
    for (const QJsonValue& value : document.value(QStringLiteral("folders")).toArray()) {
        if (value.isArray()) {
            const QJsonArray flags = value.toArray();
            for (int i = 0; i < std::min<int>(3, static_cast<int>(flags.size())); ++i)
                if (flags.at(i).isBool())
                    project.BaseFolders().at(i)->SetExpanded(flags.at(i).toBool());
            continue;
        }
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        const QUuid id = ReadId(object.value(QStringLiteral("_id")));
        if (project.Item(id)) {
            Logger::warning(kDuplicate);
            continue;
        }
        FolderItem* folder = project.CreateFolder(object.value(QStringLiteral("name")).toString(),
                                                  ReadId(object.value(QStringLiteral("parent_id"))), false, id);
        folder->SetExpanded(object.value(QStringLiteral("expanded")).toBool(false));
    }

    for (const QJsonValue& value : document.value(QStringLiteral("z_bookmarks")).toArray()) {
        const QJsonObject object = value.toObject();
        const QUuid parent = ReadId(object.value(QStringLiteral("parent")));
        if (parent.isNull())
            continue;
        project.AddPendingBookmarks(parent, object.value(QStringLiteral("clip_index")).toInt(0),
                                    ReadBookmarks(object.value(QStringLiteral("frame_data")).toArray()));
    }

    for (const QJsonValue& value : document.value(QStringLiteral("sources")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        SourceProperties record;
        record.id = ReadId(object.value(QStringLiteral("_id")));
        if (project.Item(record.id)) {
            Logger::warning(kDuplicate);
            continue;
        }
        record.parentId = ReadParent(object, project);
        record.index = object.value(QStringLiteral("index")).toInt(-1);
        record.path = object.value(QStringLiteral("path")).toString();
        record.relativePath = object.value(QStringLiteral("relative_path")).toString();
        record.name = object.value(QStringLiteral("name")).toString();
        record.playbackFrame = object.value(QStringLiteral("playback_frame")).toInt(0);
        record.cutInFrame = object.value(QStringLiteral("cut_in_frame")).toInt(0);
        record.cutOutFrame = object.value(QStringLiteral("cut_out_frame")).toInt(0);
        record.audioDelay = object.value(QStringLiteral("audio_delay")).toInteger(0);
        record.outputId = object.value(QStringLiteral("output_id")).toInt(0);
        record.panInterpolation = QPointF(object.value(QStringLiteral("pan_interp_x")).toDouble(0.0),
                                          object.value(QStringLiteral("pan_interp_y")).toDouble(0.0));
        record.zoom = static_cast<float>(object.value(QStringLiteral("zoom")).toDouble(1.0));
        record.panZoomEnabled = settings.restorePanZoomOnProjectLoad && object.value(QStringLiteral("pan_zoom_enabled")).toBool(false);
        record.holdAnnotations = settings.restoreHoldAnnotationsOnProjectLoad && object.value(QStringLiteral("hold_annotations")).toBool(false);
        record.rangeBookmarks = ProjectFileCodec::RangeBookmarksFromString(object.value(QStringLiteral("range_bookmarks")).toString());
        project.CreateSource(record);
    }
    project.BlockingLoad();

    QList<QPair<QUuid, int>> outputs;
    for (const QJsonValue& value : document.value(QStringLiteral("timelines")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        const QUuid id = ReadId(object.value(QStringLiteral("_id")));
        if (project.Item(id)) {
            Logger::warning(kDuplicate);
            continue;
        }
        TimelineItem* item = project.CreateTimeline(object.value(QStringLiteral("name")).toString(), ReadParent(object, project),
                                                    false, id, object.value(QStringLiteral("index")).toInt(-1));
        Timeline* timeline = item->GetTimeline();
        const QJsonArray tracks = object.value(QStringLiteral("tracks")).toArray();
        if (!tracks.isEmpty() && tracks.first().isObject()) {
            QList<Clip*> clips;
            for (const QJsonValue& clip : tracks.first().toObject().value(QStringLiteral("clips")).toArray()) {
                const TimelineItem* source = clip.isObject() ? project.SourceItem(ReadId(clip.toObject().value(QStringLiteral("source_id")))) : nullptr;
                if (source)
                    clips.append(new Clip(ClipKind::Reference, source->GetTimeline()->GetSource()));
            }
            timeline->AppendClips(clips);
        }
        timeline->SetAudioOverrideId(ReadId(object.value(QStringLiteral("audio_override"))));
        const int output = object.value(QStringLiteral("output_id")).toInt(0);
        if (output >= 0)
            outputs.append({item->Id(), output});
        if (object.value(QStringLiteral("is_default")).toBool(false))
            project.SetDefaultTimeline(item->Id());
        timeline->SetPlaybackFrame(object.value(QStringLiteral("playback_frame")).toInt(0));
        timeline->SetPlaybackRange(object.value(QStringLiteral("range_start_frame")).toInt(0),
                                   object.value(QStringLiteral("range_end_frame")).toInt(0));
        timeline->SetPanZoom(QPointF(object.value(QStringLiteral("pan_interp_x")).toDouble(0.0),
                                     object.value(QStringLiteral("pan_interp_y")).toDouble(0.0)),
                             static_cast<float>(object.value(QStringLiteral("zoom")).toDouble(1.0)),
                             settings.restorePanZoomOnProjectLoad && object.value(QStringLiteral("pan_zoom_enabled")).toBool(false));
        timeline->SetUseSourceInOuts(object.value(QStringLiteral("use_source_in_outs")).toBool(true));
        timeline->SetUseSourceAudioDelay(object.value(QStringLiteral("use_source_audio_delay")).toBool(true));
        timeline->SetHoldAnnotations(settings.restoreHoldAnnotationsOnProjectLoad && object.value(QStringLiteral("hold_annotations")).toBool(false));
        project.ApplyPendingBookmarks(item->Id(), timeline);
        for (const RangeBookmark& bookmark :
             ProjectFileCodec::RangeBookmarksFromString(object.value(QStringLiteral("range_bookmarks")).toString()))
            timeline->AddRangeBookmark(bookmark.startFrame, bookmark.endFrame);
    }
    for (const auto& [id, output] : outputs)
        emit project.OpenInViewerRequested(id, output, false);
    project.DiscardPendingBookmarks();
    return true;
}

} // namespace ProjectFile
