#pragma once

#include "project/SourceProperties.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QTimer>
#include <QUuid>

class FolderItem;
class FrameBookmark;
class ProjectItem;
class Timeline;
class TimelineItem;

// The document: folders, sources and timelines under the three base folders PROJECT, SOURCES
// and TIMELINES; the queue that has new sources parsed; the watcher that reloads a source
// when its file changes on disk. It offers the primitive, non-undoable steps; user-level
// operations (and their undo) are built on them elsewhere.
//
// Parsing: created sources wait in a pending list; QueuePendingSources makes them a batch.
// Batches run one at a time: ParseSourceRequested for its entries in order, a few at a time
// (ParseLimit), and as the parses come back in any order the entries are finalised in queue
// order (SourceFinalised).
//
// Project-wide values (path, source root, image-sequence rate, frame offset, viewer layout)
// are ProjectGlobals. Main thread only.
class Project : public QObject
{
    Q_OBJECT

public:
    explicit Project(QObject* parent = nullptr);
    ~Project() override;

    FolderItem* ProjectFolder() const { return m_baseFolders.at(0); }
    FolderItem* SourcesFolder() const { return m_baseFolders.at(1); }
    FolderItem* TimelinesFolder() const { return m_baseFolders.at(2); }
    const QList<FolderItem*>& BaseFolders() const { return m_baseFolders; }

    // Items in the tree, by id.
    ProjectItem* Item(const QUuid& id) const;
    FolderItem* Folder(const QUuid& id) const;
    TimelineItem* SourceItem(const QUuid& id) const { return m_sources.value(id); }
    // The source with `id`, or the one that took its place when its file was reloaded.
    TimelineItem* CurrentReplacement(const QUuid& id) const;
    TimelineItem* TimelineItemById(const QUuid& id, bool includeSources = false) const;
    const QHash<QUuid, TimelineItem*>& Sources() const { return m_sources; }
    const QHash<QUuid, TimelineItem*>& Timelines() const { return m_timelines; }
    // The project file's complete base name, "untitled" before it was saved.
    QString ProjectName() const;
    bool IsEverythingSaved() const;

    // Each emits ProjectUpdated. A parent that does not suit the item is replaced by the
    // item's base folder (folders: PROJECT; sources: SOURCES; timelines: TIMELINES).
    FolderItem* CreateFolder(const QString& name, const QUuid& parentId, bool expandParent, const QUuid& id = QUuid());
    TimelineItem* CreateTimeline(const QString& name, const QUuid& parentId, bool expandParent, const QUuid& id = QUuid(),
                                 int index = -1);
    // Nothing for an empty path. The source waits among the pending entries to be parsed.
    TimelineItem* CreateSource(const SourceProperties& properties);

    // Taken out of the tree (and the maps); the caller keeps them alive to put them back.
    void DetachFolder(FolderItem* folder);
    void DetachSource(TimelineItem* item);
    void DetachTimeline(TimelineItem* item);
    void ReinsertFolder(FolderItem* folder, const QUuid& parentId, int index);
    // Moves an item in the tree to `target` at `index` (appended when out of range). Refused (false) when the target does not suit the item, is the item
    // or lies inside it, or would nest folders too deep.
    bool MoveItem(ProjectItem* item, FolderItem* target, int index);
    // Whether `item` may be put under `target` (the parent rules, no cycle, the depth limit).
    bool Suits(const ProjectItem* item, const FolderItem* target) const;
    void ReinsertSource(TimelineItem* item, const QUuid& parentId, int index);
    void ReinsertTimeline(TimelineItem* item, const QUuid& parentId, int index);

    QUuid DefaultTimelineId() const { return m_defaultTimelineId; }
    void SetDefaultTimeline(const QUuid& id);
    void SetImageSequenceFrameRate(double rate);
    void SetTimeControlFrameOffset(int offset);
    QString Notes() const { return m_notes; }
    void SetNotes(const QString& notes) { m_notes = notes; }
    void RenameItem(const QUuid& id, const QString& name);
    void SetProjectPath(const QString& path);
    // With `relink`, every source whose file was not found is looked for again under the new
    // root by its relative path, and replaced (ReplaceSource) by what is found there.
    void SetSourceRootDirPath(const QString& path, bool relink = false);
    void MarkEverythingSaved();

