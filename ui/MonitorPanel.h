#pragma once

#include "viewer/SnapshotTimeControl.h"

#include <QWidget>

class AnnotationOptionsWidget;
class AnnotationToolsWidget;
class AvManager;
class ExportRunner;
struct ExportProperties;
class GlobalTimeControlWidget;
class MayaToolsDialog;
class PlaybackControlWidget;
class PlaybackOptionsWidget;
class ProjectManager;
class QBoxLayout;
class RangeTimeControlWidget;
class TimeControlBaseWidget;
class Timeline;
class ToolsDisplayWidget;
class ViewerControlsWidget;
class SnapshotManager;
struct SnapshotProperties;
class ViewerWidget;

// The player: the viewer with the two time bars, the viewer controls above, and the tools
// display, transport and playback options below; and the place through which the playback,
// seeking, speed, loop, volume, bookmark, range and panel commands reach the clock, the
// viewer and the time bars. The bars sit in the viewer's column: the range bar always next to
// the picture, the global bar outside it, each above or below as its setting says. Visibility
// of the bars and rows follows the settings and is stored back when it changes. Main thread
// only.
class MonitorPanel : public QWidget, private SnapshotTimeControl
{
    Q_OBJECT

public:
    // Multi-step moves this many frames.
    static constexpr int kMultiStepFrames = 10;
    // Volume steps, in percent.
    static constexpr int kVolumeStep = 10;

    // `hardware`: the viewer draws with OpenGL (else in software).
    MonitorPanel(AvManager* engine, ProjectManager* manager, bool hardware, QWidget* parent = nullptr);
    ~MonitorPanel() override;

    ViewerWidget* View() const { return m_view; }
    ExportRunner* Exports() const { return m_exports; }
    GlobalTimeControlWidget* GlobalTimeControl() const { return m_globalTimeControl; }
    RangeTimeControlWidget* RangeTimeControl() const { return m_rangeTimeControl; }
    PlaybackControlWidget* PlaybackControls() const { return m_playbackControls; }
    PlaybackOptionsWidget* PlaybackOptions() const { return m_playbackOptions; }
    ViewerControlsWidget* ViewerControls() const { return m_viewerControls; }
    ToolsDisplayWidget* ToolsDisplay() const { return m_toolsDisplay; }
    AnnotationToolsWidget* AnnotationTools() const { return m_annotationTools; }
    AnnotationOptionsWidget* AnnotationOptions() const { return m_annotationOptions; }
    // The Maya Tools dialog; null until first shown.
    MayaToolsDialog* MayaTools() const { return m_mayaTools; }
    // The viewer's column from top to bottom: the bars shown or not, and the viewer.
    QList<QWidget*> ViewerColumn() const;

public slots:
    // Playback.
    void TogglePlayPause();
    void TogglePlayPauseBookmarksOnly();
    void PlayForwards();  // pauses when already playing forwards
    void PlayBackwards(); // pauses when already playing backwards
    void Pause();

    // Range and seeking. Steps pause playback; past an end they wrap round when
    // `loopOnStepScrub` is on (else they stop there), within the playback range when
    // `loopStepScrubToRange` or `lockStepScrubToRange` is on (else within the timeline).
    void RangeStartToCurrent();
    void RangeEndToCurrent();
    void ResetRange();
    void SeekTimelineStart();
    void SeekTimelineEnd();
    void SeekRangeStart();
    void SeekRangeEnd();
    void FrameStepBackward();
    void FrameStepForward();
    void MultiFrameStepBackward();
    void MultiFrameStepForward();
    void SeekPreviousEdit();
    void SeekNextEdit();
    void SeekPreviousBookmark();
    void SeekNextBookmark();

    // Speed and looping (see PlaybackOptionsWidget for the speed rules).
    void SetPlaybackSpeed(float playbackSpeed);
    void IncreasePlaybackSpeed();
    void DecreasePlaybackSpeed();
    void SetLoopState(int loopState);
    void ToggleLoopState();

    // Audio: volume 0..PlaybackControlWidget::kMaximumVolume percent, and mute.
    void IncreaseVolume();
    void DecreaseVolume();
    void SetVolume(int percent);
    void ToggleMute();

    // Asks for the window size that shows the picture at `scale` of its own size.
    void ResizeViewer(double scale);

    // Bookmarks.
    void ToggleBookmark();
    void ToggleRangeBoomark();
    void RemoveBookmarks();
    void RemoveBookmarksInRange();
    void RemoveRangeBookmarks();
    void ClearAllBookmarks();
    void SetRangeToPreviousRangeBookmark();
    void SetRangeToNextRangeBookmark();

