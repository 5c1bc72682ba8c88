#include "project/Project.h"

#include "core/FileHelpers.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AvParser.h"
#include "project/Clip.h"
#include "project/FolderItem.h"
#include "project/FrameBookmark.h"
#include "project/Track.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "project/TimelineItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

Project::Project(QObject* parent)
    : QObject(parent)
{
    for (const auto& [name, type] : {std::pair{QStringLiteral("PROJECT"), FolderItem::General},
                                     std::pair{QStringLiteral("SOURCES"), FolderItem::Sources},
                                     std::pair{QStringLiteral("TIMELINES"), FolderItem::Timelines}}) {
        auto* folder = new FolderItem(name, type, QUuid(), this);
        folder->SetExpanded(true);
        m_baseFolders.append(folder);
    }
    qRegisterMetaType<TimelineItem*>();
    ProjectGlobals::ResetFromSettings();
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &Project::OnFileChanged);
}

Project::~Project()
{
    DiscardPendingBookmarks();
}

void Project::Finalise(TimelineItem* item, const SourceProperties& properties)
{
    Timeline* timeline = item->GetTimeline();
    Source* source = timeline->GetSource();
    if (!source)
        return;
    timeline->SetPlaybackFrame(properties.playbackFrame);
    if (properties.cutInFrame != 0 || properties.cutOutFrame >= 0)
        source->SetCutInOutFrames(properties.cutInFrame, properties.cutOutFrame);
    timeline->SetPlaybackRange(properties.cutInFrame, properties.cutOutFrame);
    timeline->SetAudioDelay(properties.audioDelay);
    timeline->SetPanZoom(properties.panInterpolation, properties.zoom, properties.panZoomEnabled);
    timeline->SetHoldAnnotations(properties.holdAnnotations);
    for (const RangeBookmark& bookmark : properties.rangeBookmarks)
        timeline->AddRangeBookmark(bookmark.startFrame, bookmark.endFrame);
    ApplyPendingBookmarks(item->Id(), timeline);
    m_replacing.remove(item->Id());
    // A file that changed again while its first replacement was parsed has two replacements
    // queued: the later one takes the place of the earlier.
    if (TimelineItem* old = properties.replaces.isNull() ? nullptr : CurrentReplacement(properties.replaces)) {
        FinishReplacing(old, item);
        return;
    }
    if (properties.outputId >= 0)
        emit OpenInViewerRequested(item->Id(), properties.outputId, false);
}

void Project::ReplaceSource(TimelineItem* item, const QStringList& files)
{
    QStringList media;
    for (const QString& file : files)
        if (FileHelpers::IsMediaFile(file))
            media.append(file);
    const QStringList paths = FileHelpers::ResolveSequencePaths(media);
    if (paths.isEmpty() || !item || !item->IsSource())
        return;
    emit PausePlaybackRequested();
    const Timeline* timeline = item->GetTimeline();
    const Source* source = timeline->GetSource();
    const auto* parent = qobject_cast<const FolderItem*>(item->parent());
    SourceProperties record;
    record.path = paths.first();
    record.parentId = parent ? parent->Id() : QUuid();
    record.index = parent ? parent->IndexOf(item) + 1 : -1; // beside it, until it is gone
    if (item->Name() != QFileInfo(source->Path()).fileName())
        record.name = item->Name();
    record.playbackFrame = timeline->PlaybackFrame();
    const bool uncut = source->CutInFrame() == 0 && source->CutOutFrame() < 0;
    record.cutInFrame = uncut ? 0 : source->CutInFrame();
    record.cutOutFrame = uncut ? -1 : source->CutOutFrame();
    record.audioDelay = source->AudioDelay();
    record.panInterpolation = timeline->PanInterpolation();
    record.zoom = timeline->Zoom();
    record.panZoomEnabled = timeline->PanZoomEnabled();
    record.holdAnnotations = timeline->HoldAnnotations();
    record.replaces = item->Id();
    if (TimelineItem* replacement = CreateSource(record))
        m_replacing.insert(replacement->Id());
    QueuePendingSources();
}

