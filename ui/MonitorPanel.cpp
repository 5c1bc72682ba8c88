#include "ui/MonitorPanel.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "maya/MayaToolsDialog.h"
#include "media/VideoFrame.h"
#include "playback/LoopState.h"
#include "playback/PlaybackManager.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/ProjectManager.h"
#include "project/Timeline.h"
#include "project/Track.h"
#include "ui/AnnotationOptionsWidget.h"
#include "ui/AnnotationToolsWidget.h"
#include "ui/ExportRunner.h"
#include "ui/GlobalTimeControlWidget.h"
#include "ui/PlaybackControlWidget.h"
#include "ui/PlaybackOptionsWidget.h"
#include "ui/RangeTimeControlWidget.h"
#include "ui/ToolsDisplayWidget.h"
#include "ui/ViewerControlsWidget.h"
#include "viewer/AnnotationTypes.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/SnapshotManager.h"
#include "viewer/SnapshotProperties.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerWidget.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

MonitorPanel::MonitorPanel(AvManager* engine, ProjectManager* manager, bool hardware, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_manager(manager)
{
    const Settings& settings = Settings::Get();
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    m_view = new ViewerWidget(engine, hardware, this);
    m_view->setMinimumSize(320, 180);
    m_view->setFocusPolicy(Qt::NoFocus);

    // Top row: the viewer's choices.
    m_topRow = new QWidget(this);
    auto* top = new QHBoxLayout(m_topRow);
    top->setContentsMargins(0, 0, 10, 0);
    top->setSpacing(0);
    m_annotationOptions = new AnnotationOptionsWidget(m_topRow);
    m_viewerControls = new ViewerControlsWidget(m_view, m_topRow);
    top->addWidget(m_annotationOptions);
    top->addWidget(m_viewerControls, 1);
    rows->addWidget(m_topRow);

    // Middle row: the viewer's column, with the time bars.
    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    m_viewerColumn = new QVBoxLayout;
    m_viewerColumn->setContentsMargins(0, 0, 0, 0);
    m_viewerColumn->setSpacing(0);
    m_viewerColumn->addWidget(m_view, 1);
    m_annotationTools = new AnnotationToolsWidget(this);
    middle->addWidget(m_annotationTools);
    middle->addLayout(m_viewerColumn, 1);
    rows->addLayout(middle, 1);
    m_globalTimeControl = new GlobalTimeControlWidget(engine, manager, this);
    m_rangeTimeControl = new RangeTimeControlWidget(engine, manager, this);
    PlaceTimeControls();
    m_globalTimeControl->setVisible(settings.globalTimeControlVisible);
    m_rangeTimeControl->setVisible(settings.rangeTimeControlVisible);
    // A bar's own "Move to ..." has stored its new side already.
    for (TimeControlBaseWidget* bar : {static_cast<TimeControlBaseWidget*>(m_globalTimeControl),
                                       static_cast<TimeControlBaseWidget*>(m_rangeTimeControl)})
        connect(bar, &TimeControlBaseWidget::TogglePositionRequested, this, &MonitorPanel::PlaceTimeControls);
    connect(m_globalTimeControl, &GlobalTimeControlWidget::DisplayFrameChanged, this,
            &MonitorPanel::TimeControlDisplayFrameChanged);

    // Bottom row: where the playhead is, the transport and volume, speed and loop.
    m_bottomRow = new QWidget(this);
    auto* bottom = new QHBoxLayout(m_bottomRow);
    bottom->setContentsMargins(10, 0, 10, 0);
    bottom->setSpacing(0);
    m_toolsDisplay = new ToolsDisplayWidget(m_bottomRow);
    m_playbackControls = new PlaybackControlWidget(!settings.hideVolumeControlAtStart, m_bottomRow);
    m_playbackOptions = new PlaybackOptionsWidget(engine, m_bottomRow);
    bottom->addWidget(m_toolsDisplay);
    bottom->addWidget(m_playbackControls, 1);
    bottom->addWidget(m_playbackOptions);
    rows->addWidget(m_bottomRow);

    PlaybackControlWidget* controls = m_playbackControls;
    connect(controls, &PlaybackControlWidget::SeekStartRequested, this, [this] {
        Settings::Get().playbackControlsSeekRangeStartEnd ? SeekRangeStart() : SeekTimelineStart();
    });
    connect(controls, &PlaybackControlWidget::SeekEndRequested, this, [this] {
        Settings::Get().playbackControlsSeekRangeStartEnd ? SeekRangeEnd() : SeekTimelineEnd();
    });
    connect(controls, &PlaybackControlWidget::StepBackwardRequested, this, &MonitorPanel::FrameStepBackward);
    connect(controls, &PlaybackControlWidget::StepForwardRequested, this, &MonitorPanel::FrameStepForward);
    connect(controls, &PlaybackControlWidget::PlayBackwardsRequested, this, &MonitorPanel::PlayBackwards);
    connect(controls, &PlaybackControlWidget::PlayForwardsRequested, this, &MonitorPanel::PlayForwards);
    connect(controls, &PlaybackControlWidget::PauseRequested, this, &MonitorPanel::Pause);
    connect(controls, &PlaybackControlWidget::VolumeChangeRequested, this, &MonitorPanel::SetVolume);
    connect(controls, &PlaybackControlWidget::MuteToggleRequested, this, &MonitorPanel::ToggleMute);
    connect(engine, &AvManager::PlaybackStateChanged, controls, &PlaybackControlWidget::SetPlaybackState);
    controls->SetVolume(settings.volume, settings.muted);
    connect(m_playbackOptions, &PlaybackOptionsWidget::Message, this, &MonitorPanel::ShowMessage);

    // The viewer's own frame steps (dragging over the picture) follow the stepping rules.
    connect(m_view, &ViewerWidget::SeekNextFrameRequested, this, &MonitorPanel::FrameStepForward);
    connect(m_view, &ViewerWidget::SeekPreviousFrameRequested, this, &MonitorPanel::FrameStepBackward);
    connect(m_view, &ViewerWidget::TogglePlayPauseRequested, this, &MonitorPanel::TogglePlayPause);
    // Where the playhead is, as the time bars say it; whether the picture there is missing
    // comes with the frames.
    connect(engine, &AvManager::PlaybackFrameChanged, this, &MonitorPanel::RefreshToolsDisplay);
    connect(engine, &AvManager::PrimaryTimelineChanged, this, &MonitorPanel::RefreshToolsDisplay);
    connect(engine, &AvManager::VideoFrameChanged, this, [this](int output) {
        if (output == 0)
            RefreshToolsDisplay();
    });

    // The drawing tools and options ask the viewer, and show what it has in force.
    AnnotationsOverlay* annotations = m_view->Annotations();
    connect(m_annotationTools, &AnnotationToolsWidget::ToolRequested, this, &MonitorPanel::SetAnnotationTool);
    connect(m_annotationTools, &AnnotationToolsWidget::LayerRequested, m_view, &ViewerWidget::SetAnnotationLayer);
    connect(m_annotationTools, &AnnotationToolsWidget::HoldToggleRequested, this, &MonitorPanel::ToggleHoldAnnotationFrames);
    connect(m_annotationTools, &AnnotationToolsWidget::GhostingToggleRequested, this, &MonitorPanel::ToggleGhosting);
    connect(m_annotationTools, &AnnotationToolsWidget::ClearRequested, this, &MonitorPanel::ClearCurrentFrameAnnotation);
    connect(m_annotationTools, &AnnotationToolsWidget::UndoRequested, this, &MonitorPanel::UndoAnnotation);
    connect(m_annotationTools, &AnnotationToolsWidget::RedoRequested, this, &MonitorPanel::RedoAnnotation);
    connect(m_view, &ViewerWidget::AnnotationActiveLayerChanged, m_annotationTools,
            [this](int layer) { m_annotationTools->SetBackgroundLayer(layer == AnnotationLayerBackground); });
    connect(m_view, &ViewerWidget::HoldAnnotationFramesChanged, m_annotationTools, &AnnotationToolsWidget::SetHold);
    connect(m_view, &ViewerWidget::AnnotationGhostingChanged, m_annotationTools, &AnnotationToolsWidget::SetGhosting);
    // The colour chosen in the options, or picked from the picture with the eyedropper.
    auto setColor = [this](const QColor& color) {
        m_view->SetAnnotationToolColor(color);
        m_annotationOptions->SetColor(m_view->Annotations()->ToolColor());
    };
    connect(m_annotationOptions, &AnnotationOptionsWidget::ColorRequested, this, setColor);
    connect(m_view, &ViewerWidget::AnnotationToolColorChangeRequested, this, [setColor](const QColor& color) {
        setColor(color);
        Logger::info(QStringLiteral("Picked colour: %1, %2, %3").arg(color.red()).arg(color.green()).arg(color.blue()));
    });
    connect(m_annotationOptions, &AnnotationOptionsWidget::SizeIncreaseRequested, this, &MonitorPanel::IncreaseAnnotationToolSize);
    connect(m_annotationOptions, &AnnotationOptionsWidget::SizeDecreaseRequested, this, &MonitorPanel::DecreaseAnnotationToolSize);
    connect(m_annotationOptions, &AnnotationOptionsWidget::VisibilityRequested, this, &MonitorPanel::SetAnnotationVisibility);
    connect(annotations, &AnnotationsOverlay::ToolSizeChanged, m_annotationOptions, &AnnotationOptionsWidget::SetToolSize);
    connect(m_view, &ViewerWidget::AnnotationVisibilityChanged, m_annotationOptions, &AnnotationOptionsWidget::SetVisibility);
    m_annotationTools->SetTool(m_view->AnnotationTool());
    m_annotationTools->SetHold(annotations->HoldFrames());
    m_annotationTools->SetGhosting(annotations->Ghosting());
    m_annotationOptions->SetColor(annotations->ToolColor());
    m_annotationOptions->SetToolSize(annotations->ToolSize());
    m_annotationOptions->SetVisibility(annotations->Visibility());
    Settings::Get().annotationToolsVisible = settings.annotationToolsVisible && !settings.hideAnnotationToolbarOnLaunch;
    SetAnnotationToolbarVisible(Settings::Get().annotationToolsVisible);

    const bool playbackRow = settings.playbackControlsVisible;
    m_bottomRow->setVisible(playbackRow);
    m_topRow->setVisible(settings.viewerControlsVisible);

    m_exports = new ExportRunner(engine, this);
}

MonitorPanel::~MonitorPanel()
{
    // A capture waiting for a frame is told to stop. When this panel is deleted from inside
    // that wait, the capture finds its manager gone and returns without touching it.
    if (m_snapshots)
        m_snapshots->CancelSnapshotOperation();
}

QList<QWidget*> MonitorPanel::ViewerColumn() const
{
    QList<QWidget*> widgets;
    for (int i = 0; i < m_viewerColumn->count(); ++i)
        if (QWidget* widget = m_viewerColumn->itemAt(i)->widget())
            widgets.append(widget);
    return widgets;
}

// The range bar always sits next to the picture and the global bar outside it.
void MonitorPanel::PlaceTimeControls()
{
    const Settings& settings = Settings::Get();
    m_viewerColumn->removeWidget(m_globalTimeControl);
    m_viewerColumn->removeWidget(m_rangeTimeControl);
    if (!settings.globalTimeControlPositionTop)
        m_viewerColumn->insertWidget(1, m_globalTimeControl);
    m_viewerColumn->insertWidget(settings.rangeTimeControlPositionTop ? 0 : 1, m_rangeTimeControl);
    if (settings.globalTimeControlPositionTop)
        m_viewerColumn->insertWidget(0, m_globalTimeControl);
    m_view->update();
}

void MonitorPanel::RefreshToolsDisplay()
{
    const Timeline* timeline = CurrentTimeline();
    if (!timeline || timeline->FrameCount() < 1) {
        m_toolsDisplay->SetFrame(0, 0, false);
        return;
    }
    const std::shared_ptr<VideoFrame> shown = m_view->ShownFrame(0);
    m_toolsDisplay->SetFrame(timeline->PlaybackFrame() + timeline->TimeControlFrameOffset(), timeline->FrameCount(),
                             shown && shown->empty);
}

Timeline* MonitorPanel::CurrentTimeline() const
{
    return m_engine->PrimaryTimeline();
}

void MonitorPanel::ShowMessage(const QString& text)
{
    m_view->Overlay()->ShowMessage(text);
}

// --- Playback

void MonitorPanel::TogglePlayPause()
{
    m_engine->TogglePlayPause();
}

void MonitorPanel::TogglePlayPauseBookmarksOnly()
{
    if (m_engine->Clock()->IsPlaying())
        m_engine->Pause();
    else
        m_engine->Play(true, true);
}

void MonitorPanel::PlayForwards()
{
    const PlaybackManager* clock = m_engine->Clock();
    if (clock->IsPlaying() && clock->PlayForward())
        m_engine->Pause();
    else
        m_engine->Play(true);
}

void MonitorPanel::PlayBackwards()
{
    const PlaybackManager* clock = m_engine->Clock();
    if (clock->IsPlaying() && !clock->PlayForward())
        m_engine->Pause();
    else
        m_engine->Play(false);
}

void MonitorPanel::Pause()
{
    m_engine->Pause();
}

// --- Range and seeking

void MonitorPanel::RangeStartToCurrent()
{
    m_globalTimeControl->RangeStartToCurrent();
}

void MonitorPanel::RangeEndToCurrent()
{
    m_globalTimeControl->RangeEndToCurrent();
}

void MonitorPanel::ResetRange()
{
    m_globalTimeControl->ResetRange();
}

void MonitorPanel::SeekToFrame(int frame, bool forward)
{
    Timeline* timeline = CurrentTimeline();
    if (!timeline || timeline->FrameCount() < 1)
        return;
    if (Settings::Get().pausePlaybackOnSeek)
        m_engine->Pause();
    frame = std::clamp(frame, 0, timeline->LastFrame());
    m_engine->SetPlaybackTime(timeline->FrameStartTime(frame), true, false, false, forward);
}

void MonitorPanel::SeekTimelineStart()
{
    SeekToFrame(0, false);
}

void MonitorPanel::SeekTimelineEnd()
{
    if (const Timeline* timeline = CurrentTimeline())
        SeekToFrame(timeline->LastFrame());
}

void MonitorPanel::SeekRangeStart()
{
    if (const Timeline* timeline = CurrentTimeline())
        SeekToFrame(timeline->RangeStartFrame(), false);
}

void MonitorPanel::SeekRangeEnd()
{
    if (const Timeline* timeline = CurrentTimeline())
        SeekToFrame(timeline->RangeEndFrame());
}

void MonitorPanel::StepBy(int frames)
{
    Timeline* timeline = CurrentTimeline();
    if (!timeline || timeline->FrameCount() < 1 || frames == 0)
        return;
    m_engine->Pause();
    const Settings& settings = Settings::Get();
    const bool inRange = settings.loopStepScrubToRange || settings.lockStepScrubToRange;
    const int lastFrame = timeline->LastFrame();
    const int first = inRange ? std::clamp(timeline->RangeStartFrame(), 0, lastFrame) : 0;
    const int last = inRange ? std::clamp(timeline->RangeEndFrame(), first, lastFrame) : lastFrame;
    const int span = last - first + 1;
    const int current = timeline->PlaybackFrame();
    int target = current + frames;
    if (current < first || current > last)
        target = frames > 0 ? first : last; // from outside the bounds: forwards to the first, backwards to the last
    else if (target > last)
        target = settings.loopOnStepScrub ? first + (target - last - 1) % span : last;
    else if (target < first)
        target = settings.loopOnStepScrub ? last - (first - target - 1) % span : first;
    m_engine->SetPlaybackTime(timeline->FrameStartTime(target), true, false, false, frames > 0);
}

void MonitorPanel::FrameStepBackward()
{
    StepBy(-1);
}

void MonitorPanel::FrameStepForward()
{
    StepBy(1);
}

void MonitorPanel::MultiFrameStepBackward()
{
    StepBy(-kMultiStepFrames);
}

void MonitorPanel::MultiFrameStepForward()
{
    StepBy(kMultiStepFrames);
}

namespace {

// The frames where clips start on the timeline, ascending.
QList<int> EditFrames(const Timeline& timeline)
{
    QList<int> frames;
    const Track* track = timeline.GetTrack();
    for (int i = 0; track && i < track->ClipCount(); ++i)
        frames.append(track->ClipAt(i)->StartFrame());
    std::sort(frames.begin(), frames.end());
    return frames;
}

// The frames bookmarked on the timeline, ascending.
QList<int> BookmarkFrames(const Timeline& timeline)
{
    QList<int> frames;
    for (const FrameBookmark* bookmark : timeline.FrameBookmarks())
        if (bookmark->TimelineFrame() >= 0)
            frames.append(bookmark->TimelineFrame());
    std::sort(frames.begin(), frames.end());
    return frames;
}

// The nearest of `frames` before or after `current`; -1 when there is none.
int Nearest(const QList<int>& frames, int current, bool after)
{
    if (after) {
        const auto it = std::upper_bound(frames.begin(), frames.end(), current);
        return it == frames.end() ? -1 : *it;
    }
    const auto it = std::lower_bound(frames.begin(), frames.end(), current);
    return it == frames.begin() ? -1 : *(it - 1);
}

} // namespace

void MonitorPanel::SeekPreviousEdit()
{
    if (const Timeline* timeline = CurrentTimeline())
        SeekToFrame(std::max(0, Nearest(EditFrames(*timeline), timeline->PlaybackFrame(), false)), false);
}

void MonitorPanel::SeekNextEdit()
{
    if (const Timeline* timeline = CurrentTimeline()) {
        const int next = Nearest(EditFrames(*timeline), timeline->PlaybackFrame(), true);
        SeekToFrame(next < 0 ? timeline->LastFrame() : next);
    }
}

void MonitorPanel::SeekPreviousBookmark()
{
    if (const Timeline* timeline = CurrentTimeline())
        if (const int frame = Nearest(BookmarkFrames(*timeline), timeline->PlaybackFrame(), false); frame >= 0)
            SeekToFrame(frame, false);
}

void MonitorPanel::SeekNextBookmark()
{
    if (const Timeline* timeline = CurrentTimeline())
        if (const int frame = Nearest(BookmarkFrames(*timeline), timeline->PlaybackFrame(), true); frame >= 0)
            SeekToFrame(frame);
}

// --- Speed and looping

void MonitorPanel::SetPlaybackSpeed(float playbackSpeed)
{
    m_playbackOptions->SetPlaybackSpeed(playbackSpeed);
}

void MonitorPanel::IncreasePlaybackSpeed()
{
    m_playbackOptions->IncreasePlaybackSpeed();
}

void MonitorPanel::DecreasePlaybackSpeed()
{
    m_playbackOptions->DecreasePlaybackSpeed();
}

void MonitorPanel::SetLoopState(int loopState)
{
    m_playbackOptions->SetLoopState(loopState);
}

void MonitorPanel::ToggleLoopState()
{
    m_playbackOptions->ToggleLoopState();
}

// --- Audio

void MonitorPanel::SetVolume(int percent)
{
    Settings& settings = Settings::Get();
    settings.volume = std::clamp(percent, 0, PlaybackControlWidget::kMaximumVolume);
    m_engine->ApplyAudioOutputSettings();
    m_playbackControls->SetVolume(settings.volume, settings.muted);
}

void MonitorPanel::IncreaseVolume()
{
    SetVolume(Settings::Get().volume + kVolumeStep);
    ShowMessage(QStringLiteral("Volume %1%").arg(Settings::Get().volume));
}

void MonitorPanel::DecreaseVolume()
{
    SetVolume(Settings::Get().volume - kVolumeStep);
    ShowMessage(QStringLiteral("Volume %1%").arg(Settings::Get().volume));
}

void MonitorPanel::ToggleMute()
{
    Settings& settings = Settings::Get();
    settings.muted = !settings.muted;
    m_engine->ApplyAudioOutputSettings();
    m_playbackControls->SetVolume(settings.volume, settings.muted);
    ShowMessage(settings.muted ? QStringLiteral("Muted") : QStringLiteral("Volume %1%").arg(settings.volume));
}

// --- Viewer

void MonitorPanel::ResizeViewer(double scale)
{
    const Timeline* timeline = CurrentTimeline();
    const QSize size = timeline ? timeline->FirstVideoSize() : QSize();
    if (scale > 0.0 && !size.isEmpty())
        emit ViewerResizeRequested(qRound(size.width() * scale), qRound(size.height() * scale));
}

// --- Bookmarks

void MonitorPanel::ToggleBookmark()
{
    m_globalTimeControl->ToggleFrameBookmark();
}

void MonitorPanel::ToggleRangeBoomark()
{
    m_globalTimeControl->ToggleRangeBookmark();
}

void MonitorPanel::RemoveBookmarks()
{
    m_globalTimeControl->RemoveBookmarks(true, false, false, QStringLiteral("RemoveBookmarks"));
}

void MonitorPanel::RemoveBookmarksInRange()
{
    m_globalTimeControl->RemoveBookmarks(true, false, true, QStringLiteral("RemoveBookmarksInRange"));
}

void MonitorPanel::RemoveRangeBookmarks()
{
    m_globalTimeControl->RemoveBookmarks(false, true, false, QStringLiteral("RemoveRangeBookmarks"));
}

void MonitorPanel::ClearAllBookmarks()
{
    m_globalTimeControl->RemoveBookmarks(true, true, false, QStringLiteral("ClearAllBookmarks"));
}

void MonitorPanel::SetRangeToPreviousRangeBookmark()
{
    m_globalTimeControl->SetRangeToPreviousRangeBookmark();
}

void MonitorPanel::SetRangeToNextRangeBookmark()
{
    m_globalTimeControl->SetRangeToNextRangeBookmark();
}

// --- Snapshots

SnapshotManager* MonitorPanel::Snapshots()
{
    if (!m_snapshots)
        m_snapshots = new SnapshotManager(m_view, this, this);
    return m_snapshots;
}

void MonitorPanel::SnapshotToClipboard()
{
    Snapshots()->SnapshotToClipboard();
}

void MonitorPanel::SnapshotToFolder()
{
    const QString jpg = QStringLiteral("JPG (*.jpg)");
    const QString png = QStringLiteral("PNG (*.png)");
    QString filter = m_snapshotFormat == QLatin1String("jpg") ? jpg : png;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Snapshot"), SnapshotManager::ProposedSnapshotPath(),
                                                      QStringLiteral("%1;;%2").arg(jpg, png), &filter);
    if (path.isEmpty())
        return;
    const QFileInfo file(path);
    QString suffix = file.suffix().toLower();
    if (suffix != QLatin1String("jpg") && suffix != QLatin1String("png"))
        suffix = filter == jpg ? QStringLiteral("jpg") : QStringLiteral("png");
    m_snapshotFormat = suffix;
    const QString name = file.suffix().toLower() == suffix ? file.completeBaseName() : file.fileName();
    Snapshots()->SnapshotToFolder(file.absolutePath(), name, suffix);
}

