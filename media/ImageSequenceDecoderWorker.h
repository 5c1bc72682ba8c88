#pragma once

#include "media/FfmpegPtr.h"
#include "media/SourceFileEntry.h"
#include "media/VideoFrame.h"

#include <QObject>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

class VideoDecoder;

// The files of a sequence that the workers of one decoder have probed (the files its source's
// parse did not reach), shared by those workers and keyed by the sequence's entry of the
// file: a file is probed by the first worker that decodes it, and its pictures point into
// that one entry from then on. Any thread.
class ProbedSequenceFiles
{
public:
    std::shared_ptr<SourceFileEntry> Find(const SourceFileEntry* file) const;
    // Keeps `entry` unless the file has one already; returns the one kept.
    std::shared_ptr<SourceFileEntry> Insert(const SourceFileEntry* file, std::shared_ptr<SourceFileEntry> entry);
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::map<const SourceFileEntry*, std::shared_ptr<SourceFileEntry>> m_entries;
};

// Decodes one file of an image sequence per request into a VideoFrame, with a VideoDecoder
// of its own (so that workers never share FFmpeg objects). A file the source's parse probed
// is opened with its entry, which decode threads only read (see Source). Any other file is
// probed first, into an entry shared with the other workers (ProbedSequenceFiles) and
// reported with FileProbed, never written into the sequence's entry; that probe decodes the
// picture, which is then the one converted. Its frames keep that entry alive
// (VideoFrame::streamInfoOwner).
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
    // Before the worker is moved to its thread.
    void SetProbedFiles(std::shared_ptr<ProbedSequenceFiles> files) { m_probedFiles = std::move(files); }

signals:
    void TaskCompleted(int workerId);
    // A picture arrived on this worker's thread (before TaskCompleted of its request).
    void VideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame);
    // What the request for file `fileIndex` (entry `file` of the sequence) learnt of the file,
    // for the source's owner to post to the source (emitted on this worker's thread, before
    // TaskCompleted): the entry a probe filled, or the status of opening a parsed file.
    void FileProbed(int fileIndex, const SourceFileEntry* file, std::shared_ptr<const SourceFileEntry> probed);
    void FileOpened(int fileIndex, const SourceFileEntry* file, SourceStatus status);

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
    AvFramePtr m_picture; // decoded by the probe of a file
    std::shared_ptr<ProbedSequenceFiles> m_probedFiles;
    std::shared_ptr<const SourceFileEntry> m_frameEntry; // the entry of a probed file being decoded
    std::atomic<bool> m_busy{false};
};
