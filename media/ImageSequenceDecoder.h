#pragma once

#include "media/DecodeStatus.h"
#include "media/SourceFileEntry.h"
#include "media/VideoFrame.h"

#include <QObject>

#include <deque>
#include <map>
#include <memory>
#include <span>

class QThread;
class ImageSequenceDecoderWorker;
class ProbedSequenceFiles;

// Decodes an image sequence (a source with one file per frame) forwards or backwards by
// handing each file to one of a pool of workers, each on a thread of its own, and passes
// the pictures on in strict file order in the playback direction. Driven by the decode
// scheduler like a VideoDecoder: SetSequence, SetForward, Seek, then DecodeNext until it
// reports the end, then ProcessEvents until BusyWorkerCount() is 0.
//
// Frame i of the sequence is file i; its pictures are timed at the frame duration given to
// SetSequence: frame i spans FrameStartTime(i) to FrameEndTime(i) µs.
//
// A file that gives no picture (missing, unreadable, damaged) is logged by its worker and
// passed on in its place in the order as FileSkipped(file index), so that the files after it
// are never held back and the scheduler can show the gap for exactly that frame.
//
// Lives on the decode task's thread; every call comes from that thread. Workers are reached
// only by queued signals, and their completions are handled when that thread processes
// events. The reorder buffer is touched only on that thread.
class ImageSequenceDecoder : public QObject
{
    Q_OBJECT

public:
    // Results waiting for an earlier file beyond this many log "Image temp cache overrun";
    // no new file is requested while the buffer holds more.
    static constexpr size_t kReorderWarningSize = 20;

    explicit ImageSequenceDecoder(bool exportFrames, QObject* parent = nullptr);
    ~ImageSequenceDecoder() override; // shuts the workers down

    // Starts `count` workers, each on its own thread; `count` < 1 takes the image-sequence
    // thread count setting. Nothing is started when that is below 1.
    void CreateWorkers(int count = 0);
    int WorkerCount() const;

    // The file entries of the sequence, file i being frame i, and the duration of one frame
    // (µs). The entries belong to the caller and must outlive every request made from them
    // (up to Shutdown). Empty `files` forgets the sequence.
    void SetSequence(std::span<SourceFileEntry> files, double frameDuration);
    double FrameDuration() const { return m_frameDuration; } // µs
    int FileCount() const { return static_cast<int>(m_files.size()); }

    void SetForward(bool forward) { m_forward = forward; }
    bool IsForward() const { return m_forward; }

    // Positions decoding two frames before the frame holding `t` (µs, source time) in the
    // playback direction, within the sequence. Results of requests still in flight are
    // dropped when they arrive.
    void Seek(int64_t t);
    // Requests the next file from a free worker: MoreToCome; Busy when no worker is free or
    // results wait for a late file; StartReached (backwards) or EndOfFile (forwards) once
    // every file to that end of the sequence was requested. No source: EndOfFile.
    DecodeStatus DecodeNext();
    int BusyWorkerCount() const { return static_cast<int>(m_busy.size()); }
    // Quits every worker thread. Results still in flight are dropped; a busy worker is waited
    // for until its one file is done (at most 10 s; one still busy then is left to end and
    // delete itself on its own). Call on the decoder's thread.
    void Shutdown();

signals:
    void DecodeImageRequested(int workerId, SourceFileEntry* entry, int fileIndex, int streamInfoIndex, bool isExport);
    void VideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame);
    // File `fileIndex` gave no picture; emitted where its picture would have been.
    void FileSkipped(int fileIndex);
    // What a worker learnt of file `fileIndex` of the current sequence, for the owner of the
    // sequence's entries to post to it (see Source): the entry a worker probed the file into
    // (the sequence's entry stays as it was), or the status of opening a parsed file.
    void FileProbed(int fileIndex, std::shared_ptr<const SourceFileEntry> entry);
    void FileOpened(int fileIndex, SourceStatus status);

public slots:
    void OnDecodeTaskCompleted(int workerId);
    // The reorder step: takes the result of file `fileIndex` (null when it gave no picture),
    // in whatever order the workers finish, and passes results on in file order from the
    // position of the last Seek. Results for files already passed are dropped.
    void ReorderFrame(int fileIndex, std::shared_ptr<VideoFrame> videoFrame);
    void QuitThread(int workerId);
    // Connected to each worker thread's finished signal: deletes that worker and thread.
    void FinalThreadCleanup();
    void OnFileProbed(int fileIndex, const SourceFileEntry* file, std::shared_ptr<const SourceFileEntry> probed);
    void OnFileOpened(int fileIndex, const SourceFileEntry* file, SourceStatus status);

private:
    struct Worker
    {
        std::unique_ptr<QThread> thread;
        std::unique_ptr<ImageSequenceDecoderWorker> worker;
        int fileIndex = -1;
        bool stale = false; // requested before the last Seek: its result is not wanted
    };

    void Pass(int fileIndex, std::shared_ptr<VideoFrame> videoFrame);
    void Abandon(Worker& worker);
    bool InSequence(int fileIndex, const SourceFileEntry* file) const;

    std::span<SourceFileEntry> m_files;
    const bool m_export;
    bool m_forward = true;
    int m_nextRequest = 0;  // file index
    int m_nextExpected = 0; // file index
    // Results waiting for an earlier file (in the playback direction); null: no picture.
    std::map<int, std::shared_ptr<VideoFrame>> m_reorder;
    double m_frameDuration = 0.0; // µs
    std::map<int, Worker> m_busy;  // by worker id
    std::deque<Worker> m_idle;
    std::map<int, Worker> m_shuttingDown; // by worker id
    int m_nextWorkerId = 0;
    // Files the workers probed, shared with them; kept while the sequence stays the same.
    std::shared_ptr<ProbedSequenceFiles> m_probedFiles;
    const SourceFileEntry* m_probedFor = nullptr; // the first entry of the sequence they are of
};
