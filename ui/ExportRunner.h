#pragma once

#include "project/ExportProperties.h"

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSize>

#include <memory>

class AvManager;
class ExportDialog;
class MonitorPanel;

// The player panel's exports: opens the export dialog, prepares and runs each request (a
// timeline export through the media engine, or a viewer capture that steps the panel's viewer
// and pipes its images into an export manager), and ends it: cleanup, the closing line of the
// log, the panel put back as it was. Keeps the process-wide export state (ExportStatus): the
// running flag and the general log, which the client API reads.
//
// The running request is owned here (shared with the engine's export passes, which write its
// progress and failure from their threads) from ExportToFile until EndExportProcess. One
// export runs at a time; a request arriving meanwhile is dropped. Main thread only.
class ExportRunner : public QObject
{
    Q_OBJECT

public:
    // `panel` is this runner's parent and outlives it; `engine` outlives both.
    ExportRunner(AvManager* engine, MonitorPanel* panel);
    ~ExportRunner() override;

    // The export dialog, made on first use (a child window of the panel).
    ExportDialog* Dialog();
    // The dialog if it was ever made, else null.
    ExportDialog* ExistingDialog() const;
    // The running request, null when none runs.
    std::shared_ptr<const ExportProperties> Request() const { return m_request; }

public slots:
    void ShowExportDialog();
    // Runs `properties` on the viewer's timeline; nothing happens without one, or while an
    // export runs.
    void ExportToFile(const ExportProperties& properties);
    void CancelExport();
    void BeginExportProcess();
    void EndExportProcess();
    // A line of the export's log: to the dialog, to the panel's ExportLogMsgReceived, and for
    // the general channel to the general log.
    void LogExportMsg(const QString& text, int msgType, bool isErrorMsg);

private:
    // The first line of every export's general log: the first line `ffmpeg -version` prints
    // (an error when ffmpeg does not answer). Asked once, as the export begins; the window
    // stays responsive meanwhile, and a cancel ends the wait.
    void LogVersionLine();
    void RunViewerExport();
    // What a viewer capture changes on the viewer, and puts back when the export ends: without
    // annotations their visibility is off; with them the request's annotation background
    // colour (R, G, B, A: the client API's viewer options) fills the picture, when it is valid.
    void ApplyViewerOptions();
    void RestoreViewerOptions();
    // The viewer capture into an export manager; returns when the frames are written.
    void CaptureIntoExportManager(int mode);
    void WriteBookmarkImages(int mode);
    void Fail(const QString& text);
    void OnExportTasksEnded();

    AvManager* m_engine;
    MonitorPanel* m_panel;
    QPointer<ExportDialog> m_dialog;
    std::shared_ptr<ExportProperties> m_request;
    bool m_viewerCapturing = false; // a viewer capture is stepping the viewer now

    // The panel as it was when the export began, put back when it ends.
    bool m_saved = false;
    QByteArray m_windowGeometry;
    QSize m_viewerSize;
    bool m_globalTimeControlVisible = false;
    bool m_rangeTimeControlVisible = false;
    bool m_playbackControlsVisible = false;
    bool m_viewerControlsVisible = false;
    bool m_annotationToolbarVisible = false;
    int m_annotationVisibility = -1; // restored after a capture without annotations, else -1
    QColor m_annotationBackground;    // restored after a capture that set the fill, else invalid
    QColor m_storedAnnotationBackground; // the setting as it was before that capture
};
