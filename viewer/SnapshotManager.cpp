#include "viewer/SnapshotManager.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "media/VideoFrame.h"
#include "project/FrameBookmark.h"
#include "project/Timeline.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SnapshotTimeControl.h"
#include "viewer/ViewerWidget.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

SnapshotManager::SnapshotManager(ViewerWidget* viewer, SnapshotTimeControl* timeControl, QObject* parent)
    : QObject(parent)
    , m_viewer(viewer)
    , m_timeControl(timeControl)
{
}

SnapshotManager::~SnapshotManager() = default;

QImage SnapshotManager::CaptureView() const
{
    if (!m_viewer)
        return QImage();
    QImage image;
    if (OpenGLViewer* gl = m_viewer->GlRenderer())
        image = gl->GrabViewportImage();
    else
        image = m_viewer->grab().toImage(); // the renderer, drawings and overlay are its children
    if (image.isNull())
        return image;
    // What the screen shows is opaque; alpha left in the framebuffer by blending is not.
    return image.convertToFormat(QImage::Format_RGB32);
}

QList<int> SnapshotManager::FramesToCapture(const SnapshotProperties& properties) const
{
    QList<int> frames;
    if (properties.mode < SnapshotModeAllFrames || properties.mode > SnapshotModeRangeBookmarks || !m_timeControl
        || !m_viewer)
        return frames;
    const bool range = properties.mode == SnapshotModeRangeFrames || properties.mode == SnapshotModeRangeBookmarks;
    const int start = range ? m_timeControl->RangeStartFrame() : m_timeControl->StartFrame();
    const int end = range ? m_timeControl->RangeEndFrame() : m_timeControl->EndFrame();
    if (start < 0 || end < start)
        return frames;
    if (properties.mode == SnapshotModeAllBookmarks || properties.mode == SnapshotModeRangeBookmarks) {
        const Timeline* timeline = m_viewer->PrimaryTimeline();
        if (!timeline)
            return frames;
        for (const FrameBookmark* bookmark : timeline->FrameBookmarks()) {
            const int frame = bookmark->TimelineFrame();
            if (frame >= start && frame <= end)
                frames.append(frame);
        }
        std::sort(frames.begin(), frames.end());
        frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
        return frames;
    }
    frames.reserve(end - start + 1);
    for (int frame = start; frame <= end; ++frame)
        frames.append(frame);
    return frames;
}

QString SnapshotManager::SequenceFilePath(const QString& folder, const QString& name, int frameNumber, int width,
                                          const QString& extension)
{
    return QStringLiteral("%1/%2.%3.%4")
        .arg(folder, name, QStringLiteral("%1").arg(frameNumber, std::max(width, 0), 10, QLatin1Char('0')), extension);
}

QString SnapshotManager::FileDialogFilter(int snapshotFormat)
{
    return snapshotFormat == 1 ? QStringLiteral("JPG (*.jpg)") : QStringLiteral("PNG (*.png)");
}

QString SnapshotManager::ProposedSnapshotPath()
{
    QString folder = Settings::Get().lastImgCaptureDirPath;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return QStringLiteral("%1/snapshot_%2").arg(folder).arg(QDateTime::currentMSecsSinceEpoch());
}

bool SnapshotManager::SnapshotToClipboard()
{
    const QImage image = CaptureView();
    if (image.isNull())
        return false;
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

bool SnapshotManager::SnapshotToFolder(const QString& folder, const QString& name, const QString& extension)
{
    if (!extension.isEmpty())
        m_lastExtension = extension;
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        Logger::error(QStringLiteral("Failed to create snapshot directory: %1").arg(folder));
        return false;
    }
    Settings::Get().lastImgCaptureDirPath = folder;
    const QString path = QStringLiteral("%1/%2.%3").arg(folder, name, m_lastExtension);
    if (!SaveImage(CaptureView(), path, m_lastExtension)) {
        Logger::error(QStringLiteral("Failed to save snapshot: %1").arg(path));
        return false;
    }
    return true;
}

bool SnapshotManager::SaveImage(const QImage& image, const QString& path, const QString& extension)
{
    if (image.isNull())
        return false;
    const QByteArray format = extension.toLower() == QLatin1String("jpg") ? QByteArray("JPG") : extension.toUpper().toLatin1();
    return image.save(path, format.constData());
}

void SnapshotManager::ReportError(const QString& text)
{
    Logger::error(text);
    emit ExportLogMsgReceived(text, kGeneralLogChannel, true);
}

bool SnapshotManager::EnsureFolder(const QString& folder)
{
    if (QDir(folder).exists() || QDir().mkpath(folder))
        return true;
    ReportError(QStringLiteral("Failed to create snapshot directory: %1").arg(folder));
    return false;
}

void SnapshotManager::CancelSnapshotOperation()
{
    m_cancel = true;
    if (m_waitLoop)
        m_waitLoop->quit();
}

void SnapshotManager::LogExportMsg(const QString& text, int msgType, bool isErrorMsg)
{
    emit ExportLogMsgReceived(text, msgType, isErrorMsg);
}

