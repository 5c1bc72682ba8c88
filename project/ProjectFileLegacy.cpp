#include "project/ProjectFileLegacy.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectFileCodec.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QSettings>

#include <algorithm>

namespace ProjectFileLegacy {

namespace {

// Passes of moving items into their stored folders; a folder may be placed only after its
// own parent.
constexpr int kPlacementPasses = 250;

QUuid ReadId(const QJsonValue& value)
{
    return QUuid::fromString(value.toString());
}

struct Placement
{
    ProjectItem* item;
    QUuid parentId;
    int index;
};

void PlaceItems(Project& project, QList<Placement> pending)
{
    for (int pass = 0; pass < kPlacementPasses && !pending.isEmpty(); ++pass) {
        std::stable_sort(pending.begin(), pending.end(), [](const Placement& a, const Placement& b) { return a.index < b.index; });
        QList<Placement> waiting;
        for (const Placement& placement : std::as_const(pending)) {
            FolderItem* parent = project.Folder(placement.parentId);
            if (!parent || !project.Suits(placement.item, parent)) {
                waiting.append(placement);
                continue;
            }
            if (auto* current = qobject_cast<FolderItem*>(placement.item->parent()))
                current->RemoveChild(placement.item);
            parent->InsertChild(placement.item, placement.index);
        }
        if (waiting.size() == pending.size())
            break; // no parent appeared: the rest stay where they are
        pending = waiting;
    }
}

QList<FrameBookmark*> OlderBookmarks(const QJsonArray& array)
{
    QList<FrameBookmark*> bookmarks;
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        const int frame = object.value(QStringLiteral("frame")).toInt(0);
        if (frame < 1)
            continue;
        auto* bookmark = new FrameBookmark(frame - 1);
        for (const QJsonValue& stroke : object.value(QStringLiteral("strokes")).toArray()) {
            QJsonObject copy = stroke.toObject();
            copy.remove(QStringLiteral("path"));
            if (const std::optional<AnnotationStroke> read = ProjectFileCodec::StrokeFromJson(copy))
                bookmark->Strokes().append(*read);
        }
        bookmarks.append(bookmark);
    }
    return bookmarks;
}

} // namespace

