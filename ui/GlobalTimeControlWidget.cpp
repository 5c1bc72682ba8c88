#include "ui/GlobalTimeControlWidget.h"

#include "engine/AvManager.h"
#include "project/Timeline.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kHandleHalfWidth = 4;
constexpr int kInfoWidth = 150;

const QColor kOutsideRange(38, 38, 38);
const QColor kBand(84, 84, 84);
const QColor kBandHovered(104, 104, 104);
const QColor kHandle(160, 160, 160);
const QColor kHandleHovered(235, 235, 235);
const QColor kText(140, 140, 140);
const QColor kLightText(200, 200, 200);

const TimeControlBaseWidget::SettingKeys kKeys{
    &Settings::globalTimeControlDisplayFormat,        &Settings::globalTimeControlPositionTop,
    &Settings::globalTimeControlFrameBookmarksVisible, &Settings::globalTimeControlRangeBookmarksVisible,
    &Settings::globalTimeControlCacheVisible,
};

} // namespace

GlobalTimeControlWidget::GlobalTimeControlWidget(AvManager* engine, ProjectManager* manager, QWidget* parent)
    : TimeControlBaseWidget(engine, manager, kKeys, parent)
{
    connect(this, &TimeControlBaseWidget::PlaybackFrameChanged, this,
            [this](int frame, int offset) { emit DisplayFrameChanged(frame + offset); });
}

int GlobalTimeControlWidget::InfoWidth() const
{
    return width() >= 3 * kInfoWidth ? kInfoWidth : 0;
}

QRect GlobalTimeControlWidget::TrackRect() const
{
    return QRect(kMargin, 0, std::max(0, width() - 2 * kMargin - InfoWidth()), height());
}

QRect GlobalTimeControlWidget::RangeBandRect() const
{
    const std::optional<int> left = XOfFrame(m_rangeStart);
    const std::optional<int> right = XOfFrame(m_rangeEnd + 1);
    if (!left || !right || !GetTimeline())
        return {};
    return QRect(*left, kBandTop, std::max(1, *right - *left), height() - kBandTop);
}

QRect GlobalTimeControlWidget::RangeStartHandleRect() const
{
    const QRect band = RangeBandRect();
    return band.isNull() ? QRect() : QRect(band.left() - kHandleHalfWidth, kBandTop, 2 * kHandleHalfWidth, band.height());
}

QRect GlobalTimeControlWidget::RangeEndHandleRect() const
{
    const QRect band = RangeBandRect();
    return band.isNull() ? QRect()
                         : QRect(band.right() + 1 - kHandleHalfWidth, kBandTop, 2 * kHandleHalfWidth, band.height());
}

TimeControlBaseWidget::Part GlobalTimeControlWidget::HitTest(const QPoint& position) const
{
    const QRect band = RangeBandRect();
    if (band.isNull() || position.y() < kBandTop || position.y() >= height())
        return Part::None;
    const int startX = band.left();
    const int endX = band.right() + 1;
    const int toStart = std::abs(position.x() - startX);
    const int toEnd = std::abs(position.x() - endX);
    if (std::min(toStart, toEnd) <= kHandleHalfWidth) {
        // The nearer end; where both are as near, the side of the pointer decides.
        if (toEnd < toStart || (toEnd == toStart && position.x() >= endX))
            return Part::RangeEndHandle;
        return Part::RangeStartHandle;
    }
    if (position.x() > startX && position.x() < endX)
        return Part::RangeBar;
    return Part::None;
}

std::optional<int> GlobalTimeControlWidget::DragRange(Part part, const QPoint& position, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(modifiers);
    const std::optional<int> under = FrameAt(position.x());
    if (!under || m_lastFrame < 0)
        return std::nullopt;
    const auto [pressStart, pressEnd] = PressRange();
    switch (part) {
    case Part::RangeBar: {
        // Both ends stay on the timeline (which may have been shortened since the press).
        const int lowest = -pressStart;
        const int delta = std::clamp(*under - PressFrame(), lowest, std::max(lowest, m_lastFrame - pressEnd));
        m_rangeStart = pressStart + delta;
        m_rangeEnd = pressEnd + delta;
        return *under;
    }
    case Part::RangeStartHandle:
        m_rangeStart = std::min(*under, m_rangeEnd);
        return m_rangeStart;
    case Part::RangeEndHandle:
        m_rangeEnd = std::max(*under, m_rangeStart);
        return m_rangeEnd;
    default:
        return std::nullopt;
    }
}

void GlobalTimeControlWidget::SeekTimelineStart()
{
    if (GetTimeline() && m_lastFrame >= 0 && Engine())
        Engine()->SetPlaybackTime(GetTimeline()->FrameStartTime(0));
}

QString GlobalTimeControlWidget::RangeLengthText() const
{
    const Timeline* timeline = GetTimeline();
    if (!timeline || m_lastFrame < 0)
        return {};
    const int64_t duration = timeline->FrameEndTime(m_rangeEnd) - timeline->FrameStartTime(m_rangeStart) + 1;
    return TimeControlFormat::RangeLengthLabel(DisplayFormat(), m_rangeEnd - m_rangeStart + 1, duration,
                                               timeline->FrameRateAt(m_currentFrame));
}

QString GlobalTimeControlWidget::FrameRateText() const
{
    const Timeline* timeline = GetTimeline();
    if (!timeline || m_lastFrame < 0)
        return {};
    return QString::number(std::max(0.0, timeline->FrameRateAt(m_currentFrame)), 'f', 2);
}

void GlobalTimeControlWidget::PaintRange(QPainter& painter)
{
    const QRect band = RangeBandRect();
    if (band.isNull())
        return;
    const QRect track = TrackRect();
    painter.fillRect(QRect(track.left(), kBandTop, track.width(), height() - kBandTop), kOutsideRange);
    painter.fillRect(band, HoveredPart() == Part::RangeBar || DraggedPart() == Part::RangeBar ? kBandHovered : kBand);
    const auto handleColour = [this](Part part) {
        return HoveredPart() == part || DraggedPart() == part ? kHandleHovered : kHandle;
    };
    painter.fillRect(RangeStartHandleRect().adjusted(kHandleHalfWidth - 1, 0, 0, 0), handleColour(Part::RangeStartHandle));
    painter.fillRect(RangeEndHandleRect().adjusted(0, 0, -(kHandleHalfWidth - 1), 0), handleColour(Part::RangeEndHandle));
}

void GlobalTimeControlWidget::PaintExtras(QPainter& painter)
{
    const int infoWidth = InfoWidth();
    if (infoWidth == 0 || !GetTimeline() || m_lastFrame < 0)
        return;
    painter.setFont(BarFont());
    const QFontMetrics metrics(BarFont());
    const QRect area(TrackRect().right() + 1 + kMargin, 0, infoWidth - kMargin, height());
    painter.setPen(kText);
    painter.drawText(QRect(area.left(), 2, area.width(), 16), Qt::AlignLeft | Qt::AlignVCenter, RangeLengthText());

    const QRect lower(area.left(), 20, area.width(), 16);
    const QString rate = FrameRateText();
    painter.drawText(lower, Qt::AlignLeft | Qt::AlignVCenter, rate);
    const auto [playbackRate, light] = PlaybackRateText();
    painter.setPen(light ? kLightText : kText);
    painter.drawText(lower.adjusted(metrics.horizontalAdvance(rate) + metrics.horizontalAdvance(QLatin1Char(' ')) * 2, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, playbackRate);
}