int MonitorPanel::AdvancedSnapshot(const SnapshotProperties& properties)
{
    return Snapshots()->WriteSnapshotFrames(properties);
}

// --- Exports

void MonitorPanel::ShowExportDialog()
{
    m_exports->ShowExportDialog();
}

void MonitorPanel::ExportToFile(const ExportProperties& properties)
{
    m_exports->ExportToFile(properties);
}

void MonitorPanel::CancelExport()
{
    m_exports->CancelExport();
}

void MonitorPanel::BeginExportProcess()
{
    m_exports->BeginExportProcess();
}

void MonitorPanel::EndExportProcess()
{
    m_exports->EndExportProcess();
}

void MonitorPanel::LogExportMsg(const QString& text, int msgType, bool isErrorMsg)
{
    m_exports->LogExportMsg(text, msgType, isErrorMsg);
}

int MonitorPanel::StartFrame() const
{
    return 0;
}

int MonitorPanel::EndFrame() const
{
    const Timeline* timeline = CurrentTimeline();
    return timeline ? timeline->LastFrame() : -1;
}

int MonitorPanel::RangeStartFrame() const
{
    const Timeline* timeline = CurrentTimeline();
    return timeline ? timeline->RangeStartFrame() : 0;
}

int MonitorPanel::RangeEndFrame() const
{
    const Timeline* timeline = CurrentTimeline();
    return timeline ? timeline->RangeEndFrame() : -1;
}

