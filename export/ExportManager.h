#pragma once

#include "media/VideoFrame.h"
#include "project/ExportProperties.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QPair>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class DecodeManager;
class ExportWorker;
class FfmpegProcess;
class QThread;
class Timeline;

// One pass of an export: mode 1 pipes the timeline's mixed audio into an ffmpeg process
// (AAC), mode 2 pipes video frames into ffmpeg segment by segment (H.264 or an image
// sequence), then joins, moves or merges the results. Every message leaves as
// ExportLogMsgReceived(text, channel, isError).
//
// Threads: a timeline pass is created, run (Run) and deleted on one engine worker thread; it
// spins that thread's event loop while it waits, with every wait bounded and checking the
// request's cancelled flag. A viewer capture (WriteSnapshotFrame, FinishViewerCapture) runs on
// the main thread. The request is shared with the main thread; see ExportProperties for which
// fields are read and written while a pass runs. ffmpeg processes are children of the manager
// and are killed when it is deleted.
class ExportManager : public QObject
{
    Q_OBJECT

public:
    enum Mode { AudioMode = 1, VideoMode = 2 };

    ExportManager(int mode, std::shared_ptr<ExportProperties> request, QObject* parent = nullptr);
    ~ExportManager() override;

    // Main thread: checks the request and sets up its streams, names and temporary folder.
    // Returns an error text, empty when the export is ready to run. Copies the ffmpeg path
    // from the settings into the request.
    static QString Prepare(ExportProperties& request);
    // Main thread, after every pass has ended (also after a failure): removes the temporary
    // files and the temporary folder this export created. Returns an error text or empty.
    static QString Cleanup(ExportProperties& request);

    // Runs this pass over `timeline` (owned by the caller; this pass moves its range and
    // playback position) on the calling thread and returns when the pass has ended.
    void Run(Timeline* timeline);

    // How long (ms) a start, a write or the close of an ffmpeg process may take, and how long a
    // pass waits for the next decoded frame or sound; 0 or less restores the defaults (30000
    // and 60000). For tests; main thread, while no export runs.
    static void SetTimeouts(int processTimeoutMs, int frameTimeoutMs);

    // Viewer capture, main thread: closes the open segment; unless the output is an image
    // sequence, finalizes the segments, and without audio moves the video to the output.
    // Returns the first captured frame number, -1 when nothing was captured.
    int FinishViewerCapture();
    // Viewer capture: how many frames it takes, for its progress (videoProgress).
    void SetCaptureFrameCount(int count) { m_captureFrameCount = count; }

