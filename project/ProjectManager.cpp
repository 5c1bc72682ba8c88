#include "project/ProjectManager.h"

#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "core/Platform.h"
#include "core/Settings.h"
#include "project/ClientApiHost.h"
#include "project/ClientCommands.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Project.h"
#include "project/ProjectEngine.h"
#include "project/ProjectFile.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"
#include "project/Track.h"
#include "project/commands/AddFolderCmd.h"
#include "project/commands/AddSourceTimelinesCmd.h"
#include "project/commands/AddTimelineCmd.h"
#include "project/commands/DeleteClipCmd.h"
#include "project/commands/DeleteFolderCmd.h"
#include "project/commands/DeleteSourceTimelineCmd.h"
#include "project/commands/DeleteTimelineCmd.h"
#include "project/commands/DuplicateSourceTimelineCmd.h"
#include "project/commands/FrameBookmarkCmd.h"
#include "project/commands/InsertClipCmd.h"
#include "project/commands/MoveProjectItemCmd.h"
#include "project/commands/OpenInViewerCmd.h"
#include "project/commands/RenameProjectItemCmd.h"
#include "project/commands/SetAudioOverrideCmd.h"
#include "project/commands/SetClipOrderCmd.h"
#include "project/commands/SetPlaybackRangeByFrameCmd.h"
#include "project/commands/ToggleRangeBookmarkCmd.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QSet>
#include <QScreen>
#include <QSurfaceFormat>
#include <QSysInfo>

namespace {

// Pushes `group` (a command whose children do the work) unless it has none.
void PushGroup(QUndoStack* stack, QUndoCommand* group)
{
    if (group->childCount() == 0)
        delete group;
    else
        stack->push(group);
}

// The viewers 0..3.
constexpr int kViewers = 4;

} // namespace