void MonitorPanel::SeekFrame(int frame)
{
    Timeline* timeline = CurrentTimeline();
    if (timeline && frame >= 0 && frame <= timeline->LastFrame())
        m_engine->SetPlaybackTime(timeline->FrameStartTime(frame));
}

// --- Panels

void MonitorPanel::SetGlobalTimeControlVisible(bool visible)
{
    Settings::Get().globalTimeControlVisible = visible;
    m_globalTimeControl->setVisible(visible);
    m_view->update();
}

void MonitorPanel::SetRangeTimeControlVisible(bool visible)
{
    Settings::Get().rangeTimeControlVisible = visible;
    m_rangeTimeControl->setVisible(visible);
    m_view->update();
}

void MonitorPanel::ToggleGlobalTimeControlVisible()
{
    SetGlobalTimeControlVisible(!Settings::Get().globalTimeControlVisible);
}

void MonitorPanel::ToggleRangeTimeControlVisible()
{
    SetRangeTimeControlVisible(!Settings::Get().rangeTimeControlVisible);
}

void MonitorPanel::SwapTimeControls()
{
    Settings& settings = Settings::Get();
    if (settings.globalTimeControlPositionTop != settings.rangeTimeControlPositionTop) {
        std::swap(settings.globalTimeControlPositionTop, settings.rangeTimeControlPositionTop);
    } else {
        settings.globalTimeControlPositionTop = !settings.globalTimeControlPositionTop;
        settings.rangeTimeControlPositionTop = !settings.rangeTimeControlPositionTop;
    }
    PlaceTimeControls();
}

