#pragma once

#include <QList>
#include <QObject>
#include <QUuid>

#include <cstdint>

class FrameBookmark;
class Source;

enum class ClipKind : int32_t {
    Empty = 0,     // no source: plays nothing
    Owning = 1,    // the one clip of a source timeline; owns its source
    Reference = 2, // a clip of a regular timeline; shares the source of a source timeline
};

// A source laid on a track. The position fields are set by the track's layout; the source's
// cut-in, cut-out, frame count and rate are taken when the layout runs, so that a clip is a
// consistent snapshot between layouts (decode threads read their own copies of clips).
// Master clips live on the main thread; copies made for decoding live on their task's thread
// and never touch the source's signals.
class Clip : public QObject
{
    Q_OBJECT

public:
    // The owning clip of a source timeline: creates its source.
    static Clip* CreateOwning(const QString& path, const QString& relativePath, const QUuid& id,
                              QObject* parent = nullptr);
    Clip(ClipKind kind, Source* source, QObject* parent = nullptr);

    // A new clip on the same source: new id, same use of in/outs, stream 0, no bookmarks,
    // kind Reference unless `keepKind`. With `watchSource` it forwards the source's signals.
    // With `keepSnapshot` it keeps this clip's position and source values instead of asking
    // the source again (copies made off the main thread).
    Clip* Copy(bool keepKind, bool watchSource, QObject* parent = nullptr, bool keepSnapshot = false) const;

    QUuid Id() const { return m_id; }
    ClipKind Kind() const { return m_kind; }
    Source* GetSource() const { return m_source; }
    QString Name() const;

    int32_t AudioStreamIndex() const { return m_audioStreamIndex; }
    void SetAudioStreamIndex(int32_t index) { m_audioStreamIndex = index; }
    int32_t VideoStreamIndex() const { return m_videoStreamIndex; }
    void SetVideoStreamIndex(int32_t index) { m_videoStreamIndex = index; }

    int64_t StartTime() const { return m_startTime; }
    int64_t EndTime() const { return m_endTime; }
    int32_t StartFrame() const { return m_startFrame; }
    int32_t EndFrame() const { return m_endFrame; }
    void SetStart(int64_t time, int32_t frame);
    void SetEnd(int64_t time, int32_t frame);

    bool UseSourceInOuts() const { return m_useSourceInOuts; }
    void SetUseSourceInOuts(bool use) { m_useSourceInOuts = use; }
    bool HonoursInOuts() const { return m_kind == ClipKind::Reference && m_useSourceInOuts; }

    // Taken from the source by Refresh().
    int32_t CutInFrame() const { return m_cutInFrame; }
    int64_t CutInTime() const { return m_cutInTime; }
    int64_t CutOutTime() const { return m_cutOutTime; }
    int32_t FrameCount() const { return m_frameCount; }
    double FrameDuration() const { return m_frameDuration; } // µs, the source's
    double FrameRate() const;
    void Refresh();

    // Mappings through this clip (the clip's cut-in is the source's only while it honours
    // in/outs, so an owning clip maps source time 0 to its own start).
    int64_t SourceTime(int64_t timelineTime) const { return m_cutInTime + (timelineTime - m_startTime); }
    int64_t TimelineTime(int64_t sourceTime) const { return m_startTime + (sourceTime - m_cutInTime); }
    int32_t SourceFrame(int32_t timelineFrame) const { return timelineFrame - m_startFrame + m_cutInFrame; }

    // Kind Reference only; clears the position fields.
    void SetSource(Source* source);

    // Frame bookmarks, kept sorted by source frame.
    int AddFrameBookmark(int32_t timelineFrame, FrameBookmark* bookmark = nullptr);
    FrameBookmark* FrameBookmarkAt(int32_t timelineFrame) const;
    FrameBookmark* RemoveFrameBookmark(int32_t timelineFrame); // handed to the caller
    const QList<FrameBookmark*>& FrameBookmarks() const { return m_frameBookmarks; }
    QList<FrameBookmark*> CopyFrameBookmarks(QObject* parent = nullptr) const;
    void ReplaceFrameBookmarks(const QList<FrameBookmark*>& bookmarks);
    bool AllSaved() const;
    void MarkSaved();
    void UpdateBookmarkPositions();

signals:
    void SourceParsed();
    void SourceUpdated();

public slots:
    void OnSourceParsed() { emit SourceParsed(); }
    void OnSourceUpdated() { emit SourceUpdated(); }

private:
    void WatchSource();
    int32_t BookmarkTimelineFrame(int32_t sourceFrame) const;

    QUuid m_id;
    ClipKind m_kind;
    Source* m_source = nullptr;
    QMetaObject::Connection m_sourceConnections[2];
    int32_t m_audioStreamIndex = 0;
    int32_t m_videoStreamIndex = 0;
    int64_t m_startTime = 0;
    int64_t m_endTime = -1;
    int32_t m_startFrame = 0;
    int32_t m_endFrame = -1;
    bool m_useSourceInOuts = true;
    QList<FrameBookmark*> m_frameBookmarks;

    int32_t m_cutInFrame = 0;
    int64_t m_cutInTime = 0;
    int64_t m_cutOutTime = -1;
    int32_t m_frameCount = 0;
    double m_frameDuration = 0.0;
};
