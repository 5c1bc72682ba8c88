#include "ui/ExportRunner.h"

#include "core/Settings.h"
#include "engine/AvManager.h"
#include "export/ExportDialog.h"
#include "export/ExportManager.h"
#include "export/ExportPasses.h"
#include "project/ExportStatus.h"
#include "project/FrameBookmark.h"
#include "project/Timeline.h"
#include "ui/MonitorPanel.h"
#include "viewer/AnnotationTypes.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/SnapshotManager.h"
#include "viewer/SnapshotProperties.h"
#include "viewer/ViewerWidget.h"

#include <QCoreApplication>

namespace {

// How often the event loop runs after a viewer capture hid the panel's bars, so that the
// layout has settled before the viewer is resized to the export size.
constexpr int kLayoutSettleTurns = 10;

} // namespace

ExportRunner::ExportRunner(AvManager* engine, MonitorPanel* panel)
    : QObject(panel)
    , m_engine(engine)
    , m_panel(panel)
{
    InstallExportPasses(engine);
    connect(engine, &AvManager::ExportTasksEnded, this, &ExportRunner::OnExportTasksEnded);
    connect(engine, &AvManager::ExportLogMsgReceived, this, &ExportRunner::LogExportMsg);
    connect(panel->Snapshots(), &SnapshotManager::ExportLogMsgReceived, this, &ExportRunner::LogExportMsg);
}

ExportRunner::~ExportRunner() = default;

ExportDialog* ExportRunner::Dialog()
{
    if (!m_dialog) {
        m_dialog = new ExportDialog(m_panel);
        connect(m_dialog, &ExportDialog::ExportRequested, this, &ExportRunner::ExportToFile);
        connect(m_dialog, &ExportDialog::CancelRequested, this, &ExportRunner::CancelExport);
    }
    return m_dialog;
}

ExportDialog* ExportRunner::ExistingDialog() const
{
    return m_dialog;
}