void MonitorPanel::ToggleTimeControlPosition(TimeControlBaseWidget* timeControl)
{
    if (timeControl == m_globalTimeControl || timeControl == m_rangeTimeControl)
        timeControl->TogglePosition(); // stores the side and asks to be placed again
}

void MonitorPanel::SetPlaybackControlsVisible(bool visible)
{
    Settings::Get().playbackControlsVisible = visible;
    m_bottomRow->setVisible(visible);
}

void MonitorPanel::TogglePlaybackControlsVisible()
{
    SetPlaybackControlsVisible(!Settings::Get().playbackControlsVisible);
}

void MonitorPanel::SetViewerControlsVisible(bool visible)
{
    Settings::Get().viewerControlsVisible = visible;
    m_topRow->setVisible(visible);
}

void MonitorPanel::ToggleViewerControlsVisibility()
{
    SetViewerControlsVisible(!Settings::Get().viewerControlsVisible);
}

// --- Annotations

void MonitorPanel::SetAnnotationTool(int tool)
{
    m_view->SetAnnotationTool(tool);
    m_annotationTools->SetTool(m_view->AnnotationTool());
    m_annotationOptions->SetToolSize(m_view->Annotations()->ToolSize());
}

void MonitorPanel::ToggleAnnotationTool(int tool)
{
    SetAnnotationTool(m_view->AnnotationTool() == tool ? -1 : tool);
}