bool SnapshotManager::ShowsFrame(const Timeline* timeline, int frame) const
{
    if (!m_viewer || !timeline || m_viewer->PrimaryTimeline() != timeline)
        return false;
    const std::shared_ptr<VideoFrame> shown = m_viewer->ShownFrame(0);
    if (!shown)
        return false;
    // The frame that covers the asked frame's start on the timeline, as the viewer picks it.
    const int64_t time = timeline->FrameStartTime(frame);
    return time >= 0 && shown->timelineFrameStartTime >= 0 && shown->timelineFrameStartTime <= time
           && time <= shown->timelineFrameEndTime.load();
}

SnapshotManager::WaitResult SnapshotManager::WaitForFrame(const QPointer<Timeline>& timeline, int frame)
{
    if (ShowsFrame(timeline, frame))
        return WaitResult::Shown;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    bool timedOut = false;
    connect(&timeout, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    connect(m_viewer, &ViewerWidget::PrimaryVideoFrameChanged, &loop, [&] {
        if (ShowsFrame(timeline, frame))
            loop.quit();
    });
    connect(m_viewer, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (timeline)
        connect(timeline, &QObject::destroyed, &loop, &QEventLoop::quit);
    m_waitLoop = &loop;
    timeout.start(std::max(m_frameTimeoutMs, 0));
    // The loop may run the deletion of this manager (its panel closed meanwhile): nothing of
    // it may be touched then.
    const QPointer<SnapshotManager> self(this);
    loop.exec();
    if (!self)
        return WaitResult::Deleted;
    m_waitLoop = nullptr;
    if (ShowsFrame(timeline, frame))
        return WaitResult::Shown;
    if (!m_viewer || !timeline)
        return WaitResult::Gone;
    if (timedOut)
        return WaitResult::TimedOut;
    return WaitResult::Cancelled;
}

int SnapshotManager::WriteSnapshotFrames(const SnapshotProperties& properties)
{
    if (m_capturing) {
        // A second capture would step the same time control from inside the first one's wait.
        Logger::warning(QStringLiteral("A snapshot capture is already running"));
        return -1;
    }
    m_capturing = true;
    m_cancel = false;
    const QPointer<SnapshotManager> self(this);
    const int first = CaptureFrames(properties);
    if (self)
        m_capturing = false;
    return first;
}

int SnapshotManager::CaptureFrames(const SnapshotProperties& properties)
{
    if (properties.mode == SnapshotModeCurrentView) {
        const std::shared_ptr<VideoFrame> shown = m_viewer ? m_viewer->ShownFrame(0) : nullptr;
        const Timeline* timeline = m_viewer ? m_viewer->PrimaryTimeline() : nullptr;
        const int frame = timeline && shown && shown->timelineFrameStartTime >= 0
                              ? timeline->TimeToFrame(shown->timelineFrameStartTime)
                              : -1;
        const QImage image = CaptureView();
        if (image.isNull()) {
            ReportError(QStringLiteral("Failed to capture the view"));
            return -1;
        }
        emit SnapshotProgressChanged(0);
        emit ExportFrameGenerated(image, frame);
        if (properties.writeFiles) {
            if (!EnsureFolder(properties.folder))
                return -1;
            const QString path = QStringLiteral("%1/%2.%3").arg(properties.folder, properties.name, properties.format);
            if (!SaveImage(image, path, properties.format)) {
                ReportError(QStringLiteral("Failed to save snapshot: %1").arg(path));
                return -1;
            }
        }
        emit SnapshotProgressChanged(100);
        return std::max(frame, 0);
    }

    const QList<int> frames = FramesToCapture(properties);
    if (frames.isEmpty()) {
        ReportError(QStringLiteral("Export frame count is zero"));
        return -1;
    }
    if (properties.writeFiles && !EnsureFolder(properties.folder))
        return -1;
    const QPointer<Timeline> timeline = m_viewer->PrimaryTimeline();
    emit SnapshotProgressChanged(0);
    int firstCaptured = -1;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (m_cancel || !m_viewer)
            break;
        const int frame = frames[i];
        m_timeControl->SeekFrame(frame);
        const WaitResult waited = WaitForFrame(timeline, frame);
        if (waited == WaitResult::Deleted)
            return -1; // this object is gone: return without a word
        if (waited == WaitResult::Cancelled)
            break;
        if (waited == WaitResult::Gone) {
            ReportError(QStringLiteral("Snapshot capture stopped: the viewer or its timeline is gone"));
            return -1;
        }
        if (waited == WaitResult::TimedOut) {
            ReportError(QStringLiteral("Timed out waiting for frame %1 to be shown (%2 ms)").arg(frame).arg(m_frameTimeoutMs));
            return -1;
        }
        const QImage image = CaptureView();
        if (image.isNull()) {
            ReportError(QStringLiteral("Failed to capture frame %1").arg(frame));
            continue;
        }
        if (firstCaptured < 0)
            firstCaptured = frame;
        emit ExportFrameGenerated(image, frame);
        if (properties.writeFiles) {
            const QString path = SequenceFilePath(properties.folder, properties.name, frame + properties.numberOffset,
                                                  properties.frameNumberWidth, properties.format);
            if (!SaveImage(image, path, properties.format)) {
                ReportError(QStringLiteral("Failed to save snapshot: %1").arg(path));
                return -1;
            }
        }
        emit SnapshotProgressChanged(static_cast<int>((i + 1) * 100 / frames.size()));
    }
    return firstCaptured;
}
