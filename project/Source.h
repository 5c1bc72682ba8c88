#pragma once

#include "media/ParseResult.h"
#include "media/SourceFileEntry.h"
#include "media/SourceStatus.h"

#include <QObject>
#include <QStringList>
#include <QUuid>

#include <atomic>
#include <map>
#include <memory>
#include <span>
#include <vector>

// One piece of media known to the project: a single video or audio file, or one numbered
// image sequence. It owns the list of files that make up the media and, once parsed, their
// stream records, and answers the questions every other part asks of media (frame count,
// rate, duration, which file holds frame n, cut-in and cut-out).
//
// Lives on the main thread. A parse task on an engine thread has an AvParser fill a file
// entry and then applies the parser's result (ApplyParseResult: end times, status), which
// emits Parsed or Updated; nothing else touches a source while it is being parsed. The
// decoders are given the file entries, never the source. From the end of a parse until the
// next one the entries and their stream records are read-only: decode threads read them
// (and the frames they decode point into the records) but never write. What they learn while
// decoding (a file's status on opening it, an image-sequence file the parse did not reach)
// the engine posts to the main thread, which keeps it beside the parse's results
// (PostFileStatus, PostFileReport).
//
// Lifetime across threads: engine threads borrow a source, they never own it. They reach it
// through the clips of their track copies and their open decoders, and the frames they
// decode point into its stream records. A source is deleted on the main thread (with its
// source timeline), and its destructor first emits AboutToBeDestroyed; the media engine,
// connected directly to every source its tasks may reach, ends those tasks, drops the cached
// frames that point into its records and tells the viewers showing one to let it go, waiting,
// pumping events and for a bounded time, until that is done.
class Source : public QObject
{
    Q_OBJECT

public:
    // `path` is a sequence path; a non-empty `relativePath` wins when it resolves against
    // the source root. A null `id` gets a new one.
    Source(const QString& path, const QString& relativePath, const QUuid& id, QObject* parent = nullptr);
    ~Source() override;

    QUuid Id() const { return m_id; }
    QString Path() const { return m_path; }
    QString RelativePath() const { return m_relativePath; }
    QString Name() const;
    QString AbsolutePath() const;

    int32_t FrameCount() const;
    double FrameRate() const;
    double FrameDuration() const; // µs
    int64_t Duration() const;     // µs
    QString DurationText() const; // "hh:mm:ss.cc"
    int64_t EndTime() const { return m_endTime; }
    int64_t SecondEndTime() const { return m_secondEndTime; }

    int32_t CutInFrame() const { return m_cutInFrame; }
    int32_t CutOutFrame() const { return m_cutOutFrame; } // -1 when unset
    int32_t EffectiveCutOutFrame() const;
    int64_t CutInTime() const { return m_cutInTime; }
    int64_t CutOutTime() const; // end of the last frame when unset
    bool IsUncut() const;
    void SetCutInFrame(int32_t frame);
    void SetCutOutFrame(int32_t frame);
    // Both at once, each limited by the other's new value rather than its old one (a range
    // moved past the old cut-out keeps its cut-in); CutInOutChanged at most once.
    void SetCutInOutFrames(int32_t cutIn, int32_t cutOut);

    int64_t AudioDelay() const { return m_audioDelay; } // any thread: decode threads read it
    void SetAudioDelay(int64_t delay) { m_audioDelay = delay; }

    bool IsImageSequence() const { return m_isImageSequence; }
    bool IsExr() const { return m_isExr; }
    double SequenceFrameRate() const { return m_sequenceFrameRate; }
    int32_t MissingCount() const { return m_missingCount; }