ProjectManager::ProjectManager(ProjectEngine* engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_undoStack(new QUndoStack(this))
{
    ResetUndoStack();
    connect(m_undoStack, &QUndoStack::cleanChanged, this, &ProjectManager::OnUndoCleanChanged);
    Install(std::make_unique<Project>());
}

ProjectManager::~ProjectManager()
{
    // Commands keep items taken out of the project; they go before the project does.
    m_undoStack->clear();
    for (const QPointer<Project>& retired : std::as_const(m_retired))
        delete retired.data();
}

void ProjectManager::Install(std::unique_ptr<Project> project)
{
    if (m_project) {
        m_project->disconnect(this);
        for (int viewer = 0; viewer < kViewers; ++viewer)
            if (ItemInViewer(viewer))
                ShowInViewer(QUuid(), viewer, false);
        // Later: a slot of the old project may be what is running now.
        m_retired.removeAll(nullptr);
        m_retired.append(m_project.get());
        m_project.release()->deleteLater();
    }
    m_project = std::move(project);
    Project* p = m_project.get();
    connect(p, &Project::ParseSourceRequested, this, &ProjectManager::OnParseSourceRequested);
    connect(p, &Project::ParseSourceActiveStateChanged, this, &ProjectManager::OnParseSourceActiveStateChanged);
    connect(p, &Project::ProjectUpdated, this, &ProjectManager::ProjectUpdated);
    connect(p, &Project::FolderUpdated, this, &ProjectManager::FolderUpdated);
    connect(p, &Project::TimelineUpdated, this, &ProjectManager::TimelineUpdated);
    // A timeline that plays another's sound plays a copy of its track: remade when it changes.
    connect(p, &Project::TimelineUpdated, this, [this](const QUuid& id) {
        for (TimelineItem* item : m_project->Timelines())
            if (item->GetTimeline()->AudioOverrideId() == id && item->Id() != id)
                item->GetTimeline()->RefreshDecodeCopies();
    });
    connect(p, &Project::DefaultTimelineChanged, this, &ProjectManager::DefaultTimelineChanged);
    connect(p, &Project::ProjectPathChanged, this, &ProjectManager::ProjectPathChanged);
    connect(p, &Project::SourceRootDirPathChanged, this, &ProjectManager::SourceRootDirPathChanged);
    connect(p, &Project::PausePlaybackRequested, this, [this] {
        if (m_engine)
            m_engine->PausePlayback();
        emit PausePlayback();
    });
    connect(p, &Project::OpenInViewerRequested, this, [this](const QUuid& id, int viewer, bool autoPlay) {
        ShowInViewer(id, viewer, autoPlay);
        emit OpenInViewer(id, viewer, autoPlay);
    });
    connect(p, &Project::OpenInViewerReplaceRequested, this,
            [this](const QUuid& id, int viewer) { ShowInViewer(id, viewer, false); });
}

void ProjectManager::ResetUndoStack()
{
    m_undoStack->clear();
    m_undoStack->setUndoLimit(Settings::Get().projectUndoEnabled ? 0 : 1);
}

void ProjectManager::NewProject(bool addDefaultTimeline)
{
    ResetUndoStack();
    Install(std::make_unique<Project>());
    m_unsaved = false;
    const Settings& settings = Settings::Get();
    if (addDefaultTimeline && settings.addDefaultTimeline) {
        auto* command = new AddTimelineCmd(*this, QStringLiteral("Default Timeline"), QUuid());
        m_undoStack->push(command);
        m_project->SetDefaultTimeline(command->Id());
        if (settings.activateDefaultTimeline)
            ShowInViewer(command->Id(), 0, false);
    } else {
        emit ProjectUpdated();
    }
    m_undoStack->clear();
}

bool ProjectManager::OpenProject(const QString& path, bool open)
{
    if (!ProjectFile::CanRead(path))
        return false;
    ResetUndoStack();
    if (open)
        Install(std::make_unique<Project>());
    const bool read = ProjectFile::Read(*m_project, path, open);
    m_undoStack->clear();
    for (TimelineItem* item : m_project->Timelines())
        if (!item->GetTimeline()->AudioOverrideId().isNull())
            ResolveAudioOverride(item->GetTimeline());
    if (!read)
        return false;
    m_unsaved = !open; // an imported project changed this one, off the undo stack
    // The older format and bookmark files are read, not reopened as projects: anything else
    // (read as the current format, whatever its ending) is a project to remember.
    const QString suffix = QFileInfo(path).suffix();
    if (open && suffix != QLatin1String("plvx") && suffix != QLatin1String("bmk"))
        Settings::Get().AddRecentProject(path);
    emit ProjectLoadCompleted();
    return true;
}

bool ProjectManager::SaveProject(const QString& path)
{
    const QString before = ProjectGlobals::ProjectPath();
    const QString target = path.isEmpty() ? before : path;
    if (target.isEmpty())
        return false;
    m_project->SetProjectPath(target);
    if (!ProjectFile::Write(*m_project)) {
        m_project->SetProjectPath(before);
        return false;
    }
    m_undoStack->setClean();
    m_unsaved = false;
    m_project->MarkEverythingSaved();
    emit UndoCleanChanged();
    Settings::Get().AddRecentProject(target);
    return true;
}

bool ProjectManager::IsSaved() const
{
    return m_undoStack->isClean() && !m_unsaved && m_project->IsEverythingSaved();
}

QList<QUuid> ProjectManager::ImportFiles(const QStringList& paths, const ImportOptions& options)
{
    QStringList taken;
    QStringList detected;
    for (const QString& path : paths) {
        if (path.endsWith(QLatin1Char('@')))
            taken.append(path.chopped(1));
        else if (FileHelpers::IsMediaFile(path))
            detected.append(path);
    }
    QStringList names = taken + (options.detectSequences ? FileHelpers::DetectImageSequences(detected) : detected);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    if (names.isEmpty())
        return {};
    // An index counts only in a folder that takes sources and within its children; otherwise
    // the sources are appended in order.
    const FolderItem* parent = m_project->Folder(options.parentId);
    const bool placed = parent && parent->Type() != FolderItem::Timelines && options.index >= 0
                        && options.index <= parent->ChildCount();
    const int index = placed ? options.index : -1;
    QStringList ordered = names;
    if (index >= 0)
        std::reverse(ordered.begin(), ordered.end()); // each inserted at the same index
    QList<SourceProperties> records;
    for (const QString& name : std::as_const(ordered)) {
        SourceProperties record;
        record.id = QUuid::createUuid();
        record.parentId = options.parentId;
        record.index = index;
        record.expandParent = true;
        record.path = name;
        record.cutInFrame = options.cutInFrame;
        record.cutOutFrame = options.cutOutFrame;
        records.append(record);
    }

    m_undoStack->beginMacro(QStringLiteral("AddSources"));
    auto* add = new AddSourceTimelinesCmd(*this, records);
    m_undoStack->push(add);
    QList<QUuid> ids = add->Ids();
    if (index >= 0)
        std::reverse(ids.begin(), ids.end()); // back to the order of the names
    const Timeline* target = RegularTimeline(options.timelineId);
    const Timeline* fallback = options.addToDefaultTimeline ? RegularTimeline(m_project->DefaultTimelineId()) : nullptr;
    int clipIndex = options.clipIndex;
    QUuid shown;
    for (const QUuid& id : std::as_const(ids)) {
        const TimelineItem* item = m_project->SourceItem(id);
        const Clip* clip = item ? item->GetTimeline()->GetTrack()->ClipAt(0) : nullptr;
        if (!clip)
            continue;
        if (target) {
            m_undoStack->push(new InsertClipCmd(*this, options.timelineId, clip->Copy(false, true), clipIndex));
            if (clipIndex >= 0)
                ++clipIndex;
        }
        if (fallback && item->GetTimeline()->FirstVideoSize().isValid())
            m_undoStack->push(new InsertClipCmd(*this, m_project->DefaultTimelineId(), clip->Copy(false, true), -1));
        if (options.outputId >= 0) {
            shown = id;
            if (Settings::Get().resizeToFit && item->GetTimeline()->FirstVideoSize().isValid())
                emit ResizeViewerRequested(item->GetTimeline()->FirstVideoSize().width(), item->GetTimeline()->FirstVideoSize().height());
        }
    }
    if (!shown.isNull() && options.outputId < kViewers)
        m_undoStack->push(new OpenInViewerCmd(*this, shown, options.outputId, options.autoPlay));
    m_undoStack->endMacro();
    return ids;
}

QList<QUuid> ProjectManager::ImportFolder(const QString& folder, const ImportOptions& options)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        const QString file = it.next();
        if (FileHelpers::IsMediaFile(file))
            files.append(file);
    }
    ImportOptions detecting = options;
    detecting.detectSequences = true;
    return ImportFiles(files, detecting);
}