bool ReadOlderFormat(Project& project, const QJsonObject& document, const QString& path, bool open)
{
    const Settings& settings = Settings::Get();
    if (open) {
        project.SetProjectPath(path);
        const int layout = document.value(QStringLiteral("viewer")).toObject().value(QStringLiteral("layout")).toInt(0);
        ProjectGlobals::SetViewerLayout(layout == 1 ? 2 : layout == 2 ? 3 : 1);
        const QJsonObject values = document.value(QStringLiteral("project")).toObject();
        QString root = values.value(QStringLiteral("source_root_dir")).toString();
        if (root == QLatin1String("[PROJECT_DIR]"))
            root.clear();
        if (root != ProjectGlobals::SourceRootDirPath())
            project.SetSourceRootDirPath(root);
        project.SetImageSequenceFrameRate(values.value(QStringLiteral("sequence_frame_rate")).toDouble(settings.defaultImageSequenceFrameRate));
        project.SetNotes(values.value(QStringLiteral("notes")).toString());
        project.SetTimeControlFrameOffset(1);
    }
    QList<Placement> placements;
    auto remember = [&](ProjectItem* item, const QJsonObject& object) {
        const QUuid parent = ReadId(object.value(QStringLiteral("parent_id")));
        if (!parent.isNull())
            placements.append({item, parent, object.value(QStringLiteral("index")).toInt(-1)});
    };
    for (const QJsonValue& value : document.value(QStringLiteral("folders")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        const QUuid id = ReadId(object.value(QStringLiteral("_id")));
        if (project.Item(id)) {
            Logger::warning(QStringLiteral("Folder ID already exists in project... Skipping."));
            continue;
        }
        FolderItem* folder = project.CreateFolder(object.value(QStringLiteral("name")).toString(), QUuid(), false, id);
        folder->SetExpanded(object.value(QStringLiteral("expanded")).toBool(false));
        remember(folder, object);
    }
    QList<QPair<TimelineItem*, QJsonObject>> sources;
    for (const QJsonValue& value : document.value(QStringLiteral("sources")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        SourceProperties record;
        record.id = ReadId(object.value(QStringLiteral("_id")));
        if (project.Item(record.id)) {
            Logger::warning(QStringLiteral("Source ID already exists in project... Skipping."));
            continue;
        }
        record.path = object.value(QStringLiteral("path")).toString();
        record.relativePath = object.value(QStringLiteral("relative_path")).toString();
        record.name = object.value(QStringLiteral("name")).toString();
        record.playbackFrame = std::max(object.value(QStringLiteral("frame")).toInt(1) - 1, 0);
        const int start = object.value(QStringLiteral("range_start")).toInt(0);
        const int end = object.value(QStringLiteral("range_end")).toInt(0);
        record.cutInFrame = start >= 1 ? start - 1 : 0;
        record.cutOutFrame = end >= 1 ? end - 1 : -1;
        record.outputId = object.value(QStringLiteral("viewer_index")).toInt(-1);
        record.panInterpolation = QPointF(object.value(QStringLiteral("pan_interp_x")).toDouble(0.0),
                                          object.value(QStringLiteral("pan_interp_y")).toDouble(0.0));
        record.zoom = static_cast<float>(object.value(QStringLiteral("zoom")).toDouble(1.0));
        record.panZoomEnabled = settings.restorePanZoomOnProjectLoad && object.value(QStringLiteral("pan_zoom_enabled")).toBool(false);
        for (const QJsonValue& range : object.value(QStringLiteral("bookmarks_range")).toArray()) {
            const int s = range.toObject().value(QStringLiteral("frame_start")).toInt(0);
            const int e = range.toObject().value(QStringLiteral("frame_end")).toInt(0);
            if (s >= 1 && e >= 1)
                record.rangeBookmarks.append({s - 1, e - 1});
        }
        TimelineItem* item = project.CreateSource(record);
        if (!item)
            continue;
        project.AddPendingBookmarks(item->Id(), 0, OlderBookmarks(object.value(QStringLiteral("bookmarks")).toArray()));
        remember(item, object);
    }
    project.BlockingLoad();
    QList<QPair<QUuid, int>> outputs;
    for (const QJsonValue& value : document.value(QStringLiteral("timelines")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        const QUuid id = ReadId(object.value(QStringLiteral("_id")));
        if (project.Item(id)) {
            Logger::warning(QStringLiteral("ID already exists in project... Skipping."));
            continue;
        }
        TimelineItem* item = project.CreateTimeline(object.value(QStringLiteral("name")).toString(), QUuid(), false, id);
        Timeline* timeline = item->GetTimeline();
        QList<Clip*> clips;
        for (const QJsonValue& element : object.value(QStringLiteral("elements")).toArray())
            if (const TimelineItem* source = project.SourceItem(ReadId(element.toObject().value(QStringLiteral("source_id")))))
                clips.append(new Clip(ClipKind::Reference, source->GetTimeline()->GetSource()));
        timeline->AppendClips(clips);
        timeline->SetUseSourceInOuts(object.value(QStringLiteral("use_source_in_outs")).toBool(true));
        const int start = object.value(QStringLiteral("range_start")).toInt(0);
        const int end = object.value(QStringLiteral("range_end")).toInt(0);
        if (start >= 1 && end >= 1)
            timeline->SetPlaybackRange(start - 1, end - 1);
        timeline->SetPlaybackFrame(std::max(object.value(QStringLiteral("frame")).toInt(1) - 1, 0));
        timeline->SetPanZoom(QPointF(object.value(QStringLiteral("pan_interp_x")).toDouble(0.0),
                                     object.value(QStringLiteral("pan_interp_y")).toDouble(0.0)),
                             static_cast<float>(object.value(QStringLiteral("zoom")).toDouble(1.0)),
                             settings.restorePanZoomOnProjectLoad && object.value(QStringLiteral("pan_zoom_enabled")).toBool(false));
        if (object.value(QStringLiteral("default")).toBool(false))
            project.SetDefaultTimeline(item->Id());
        const int output = object.value(QStringLiteral("viewer_index")).toInt(-1);
        if (output >= 0)
            outputs.append({item->Id(), output});
        remember(item, object);
    }
    PlaceItems(project, placements);
    for (const auto& [id, output] : outputs)
        emit project.OpenInViewerRequested(id, output, false);
    project.DiscardPendingBookmarks();
    return true;
}

bool ReadBookmarkFile(Project& project, const QString& path)
{
    if (!QFileInfo::exists(path)) {
        Logger::error(QStringLiteral("Failed to open project. File does not exist: %1").arg(path));
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("main"));
    SourceProperties record;
    record.path = file.value(QStringLiteral("mediaPath")).toString();
    record.playbackFrame = std::max(file.value(QStringLiteral("current"), 0).toInt() - 1, 0);
    record.cutInFrame = std::max(file.value(QStringLiteral("start"), 0).toInt() - 1, 0);
    const int end = file.value(QStringLiteral("end"), 0).toInt();
    record.cutOutFrame = end >= 1 ? end - 1 : -1;
    QList<int> frames;
    for (const QString& part : file.value(QStringLiteral("frames")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int frame = part.trimmed().toInt(&ok);
        if (ok && frame >= 1)
            frames.append(frame - 1);
    }
    for (const QString& range : file.value(QStringLiteral("ranges")).toStringList()) {
        const QStringList ends = range.split(QLatin1Char(','), Qt::SkipEmptyParts);
        bool startOk = false;
        bool endOk = false;
        const int s = ends.value(0).trimmed().toInt(&startOk);
        const int e = ends.value(1).trimmed().toInt(&endOk);
        if (ends.size() == 2 && startOk && endOk)
            record.rangeBookmarks.append({s - 1, e - 1});
    }
    file.endGroup();
    TimelineItem* item = project.CreateSource(record);
    if (!item)
        return true;
    project.BlockingLoad();
    for (int frame : std::as_const(frames))
        item->GetTimeline()->AddFrameBookmark(frame);
    emit project.OpenInViewerRequested(item->Id(), 0, false);
    return true;
}

} // namespace ProjectFileLegacy
