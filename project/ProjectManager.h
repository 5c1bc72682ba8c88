#pragma once

#include "project/ExportProperties.h"
#include "project/SourceProperties.h"

#include <QObject>
#include <QPointer>
#include <QUndoStack>
#include <QUuid>

#include <memory>

class ClientApiHost;
class ClientCommands;
class Clip;
class Project;
class ProjectEngine;
class Timeline;
class TimelineItem;
struct VideoFrame;

// The one way the interface and the client API change the project. It owns the current
// Project (replaced whole by new and open) and the project undo stack, turns every user-level
// change into undo commands (named macros where one action makes several changes), reads,
// imports and saves project files, has sources parsed by the media engine and forwards the
// project's signals. Operations naming an unknown id, or a source where a regular timeline is
// needed, push nothing. Main thread only.
//
// Lifetimes: a command owns what it took out of the project until it puts it back; the
// engine lets go of a timeline or source before it is freed (see Timeline), so clearing the
// stack, or a command dying, while a decode task runs is safe.
class ProjectManager : public QObject
{
    Q_OBJECT

public:
    // Where imported media goes and what is done with it.
    struct ImportOptions
    {
        QUuid parentId;            // the folder; SOURCES when null or unsuitable
        int index = -1;            // in the folder (and, reversed, the order kept); -1 appends
        QUuid timelineId;          // a regular timeline to put the new sources' clips in
        int clipIndex = -1;        // where in it; -1 appends
        bool addToDefaultTimeline = false;
        int outputId = -1;         // a viewer to show the (last) new source in
        bool autoPlay = false;
        bool detectSequences = true;
        int32_t cutInFrame = 0;    // a range given with the files
        int32_t cutOutFrame = -1;
    };

    explicit ProjectManager(ProjectEngine* engine, QObject* parent = nullptr);
    ~ProjectManager() override;

    Project* GetProject() const { return m_project.get(); }
    ProjectEngine* Engine() const { return m_engine; }
    QUndoStack* UndoStack() const { return m_undoStack; }

    // Project life cycle.
    void NewProject(bool addDefaultTimeline);
    // Opens a project file as a new project, or (`open` false) imports it into this one. A
    // file that cannot be read leaves the open project as it was. The undo stack is cleared.
    bool OpenProject(const QString& path, bool open = true);
    // Saves to `path` (the project's own path when empty). A failed save leaves the path, the
    // undo stack and the unsaved state as they were.
    bool SaveProject(const QString& path = QString());
    bool IsSaved() const;
    void SetUnsaved() { m_unsaved = true; }

    // Operations on the undo stack (see the class comment).
    QList<QUuid> ImportFiles(const QStringList& paths, const ImportOptions& options);
    // Every media file in `folder` and the folders below it, numbered images as sequences.
    QList<QUuid> ImportFolder(const QString& folder, const ImportOptions& options);
    QUuid AddFolder(const QString& name, const QUuid& parentId, const QList<QUuid>& moveIds = {});
    QUuid AddTimeline(const QString& name, const QUuid& parentId);
    void InsertClips(const QUuid& timelineId, const QList<QUuid>& sourceIds, int index);
    void InsertClip(const QUuid& timelineId, const Clip* clip, int index);
    void DeleteClip(const QUuid& timelineId, int index);
    void DeleteClips(const QUuid& timelineId, QList<int> indices);
    void DeleteSource(const QUuid& id);
    void DeleteTimeline(const QUuid& id);
    void DeleteProjectItems(const QList<QUuid>& ids);
    bool MoveProjectItems(const QList<QUuid>& ids, const QUuid& targetFolderId, int index);
    void OpenItemsInViewers(const QList<QUuid>& ids, int firstViewer, bool autoPlay);
    // Viewer A's item to viewer B and B's to A, as one step (an empty viewer swaps too).
    void SwapViewerItems();
    // Every viewer emptied, as one step.
    void ClearViewers();
    void RenameItem(const QUuid& id, const QString& name);
    void SetAudioOverride(const QUuid& timelineId, const QUuid& overrideId);
    void SetClipOrder(const QUuid& timelineId, const QList<QUuid>& clipIds);
    void SetPlaybackRangeByFrame(const QUuid& timelineId, int32_t start, int32_t end);
    void ToggleRangeBookmark(const QUuid& timelineId, int32_t start, int32_t end);
    void ToggleFrameBookmark(const QUuid& timelineId, int32_t frame);
    void DuplicateSource(const QUuid& id);