void Project::FinishReplacing(TimelineItem* old, TimelineItem* replacement)
{
    Source* oldSource = old->GetTimeline()->GetSource();
    Source* newSource = replacement->GetTimeline()->GetSource();
    // The viewers that show the old source or a timeline using it let go first.
    QList<QPair<TimelineItem*, int>> shown;
    if (old->GetTimeline()->OutputId() >= 0)
        shown.append({replacement, old->GetTimeline()->OutputId()});
    // Timelines kept out of the tree by undo commands play the source too, once put back.
    QList<Timeline*> users;
    for (Timeline* timeline : std::as_const(m_regularTimelines))
        if (timeline->GetTrack() && timeline->GetTrack()->HasSource(oldSource->Id()))
            users.append(timeline);
    for (TimelineItem* item : std::as_const(m_timelines))
        if (users.contains(item->GetTimeline()) && item->GetTimeline()->OutputId() >= 0)
            shown.append({item, item->GetTimeline()->OutputId()});
    for (const auto& [item, viewer] : std::as_const(shown))
        emit OpenInViewerReplaceRequested(QUuid(), viewer);

    for (Timeline* timeline : std::as_const(users)) {
        Track* track = timeline->GetTrack();
        for (Clip* clip : track->Clips())
            if (clip->GetSource() == oldSource)
                clip->SetSource(newSource);
        track->Layout();
        timeline->OnTrackUpdated();
    }
    // The source's own bookmarks and drawings go with it.
    Timeline* from = old->GetTimeline();
    Timeline* to = replacement->GetTimeline();
    for (const RangeBookmark& bookmark : from->RangeBookmarks())
        to->AddRangeBookmark(bookmark.startFrame, bookmark.endFrame);
    if (Clip* oldClip = from->GetTrack()->ClipAt(0); oldClip && !oldClip->FrameBookmarks().isEmpty())
        if (Clip* newClip = to->GetTrack()->ClipAt(0))
            newClip->ReplaceFrameBookmarks(oldClip->CopyFrameBookmarks());
    if (from->BackgroundAnnotations()->HasAnnotation())
        to->ReplaceBackgroundAnnotations(from->BackgroundAnnotations()->Copy());
    // Timelines that played the old source's sound play the new one's.
    for (Timeline* timeline : std::as_const(m_regularTimelines)) {
        if (timeline->AudioOverrideId() != old->Id())
            continue;
        timeline->SetAudioOverrideId(replacement->Id());
        if (timeline->AudioOverrideTimeline() == from) {
            timeline->SetAudioOverrideTimeline(to);
            timeline->RefreshDecodeCopies(); // its sound copy pointed into the old source
        }
    }
    m_replacedBy.insert(old->Id(), replacement->Id());

    DetachSource(old);
    old->deleteLater();
    for (const auto& [item, viewer] : std::as_const(shown))
        emit OpenInViewerReplaceRequested(item->Id(), viewer);
}

void Project::AddPendingBookmarks(const QUuid& parent, int clipIndex, QList<FrameBookmark*> bookmarks)
{
    for (FrameBookmark* bookmark : bookmarks)
        bookmark->setParent(this);
    m_pendingBookmarks[parent].append({clipIndex, bookmarks});
}

void Project::ApplyPendingBookmarks(const QUuid& parent, Timeline* timeline)
{
    const auto entries = m_pendingBookmarks.take(parent);
    for (const auto& [clipIndex, bookmarks] : entries) {
        if (clipIndex < 0) {
            if (!bookmarks.isEmpty()) {
                bookmarks.first()->setParent(nullptr);
                timeline->ReplaceBackgroundAnnotations(bookmarks.first());
            }
            for (qsizetype i = 1; i < bookmarks.size(); ++i)
                delete bookmarks.at(i);
            continue;
        }
        // A source has one clip, whatever index the file gave.
        const int index = timeline->IsSourceTimeline() ? 0 : clipIndex;
        Clip* clip = timeline->GetTrack() ? timeline->GetTrack()->ClipAt(index) : nullptr;
        if (!clip) {
            qDeleteAll(bookmarks);
            continue;
        }
        for (FrameBookmark* bookmark : bookmarks)
            bookmark->setParent(nullptr);
        clip->ReplaceFrameBookmarks(bookmarks);
    }
}