    // The exact ffmpeg arguments of each step (public for the tests that pin them).
    static QStringList AudioArguments(const ExportProperties& request);
    // A movie segment writes `segmentPath`; an image sequence writes the numbered images from
    // `firstImageNumber`.
    static QStringList SegmentArguments(const ExportProperties& request, const QString& pixelFormat, int width,
                                        int height, bool linear, float pixelAspect, int firstImageNumber,
                                        const QString& segmentPath);
    static QString CrfForQuality(int quality);
    static QString PresetName(int preset);
    // One line per segment, in order, each path quoted for ffmpeg's concat list. Empty when a
    // path cannot be written into a list (it holds a line break).
    static QByteArray ConcatList(const QStringList& segmentPaths);
    // "ffmpeg arg1 arg2 ...", as logged for every process.
    static QString CommandLine(const QString& program, const QStringList& arguments);
    // The first line `ffmpeg -version` prints, empty when it does not run, does not answer
    // within about two seconds, or `stopRequested` (polled while it waits) returns true. Any
    // thread; on the main thread it processes events while it waits.
    static QString VersionLine(const QString& ffmpegExePath, const std::function<bool()>& stopRequested = {});

public slots:
    void WriteAudioData();
    void WriteVideoFrame(std::shared_ptr<VideoFrame> videoFrame);
    void WriteSnapshotFrame(const QImage& image, int frameNumber);
    // What the running ffmpeg wrote on its standard output or standard error: one log line on
    // the pass's channel, not an error.
    void ProcessExportOutput(const QString& text);
    void ProcessExportError(const QString& text);

signals:
    void ExportLogMsgReceived(const QString& text, int msgType, bool isErrorMsg);
    void VideoDecodingReadyWait();
    void VideoExportEnded();

private:
    void SetUpPass(Timeline* timeline);
    void RunAudioPass();
    void RunVideoPass();
    void StartAudioProcess();
    bool OpenSegment(const QString& pixelFormat, int bytesPerPixel, int layout, int width, int height, bool linear,
                     float pixelAspect);
    void CloseSegment();
    // Image sequences: fails when the open segment's first or last image file is missing or empty.
    void CheckImageFiles();
    void FinishVideoLoop();
    void FinalizeSegments();
    void MoveVideoToOutput();
    void Merge();
    // Runs one ffmpeg step to its end; false when it did not start, failed or was stopped.
    // `startFailureText` is logged (after "Timeout starting export process cmd") when it did not
    // start; `failureText` closes the failure either way (once when the two are the same), after
    // what ffmpeg wrote on its standard error when it ran and failed. A stop logs nothing.
    bool RunStep(const QStringList& arguments, const QString& startFailureText, const QString& failureText);
    FfmpegProcess* NewProcess();
    bool WriteToProcess(const char* data, qint64 size, const QString& timeoutText);
    // Writes one picture of the open segment's size and layout, black.
    bool WriteBlackFrame();
    // Fails when `path` is missing or empty, logging `text`.
    bool CheckOutputFile(const QString& path, const QString& text);
    void WaitForVideoLoop();
    void WriteOneSnapshot(const QImage& image, int frameNumber);
    void Fail(const QString& text);
    void LogGeneral(const QString& text, bool isError);
    int Channel() const { return m_mode == AudioMode ? ExportLogAudio : ExportLogVideo; }
    bool Proceeding() const { return m_request->Proceeding(); }

    const int m_mode;
    std::shared_ptr<ExportProperties> m_request;
    Timeline* m_timeline = nullptr;
    FfmpegProcess* m_process = nullptr; // child; the open write process, if any
    bool m_writeChannelOpen = false;
    int32_t m_rangeStartFrame = 0;
    int32_t m_rangeEndFrame = 0;
    int32_t m_currentFrame = 0;
    int64_t m_rangeDuration = 0; // µs
    QString m_sizeText;          // "width:height"
    // The open video segment.
    int m_segmentWidth = 0;
    int m_segmentHeight = 0;
    QString m_pixelFormat;
    int m_bytesPerPixel = 0;
    int m_pixelLayout = -1;
    bool m_linear = false;
    int m_segmentCounter = -1;
    int m_firstImageNumber = 0;
    int m_segmentPictures = 0; // written into the open segment
    int m_firstCapturedFrame = -1;
    int m_captureFrameCount = 0; // frames a viewer capture takes, 0 when unknown
    int m_capturedFrames = 0;    // written so far
    // Audio.
    int64_t m_totalBytes = 0;
    int64_t m_remainingBytes = 0;
    int64_t m_chunkBytes = 0;
    int64_t m_byteCounter = 0;
    QElapsedTimer m_sinceAudioWrite; // a pass whose sound stops coming fails after a while
    QByteArray m_readBuffer;
    bool m_audioStarted = false;
    DecodeManager* m_audioDecoder = nullptr; // the audio pass's, while it runs
    // Video.
    ExportWorker* m_worker = nullptr;
    QThread* m_workerThread = nullptr;
    bool m_running = false;
    bool m_sizeRoundingLogged = false;
    QByteArray m_expandedPicture; // an odd-sized 4:2:0 picture as ffmpeg reads it, reused
    // Viewer capture: images that arrive while one is being written (the waits of a write on
    // the main thread process events) are written after it, in order.
    QList<QPair<QImage, int>> m_pendingSnapshots;
    bool m_writingSnapshot = false;
};
