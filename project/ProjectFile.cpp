#include "project/ProjectFile.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
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

QString Id(const QUuid& id)
{
    return id.toString(QUuid::WithBraces);
}

QJsonArray BookmarkStrokes(const FrameBookmark& bookmark)
{
    QJsonArray strokes;
    for (const AnnotationStroke& stroke : bookmark.Strokes())
        strokes.append(ProjectFileCodec::StrokeToJson(stroke));
    return strokes;
}

QJsonObject Bookmark(int32_t frame, const FrameBookmark& bookmark)
{
    return QJsonObject{{QStringLiteral("frame"), frame}, {QStringLiteral("strokes"), BookmarkStrokes(bookmark)}};
}

// The placement keys every source and timeline object carries.
void Place(QJsonObject& object, const Project& project, const ProjectItem* item, const FolderItem* home, bool sourceIndex)
{
    const auto* parent = qobject_cast<const FolderItem*>(item->parent());
    if (parent == project.ProjectFolder())
        object.insert(QStringLiteral("parent_is_proj"), true);
    else if (parent && parent != home)
        object.insert(QStringLiteral("parent_id"), Id(parent->Id()));
    object.insert(QStringLiteral("index"), parent ? (sourceIndex ? parent->SourceIndexOf(item) : parent->IndexOf(item)) : -1);
}

void PanZoom(QJsonObject& object, const Timeline& timeline)
{
    object.insert(QStringLiteral("pan_interp_x"), timeline.PanInterpolation().x());
    object.insert(QStringLiteral("pan_interp_y"), timeline.PanInterpolation().y());
    object.insert(QStringLiteral("zoom"), static_cast<double>(timeline.Zoom()));
    object.insert(QStringLiteral("pan_zoom_enabled"), timeline.PanZoomEnabled());
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

void Folders(const FolderItem* folder, const Project& project, QJsonArray& out)
{
    for (const FolderItem* sub : folder->SubFolders()) {
        QJsonObject object{{QStringLiteral("_id"), Id(sub->Id())}, {QStringLiteral("name"), sub->Name()}};
        if (folder != project.ProjectFolder())
            object.insert(QStringLiteral("parent_id"), Id(folder->Id()));
        if (sub->Expanded())
            object.insert(QStringLiteral("expanded"), true);
        out.append(object);
        Folders(sub, project, out);
    }
}

void ClipBookmarks(const QUuid& parent, const Timeline& timeline, QJsonArray& out)
{
    const Track* track = timeline.GetTrack();
    for (int i = 0; track && i < track->ClipCount(); ++i) {
        const Clip* clip = track->ClipAt(i);
        if (clip->FrameBookmarks().isEmpty())
            continue;
        QJsonArray frames;
        for (const FrameBookmark* bookmark : clip->FrameBookmarks())
            frames.append(Bookmark(bookmark->Frame(), *bookmark));
        out.append(QJsonObject{{QStringLiteral("parent"), Id(parent)},
                               {QStringLiteral("clip_index"), i},
                               {QStringLiteral("frame_data"), frames}});
    }
    if (const FrameBookmark* background = timeline.BackgroundAnnotations(); background && background->HasAnnotation())
        out.append(QJsonObject{{QStringLiteral("parent"), Id(parent)},
                               {QStringLiteral("clip_index"), -1},
                               {QStringLiteral("frame_data"), QJsonArray{Bookmark(0, *background)}}});
}

} // namespace