QUuid ProjectManager::AddFolder(const QString& name, const QUuid& parentId, const QList<QUuid>& moveIds)
{
    m_undoStack->beginMacro(QStringLiteral("AddFolder"));
    auto* add = new AddFolderCmd(*this, name, parentId);
    m_undoStack->push(add);
    const QUuid id = add->Id();
    FolderItem* folder = m_project->Folder(id);
    for (const QUuid& moved : moveIds)
        if (m_project->Suits(m_project->Item(moved), folder))
            m_undoStack->push(new MoveProjectItemCmd(*this, moved, id, -1));
    m_undoStack->endMacro();
    return id;
}

QUuid ProjectManager::AddTimeline(const QString& name, const QUuid& parentId)
{
    auto* add = new AddTimelineCmd(*this, name, parentId);
    m_undoStack->push(add);
    return add->Id();
}

void ProjectManager::InsertClips(const QUuid& timelineId, const QList<QUuid>& sourceIds, int index)
{
    const Timeline* timeline = RegularTimeline(timelineId);
    if (!timeline)
        return;
    if (index > timeline->GetTrack()->ClipCount())
        index = -1; // appended, in the given order
    QList<Clip*> clips;
    for (const QUuid& id : sourceIds)
        if (const TimelineItem* source = m_project->SourceItem(id))
            if (const Clip* clip = source->GetTimeline()->GetTrack()->ClipAt(0))
                clips.append(clip->Copy(false, true));
    if (index >= 0)
        std::reverse(clips.begin(), clips.end());
    auto* group = new QUndoCommand(QStringLiteral("InsertClips"));
    for (Clip* clip : std::as_const(clips))
        new InsertClipCmd(*this, timelineId, clip, index, group);
    PushGroup(m_undoStack, group);
}