void Project::DiscardPendingBookmarks()
{
    for (const auto& entries : std::as_const(m_pendingBookmarks))
        for (const auto& entry : entries)
            qDeleteAll(entry.second);
    m_pendingBookmarks.clear();
}

ProjectItem* Project::Item(const QUuid& id) const
{
    if (id.isNull())
        return nullptr;
    for (FolderItem* base : m_baseFolders)
        if (base->Id() == id)
            return base;
    ProjectItem* item = m_folders.value(id);
    if (!item)
        item = m_sources.value(id);
    if (!item)
        item = m_timelines.value(id);
    // Only what hangs from a base folder: a detached folder takes its contents out of the tree.
    const QObject* up = item;
    while (const auto* folder = qobject_cast<const FolderItem*>(up ? up->parent() : nullptr))
        up = folder;
    return up && up != item && up->parent() == this ? item : nullptr;
}

TimelineItem* Project::CurrentReplacement(const QUuid& id) const
{
    QUuid current = id;
    for (qsizetype steps = 0; steps <= m_replacedBy.size() && m_replacedBy.contains(current); ++steps)
        current = m_replacedBy.value(current);
    return m_sources.value(current);
}

FolderItem* Project::Folder(const QUuid& id) const
{
    return qobject_cast<FolderItem*>(Item(id));
}

TimelineItem* Project::TimelineItemById(const QUuid& id, bool includeSources) const
{
    if (TimelineItem* item = m_timelines.value(id))
        return item;
    return includeSources ? m_sources.value(id) : nullptr;
}

QString Project::ProjectName() const
{
    const QString path = ProjectGlobals::ProjectPath();
    return path.isEmpty() ? QStringLiteral("untitled") : QFileInfo(path).completeBaseName();
}

bool Project::IsEverythingSaved() const
{
    for (const auto* map : {&m_timelines, &m_sources})
        for (const TimelineItem* item : *map)
            if (!item->GetTimeline()->AnnotationsSaved())
                return false;
    return true;
}

FolderItem* Project::FolderFor(const QUuid& parentId, int kind) const
{
    FolderItem* folder = Folder(parentId);
    switch (kind) {
    case ProjectItem::FolderKind:
        return folder && folder->Type() == FolderItem::General && folder->Depth() < kMaxFolderDepth ? folder : ProjectFolder();
    case ProjectItem::SourceKind:
        return folder && folder->Type() != FolderItem::Timelines ? folder : SourcesFolder();
    default:
        return folder && folder->Type() != FolderItem::Sources ? folder : TimelinesFolder();
    }
}

FolderItem* Project::CreateFolder(const QString& name, const QUuid& parentId, bool expandParent, const QUuid& id)
{
    FolderItem* parent = FolderFor(parentId, ProjectItem::FolderKind);
    if (parent->Id() != parentId && Folder(parentId) && Folder(parentId)->Depth() >= kMaxFolderDepth)
        Logger::warning(QStringLiteral("Folder nested too deeply, placed in PROJECT: %1").arg(name));
    auto* folder = new FolderItem(name, FolderItem::General, id);
    parent->InsertChild(folder);
    m_folders.insert(folder->Id(), folder);
    if (expandParent)
        parent->SetExpanded(true);
    emit ProjectUpdated();
    return folder;
}

TimelineItem* Project::CreateTimeline(const QString& name, const QUuid& parentId, bool expandParent, const QUuid& id, int index)
{
    auto* item = new TimelineItem(name, nullptr, id);
    Timeline* timeline = item->GetTimeline();
    m_regularTimelines.insert(timeline);
    connect(timeline, &Timeline::AboutToBeDestroyed, this, [this](Timeline* gone) { m_regularTimelines.remove(gone); });
    FolderItem* parent = FolderFor(parentId, ProjectItem::TimelineKind);
    parent->InsertChild(item, index);
    if (expandParent)
        parent->SetExpanded(true);
    ConnectItem(item);
    m_timelines.insert(item->Id(), item);
    emit ProjectUpdated();
    return item;
}