QByteArray Serialise(const Project& project)
{
    QJsonObject document;
    document.insert(QStringLiteral("_meta"), QJsonObject{{QStringLiteral("format"), kSuffix}, {QStringLiteral("version"), 1}});
    document.insert(QStringLiteral("_project"),
                    QJsonObject{{QStringLiteral("source_root_dir"), ProjectGlobals::SourceRootDirPath()},
                                {QStringLiteral("image_seq_frame_rate"), ProjectGlobals::ImageSequenceFrameRate()},
                                {QStringLiteral("time_control_frame_offset"), ProjectGlobals::TimeControlFrameOffset()},
                                {QStringLiteral("notes"), project.Notes()}});

    QJsonArray folders{QJsonArray{project.ProjectFolder()->Expanded(), project.SourcesFolder()->Expanded(),
                                  project.TimelinesFolder()->Expanded()}};
    Folders(project.ProjectFolder(), project, folders);
    document.insert(QStringLiteral("folders"), folders);

    QJsonArray bookmarks;
    QList<const TimelineItem*> sourceItems;
    Collect(project.ProjectFolder(), ProjectItem::SourceKind, sourceItems);
    Collect(project.SourcesFolder(), ProjectItem::SourceKind, sourceItems);
    QJsonArray sources;
    for (const TimelineItem* item : sourceItems) {
        const Timeline& timeline = *item->GetTimeline();
        const Source& source = *timeline.GetSource();
        QJsonObject object{{QStringLiteral("_id"), Id(item->Id())}};
        Place(object, project, item, project.SourcesFolder(), true);
        object.insert(QStringLiteral("name"), item->Name());
        object.insert(QStringLiteral("path"), source.Path());
        object.insert(QStringLiteral("relative_path"), source.RelativePath());
        object.insert(QStringLiteral("playback_frame"), std::max(timeline.PlaybackFrame(), 0)); // an empty timeline has none
        object.insert(QStringLiteral("cut_in_frame"), source.CutInFrame());
        const int32_t cutOut = source.CutOutFrame();
        object.insert(QStringLiteral("cut_out_frame"), cutOut >= source.FrameCount() - 1 ? -1 : cutOut);
        object.insert(QStringLiteral("audio_delay"), static_cast<qint64>(source.AudioDelay()));
        object.insert(QStringLiteral("output_id"), timeline.OutputId());
        PanZoom(object, timeline);
        object.insert(QStringLiteral("hold_annotations"), timeline.HoldAnnotations());
        object.insert(QStringLiteral("range_bookmarks"), ProjectFileCodec::RangeBookmarksToString(timeline.RangeBookmarks()));
        sources.append(object);
        ClipBookmarks(item->Id(), timeline, bookmarks);
    }
    document.insert(QStringLiteral("sources"), sources);

    QList<const TimelineItem*> timelineItems;
    Collect(project.ProjectFolder(), ProjectItem::TimelineKind, timelineItems);
    Collect(project.TimelinesFolder(), ProjectItem::TimelineKind, timelineItems);
    QJsonArray timelines;
    for (const TimelineItem* item : timelineItems) {
        const Timeline& timeline = *item->GetTimeline();
        QJsonObject object{{QStringLiteral("_id"), Id(item->Id())}};
        Place(object, project, item, project.TimelinesFolder(), false);
        if (project.DefaultTimelineId() == item->Id())
            object.insert(QStringLiteral("is_default"), true);
        object.insert(QStringLiteral("name"), item->Name());
        object.insert(QStringLiteral("playback_frame"), std::max(timeline.PlaybackFrame(), 0)); // an empty timeline has none
        object.insert(QStringLiteral("range_start_frame"), timeline.RangeStartFrame());
        object.insert(QStringLiteral("range_end_frame"), timeline.RangeEndFrame());
        object.insert(QStringLiteral("audio_override"), Id(timeline.AudioOverrideId()));
        object.insert(QStringLiteral("output_id"), timeline.OutputId());
        PanZoom(object, timeline);
        object.insert(QStringLiteral("use_source_in_outs"), timeline.UseSourceInOuts());
        object.insert(QStringLiteral("use_source_audio_delay"), timeline.UseSourceAudioDelay());
        object.insert(QStringLiteral("hold_annotations"), timeline.HoldAnnotations());
        QJsonArray clips;
        const Track* track = timeline.GetTrack();
        for (int i = 0; track && i < track->ClipCount(); ++i) {
            const Clip* clip = track->ClipAt(i);
            QJsonObject entry;
            if (clip->Kind() == ClipKind::Reference && clip->GetSource())
                entry.insert(QStringLiteral("source_id"), Id(clip->GetSource()->Id()));
            clips.append(entry);
        }
        object.insert(QStringLiteral("tracks"), QJsonArray{QJsonObject{{QStringLiteral("clips"), clips}}});
        object.insert(QStringLiteral("range_bookmarks"), ProjectFileCodec::RangeBookmarksToString(timeline.RangeBookmarks()));
        timelines.append(object);
        ClipBookmarks(item->Id(), timeline, bookmarks);
    }
    document.insert(QStringLiteral("timelines"), timelines);
    document.insert(QStringLiteral("viewer"), QJsonObject{{QStringLiteral("layout"), ProjectGlobals::ViewerLayout()}});
    document.insert(QStringLiteral("z_bookmarks"), bookmarks);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
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
            for (const QJsonValue& clip : tracks.first().toObject().value(QStringLiteral("clips")).toArray()) {
                const TimelineItem* source = clip.isObject() ? project.SourceItem(ReadId(clip.toObject().value(QStringLiteral("source_id")))) : nullptr;
                if (source)
                    timeline->InsertClip(new Clip(ClipKind::Reference, source->GetTimeline()->GetSource()), -1);
            }
        }
        timeline->SetAudioOverrideId(ReadId(object.value(QStringLiteral("audio_override"))));
        const int output = object.value(QStringLiteral("output_id")).toInt(0);
        if (output >= 0)
            outputs.append({item->Id(), output});
        if (object.value(QStringLiteral("is_default")).toBool(false))
            project.SetDefaultTimeline(item->Id());
        timeline->SetPlaybackRange(object.value(QStringLiteral("range_start_frame")).toInt(0),
                                   object.value(QStringLiteral("range_end_frame")).toInt(0));
        timeline->SetPlaybackFrame(object.value(QStringLiteral("playback_frame")).toInt(0));
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
