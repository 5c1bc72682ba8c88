#pragma once

#include "ui/TimeControlBaseWidget.h"

// The time bar over the whole primary timeline. Its bottom row carries the playback range as
// a band that can be dragged whole or by either end; at its right it shows the length of the
// range, the frame rate at the playhead and the playback rate. Main thread only.
class GlobalTimeControlWidget : public TimeControlBaseWidget
{
    Q_OBJECT

public:
    explicit GlobalTimeControlWidget(AvManager* engine, ProjectManager* manager, QWidget* parent = nullptr);

    int FirstVisibleFrame() const override { return 0; }
    int LastVisibleFrame() const override { return m_lastFrame; }
    QRect TrackRect() const override;
    // The band of the playback range and the grips of its ends; empty without frames.
    QRect RangeBandRect() const;
    QRect RangeStartHandleRect() const;
    QRect RangeEndHandleRect() const;

    // The texts at the right of the bar.
    QString RangeLengthText() const;
    QString FrameRateText() const;

public slots:
    void SeekTimelineStart();

signals:
    // The playhead moved; `displayFrame` is its frame number with the time-control offset.
    void DisplayFrameChanged(int displayFrame);

protected:
    Part HitTest(const QPoint& position) const override;
    std::optional<int> DragRange(Part part, const QPoint& position, Qt::KeyboardModifiers modifiers) override;
    void PaintRange(QPainter& painter) override;
    void PaintExtras(QPainter& painter) override;

private:
    // Width of the text column at the right; none on a narrow bar.
    int InfoWidth() const;
};
