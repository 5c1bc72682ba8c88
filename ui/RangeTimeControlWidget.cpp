#include "ui/RangeTimeControlWidget.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int kHandleWidth = 8;
// The track keeps room for the grips at its ends.
constexpr int kTrackInset = 4;

const QColor kBand(84, 84, 84);
const QColor kHandle(160, 160, 160);
const QColor kHandleHovered(235, 235, 235);

const TimeControlBaseWidget::SettingKeys kKeys{
    &Settings::rangeTimeControlDisplayFormat, &Settings::rangeTimeControlPositionTop,
    &Settings::rangeTimeControlFrameBookmarksVisible,
    nullptr, // the range control keeps no stored choice for range bookmarks
    &Settings::rangeTimeControlCacheVisible,
};

} // namespace

RangeTimeControlWidget::RangeTimeControlWidget(AvManager* engine, ProjectManager* manager, QWidget* parent)
    : TimeControlBaseWidget(engine, manager, kKeys, parent)
{
}

QRect RangeTimeControlWidget::TrackRect() const
{
    const int left = kMargin + kTrackInset;
    return QRect(left, 0, std::max(0, width() - 2 * left), height());
}

QRect RangeTimeControlWidget::RangeStartHandleRect() const
{
    return QRect(TrackRect().left() - kHandleWidth, kBandTop, kHandleWidth + kHandleWidth / 2, height() - kBandTop);
}

QRect RangeTimeControlWidget::RangeEndHandleRect() const
{
    return QRect(TrackRect().right() + 1 - kHandleWidth / 2, kBandTop, kHandleWidth + kHandleWidth / 2,
                 height() - kBandTop);
}

TimeControlBaseWidget::Part RangeTimeControlWidget::HitTest(const QPoint& position) const
{
    if (!GetTimeline() || m_lastFrame < 0)
        return Part::None;
    if (RangeStartHandleRect().contains(position))
        return Part::RangeStartHandle;
    if (RangeEndHandleRect().contains(position))
        return Part::RangeEndHandle;
    return Part::None;
}

std::optional<int> RangeTimeControlWidget::DragRange(Part part, const QPoint& position, Qt::KeyboardModifiers modifiers)
{
    const int step = modifiers.testFlag(Qt::ControlModifier) ? kPixelsPerFrameCtrl
                     : modifiers.testFlag(Qt::ShiftModifier) ? kPixelsPerFrameShift
                                                             : kPixelsPerFrame;
    // Whole frames, rounded toward the press.
    const int frames = (position.x() - PressPosition().x()) / step;
    const auto [pressStart, pressEnd] = PressRange();
    if (part == Part::RangeStartHandle) {
        m_rangeStart = std::clamp(pressStart + frames, 0, pressEnd);
        m_rangeEnd = pressEnd;
        if (m_rangeStart > m_currentFrame)
            return m_rangeStart;
    } else if (part == Part::RangeEndHandle) {
        m_rangeStart = pressStart;
        m_rangeEnd = std::clamp(pressEnd + frames, pressStart, std::max(pressStart, m_lastFrame));
        if (m_rangeEnd < m_currentFrame)
            return m_rangeEnd;
    }
    return std::nullopt;
}

void RangeTimeControlWidget::PaintRange(QPainter& painter)
{
    const QRect track = TrackRect();
    painter.fillRect(QRect(track.left(), kBandTop, track.width(), height() - kBandTop), kBand);
    const auto handleColour = [this](Part part) {
        return HoveredPart() == part || DraggedPart() == part ? kHandleHovered : kHandle;
    };
    painter.fillRect(QRect(track.left() - kHandleWidth / 2, kBandTop, kHandleWidth / 2 + 2, height() - kBandTop),
                     handleColour(Part::RangeStartHandle));
    painter.fillRect(QRect(track.right() - 1, kBandTop, kHandleWidth / 2 + 2, height() - kBandTop),
                     handleColour(Part::RangeEndHandle));
}