void MonitorPanel::IncreaseAnnotationToolSize()
{
    m_view->IncreaseAnnotationToolSize();
}

void MonitorPanel::DecreaseAnnotationToolSize()
{
    m_view->DecreaseAnnotationToolSize();
}

void MonitorPanel::ToggleHoldAnnotationFrames()
{
    m_view->ToggleHoldAnnotationFrames();
    ShowMessage(m_view->Annotations()->HoldFrames() ? QStringLiteral("Hold On") : QStringLiteral("Hold Off"));
}

void MonitorPanel::ToggleGhosting()
{
    m_view->ToggleAnnotationGhosting();
    ShowMessage(m_view->Annotations()->Ghosting() ? QStringLiteral("Ghosting On") : QStringLiteral("Ghosting Off"));
}

void MonitorPanel::UndoAnnotation()
{
    m_view->UndoAnnotation();
}

void MonitorPanel::RedoAnnotation()
{
    m_view->RedoAnnotation();
}

void MonitorPanel::SetAnnotationVisibility(int visibility)
{
    m_view->SetAnnotationVisibility(visibility);
}

void MonitorPanel::CutBookmark()
{
    m_view->CutAnnotation();
}

void MonitorPanel::CopyBookmark()
{
    m_view->CopyAnnotation();
}