void ProjectManager::InsertClip(const QUuid& timelineId, const Clip* clip, int index)
{
    if (RegularTimeline(timelineId) && clip)
        m_undoStack->push(new InsertClipCmd(*this, timelineId, clip->Copy(false, true), index));
}

void ProjectManager::DeleteClip(const QUuid& timelineId, int index)
{
    if (const Timeline* timeline = RegularTimeline(timelineId); timeline && timeline->ClipAt(index))
        m_undoStack->push(new DeleteClipCmd(*this, timelineId, index));
}

void ProjectManager::DeleteClips(const QUuid& timelineId, QList<int> indices)
{
    const Timeline* timeline = RegularTimeline(timelineId);
    if (!timeline)
        return;
    std::sort(indices.begin(), indices.end(), std::greater<int>());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    auto* group = new QUndoCommand(QStringLiteral("DeleteClips"));
    for (int index : std::as_const(indices))
        if (timeline->ClipAt(index))
            new DeleteClipCmd(*this, timelineId, index, group);
    PushGroup(m_undoStack, group);
}

void ProjectManager::DeleteSource(const QUuid& id)
{
    if (!m_project->SourceItem(id))
        return;
    m_undoStack->beginMacro(QStringLiteral("DeleteSources"));
    PushDeleteSource(id);
    m_undoStack->endMacro();
}

void ProjectManager::PushDeleteSource(const QUuid& id)
{
    const TimelineItem* item = m_project->SourceItem(id);
    if (!item)
        return;
    if (const int viewer = item->GetTimeline()->OutputId(); viewer >= 0 && viewer < kViewers)
        m_undoStack->push(new OpenInViewerCmd(*this, QUuid(), viewer, false));
    for (const TimelineItem* timeline : m_project->Timelines())
        if (timeline->GetTimeline()->AudioOverrideId() == id)
            m_undoStack->push(new SetAudioOverrideCmd(*this, timeline->Id(), QUuid()));
    for (const TimelineItem* timeline : m_project->Timelines()) {
        const QList<int> indices = timeline->GetTimeline()->GetTrack()->ClipIndicesForSource(id);
        for (auto index = indices.crbegin(); index != indices.crend(); ++index)
            m_undoStack->push(new DeleteClipCmd(*this, timeline->Id(), *index));
    }
    m_undoStack->push(new DeleteSourceTimelineCmd(*this, id));
}

void ProjectManager::DeleteTimeline(const QUuid& id)
{
    if (!RegularTimeline(id))
        return;
    m_undoStack->beginMacro(QStringLiteral("DeleteTimeline"));
    PushDeleteTimeline(id);
    m_undoStack->endMacro();
}

void ProjectManager::PushDeleteTimeline(const QUuid& id)
{
    const Timeline* timeline = RegularTimeline(id);
    if (!timeline)
        return;
    if (const int viewer = timeline->OutputId(); viewer >= 0 && viewer < kViewers)
        m_undoStack->push(new OpenInViewerCmd(*this, QUuid(), viewer, false));
    for (const TimelineItem* other : m_project->Timelines())
        if (other->GetTimeline()->AudioOverrideId() == id)
            m_undoStack->push(new SetAudioOverrideCmd(*this, other->Id(), QUuid()));
    m_undoStack->push(new DeleteTimelineCmd(*this, id));
}

