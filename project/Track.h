#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <cstdint>

class Clip;
class FrameBookmark;

// The clips of a timeline laid end to end: timeline frames run on across clips whatever their
// rates, and timeline time is the sum of each clip's duration at its own rate. Owns its clips.
// A master track lives on the main thread; copies made for decoding live on their task's
// thread and are never connected to sources.
class Track : public QObject
{
    Q_OBJECT

public:
    explicit Track(bool sourceTrack, QObject* parent = nullptr);

    bool IsSourceTrack() const { return m_sourceTrack; }
    const QList<Clip*>& Clips() const { return m_clips; }
    int ClipCount() const { return static_cast<int>(m_clips.size()); }
    Clip* ClipAt(int index) const;
    Clip* ClipAtFrame(int32_t frame) const;
    Clip* ClipAtTime(int64_t time) const;
    int ClipIndexAtTime(int64_t time) const;
    QList<int> ClipIndicesForSource(const QUuid& sourceId) const;
    bool HasSource(const QUuid& sourceId) const;
    bool HasSourceFile(const QString& path) const;

    int64_t Duration() const;  // end time + 1, 0 when empty
    int64_t EndTime() const;   // last microsecond
    int32_t LastFrame() const; // 0 when empty
    int32_t FrameCount() const;
    bool HasAudio() const;
    bool HasVideo() const;
    bool HasSourceError() const;
    QList<QUuid> ClipIds() const;
    QList<FrameBookmark*> AllFrameBookmarks() const;

    // Timeline time and frames through the clips.
    int32_t TimeToFrame(int64_t time) const;
    int64_t FrameStartTime(int32_t frame) const;
    int64_t FrameEndTime(int32_t frame) const;
    int32_t SourceFrame(int32_t frame) const;
    double FrameRateAt(int32_t frame) const;

    // A copy with new reference clips on the same sources (a source track's keep their kind),
    // laid out. With `watchSources` the copy follows the sources' signals (main thread only).
    Track* Copy(bool watchSources, QObject* parent = nullptr) const;
    // An exact copy of clips and layout that does not read the sources: for any thread.
    Track* Clone(QObject* parent = nullptr) const;

    // Out-of-range indices append. The track takes the clip. Both emit TrackUpdated.
    int InsertClip(Clip* clip, int index);
    // The clips appended in order, laid out once (one TrackUpdated).
    void AppendClips(const QList<Clip*>& clips);
    Clip* TakeClip(int index); // handed to the caller
    // The clips named by `ids` first, in that order, then the others as they were; the same
    // clip objects, laid out again. Unknown ids are ignored.
    void SetClipOrder(const QList<QUuid>& ids);
    void Layout();

    // Lays a copy of an audio override timeline's track so that its time `s` falls on 0 and
    // its range end `e` is followed by silence up to `playingEnd`.
    void FitToRange(int64_t s, int64_t e, int64_t playingEnd);

signals:
    void TrackUpdated();
    void SourceParsed();
    void SourceUpdated();

public slots:
    void OnSourceParsed();
    void OnSourceUpdated();
    void OnSourceCutInOutChanged();

private:
    void Watch(Clip* clip);
    // Index of the last clip whose start (frame or time) is at or before the value, or -1.
    int LastClipStartingAtFrame(int32_t frame) const;
    int LastClipStartingAtTime(int64_t time) const;

    bool m_sourceTrack;
    QList<Clip*> m_clips;
};