    // Annotations. A tool (AnnotationToolType) makes the left button draw; choosing the tool
    // already chosen, or -1, gives the button back to scrubbing.
    void SetAnnotationTool(int tool);
    void ToggleAnnotationTool(int tool);
    void IncreaseAnnotationToolSize();
    void DecreaseAnnotationToolSize();
    void ToggleHoldAnnotationFrames();
    void ToggleGhosting();
    void UndoAnnotation();
    void RedoAnnotation();
    // 0 on, 1 off during playback, 2 off.
    void SetAnnotationVisibility(int visibility);
    // The current frame's drawing: cut, copied or pasted (the bookmark commands), or cleared.
    void CutBookmark();
    void CopyBookmark();
    void PasteBookmark();
    void ClearCurrentFrameAnnotation();

    // Snapshots of the view: to the clipboard, to a file the user names ("Snapshot"), or frame
    // by frame as the properties say. The snapshot manager is made on first use.
    void SnapshotToClipboard();
    void SnapshotToFolder();
    int AdvancedSnapshot(const SnapshotProperties& properties);
    SnapshotManager* Snapshots();

    // Exports, run by the panel's export runner (see ExportRunner).
    void ShowExportDialog();
    void ExportToFile(const ExportProperties& properties);
    void CancelExport();
    void BeginExportProcess();
    void EndExportProcess();
    void LogExportMsg(const QString& text, int msgType, bool isErrorMsg);

    // Panels; each stores its visibility in the settings.
    void SetGlobalTimeControlVisible(bool visible);
    void SetRangeTimeControlVisible(bool visible);
    void ToggleGlobalTimeControlVisible();
    void ToggleRangeTimeControlVisible();
    // Exchanges the bars' places; when both are on one side, both move to the other.
    void SwapTimeControls();
    void ToggleTimeControlPosition(TimeControlBaseWidget* timeControl);
    void SetPlaybackControlsVisible(bool visible);
    void TogglePlaybackControlsVisible();
    void SetViewerControlsVisible(bool visible);
    void ToggleViewerControlsVisibility();
    // The annotation tools and options.
    void SetAnnotationToolbarVisible(bool visible);
    void ToggleAnnotationToolbarVisibility();
    void SetMediaInfoVisible(bool visible);
    void ToggleMediaInfoVisibility();
    // After the preferences were accepted: the controls and the audio output take up the
    // settings they show or copy.
    void RefreshFromSettings();

    // Shows the Maya Tools dialog, made on first use and kept: it follows the global time
    // bar's frame, and pauses after frame changes asked for through the client API.
    void ShowMayaToolsDialog();

signals:
    void ViewerResizeRequested(int width, int height);
    // Every line of a running export's log, the closing line included: `msgType` is the
    // channel (ExportLoggingMsgType), `isErrorMsg` marks errors.
    void ExportLogMsgReceived(const QString& text, int msgType, bool isErrorMsg);
    void TimeControlDisplayFrameChanged(int displayFrame);

private:
    // What a capture of several frames asks of the time control.
    int StartFrame() const override;
    int EndFrame() const override;
    int RangeStartFrame() const override;
    int RangeEndFrame() const override;
    void SeekFrame(int frame) override;

    Timeline* CurrentTimeline() const;
    void SeekToFrame(int frame, bool forward = true);
    void StepBy(int frames);
    void PlaceTimeControls();
    void ShowMessage(const QString& text);
    void RefreshToolsDisplay();

    AvManager* m_engine;
    ProjectManager* m_manager;
    ViewerWidget* m_view = nullptr;
    QBoxLayout* m_viewerColumn = nullptr;
    QWidget* m_topRow = nullptr;
    QWidget* m_bottomRow = nullptr;
    GlobalTimeControlWidget* m_globalTimeControl = nullptr;
    RangeTimeControlWidget* m_rangeTimeControl = nullptr;
    PlaybackControlWidget* m_playbackControls = nullptr;
    PlaybackOptionsWidget* m_playbackOptions = nullptr;
    ViewerControlsWidget* m_viewerControls = nullptr;
    ToolsDisplayWidget* m_toolsDisplay = nullptr;
    AnnotationToolsWidget* m_annotationTools = nullptr;
    AnnotationOptionsWidget* m_annotationOptions = nullptr;
    SnapshotManager* m_snapshots = nullptr; // made on first use, a child of this panel
    MayaToolsDialog* m_mayaTools = nullptr; // made on first use, a child of this panel
    ExportRunner* m_exports = nullptr;      // a child of this panel
    QString m_snapshotFormat = QStringLiteral("png"); // the ending of the last snapshot saved
};