    // Passed to the project as they are, off the undo stack.
    void SetDefaultTimeline(const QUuid& id);
    void SetImageSequenceFrameRate(double rate);
    void SetNotes(const QString& notes);
    void SetProjectPath(const QString& path);
    void SetSourceRootDirPath(const QString& path, bool relink);
    void SetTimeControlFrameOffset(int offset);
    void SetFolderExpanded(const QUuid& id, bool expanded);
    // The source's absolute path on the clipboard, when it names an existing file.
    void CopySourcePath(const QUuid& id) const;
    // Shows the source's file selected in the file manager (its folder when it cannot).
    void ShowSourceInFileBrowser(const QUuid& id) const;
    // The system report of the console, at output level; `rendererLine` is the OpenGL
    // viewer's "OpenGL Renderer: ...\n" line (empty under the software viewer).
    void LogSystemInformation(const QString& rendererLine) const;

    // The regular timeline with `id`, or null (a source's id gives null).
    Timeline* RegularTimeline(const QUuid& id) const;
    // The timeline of a timeline or a source, or null.
    Timeline* AnyTimeline(const QUuid& id) const;
    // The id of the timeline or source whose timeline is `timeline`; null when the project
    // holds no such item.
    QUuid IdOf(const Timeline* timeline) const;
    // The item shown in viewer `viewer`, or null.
    TimelineItem* ItemInViewer(int viewer) const;
    // Shows the item with `id` in the viewer (null empties it) through the engine.
    void ShowInViewer(const QUuid& id, int viewer, bool autoPlay);

    // The client API connection that requests come from and replies go to (borrowed; null
    // detaches). Without one, OnExecuteCmd does nothing.
    void SetClientApiHost(ClientApiHost* host) { m_clientApiHost = host; }

signals:
    void ProjectUpdated();
    void FolderUpdated(const QUuid& folderId);
    void TimelineUpdated(const QUuid& timelineId);
    void ProjectPathChanged(const QString& projectPath);
    void SourceRootDirPathChanged(const QString& rootDirPath);
    void DefaultTimelineChanged();
    void VideoFrameChanged(int outputId, std::shared_ptr<VideoFrame> videoFrame);
    void UndoCleanChanged();
    void ResizeViewerRequested(int width, int height);
    void ViewerLayoutChangeRequested(int rows, int columns, int stackHeight);
    void ProjectLoadCompleted();
    // An export asked for by the client API; the player panel runs it. Emitted from the
    // event loop after the request that asked for it has been answered; requests in between
    // are dropped, as during the export.
    void ExportRequested(const ExportProperties& properties);
    void ClientApiFrameChangeRequested();
    void BlockUserInputChanged(bool enabled);
    void PausePlayback();
    void OpenInViewer(const QUuid& itemId, int viewportIndex, bool autoPlay);
    void UpdateAudioOverride(Timeline* timeline);

public slots:
    void OnParseSourceRequested(TimelineItem* timelineItem);
    void OnParseSourceActiveStateChanged(bool isActive);
    void OnUndoCleanChanged();
    // Resolves the timeline's audio override id to the timeline it names (or none).
    void ResolveAudioOverride(Timeline* timeline);
    // Runs one client API request body and sends its reply (see ClientCommands). Every
    // command that ran leaves the undo stack cleared and the project marked unsaved.
    void OnExecuteCmd(const QString& body);

private:
    // Makes `project` current: connects it, and leaves the old one to be deleted later.
    void Install(std::unique_ptr<Project> project);
    // Empties the undo stack and sets its limit from the settings (only an empty stack takes
    // a limit).
    void ResetUndoStack();
    void PushDeleteSource(const QUuid& id);
    void PushDeleteTimeline(const QUuid& id);
    void PushClearViewersShowing(const QList<QUuid>& ids);

    ProjectEngine* m_engine;
    std::unique_ptr<Project> m_project;
    QList<QPointer<Project>> m_retired; // replaced, waiting for their deferred deletion
    QUndoStack* m_undoStack;
    bool m_unsaved = false;
    ClientApiHost* m_clientApiHost = nullptr;
    std::unique_ptr<ClientCommands> m_clientCommands; // made on the first request
    bool m_clientExportPending = false; // ExportRequested is on its way from the event loop
};
