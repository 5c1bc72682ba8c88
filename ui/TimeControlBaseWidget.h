#pragma once

#include "core/Settings.h"
#include "ui/TimeControlFormat.h"

#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class AvManager;
class ProjectManager;
class QMenu;
class Timeline;
struct VideoFrame;

// What the two time bars of the player share: a horizontal bar of fixed height 40 over a
// span of frames of the engine's primary timeline, with frame labels in one of five display
// formats, the frame and range bookmarks and the cached frames drawn on it, scrubbing with
// the mouse, editing of the playback range and a context menu.
//
// The bar follows the engine's primary timeline and clock; it changes the project only
// through the project manager (range edits and bookmarks are undoable steps) and moves the
// playhead only through the engine. A range being dragged is kept in the bar alone until the
// button is released, then recorded as one step. Its choices (display format, position,
// what is drawn) are read from the settings at construction and stored there when changed.
// Main thread only; neither the engine nor the project manager is owned.
class TimeControlBaseWidget : public QWidget
{
    Q_OBJECT

public:
    // Where a control keeps its choices; `rangeBookmarksVisible` may be null (then the choice
    // lasts as long as the control).
    struct SettingKeys
    {
        int Settings::*displayFormat;
        bool Settings::*positionTop;
        bool Settings::*frameBookmarksVisible;
        bool Settings::*rangeBookmarksVisible;
        bool Settings::*cacheVisible;
    };

    // A part of the bar under the pointer, and what a left-button gesture is doing.
    enum class Part { None, Scrub, RangeBar, RangeStartHandle, RangeEndHandle };

    static constexpr int kHeight = 40;

    ~TimeControlBaseWidget() override;

    Timeline* GetTimeline() const;
    // The project id of the timeline shown (a timeline's or a source's); null when none.
    QUuid TimelineId() const;
    int CurrentFrame() const { return m_currentFrame; }
    // The playback range as the bar shows it (while a range drag runs, the dragged one).
    int RangeStartFrame() const { return m_rangeStart; }
    int RangeEndFrame() const { return m_rangeEnd; }
    // The last frame of the timeline; -1 without a timeline or frames.
    int LastFrame() const { return m_lastFrame; }

    int DisplayFormat() const { return m_displayFormat; }
    // Above the picture; the setting is the truth (the panel may move the bars too).
    bool PositionTop() const { return m_keys.positionTop && Settings::Get().*m_keys.positionTop; }
    bool FrameBookmarksVisible() const { return m_frameBookmarksVisible; }
    bool RangeBookmarksVisible() const { return m_rangeBookmarksVisible; }
    bool CacheVisible() const { return m_cacheVisible; }
    Part HoveredPart() const { return m_hovered; }
    // What a left press at `position` would grab (None where it would scrub or do nothing).
    Part PartAt(const QPoint& position) const { return HitTest(position); }
    Part DraggedPart() const { return m_dragged; }

    // The frames the bar spans, first..last (none when last < first).
    virtual int FirstVisibleFrame() const = 0;
    virtual int LastVisibleFrame() const = 0;
    // The columns that map to frames (the full height of the bar).
    virtual QRect TrackRect() const = 0;
    TimeControlFormat::FrameMapping Mapping() const;
    std::optional<int> FrameAt(int x) const { return Mapping().FrameAt(x); }
    std::optional<int> XOfFrame(int frame) const { return Mapping().XOf(frame); }

    // The label of `frame` in the current display format.
    QString FrameLabel(int frame, bool withOffset = true) const;
    // The tooltip at `position`: the frame under it in the current display format; empty
    // where no frame is.
    QString ToolTipText(const QPoint& position) const;
    // The frames per second shown while playing at speed 1.0, measured over the last second.
    double MeasuredFps() const;

    // The context menu at `position` (widget coordinates), owned by the caller; its actions
    // are connected to this control.
    std::unique_ptr<QMenu> CreateContextMenu(const QPoint& position);
    // The bar drawn into an image at its current size (for a renderer that draws the bars
    // itself while their widgets are hidden).
    QImage Picture();

public slots:
    void RangeStartToCurrent();
    void RangeEndToCurrent();
    // The range start (end) set to the frame stored in the sending action's data.
    void SetRangeStartFromSender();
    void SetRangeEndFromSender();
    void SetRangeToPreviousRangeBookmark();
    void SetRangeToNextRangeBookmark();
    void ResetRange();
    void SetDisplayFormat(int displayFormat);
    void SetDisplayTypeFromSender();
    void ToggleFrameBookmark();
    void ToggleRangeBookmark();
    // One undoable step named `undoCmdName` removing the frame and/or range bookmarks, all of
    // them or (`inRange`) those within the playback range; nothing when none would go.
    void RemoveBookmarks(bool frameBookmarks, bool rangeBookmarks, bool inRange, const QString& undoCmdName);
    void TogglePosition();
    void ToggleFrameBookmarkVisibility();
    void ToggleRangeBookmarkVisibility();
    void ToggleCacheVisibility();
    void ShowContextMenu(const QPoint& position);