void ProjectManager::DeleteProjectItems(const QList<QUuid>& ids)
{
    QList<QUuid> sources;
    QList<QUuid> timelines;
    QList<FolderItem*> folders;
    auto take = [&](const ProjectItem* item) {
        if (item->ItemKind() == ProjectItem::SourceKind && !sources.contains(item->Id()))
            sources.append(item->Id());
        else if (item->ItemKind() == ProjectItem::TimelineKind && !timelines.contains(item->Id()))
            timelines.append(item->Id());
    };
    for (const QUuid& id : ids) {
        ProjectItem* item = m_project->Item(id);
        if (!item || m_project->BaseFolders().contains(item))
            continue;
        if (auto* folder = qobject_cast<FolderItem*>(item)) {
            if (folders.contains(folder))
                continue;
            folders.append(folder);
            for (const FolderItem* inside : folder->FolderTree())
                for (const ProjectItem* child : inside->Children())
                    if (child->ItemKind() != ProjectItem::FolderKind)
                        take(child);
        } else {
            take(item);
        }
    }
    // A folder inside another selected one goes with it.
    folders.removeIf([&](const FolderItem* folder) {
        return std::any_of(folders.begin(), folders.end(),
                           [&](const FolderItem* other) { return other != folder && other->HasDescendant(folder->Id()); });
    });
    if (sources.isEmpty() && timelines.isEmpty() && folders.isEmpty())
        return;

    m_undoStack->beginMacro(QStringLiteral("DeleteProjectItems"));
    PushClearViewersShowing(sources + timelines);
    for (const QUuid& id : std::as_const(sources))
        PushDeleteSource(id);
    for (const QUuid& id : std::as_const(timelines))
        PushDeleteTimeline(id);
    for (const FolderItem* folder : std::as_const(folders))
        m_undoStack->push(new DeleteFolderCmd(*this, folder->Id()));
    m_undoStack->endMacro();
}

void ProjectManager::PushClearViewersShowing(const QList<QUuid>& ids)
{
    for (int viewer = 0; viewer < kViewers; ++viewer)
        if (const TimelineItem* shown = ItemInViewer(viewer); shown && ids.contains(shown->Id()))
            m_undoStack->push(new OpenInViewerCmd(*this, QUuid(), viewer, false));
}

bool ProjectManager::MoveProjectItems(const QList<QUuid>& ids, const QUuid& targetFolderId, int index)
{
    FolderItem* target = m_project->Folder(targetFolderId);
    if (!target)
        return false;
    QList<ProjectItem*> items;
    for (const QUuid& id : ids) {
        ProjectItem* item = m_project->Item(id);
        if (!item || m_project->BaseFolders().contains(item))
            continue;
        const auto* folder = qobject_cast<const FolderItem*>(item);
        if (folder && folder->HasDescendant(target->Id()))
            return false; // into itself
        if (item != target && !items.contains(item))
            items.append(item);
    }
    // Only the top of the selection moves: what lies in a moved folder goes with it.
    items.removeIf([&](const ProjectItem* item) {
        return std::any_of(items.begin(), items.end(), [&](const ProjectItem* other) {
            const auto* folder = qobject_cast<const FolderItem*>(other);
            return other != item && folder && folder->HasDescendant(item->Id());
        });
    });
    auto* group = new QUndoCommand(QStringLiteral("MoveProjectItems"));
    int at = index;
    for (const ProjectItem* item : std::as_const(items)) {
        if (!m_project->Suits(item, target))
            continue;
        new MoveProjectItemCmd(*this, item->Id(), target->Id(), at, group);
        // The next goes after this one. An item taken from before the place in the same folder
        // leaves a gap there that its own arrival fills: the place stays.
        const bool fromBefore = item->parent() == target && target->IndexOf(item) < at;
        if (at >= 0 && !fromBefore)
            ++at;
    }
    PushGroup(m_undoStack, group);
    return true;
}