TimelineItem* Project::CreateSource(const SourceProperties& properties)
{
    if (properties.path.isEmpty())
        return nullptr;
    const QUuid id = properties.id.isNull() ? QUuid::createUuid() : properties.id;
    auto* timeline = new Timeline(properties.path, properties.relativePath, id);
    auto* item = new TimelineItem(properties.name, timeline, id);
    FolderItem* parent = Folder(properties.parentId);
    const bool suits = parent && parent->Type() != FolderItem::Timelines;
    parent = suits ? parent : SourcesFolder();
    parent->InsertChild(item, suits ? properties.index : -1);
    if (properties.expandParent)
        parent->SetExpanded(true);
    ConnectItem(item);
    IndexSource(item);
    SourceProperties record = properties;
    record.id = id;
    m_pending.append({item, record, false});
    emit ProjectUpdated();
    return item;
}

void Project::ConnectItem(TimelineItem* item)
{
    connect(item, &TimelineItem::TimelineUpdated, this, &Project::OnTimelineUpdated);
    connect(item, &TimelineItem::SourceParsed, this, &Project::OnSourceParsed);
}

void Project::IndexSource(TimelineItem* item)
{
    const Source* source = item->GetTimeline()->GetSource();
    if (source && !source->IsImageSequence() && source->FileCount() > 0) {
        const QString path = QFileInfo(source->FilePaths().value(0)).absoluteFilePath();
        if (QFileInfo::exists(path) && !m_watcher.files().contains(path))
            m_watcher.addPath(path);
    }
    m_sources.insert(item->Id(), item);
}

void Project::UnwatchSource(TimelineItem* item)
{
    const Source* source = item->GetTimeline()->GetSource();
    if (!source || source->IsImageSequence() || source->FileCount() == 0)
        return;
    const QString path = QFileInfo(source->FilePaths().value(0)).absoluteFilePath();
    for (const TimelineItem* other : std::as_const(m_sources)) {
        const Source* otherSource = other->GetTimeline()->GetSource();
        if (other != item && otherSource && otherSource->FileCount() > 0
            && QFileInfo(otherSource->FilePaths().value(0)).absoluteFilePath() == path)
            return; // another source still shows this file
    }
    m_watcher.removePath(path);
}

void Project::DetachFolder(FolderItem* folder)
{
    if (auto* parent = qobject_cast<FolderItem*>(folder->parent()))
        parent->RemoveChild(folder);
    for (const FolderItem* inside : folder->FolderTree())
        m_folders.remove(inside->Id());
    emit ProjectUpdated();
}

void Project::DetachSource(TimelineItem* item)
{
    // A source waiting in the parse queue leaves it: its parse will not be heard, and the
    // queue must not wait for it, nor keep its address.
    auto waits = [item](const ParseEntry& entry) { return entry.item == item; };
    m_pending.removeIf(waits);
    for (QList<ParseEntry>& batch : m_batches)
        batch.removeIf(waits);
    const bool wasActive = m_activeBatch.removeIf(waits) > 0;
    item->disconnect(this);
    if (auto* parent = qobject_cast<FolderItem*>(item->parent()))
        parent->RemoveChild(item);
    UnwatchSource(item);
    m_sources.remove(item->Id());
    m_replacing.remove(item->Id());
    if (wasActive)
        AdvanceBatch();
    emit ProjectUpdated();
}

void Project::DetachTimeline(TimelineItem* item)
{
    item->disconnect(this);
    if (auto* parent = qobject_cast<FolderItem*>(item->parent()))
        parent->RemoveChild(item);
    m_timelines.remove(item->Id());
    emit ProjectUpdated();
}

void Project::ReinsertFolder(FolderItem* folder, const QUuid& parentId, int index)
{
    FolderFor(parentId, ProjectItem::FolderKind)->InsertChild(folder, index);
    for (FolderItem* inside : folder->FolderTree())
        m_folders.insert(inside->Id(), inside);
    emit ProjectUpdated();
}

bool Project::Suits(const ProjectItem* item, const FolderItem* target) const
{
    if (!item || !target || item == target)
        return false;
    switch (item->ItemKind()) {
    case ProjectItem::FolderKind: {
        auto* folder = static_cast<FolderItem*>(const_cast<ProjectItem*>(item));
        if (target->Type() != FolderItem::General || folder->HasDescendant(target->Id()))
            return false;
        int height = 0;
        for (const FolderItem* inside : folder->FolderTree())
            height = std::max(height, inside->Depth() - folder->Depth());
        return target->Depth() + 1 + height <= kMaxFolderDepth;
    }
    case ProjectItem::SourceKind:
        return target->Type() != FolderItem::Timelines;
    default:
        return target->Type() != FolderItem::Sources;
    }
}