    void OnPrimaryTimelineChanged(Timeline* timeline, bool primaryTimelineCleared);
    void OnTimelineUpdated();
    void OnPlaybackFrameChanged(int playbackFrame);
    void OnPlaybackEndTimeChanged(int64_t endTime);
    void OnPlaybackRangeChanged(int64_t rangeStartTime, int64_t rangeEndTime);
    void OnPlaybackStateChanged(bool playing, bool playForward);
    void OnPlaybackSpeedChanged(float playbackSpeed);
    void OnVideoFrameChanged(int viewportIndex, std::shared_ptr<VideoFrame> videoFrame);
    void UpdateClipFrameRanges();
    void UpdateBookmarks();
    void UpdateCache();

signals:
    void TogglePositionRequested(TimeControlBaseWidget* timeControlWidget);
    void PlaybackFrameChanged(int playbackFrame, int displayedFrameOffset);
    // Something drawn changed while the widget is hidden.
    void UpdateRequested();

protected:
    TimeControlBaseWidget(AvManager* engine, ProjectManager* manager, const SettingKeys& keys, QWidget* parent);

    AvManager* Engine() const { return m_engine; }
    const QFont& BarFont() const { return m_font; }

    // The part of the bar a press at `position` would grab (None where it would scrub).
    virtual Part HitTest(const QPoint& position) const = 0;
    // Moves the range being dragged (`part`) for the pointer at `position`, from the range
    // at the press (PressRange) and the press position and frame; sets m_rangeStart and
    // m_rangeEnd and returns the frame the playhead goes to, if any.
    virtual std::optional<int> DragRange(Part part, const QPoint& position, Qt::KeyboardModifiers modifiers) = 0;
    // Draws the playback range: its band and handles.
    virtual void PaintRange(QPainter& painter) = 0;
    // Draws what a control adds after everything else.
    virtual void PaintExtras(QPainter& painter) { Q_UNUSED(painter); }

    std::pair<int, int> PressRange() const { return m_pressRange; }
    QPoint PressPosition() const { return m_pressPosition; }
    int PressFrame() const { return m_pressFrame; }
    // The playback rate text and whether it is drawn light ("Stepped", a speed).
    std::pair<QString, bool> PlaybackRateText() const;

    // Rows of the bar, top to bottom: labels, bookmarks, the cache, the range band.
    static constexpr int kLabelBottom = 14;
    static constexpr int kBookmarkTop = 16;
    static constexpr int kCacheTop = 27;
    static constexpr int kBandTop = 30;
    static constexpr int kMargin = 8;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

    // Repaints when visible; asks for an update (UpdateRequested) when hidden.
    void Refresh();

    int m_currentFrame = 0;
    int m_rangeStart = 0;
    int m_rangeEnd = -1;
    int m_lastFrame = -1;

private:
    void ConnectEngine();
    void ReadRange();
    // Moves the playhead to `frame` through the engine.
    void Seek(int frame, bool audioScrub);
    // Records the range `start`..`end` as one step (none when it is the timeline's already).
    void CommitRange(int start, int end);
    // Ends a gesture: resumes suspended playback and drops the drag state.
    void EndGesture();
    // Where a scrub to `frame` goes: inside the playback range with `lockStepScrubToRange`.
    int ScrubFrame(int frame) const;
    void UpdateHover(const QPoint& position);
    void StoreBool(bool Settings::*key, bool value);
    void UpdateCacheTimer();
    void PaintLabels(QPainter& painter, const TimeControlFormat::FrameMapping& mapping);

    AvManager* m_engine;
    ProjectManager* m_manager;
    SettingKeys m_keys;
    QFont m_font;
    QPointer<Timeline> m_timeline;
    QList<QMetaObject::Connection> m_timelineConnections;

    int m_displayFormat = 0;
    bool m_frameBookmarksVisible = true;
    bool m_rangeBookmarksVisible = true;
    bool m_cacheVisible = false;

    std::vector<int> m_frameBookmarks; // timeline frames, ascending
    std::vector<std::pair<int, int>> m_rangeBookmarks; // ascending
    std::vector<int> m_clipStarts; // timeline frame of each clip after the first
    int m_cacheFirst = -1; // the cached video run, timeline frames; none when -1
    int m_cacheLast = -1;
    QTimer m_cacheTimer;

    Part m_hovered = Part::None;
    Part m_dragged = Part::None;
    QPoint m_pressPosition;
    int m_pressFrame = 0;
    std::pair<int, int> m_pressRange{0, -1};
    bool m_resumePlayback = false; // playback was suspended by the gesture
    bool m_resumeForward = true;
    bool m_resumeStepped = false;

    bool m_playing = false;
    QElapsedTimer m_fpsClock;
    std::deque<qint64> m_frameTimes; // ms on m_fpsClock of the frames shown in the last second
};
