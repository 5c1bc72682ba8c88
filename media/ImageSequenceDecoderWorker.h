#pragma once

#include "media/FfmpegPtr.h"
#include "media/SourceFileEntry.h"
#include "media/VideoFrame.h"

#include <QObject>

#include <atomic>
#include <memory>

class VideoDecoder;

// Decodes one file of an image sequence per request into a VideoFrame, with a VideoDecoder
// of its own (so that workers never share FFmpeg objects). A file whose entry is not parsed
// yet is parsed first; that parse decodes the picture, which is then the one converted.
//
// Created by an ImageSequenceDecoder and moved to a thread of its own, where DecodeImage runs.
// Reached only by queued signals: a request arrives at DecodeImage, every request ends with
// TaskCompleted (with or without a frame). Between TaskCompleted and its next request the
// worker does not touch its frame, so the decoder's thread may take it with TakeFrame().
class ImageSequenceDecoderWorker : public QObject
{
    Q_OBJECT

public:
    explicit ImageSequenceDecoderWorker(int id, QObject* parent = nullptr);
    ~ImageSequenceDecoderWorker() override;

    int Id() const { return m_id; }
    int FileIndex() const { return m_fileIndex; } // of the last request
    bool IsBusy() const { return m_busy; }        // any thread

    // The picture of the last request, or null when the file gave none; leaves null behind.
    std::shared_ptr<VideoFrame> TakeFrame() { return std::move(m_frame); }

signals:
    void TaskCompleted(int workerId);
    // A picture arrived on this worker's thread (before TaskCompleted of its request).
    void VideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame);

public slots:
    // Ignored unless `workerId` is this worker's: requests go out to every worker. `entry` is
    // file `fileIndex` of the sequence.
    void DecodeImage(int workerId, SourceFileEntry* entry, int fileIndex, int streamInfoIndex, bool isExport);
    void OnVideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame);

private:
    void Decode(SourceFileEntry* entry, int streamInfoIndex, bool isExport);

    const int m_id;
    std::unique_ptr<VideoDecoder> m_decoder; // made on first use, for one export flag
    bool m_decoderExport = false;
    int m_fileIndex = -1;
    std::shared_ptr<VideoFrame> m_frame;
    AvFramePtr m_picture; // decoded by the parse of a file
    std::atomic<bool> m_busy{false};
};