void ProjectManager::OpenItemsInViewers(const QList<QUuid>& ids, int firstViewer, bool autoPlay)
{
    if (firstViewer < 0 || firstViewer >= kViewers)
        return;
    auto* group = new QUndoCommand(QStringLiteral("OpenInViewer"));
    int viewer = firstViewer;
    for (const QUuid& id : ids) {
        if (viewer >= kViewers)
            break;
        const TimelineItem* item = m_project->TimelineItemById(id, true);
        if (item && ItemInViewer(viewer) != item)
            new OpenInViewerCmd(*this, id, viewer, autoPlay, group);
        ++viewer;
    }
    PushGroup(m_undoStack, group);
}

void ProjectManager::SwapViewerItems()
{
    const TimelineItem* a = ItemInViewer(0);
    const TimelineItem* b = ItemInViewer(1);
    if (!a && !b)
        return;
    // B's item into A first (it leaves B), then A's former item into B (it leaves A); an item
    // shows in one viewer at a time.
    auto* group = new QUndoCommand(QStringLiteral("OpenInViewer"));
    if (b)
        new OpenInViewerCmd(*this, b->Id(), 0, false, group);
    if (a)
        new OpenInViewerCmd(*this, a->Id(), 1, false, group);
    PushGroup(m_undoStack, group);
}

void ProjectManager::ClearViewers()
{
    auto* group = new QUndoCommand(QStringLiteral("ClearViewers"));
    for (int viewer = 0; viewer < kViewers; ++viewer)
        if (ItemInViewer(viewer))
            new OpenInViewerCmd(*this, QUuid(), viewer, false, group);
    PushGroup(m_undoStack, group);
}

void ProjectManager::RenameItem(const QUuid& id, const QString& name)
{
    const ProjectItem* item = m_project->Item(id);
    if (item && !name.isEmpty() && name != item->Name())
        m_undoStack->push(new RenameProjectItemCmd(*this, id, name));
}

void ProjectManager::SetAudioOverride(const QUuid& timelineId, const QUuid& overrideId)
{
    const Timeline* timeline = RegularTimeline(timelineId);
    if (!timeline || timeline->AudioOverrideId() == overrideId || overrideId == timelineId)
        return;
    // A timeline never ends up playing its own sound through a loop of overrides.
    QSet<QUuid> seen;
    for (QUuid next = overrideId; !next.isNull() && !seen.contains(next); next = AnyTimeline(next) ? AnyTimeline(next)->AudioOverrideId() : QUuid()) {
        if (next == timelineId)
            return;
        seen.insert(next);
    }
    m_undoStack->push(new SetAudioOverrideCmd(*this, timelineId, overrideId));
}

void ProjectManager::SetClipOrder(const QUuid& timelineId, const QList<QUuid>& clipIds)
{
    if (RegularTimeline(timelineId))
        m_undoStack->push(new SetClipOrderCmd(*this, timelineId, clipIds));
}

void ProjectManager::SetPlaybackRangeByFrame(const QUuid& timelineId, int32_t start, int32_t end)
{
    if (AnyTimeline(timelineId))
        m_undoStack->push(new SetPlaybackRangeByFrameCmd(*this, timelineId, start, end));
}

void ProjectManager::ToggleRangeBookmark(const QUuid& timelineId, int32_t start, int32_t end)
{
    if (AnyTimeline(timelineId))
        m_undoStack->push(new ToggleRangeBookmarkCmd(*this, timelineId, start, end));
}

void ProjectManager::ToggleFrameBookmark(const QUuid& timelineId, int32_t frame)
{
    const Timeline* timeline = AnyTimeline(timelineId);
    if (!timeline || !timeline->ClipAtFrame(frame))
        return;
    if (timeline->FrameBookmarkAt(frame))
        m_undoStack->push(new RemoveFrameBookmarkCmd(*this, timelineId, frame));
    else
        m_undoStack->push(new InsertFrameBookmarkCmd(*this, timelineId, frame));
}

void ProjectManager::DuplicateSource(const QUuid& id)
{
    if (m_project->SourceItem(id))
        m_undoStack->push(new DuplicateSourceTimelineCmd(*this, id));
}

