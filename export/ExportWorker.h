#pragma once

#include "media/VideoFrame.h"

#include <QObject>

#include <atomic>
#include <memory>

class DecodeManager;
class Timeline;

// Decodes a timeline's pictures for the video pass of an export, on a thread of its own: its
// decode manager runs in export mode and reports the frame at the timeline's playback time,
// which the export pass moves one frame at a time. Created on the pass's thread and then moved
// to its own; reached only by queued signals.
class ExportWorker : public QObject
{
    Q_OBJECT

public:
    ExportWorker(Timeline* timeline, int imageSequenceThreadCount, QObject* parent = nullptr);
    ~ExportWorker() override;

    DecodeManager* Decoder() const { return m_decodeManager; }

    // Any thread: decoding ends at the decode loop's next check, and this thread then quits.
    void RequestStop();

public slots:
    // Decodes until EndDecoding (or RequestStop), then quits this thread.
    void StartVideoDecoding();
    void EndDecoding();

signals:
    void VideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame);
    void ShutdownCompleted();

private:
    Timeline* m_timeline; // the pass's copy, borrowed
    DecodeManager* m_decodeManager; // child: moves to the worker's thread with it
    std::atomic<bool> m_endRequested{false};
};