void MonitorPanel::PasteBookmark()
{
    m_view->PasteAnnotation();
}

void MonitorPanel::ClearCurrentFrameAnnotation()
{
    m_view->ClearCurrentFrameAnnotation();
}

void MonitorPanel::SetAnnotationToolbarVisible(bool visible)
{
    Settings::Get().annotationToolsVisible = visible;
    m_annotationTools->setVisible(visible);
    m_annotationOptions->setVisible(visible);
}

void MonitorPanel::ToggleAnnotationToolbarVisibility()
{
    SetAnnotationToolbarVisible(!Settings::Get().annotationToolsVisible);
}

void MonitorPanel::SetMediaInfoVisible(bool visible)
{
    m_view->SetMediaInfoVisible(visible);
}

void MonitorPanel::ToggleMediaInfoVisibility()
{
    SetMediaInfoVisible(!m_view->Overlay()->MediaInfoEnabled());
}

void MonitorPanel::ShowMayaToolsDialog()
{
    if (!m_mayaTools) {
        m_mayaTools = new MayaToolsDialog(this);
        connect(m_globalTimeControl, &TimeControlBaseWidget::PlaybackFrameChanged, m_mayaTools,
                &MayaToolsDialog::SetPlaybackFrame);
        connect(m_manager, &ProjectManager::ClientApiFrameChangeRequested, m_mayaTools,
                &MayaToolsDialog::PauseSyncTemporarily);
        const Timeline* timeline = m_globalTimeControl->GetTimeline();
        m_mayaTools->SetPlaybackFrame(m_globalTimeControl->CurrentFrame(), timeline ? timeline->TimeControlFrameOffset() : 0);
    }
    m_mayaTools->ShowAndActivate();
}

void MonitorPanel::RefreshFromSettings()
{
    const Settings& settings = Settings::Get();
    m_engine->ApplyAudioOutputSettings(); // sound on backwards play is copied, not read
    m_playbackControls->SetVolume(settings.volume, settings.muted);
    m_viewerControls->Refresh();
    RefreshToolsDisplay();
}