void ProjectManager::SetDefaultTimeline(const QUuid& id)
{
    m_project->SetDefaultTimeline(id);
}

void ProjectManager::SetImageSequenceFrameRate(double rate)
{
    m_project->SetImageSequenceFrameRate(rate);
}

void ProjectManager::SetNotes(const QString& notes)
{
    m_project->SetNotes(notes);
}

void ProjectManager::SetProjectPath(const QString& path)
{
    m_project->SetProjectPath(path);
}

void ProjectManager::SetSourceRootDirPath(const QString& path, bool relink)
{
    m_project->SetSourceRootDirPath(path, relink);
}

void ProjectManager::SetTimeControlFrameOffset(int offset)
{
    m_project->SetTimeControlFrameOffset(offset);
}

void ProjectManager::SetFolderExpanded(const QUuid& id, bool expanded)
{
    if (FolderItem* folder = m_project->Folder(id); folder && folder->Expanded() != expanded)
        folder->SetExpanded(expanded);
}

void ProjectManager::CopySourcePath(const QUuid& id) const
{
    const TimelineItem* item = m_project->SourceItem(id);
    const QString path = item ? item->GetTimeline()->GetSource()->Path() : QString();
    if (path.isEmpty() || !QFileInfo::exists(path) || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    QGuiApplication::clipboard()->setText(QFileInfo(path).absoluteFilePath());
}

void ProjectManager::ShowSourceInFileBrowser(const QUuid& id) const
{
    const TimelineItem* item = m_project->SourceItem(id);
    if (!item)
        return;
    const Source* source = item->GetTimeline()->GetSource();
    // A sequence is shown by its first frame.
    const QString path = source->FileCount() > 0 ? source->FilePaths().value(0) : source->Path();
    if (QFileInfo::exists(path))
        Platform::RevealInFileBrowser(QFileInfo(path).absoluteFilePath());
}

Timeline* ProjectManager::RegularTimeline(const QUuid& id) const
{
    const TimelineItem* item = m_project->TimelineItemById(id, false);
    return item ? item->GetTimeline() : nullptr;
}

Timeline* ProjectManager::AnyTimeline(const QUuid& id) const
{
    const TimelineItem* item = m_project->TimelineItemById(id, true);
    return item ? item->GetTimeline() : nullptr;
}

QUuid ProjectManager::IdOf(const Timeline* timeline) const
{
    if (!timeline)
        return {};
    for (const auto* map : {&m_project->Timelines(), &m_project->Sources()})
        for (const TimelineItem* item : *map)
            if (item->GetTimeline() == timeline)
                return item->Id();
    return {};
}

TimelineItem* ProjectManager::ItemInViewer(int viewer) const
{
    if (viewer < 0)
        return nullptr;
    for (const auto* map : {&m_project->Timelines(), &m_project->Sources()})
        for (TimelineItem* item : *map)
            if (item->GetTimeline()->OutputId() == viewer)
                return item;
    return nullptr;
}

void ProjectManager::ShowInViewer(const QUuid& id, int viewer, bool autoPlay)
{
    if (viewer < 0 || viewer >= kViewers)
        return;
    TimelineItem* item = m_project->TimelineItemById(id, true);
    TimelineItem* shown = ItemInViewer(viewer);
    if (m_engine)
        m_engine->ShowInViewer(item ? item->GetTimeline() : nullptr, viewer, autoPlay);
    if (shown && shown != item)
        shown->GetTimeline()->SetOutputId(-1);
    if (item)
        item->GetTimeline()->SetOutputId(viewer);
}

void ProjectManager::OnParseSourceRequested(TimelineItem* timelineItem)
{
    if (!timelineItem)
        return;
    // A path that names no file has nothing to probe, and an engine that cannot take the parse
    // (shutting down) will not answer: the queue moves on without it, so a blocking load ends.
    if (!m_engine || timelineItem->GetTimeline()->GetSource()->FileCount() == 0
        || !m_engine->ParseSource(timelineItem->GetTimeline())) {
        QMetaObject::invokeMethod(
            m_project.get(), [project = QPointer<Project>(m_project.get()), id = timelineItem->Id()] {
                if (project)
                    project->OnSourceParsed(id);
            },
            Qt::QueuedConnection);
        return;
    }
}

void ProjectManager::LogSystemInformation(const QString& rendererLine) const
{
    const Settings& settings = Settings::Get();
    QString text = QStringLiteral("%1 v%2\n\n").arg(QStringLiteral("Plovex"), QCoreApplication::applicationVersion());
#ifdef Q_OS_WIN
    const QString system = QStringLiteral("Windows");
#else
    QString system = QSysInfo::productType();
    if (!system.isEmpty())
        system[0] = system[0].toUpper();
#endif
    text += QStringLiteral("%1 %2\n").arg(system, QSysInfo::productVersion());
    text += rendererLine;
    QStringList monitors;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        for (const QScreen* screen : QGuiApplication::screens())
            monitors.append(QStringLiteral("%1x%2 (%3)")
                                .arg(screen->size().width())
                                .arg(screen->size().height())
                                .arg(screen->devicePixelRatio()));
    text += QStringLiteral("Monitors: %1\n").arg(monitors.join(QStringLiteral(" : ")));
    text += QStringLiteral("Cache Size: %1\n").arg(settings.cacheSize);
    const QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    text += QStringLiteral("VSync: %1 (%2)\n").arg(format.swapInterval()).arg(int(format.swapBehavior()));
    text += QStringLiteral("GTC: %1 (%2)\n").arg(int(settings.globalTimeControlVisible)).arg(int(settings.globalTimeControlPositionTop));
    text += QStringLiteral("RTC: %1 (%2)\n").arg(int(settings.rangeTimeControlVisible)).arg(int(settings.rangeTimeControlPositionTop));
    text += QStringLiteral("Port: %1 (%2)\n").arg(settings.clientApiPort).arg(int(settings.clientApiPortEnabled));
    text += QStringLiteral("Maya CommandPort: %1\n").arg(settings.mayaCommandPort);
    Logger::output(text);
}

void ProjectManager::OnParseSourceActiveStateChanged(bool isActive)
{
    emit BlockUserInputChanged(isActive);
}

void ProjectManager::OnUndoCleanChanged()
{
    emit UndoCleanChanged();
}

void ProjectManager::ResolveAudioOverride(Timeline* timeline)
{
    if (!timeline || timeline->IsSourceTimeline())
        return;
    const TimelineItem* item = m_project->TimelineItemById(timeline->AudioOverrideId(), true);
    Timeline* override = item && item->GetTimeline() != timeline ? item->GetTimeline() : nullptr;
    timeline->SetAudioOverrideTimeline(override);
    timeline->RefreshDecodeCopies();
    emit UpdateAudioOverride(timeline);
}

void ProjectManager::OnExecuteCmd(const QString& body)
{
    // An export asked for has not started yet: it counts as running, and drops the request.
    if (!m_clientApiHost || m_clientExportPending)
        return;
    if (!m_clientCommands)
        m_clientCommands = std::make_unique<ClientCommands>(*this);
    const ClientCommands::Outcome outcome = m_clientCommands->Execute(body, *m_clientApiHost);
    if (!outcome.reply.isNull())
        m_clientApiHost->Write(outcome.reply);
    if (outcome.exportQueued) {
        // From the event loop, once this request is over: an export that runs the event loop
        // (a viewer capture) must not run inside the request, where the server holds back
        // further requests instead of dropping them.
        m_clientExportPending = true;
        QMetaObject::invokeMethod(
            this,
            [this, properties = outcome.exportProperties] {
                m_clientExportPending = false;
                emit ExportRequested(properties);
            },
            Qt::QueuedConnection);
    }
    if (outcome.ran) {
        // The client changed the project behind the user's back: nothing of it can be undone
        // safely, and it needs saving.
        m_undoStack->clear();
        m_unsaved = true;
        emit UndoCleanChanged();
    }
}
