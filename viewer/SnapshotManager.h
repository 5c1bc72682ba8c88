#pragma once

#include "viewer/SnapshotProperties.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;
class SnapshotTimeControl;
class Timeline;
class ViewerWidget;

// Images of what the viewer shows: the picture with its drawings and overlay, as displayed,
// never the time bars. Copies the view to the clipboard, saves it as one image file, or steps
// the time control through a set of frames and captures each one, reporting every image with
// its timeline frame through ExportFrameGenerated (an export pipes them into its encoder) and
// saving it as "folder/name.NNNN.ext".
//
// A capture of several frames runs on the main thread inside WriteSnapshotFrames: it processes
// events while it waits for each frame to be shown, so the window stays live and
// CancelSnapshotOperation can arrive. The wait for one frame ends when the viewer shows it, on
// cancel, or after FrameTimeout() ms (logged as an error, and the capture stops).
//
// Neither the viewer nor the time control is owned; the viewer is followed by a guarded
// pointer. This object must not be deleted while WriteSnapshotFrames runs (cancel first).
// Main thread only.
class SnapshotManager : public QObject
{
    Q_OBJECT

public:
    // How long a capture waits for a frame to be shown before giving up on the capture.
    static constexpr int kDefaultFrameTimeoutMs = 30000;
    // The export log's general channel, which the capture's messages go to.
    static constexpr int kGeneralLogChannel = 0;

    // `timeControl` is needed for captures of several frames only; it may be null otherwise.
    SnapshotManager(ViewerWidget* viewer, SnapshotTimeControl* timeControl, QObject* parent = nullptr);
    ~SnapshotManager() override;

    // The view as it is now: the OpenGL renderer's picture area (its framebuffer, drawings and
    // overlay included, time bars cropped off), or the whole software viewer widget with its
    // child widgets. Null without a viewer. Pixels of the device, opaque.
    QImage CaptureView() const;

    // The timeline frames a capture of `properties` takes, in order (empty for mode 0, which
    // takes the view as it is).
    QList<int> FramesToCapture(const SnapshotProperties& properties) const;

    // "folder/name.NNNN.ext" with the frame number zero-padded to `width` digits.
    static QString SequenceFilePath(const QString& folder, const QString& name, int frameNumber, int width,
                                    const QString& extension);
    // The save dialog's filter for the snapshot format setting: 1 JPG, anything else PNG.
    static QString FileDialogFilter(int snapshotFormat);
    // What the save dialog proposes: "folder/snapshot_<ms since the epoch>" in the last folder
    // a snapshot went to, or the pictures folder when none is stored or it is gone.
    static QString ProposedSnapshotPath();

    // The extension a snapshot to a folder uses when it is given none; starts as "png".
    QString LastExtension() const { return m_lastExtension; }
    int FrameTimeout() const { return m_frameTimeoutMs; }
    void SetFrameTimeout(int milliseconds) { m_frameTimeoutMs = milliseconds; }
    bool IsCapturing() const { return m_capturing; }
    bool IsCancelled() const { return m_cancel; }

public slots:
    // Puts the view on the system clipboard; false when there was nothing to capture.
    bool SnapshotToClipboard();
    // Saves the view as "folder/name.extension" (the last extension when none is given),
    // creating the folder; remembers the folder as the last snapshot folder and the extension
    // as the last one. False, with the error logged, when the folder or the file cannot be made.
    bool SnapshotToFolder(const QString& folder, const QString& name, const QString& extension = QString());
    // Captures the frames of `properties` (mode 0: the view as it is now, saved as
    // "folder/name.ext"), reporting each through ExportFrameGenerated and, unless told not to,
    // saving it. Returns the first frame captured (0 for mode 0), or -1 on failure: nothing to
    // capture, a capture already running, a folder or file that cannot be made, a frame that is
    // not shown in time (each ends the capture there). A cancel ends it before the next frame,
    // keeps the files written so far and returns the first frame captured (-1 when none was).
    int WriteSnapshotFrames(const SnapshotProperties& properties);
    // Stops a running capture before its next frame (or ends the wait for the current one).
    void CancelSnapshotOperation();
    // Relays a message to whoever shows the export log.
    void LogExportMsg(const QString& text, int msgType, bool isErrorMsg);

signals:
    void ExportFrameGenerated(const QImage& image, int frameNumber);
    void ExportLogMsgReceived(const QString& text, int msgType, bool isErrorMsg);
    // Percent of the frames of the running capture done, 0 at its start.
    void SnapshotProgressChanged(int progress);

private:
    // Logs `text` as an error and reports it on the export log.
    void ReportError(const QString& text);
    bool EnsureFolder(const QString& folder);
    bool SaveImage(const QImage& image, const QString& path, const QString& extension);
    // Whether the viewer shows timeline frame `frame` of `timeline` now.
    bool ShowsFrame(const Timeline* timeline, int frame) const;
    enum class WaitResult { Shown, Cancelled, TimedOut, Gone, Deleted /* this manager, during the wait */ };
    // Runs the event loop until the viewer shows `frame`, a cancel, the timeout, or the viewer
    // or the timeline is deleted.
    WaitResult WaitForFrame(const QPointer<Timeline>& timeline, int frame);
    int CaptureFrames(const SnapshotProperties& properties);

    QPointer<ViewerWidget> m_viewer;
    SnapshotTimeControl* m_timeControl = nullptr;
    QString m_lastExtension = QStringLiteral("png");
    int m_frameTimeoutMs = kDefaultFrameTimeoutMs;
    bool m_cancel = false;
    bool m_capturing = false;
    QEventLoop* m_waitLoop = nullptr; // the running wait for a frame, quit by a cancel
};