    int FileCount() const { return static_cast<int>(m_files.size()); }
    // The file whose streams describe the source: the first parsed one (a sequence is
    // parsed through its first existing file), else the first.
    const SourceFileEntry* PrimaryFileEntry() const;
    const VideoStreamInfo* FirstVideoStream() const; // of the primary file, or null
    int VideoStreamCount() const;  // of the primary file
    int FirstVideoStreamIndex() const; // -1 when none
    int AudioStreamCount() const;  // of the primary file
    bool FileExists(int file) const;
    // The file a parse probes: a sequence's first file that exists (its first when none does),
    // a movie's one file.
    int ProbeFileIndex() const;
    // Whether the parse, or a decode thread's report, has the file's streams. Main thread.
    bool FileParsed(int file) const;
    QString FileName(int file) const;
    QString FileAbsolutePath(int file) const;
    int32_t FileFrameNumber(int file) const;
    const AudioStreamInfo* AudioStream(int file, int stream) const;
    const VideoStreamInfo* VideoStream(int file, int stream) const;
    QStringList FilePaths() const;
    bool ContainsFile(const QString& path) const;
    bool HasPath(const QString& path) const;

    SourceStatus Status() const { return m_status; }
    QString StatusText() const { return SourceStatusText(m_status); }
    bool HasError() const { return m_status != SourceStatus::Ok; }
    bool IsParsed() const { return m_parsed; }

    void RecomputeRelativePath();
    void ResetMediaInformation();

    // The entries of the files, file i at index i, for the parser and the decoders (see the
    // class comment). They stay where they are for the life of the source.
    SourceFileEntry* ParserFileEntry(int file);
    std::span<SourceFileEntry> FileEntries() { return m_files; }
    // The entry of file `file` when the parse probed it, else null.
    const SourceFileEntry* ParsedFileEntry(int file) const;

    // Reports from decode threads, applied on the main thread. A report of a file the parse
    // did not probe answers FileParsed, AudioStream and VideoStream for it; its records stay
    // where the reported entry is, so frames decoded with them may keep pointing at them.
    void ApplyFileReport(int file, std::shared_ptr<const SourceFileEntry> entry);
    void ApplyFileStatus(int file, SourceStatus status);
    // Any thread: posts the report to the main thread; it is dropped when the source is
    // deleted first.
    void PostFileReport(int file, std::shared_ptr<const SourceFileEntry> entry);
    void PostFileStatus(int file, SourceStatus status);
    void ParserSetEndTimes(int64_t endTime);
    // Takes in what the parse of one of the files found (see ParseResult), then finishes the
    // parse (ParserFinished). Every parse ends here, so listeners always learn of it.
    void ApplyParseResult(const ParseResult& result);
    // Marks the parse finished and emits Parsed the first time, Updated afterwards.
    void ParserFinished();

    // Relative path of `path` against the source root, or empty.
    static QString MakeRelative(const QString& path);
    // Absolute path of `relativePath` under the source root, or empty.
    static QString ResolveRelative(const QString& relativePath);

signals:
    void Parsed();
    void Updated();
    void CutInOutChanged();
    // Emitted on the main thread at the start of the destructor, while the source is whole.
    // Whoever lent it to another thread takes it back before returning (see the class comment).
    void AboutToBeDestroyed(Source* source);

private:
    // The parse's entry of the file when it probed it, else the latest report, else the bare
    // entry. Main thread.
    const SourceFileEntry* KnownFileEntry(int file) const;

    int64_t m_endTime = -1;
    QUuid m_id;
    QString m_path;
    QString m_relativePath;
    int64_t m_secondEndTime = -1;
    int64_t m_cutInTime = 0;
    int64_t m_cutOutTime = -1;
    int32_t m_cutInFrame = 0;
    int32_t m_cutOutFrame = -1;
    bool m_isImageSequence = false;
    double m_sequenceFrameRate = 24.0;
    bool m_isExr = false;
    std::atomic<int64_t> m_audioDelay{0};
    std::vector<SourceFileEntry> m_files;
    std::map<int, std::shared_ptr<const SourceFileEntry>> m_fileReports; // main thread only
    bool m_parsed = false;
    SourceStatus m_status = SourceStatus::Ok;
    int32_t m_missingCount = 0;
};