    // The parse queue (see the class comment).
    void QueuePendingSources();
    bool IsParsing() const { return !m_activeBatch.isEmpty() || !m_batches.isEmpty(); }
    // Queues the pending sources and runs the event loop until every batch is finalised.
    void BlockingLoad();
    bool IsLoading() const { return m_loading; }
    // The files watched for changes (the first file of every source not a sequence).
    QStringList WatchedFiles() const { return m_watcher.files(); }
    // How long a changed file must stay unchanged before its sources reload.
    static constexpr int kReloadQuietMs = 1000;
    // Parses asked for and not yet back, at most: each runs on a thread of its own.
    static int ParseLimit();
    // Folders nest at most this deep: deeper parents are refused like unsuitable ones (every
    // walk of the tree, and its destruction, recurses through the levels).
    static constexpr int kMaxFolderDepth = 100;

    // Frame bookmarks read from a file before their source or timeline exists, by the parent's
    // id: per clip index (-1 the background annotations), the bookmarks. Owned here until
    // taken.
    void AddPendingBookmarks(const QUuid& parent, int clipIndex, QList<FrameBookmark*> bookmarks);
    // Gives a timeline (or source) its pending bookmarks: clip index -1 the background, others
    // that clip when it exists (else discarded); for a source, its one clip.
    void ApplyPendingBookmarks(const QUuid& parent, Timeline* timeline);
    void DiscardPendingBookmarks();

signals:
    void ParseSourceRequested(TimelineItem* timelineItem);
    void ParseSourceActiveStateChanged(bool isActive);
    void ProjectUpdated();
    void FolderUpdated(const QUuid& folderId);
    void TimelineUpdated(const QUuid& timelineId);
    void DefaultTimelineChanged();
    void PausePlaybackRequested();
    void OpenInViewerRequested(const QUuid& itemId, int viewportIndex, bool autoPlay);
    void OpenInViewerReplaceRequested(const QUuid& itemId, int viewportIndex);
    void ImageSequenceFrameRateChanged();
    void ProjectPathChanged(const QString& projectPath);
    void SourceRootDirPathChanged(const QString& rootDirPath);
    // A parsed source's entry came out of the queue, in queue order, with its record.
    void SourceFinalised(TimelineItem* item, const SourceProperties& properties);
    // The sources on a file that changed on disk and stayed quiet, to be replaced by a fresh
    // parse of it.
    void SourceReloadRequested(TimelineItem* item);

public slots:
    void OnSourceParsed(const QUuid& id);
    void OnTimelineUpdated(const QUuid& id);
    // Reloads every parsed source whose first file is `path`, once the file is complete.
    void ReloadWatchedSource(const QString& path);
    // A new source of `files` (media files only, grouped into a sequence) takes the place of
    // `item` once parsed: its clips in every timeline, its bookmarks, its place in the tree and
    // its viewers. Queued like any source.
    void ReplaceSource(TimelineItem* item, const QStringList& files);

private:
    // A parsed source's record applied: time, range, cuts, delay, pan/zoom, hold, bookmarks,
    // viewer.
    void Finalise(TimelineItem* item, const SourceProperties& properties);
    // The last step of ReplaceSource, once the new source is parsed.
    void FinishReplacing(TimelineItem* old, TimelineItem* replacement);

    struct ParseEntry
    {
        TimelineItem* item;
        SourceProperties properties;
        bool parsed = false;
        bool requested = false;
    };

    void StartNextBatch();
    // Finalises the parsed entries at the head of the active batch, asks for the next parses,
    // and starts the next batch once this one is done.
    void AdvanceBatch();
    // Asks for parses of the active batch's next entries, at most ParseLimit() outstanding.
    void RequestParses();
    void IndexSource(TimelineItem* item);
    void UnwatchSource(TimelineItem* item);
    void ConnectItem(TimelineItem* item);
    FolderItem* FolderFor(const QUuid& parentId, int kind) const;

    void OnFileChanged(const QString& path);

    QList<FolderItem*> m_baseFolders;
    QHash<QUuid, TimelineItem*> m_timelines;
    QHash<QUuid, TimelineItem*> m_sources;
    QHash<QUuid, FolderItem*> m_folders; // user folders in the tree
    QHash<QUuid, QUuid> m_replacedBy; // finished replacements: old source id to new one
    // Every regular timeline made here that is alive, in the tree or kept out of it (by an
    // undo command): a reloaded source's clips are re-pointed in all of them.
    QSet<Timeline*> m_regularTimelines;
    QSet<QUuid> m_replacing; // sources queued to take another's place
    QList<ParseEntry> m_activeBatch;
    QList<ParseEntry> m_pending;
    QQueue<QList<ParseEntry>> m_batches;
    QString m_notes;
    QUuid m_defaultTimelineId;
    QFileSystemWatcher m_watcher;
    QHash<QString, QTimer*> m_quietTimers; // per changed file, until it settles
    QHash<QUuid, QList<QPair<int, QList<FrameBookmark*>>>> m_pendingBookmarks;
    bool m_loading = false;
};