bool Project::MoveItem(ProjectItem* item, FolderItem* target, int index)
{
    if (!Suits(item, target))
        return false;
    if (auto* parent = qobject_cast<FolderItem*>(item->parent()))
        parent->RemoveChild(item);
    target->InsertChild(item, index);
    emit ProjectUpdated();
    return true;
}

void Project::ReinsertSource(TimelineItem* item, const QUuid& parentId, int index)
{
    FolderFor(parentId, ProjectItem::SourceKind)->InsertChild(item, index);
    ConnectItem(item);
    IndexSource(item);
    emit ProjectUpdated();
}

void Project::ReinsertTimeline(TimelineItem* item, const QUuid& parentId, int index)
{
    FolderFor(parentId, ProjectItem::TimelineKind)->InsertChild(item, index);
    ConnectItem(item);
    m_timelines.insert(item->Id(), item);
    emit ProjectUpdated();
}

void Project::SetDefaultTimeline(const QUuid& id)
{
    if (id == m_defaultTimelineId || m_sources.contains(id))
        return;
    m_defaultTimelineId = id;
    emit DefaultTimelineChanged();
}

void Project::SetImageSequenceFrameRate(double rate)
{
    const double before = ProjectGlobals::ImageSequenceFrameRate();
    ProjectGlobals::SetImageSequenceFrameRate(rate);
    if (ProjectGlobals::ImageSequenceFrameRate() != before)
        emit ImageSequenceFrameRateChanged();
}

void Project::SetTimeControlFrameOffset(int offset)
{
    const int before = ProjectGlobals::TimeControlFrameOffset();
    ProjectGlobals::SetTimeControlFrameOffset(offset);
    const int now = ProjectGlobals::TimeControlFrameOffset();
    if (now == before)
        return;
    for (const auto* map : {&m_timelines, &m_sources})
        for (TimelineItem* item : *map)
            emit item->GetTimeline()->TimeControlFrameOffsetChanged(now);
}

void Project::RenameItem(const QUuid& id, const QString& name)
{
    ProjectItem* item = Item(id);
    if (!item || name.isEmpty() || name == item->Name())
        return;
    item->SetName(name);
    if (item->ItemKind() == ProjectItem::FolderKind)
        emit FolderUpdated(id);
    else
        emit TimelineUpdated(id);
}

void Project::SetProjectPath(const QString& path)
{
    if (path == ProjectGlobals::ProjectPath())
        return;
    ProjectGlobals::SetProjectPath(path);
    for (TimelineItem* item : std::as_const(m_sources))
        if (Source* source = item->GetTimeline()->GetSource(); source && source->Status() != SourceStatus::FileNotFound)
            source->RecomputeRelativePath();
    emit ProjectPathChanged(path);
}

void Project::SetSourceRootDirPath(const QString& path, bool relink)
{
    if (path == ProjectGlobals::SourceRootDirPath())
        return;
    ProjectGlobals::SetSourceRootDirPath(path);
    if (relink) {
        QList<QPair<TimelineItem*, QStringList>> found;
        for (TimelineItem* item : std::as_const(m_sources)) {
            const Source* source = item->GetTimeline()->GetSource();
            if (!source || source->Status() != SourceStatus::FileNotFound || source->RelativePath().isEmpty()
                || path.isEmpty())
                continue;
            QStringList files;
            FileHelpers::ParseSourcePath(QDir::cleanPath(path + QLatin1Char('/') + source->RelativePath()), files);
            files.removeIf([](const QString& file) { return !QFileInfo::exists(file); });
            if (!files.isEmpty())
                found.append({item, files});
        }
        for (const auto& [item, files] : std::as_const(found))
            ReplaceSource(item, files);
    }
    // A source whose file is missing keeps the relative path it has: it is what a later relink
    // looks for.
    for (TimelineItem* item : std::as_const(m_sources))
        if (Source* source = item->GetTimeline()->GetSource(); source && source->Status() != SourceStatus::FileNotFound)
            source->RecomputeRelativePath();
    emit SourceRootDirPathChanged(path);
}