void ExportRunner::ShowExportDialog()
{
    ExportDialog* dialog = Dialog();
    if (const Timeline* timeline = m_engine->PrimaryTimeline())
        dialog->SetTimelineResolution(timeline->FirstVideoSize());
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void ExportRunner::LogExportMsg(const QString& text, int msgType, bool isErrorMsg)
{
    if (m_dialog)
        m_dialog->AppendToOutput(text, msgType, isErrorMsg);
    if (msgType != ExportLogAudio && msgType != ExportLogVideo)
        ExportStatus::AppendGeneralLog(text + QLatin1Char('\n'));
    emit m_panel->ExportLogMsgReceived(text, msgType, isErrorMsg);
}

void ExportRunner::Fail(const QString& text)
{
    m_request->failed = true;
    LogExportMsg(text, ExportLogGeneral, true);
}

void ExportRunner::ExportToFile(const ExportProperties& properties)
{
    Timeline* timeline = m_panel->View()->PrimaryTimeline();
    if (!timeline || m_request || ExportStatus::Running())
        return;
    m_panel->Pause();
    m_request = std::make_shared<ExportProperties>(properties);
    ExportProperties& request = *m_request;
    request.timeline = timeline;
    request.numberOffset = request.numberingType == ExportNumberingMatchFrame ? timeline->TimeControlFrameOffset()
                           : request.numberingType == ExportNumberingOneBased ? 1
                                                                              : 0;
    // Each request starts a fresh general log, also one refused by preparation.
    ExportStatus::ClearGeneralLog();
    const QString error = ExportManager::Prepare(request);
    if (!error.isEmpty()) {
        // The log starts with the version line here too, of the ffmpeg preparation would have
        // taken from the settings (it may have refused before copying the path).
        request.ffmpegExePath = Settings::Get().ffmpegExePath;
        LogVersionLine();
        Fail(error);
        EndExportProcess();
        return;
    }
    // A capture of bookmarked frames has no sound: said before the weights are chosen.
    if (request.viewerCapture && request.frameSelection == ExportFramesOnlyBookmarks)
        request.noAudio = true;
    if (m_dialog)
        m_dialog->SetProgressWeights(ExportDialog::WeightsFor(request));
    if (!request.viewerCapture) {
        BeginExportProcess();
        // After the beginning, which clears the general log, so that the log keeps it.
        LogExportMsg(QStringLiteral("Starting timeline export..."), ExportLogGeneral, false);
        m_engine->StartTimelineExport(m_request);
        return;
    }
    RunViewerExport();
}

void ExportRunner::BeginExportProcess()
{
    ExportStatus::SetRunning(true);
    ExportStatus::ClearGeneralLog();
    LogVersionLine();
    if (!m_dialog || !m_request)
        return; // a client API export before the dialog was ever opened
    m_dialog->BeginExport(m_request);
    const Settings& settings = Settings::Get();
    m_saved = true;
    m_windowGeometry = m_panel->window()->saveGeometry();
    m_viewerSize = m_panel->View()->size();
    m_globalTimeControlVisible = settings.globalTimeControlVisible;
    m_rangeTimeControlVisible = settings.rangeTimeControlVisible;
    m_playbackControlsVisible = settings.playbackControlsVisible;
    m_viewerControlsVisible = settings.viewerControlsVisible;
    m_annotationToolbarVisible = settings.annotationToolsVisible;
    if (!m_request->viewerCapture)
        return;
    if (m_panel->View()->PrimaryTimeline()) {
        m_panel->SetGlobalTimeControlVisible(false);
        m_panel->SetRangeTimeControlVisible(false);
    }
    m_panel->SetPlaybackControlsVisible(false);
    m_panel->SetViewerControlsVisible(false);
    m_panel->SetAnnotationToolbarVisible(false);
    m_panel->repaint();
    for (int turn = 0; turn < kLayoutSettleTurns; ++turn)
        QCoreApplication::processEvents();
    emit m_panel->ViewerResizeRequested(m_request->width, m_request->height);
    QCoreApplication::processEvents();
}

void ExportRunner::LogVersionLine()
{
    const std::shared_ptr<ExportProperties> request = m_request;
    if (!request)
        return;
    const QString version =
        ExportManager::VersionLine(request->ffmpegExePath, [request] { return bool(request->cancelled); });
    if (!version.isEmpty())
        LogExportMsg(version, ExportLogGeneral, false);
    else if (!request->cancelled)
        LogExportMsg(QStringLiteral("ffmpeg did not run: %1").arg(request->ffmpegExePath), ExportLogGeneral, true);
}

void ExportRunner::EndExportProcess()
{
    if (!m_request)
        return;
    const std::shared_ptr<ExportProperties> request = m_request;
    ExportStatus::SetRunning(false);
    const QString cleanupError = ExportManager::Cleanup(*request);
    if (!cleanupError.isEmpty())
        LogExportMsg(cleanupError, ExportLogGeneral, true);
    const QString end = request->cancelled ? QStringLiteral("\nExport cancelled")
                        : request->failed  ? QStringLiteral("\nExport failed!")
                                           : QStringLiteral("\nExport completed successfully.");
    ExportStatus::AppendGeneralLog(end);
    if (m_dialog)
        m_dialog->AppendToOutput(end, ExportLogGeneral, false);
    emit m_panel->ExportLogMsgReceived(end, ExportLogGeneral, false);
    RestoreViewerOptions();
    if (m_dialog && m_dialog->IsExporting()) {
        m_dialog->EndExport();
        if (m_saved) {
            if (request->viewerCapture) {
                m_panel->SetGlobalTimeControlVisible(m_globalTimeControlVisible);
                m_panel->SetRangeTimeControlVisible(m_rangeTimeControlVisible);
                m_panel->SetPlaybackControlsVisible(m_playbackControlsVisible);
                m_panel->SetViewerControlsVisible(m_viewerControlsVisible);
                m_panel->SetAnnotationToolbarVisible(m_annotationToolbarVisible);
                emit m_panel->ViewerResizeRequested(m_viewerSize.width(), m_viewerSize.height());
            }
            m_panel->window()->restoreGeometry(m_windowGeometry);
        }
    }
    m_saved = false;
    m_request.reset();
}

void ExportRunner::CancelExport()
{
    if (!m_request)
        return;
    m_request->cancelled = true;
    if (m_viewerCapturing)
        m_panel->Snapshots()->CancelSnapshotOperation();
}

void ExportRunner::OnExportTasksEnded()
{
    // The engine ends timeline exports and the audio pass that follows a viewer capture.
    if (m_request && !m_viewerCapturing)
        EndExportProcess();
}

void ExportRunner::RunViewerExport()
{
    ExportProperties& request = *m_request;
    const Timeline* timeline = request.timeline;
    int mode = request.ignoreRange ? SnapshotModeAllFrames : SnapshotModeRangeFrames;
    if (request.frameSelection == ExportFramesOnlyBookmarks || request.frameSelection == ExportFramesSteppedBookmarks) {
        if (timeline->FrameBookmarks().isEmpty()) {
            LogVersionLine(); // the log starts with it also when the capture is refused
            Fail(QStringLiteral("No bookmarks found for export"));
            EndExportProcess();
            return;
        }
        mode = request.ignoreRange ? SnapshotModeAllBookmarks : SnapshotModeRangeBookmarks;
    }
    BeginExportProcess();
    LogExportMsg(QStringLiteral("Starting viewer export..."), ExportLogGeneral, false);
    ApplyViewerOptions();
    if (request.frameSelection == ExportFramesOnlyBookmarks && request.numberingType == ExportNumberingMatchFrame)
        WriteBookmarkImages(mode);
    else
        CaptureIntoExportManager(mode);
}

void ExportRunner::ApplyViewerOptions()
{
    AnnotationsOverlay* annotations = m_panel->View()->Annotations();
    if (m_request->excludeAnnotations) {
        m_annotationVisibility = annotations->Visibility();
        m_panel->SetAnnotationVisibility(AnnotationVisibilityOff);
        return;
    }
    const QColor fill = m_request->annotationBackgroundColor;
    if (!fill.isValid())
        return; // a request without viewer options (the dialog's) leaves the fill as it is
    // Setting the fill also stores it as the user's choice; both are put back afterwards.
    m_annotationBackground = annotations->BackgroundColor();
    m_storedAnnotationBackground = Settings::Get().annotationBackgroundColor;
    annotations->SetBackgroundColor(fill);
}

void ExportRunner::RestoreViewerOptions()
{
    if (m_annotationVisibility >= 0) {
        m_panel->SetAnnotationVisibility(m_annotationVisibility);
        m_annotationVisibility = -1;
    }
    if (m_annotationBackground.isValid()) {
        m_panel->View()->Annotations()->SetBackgroundColor(m_annotationBackground);
        Settings::Get().annotationBackgroundColor = m_storedAnnotationBackground;
        m_annotationBackground = QColor();
    }
}

void ExportRunner::WriteBookmarkImages(int mode)
{
    const std::shared_ptr<ExportProperties> request = m_request;
    SnapshotProperties snapshot;
    snapshot.folder = request->outputDirPath;
    snapshot.name = request->baseName;
    snapshot.format = request->imageFormat;
    snapshot.frameNumberWidth = request->padding;
    snapshot.numberOffset = request->numberOffset; // the frames' numbers as the time control shows them
    snapshot.mode = mode;
    m_viewerCapturing = true;
    const int first = m_panel->Snapshots()->WriteSnapshotFrames(snapshot);
    m_viewerCapturing = false;
    if (first < 0 && !request->cancelled)
        request->failed = true;
    EndExportProcess();
}

void ExportRunner::CaptureIntoExportManager(int mode)
{
    const std::shared_ptr<ExportProperties> request = m_request;
    SnapshotProperties snapshot;
    snapshot.mode = mode;
    snapshot.writeFiles = false;
    SnapshotManager* snapshots = m_panel->Snapshots();
    int first = -1;
    {
        ExportManager capture(ExportManager::VideoMode, request);
        capture.SetCaptureFrameCount(static_cast<int>(snapshots->FramesToCapture(snapshot).size()));
        connect(&capture, &ExportManager::ExportLogMsgReceived, this, &ExportRunner::LogExportMsg);
        connect(snapshots, &SnapshotManager::ExportFrameGenerated, &capture, &ExportManager::WriteSnapshotFrame);
        m_viewerCapturing = true;
        const int captured = snapshots->WriteSnapshotFrames(snapshot);
        m_viewerCapturing = false;
        if (captured < 0 && !request->cancelled)
            request->failed = true;
        first = capture.FinishViewerCapture();
    }
    if (request->Proceeding() && !request->noAudio) {
        // Only the audio pass runs, and ends with merging the captured video in.
        request->noVideo = true;
        request->mergeAfterAudio = true;
        if (request->frameSelection == ExportFramesSteppedBookmarks)
            request->audioStartFrame = first;
        m_engine->StartTimelineExport(request);
        return;
    }
    EndExportProcess();
}
