#pragma once

#include "ui/TimeControlBaseWidget.h"

// The time bar over the playback range alone. The grips at its two ends move the range's
// start and end in whole frames, one frame per 5 pixels of mouse travel (1 with Ctrl, 20
// with Shift), since the bar's own scale changes as they move. Main thread only.
class RangeTimeControlWidget : public TimeControlBaseWidget
{
    Q_OBJECT

public:
    explicit RangeTimeControlWidget(AvManager* engine, ProjectManager* manager, QWidget* parent = nullptr);

    // Pixels of mouse travel per frame of a handle drag.
    static constexpr int kPixelsPerFrame = 5;
    static constexpr int kPixelsPerFrameCtrl = 1;
    static constexpr int kPixelsPerFrameShift = 20;

    int FirstVisibleFrame() const override { return m_rangeStart; }
    int LastVisibleFrame() const override { return m_rangeEnd; }
    QRect TrackRect() const override;
    QRect RangeStartHandleRect() const;
    QRect RangeEndHandleRect() const;

protected:
    Part HitTest(const QPoint& position) const override;
    std::optional<int> DragRange(Part part, const QPoint& position, Qt::KeyboardModifiers modifiers) override;
    void PaintRange(QPainter& painter) override;
};