void Project::MarkEverythingSaved()
{
    for (const auto* map : {&m_timelines, &m_sources})
        for (TimelineItem* item : *map)
            item->GetTimeline()->MarkAnnotationsSaved();
}

void Project::QueuePendingSources()
{
    if (m_pending.isEmpty())
        return;
    m_batches.enqueue(m_pending);
    m_pending.clear();
    StartNextBatch();
}

void Project::StartNextBatch()
{
    if (m_batches.isEmpty() || !m_activeBatch.isEmpty())
        return;
    m_activeBatch = m_batches.dequeue();
    RequestParses();
}

int Project::ParseLimit()
{
    return std::max(QThread::idealThreadCount(), 1) + 2;
}

void Project::RequestParses()
{
    int outstanding = 0;
    QList<TimelineItem*> next;
    for (ParseEntry& entry : m_activeBatch) {
        if (entry.requested && !entry.parsed)
            ++outstanding;
        else if (!entry.requested && outstanding + next.size() < ParseLimit()) {
            entry.requested = true;
            next.append(entry.item);
        }
    }
    // After marking: a receiver may finish a parse (and change the batch) before this returns.
    for (TimelineItem* item : std::as_const(next))
        emit ParseSourceRequested(item);
}

void Project::OnSourceParsed(const QUuid& id)
{
    if (m_activeBatch.isEmpty()) {
        Logger::error(QStringLiteral("Sourced parsed when active parsing list is empty."));
        StartNextBatch();
        return;
    }
    auto it = std::find_if(m_activeBatch.begin(), m_activeBatch.end(),
                           [&](const ParseEntry& entry) { return entry.item->Id() == id; });
    if (it == m_activeBatch.end()) {
        StartNextBatch();
        return;
    }
    it->parsed = true;
    AdvanceBatch();
}

void Project::AdvanceBatch()
{
    while (!m_activeBatch.isEmpty() && m_activeBatch.first().parsed) {
        const ParseEntry entry = m_activeBatch.takeFirst();
        Finalise(entry.item, entry.properties);
        emit SourceFinalised(entry.item, entry.properties);
    }
    RequestParses();
    StartNextBatch();
}

void Project::OnTimelineUpdated(const QUuid& id)
{
    emit TimelineUpdated(id);
}

void Project::BlockingLoad()
{
    QueuePendingSources();
    emit ParseSourceActiveStateChanged(true);
    m_loading = true;
    while (IsParsing()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    m_loading = false;
    emit ParseSourceActiveStateChanged(false);
}

void Project::OnFileChanged(const QString& path)
{
    // A render writes in bursts and a movie is incomplete until its last write: the reload
    // waits until the file has been left alone for a moment.
    QTimer*& timer = m_quietTimers[path];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(kReloadQuietMs);
        connect(timer, &QTimer::timeout, this, [this, path] {
            m_quietTimers.take(path)->deleteLater();
            ReloadWatchedSource(path);
        });
    }
    timer->start();
    // Replaced by a rename, the file is no longer watched: watch the new one to hear more.
    if (QFileInfo::exists(path) && !m_watcher.files().contains(path))
        m_watcher.addPath(path);
}

void Project::ReloadWatchedSource(const QString& path)
{
    m_watcher.removePath(path);
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0 || !AvParser::CanOpenInput(path)) {
        if (info.exists())
            m_watcher.addPath(path);
        return;
    }
    QList<TimelineItem*> reloads;
    for (TimelineItem* item : std::as_const(m_sources)) {
        const Source* source = item->GetTimeline()->GetSource();
        // A replacement still queued is not reloaded: the source it replaces is, and the later
        // replacement takes the place of the earlier.
        if (source && source->IsParsed() && source->FileCount() > 0 && !m_replacing.contains(item->Id())
            && QFileInfo(source->FilePaths().value(0)).absoluteFilePath() == info.absoluteFilePath())
            reloads.append(item);
    }
    m_watcher.addPath(path);
    for (TimelineItem* item : std::as_const(reloads)) {
        Logger::info(QStringLiteral("Reloading Source: %1").arg(item->GetTimeline()->GetSource()->Path()));
        emit SourceReloadRequested(item);
        ReplaceSource(item, {path});
    }
}
