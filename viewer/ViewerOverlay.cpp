#include "viewer/ViewerOverlay.h"

#include "core/Settings.h"
#include "viewer/ViewerTypes.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSnapDistance = 10.0;  // pixels from a centre line
constexpr double kHandleRadius = 10.0;  // pixels: the position handle's circle and hit area
constexpr double kLineTolerance = 2.0;  // degrees between the line and the pointer's direction
constexpr double kLineReach = 10000.0;  // the wipe line's half length
constexpr double kRotationHandle = 50.0; // from the position, along the rotated x axis
constexpr int kMessageMs = 1500; // how long a message stays

const QColor kWipeColor(200, 200, 200, 200);

double Degrees(double radians)
{
    return radians * 180.0 / M_PI;
}

// Into 0 <= a < 360.
double Wrapped(double degrees)
{
    double a = std::fmod(degrees, 360.0);
    return a < 0.0 ? a + 360.0 : a;
}

QTransform WipeTransform(const QPointF& position, double angle)
{
    QTransform transform;
    transform.translate(position.x(), position.y());
    transform.rotate(angle);
    return transform;
}

} // namespace

ViewerOverlay::ViewerOverlay(QObject* parent)
    : QObject(parent)
{
    m_messageTimer.setSingleShot(true);
    m_messageTimer.setInterval(kMessageMs);
    connect(&m_messageTimer, &QTimer::timeout, this, [this] {
        m_message.clear();
        emit UpdateRequested();
    });
}

void ViewerOverlay::SetGeometry(int width, int height, int pictureHeight, int top)
{
    m_width = width;
    m_height = height;
    m_pictureHeight = pictureHeight;
    m_top = top;
    m_wipePosition = QPointF(width * m_wipeNormalised.x(), pictureHeight * m_wipeNormalised.y() + top);
    RebuildWipe();
    emit WipePositionChanged(m_wipePosition);
}

void ViewerOverlay::SetDrawable(int drawable)
{
    drawable = std::clamp(drawable, static_cast<int>(OverlayOff), static_cast<int>(OverlayCenter));
    if (drawable == m_drawable)
        return;
    m_drawable = drawable;
    emit OverlayDrawableChanged(drawable);
    emit UpdateRequested();
}

void ViewerOverlay::SetWipeEnabled(bool enabled)
{
    m_wipeEnabled = enabled;
    RebuildWipe();
}

void ViewerOverlay::ResetWipe()
{
    m_wipeNormalised = QPointF(0.5, 0.5);
    m_wipePosition = QPointF(m_width / 2.0, m_top + m_pictureHeight / 2.0);
    m_wipeAngle = 0.0;
    m_guideXCentred = m_guideYCentred = m_guideVertical = m_guideHorizontal = false;
    RebuildWipe();
    emit WipePositionChanged(m_wipePosition);
}

void ViewerOverlay::DragWipePosition(const QPointF& point, bool snap)
{
    m_draggingPosition = true;
    m_guideXCentred = m_guideYCentred = false;
    QPointF position = point;
    if (snap && Settings::Get().wipeSnapEnabled) {
        const double centreX = m_width / 2.0;
        const double centreY = m_top + m_pictureHeight / 2.0;
        if (std::abs(position.x() - centreX) < kSnapDistance) {
            position.setX(centreX);
            m_guideXCentred = true;
        }
        if (std::abs(position.y() - centreY) < kSnapDistance) {
            position.setY(centreY);
            m_guideYCentred = true;
        }
    }
    position.setX(std::clamp(position.x(), 0.0, static_cast<double>(m_width)));
    position.setY(std::clamp(position.y(), static_cast<double>(m_top), static_cast<double>(m_top + m_pictureHeight)));
    m_wipePosition = position;
    m_wipeNormalised = QPointF(m_width > 0 ? position.x() / m_width : 0.5,
                               m_pictureHeight > 0 ? (position.y() - m_top) / m_pictureHeight : 0.5);
    RebuildWipe();
    emit WipePositionChanged(m_wipePosition);
}

void ViewerOverlay::DragWipeAngle(const QPointF& point, bool snap)
{
    m_draggingAngle = true;
    const QPointF c = m_wipePosition;
    const QPointF h = m_rotationHandle;
    QPointF p = point;
    // The line has two halves: grabbing it on the far side of the handle turns it the same way.
    const QPointF a = c - p;
    const QPointF b = h - p;
    if (a.x() * b.y() - a.y() * b.x() > 0.0)
        p = 2.0 * c - p;
    const QPointF d = c - p;
    const double screenAngle = Wrapped(Degrees(std::atan2(-d.y(), d.x())));
    SetWipeAngle(270.0 - screenAngle, snap);
}

void ViewerOverlay::SetWipeAngle(double angle, bool snap)
{
    angle = Wrapped(angle);
    m_guideVertical = m_guideHorizontal = false;
    if (snap && Settings::Get().wipeSnapEnabled) {
        if (angle < 5.0 || angle > 355.0)
            angle = 0.0;
        else if (angle > 85.0 && angle < 95.0)
            angle = 90.0;
        else if (angle > 175.0 && angle < 185.0)
            angle = 180.0;
        else if (angle > 265.0 && angle < 275.0)
            angle = 270.0;
    }
    if (angle == 0.0 || angle == 180.0)
        m_guideHorizontal = true;
    else if (angle == 90.0 || angle == 270.0)
        m_guideVertical = true;
    m_wipeAngle = angle;
    RebuildWipe();
}

void ViewerOverlay::EndWipeDrag()
{
    m_draggingPosition = m_draggingAngle = false;
    m_highlight = NoHandle;
    emit UpdateRequested();
}

void ViewerOverlay::RebuildWipe()
{
    const QTransform transform = WipeTransform(m_wipePosition, m_wipeAngle);
    m_wipeLine = transform.map(QLineF(0.0, -kLineReach, 0.0, kLineReach));
    m_rotationHandle = transform.map(QPointF(kRotationHandle, 0.0));
    const double side = std::max(m_width, m_height);
    const int r = static_cast<int>(std::sqrt(2.0 * side * side));
    m_wipeMask = transform.map(QPolygonF(QRectF(-r, -r, r, 2.0 * r)));
    emit WipeMaskChanged(WipeMask());
    emit UpdateRequested();
}

bool ViewerOverlay::HitsPositionHandle(const QPointF& point) const
{
    return m_wipeEnabled && QLineF(m_wipePosition, point).length() <= kHandleRadius;
}

bool ViewerOverlay::HitsWipeLine(const QPointF& point) const
{
    if (!m_wipeEnabled || point == m_wipePosition)
        return false;
    const QPointF towards = point - m_wipePosition;
    const double pointer = std::fmod(Wrapped(Degrees(std::atan2(towards.y(), towards.x()))), 180.0);
    const double line = std::fmod(Wrapped(Degrees(std::atan2(m_wipeLine.dy(), m_wipeLine.dx()))), 180.0);
    const double difference = std::abs(pointer - line);
    return std::min(difference, 180.0 - difference) < kLineTolerance;
}

void ViewerOverlay::SetHandleHighlight(Handle handle)
{
    if (handle == m_highlight)
        return;
    m_highlight = handle;
    emit UpdateRequested();
}

void ViewerOverlay::SetEyeDropperEnabled(bool enabled)
{
    m_eyeDropper = enabled;
    emit UpdateRequested();
}

void ViewerOverlay::SetPointer(const QPoint& point, bool inside)
{
    m_pointer = point;
    m_pointerInside = inside;
    if (m_eyeDropper) {
        emit EyeDropperColorUpdateRequired(point);
        emit UpdateRequested();
    }
}

void ViewerOverlay::SetEyeDropperColor(const QColor& color, const QPoint& pixel)
{
    m_eyeDropperColor = color;
    m_eyeDropperPixel = pixel;
    emit UpdateRequested();
}

void ViewerOverlay::SetZoom(float zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    ShowMessage(QStringLiteral("%1x").arg(static_cast<double>(m_zoom), 0, 'f', 1));
}

void ViewerOverlay::ShowMessage(const QString& text)
{
    m_message = text;
    m_messageTimer.start();
    emit UpdateRequested();
}

void ViewerOverlay::SetPictureOffset(const QPoint& offset)
{
    m_pictureOffset = offset;
    emit UpdateRequested();
}

void ViewerOverlay::SetMediaInfoEnabled(bool enabled)
{
    m_mediaInfo = enabled;
    emit UpdateRequested();
}

void ViewerOverlay::SetMediaInfo(const MediaInfo& info)
{
    m_info = info;
    emit UpdateRequested();
}

void ViewerOverlay::SetImageDisplayResolution(float width, float height, int viewportIndex)
{
    if (viewportIndex != 0)
        return;
    m_pictureSize = QSize(static_cast<int>(width), static_cast<int>(height));
    emit UpdateRequested();
}

QRectF ViewerOverlay::PictureRect() const
{
    const QPointF centre(m_width / 2.0 + m_pictureOffset.x(), m_top + m_pictureHeight / 2.0 + m_pictureOffset.y());
    return QRectF(centre.x() - m_pictureSize.width() / 2.0, centre.y() - m_pictureSize.height() / 2.0,
                  m_pictureSize.width(), m_pictureSize.height());
}

QStringList ViewerOverlay::MediaInfoLines() const
{
    QString resolution = QStringLiteral("%1x%2").arg(m_info.width).arg(m_info.height);
    if (m_info.pixelAspect != 1.0f && m_info.pixelAspect > 0.0f)
        resolution += QStringLiteral(" (PAR: %1)").arg(static_cast<double>(m_info.pixelAspect));
    return {
        QStringLiteral("Name: %1").arg(m_info.name),
        QStringLiteral("Source: %1").arg(m_info.source),
        QStringLiteral("Frames: %1").arg(QStringLiteral("%1 (@ %2 fps)").arg(m_info.frames).arg(m_info.fps)),
        QStringLiteral("Duration: %1").arg(QStringLiteral("%1 (%2 seconds)").arg(m_info.duration).arg(m_info.seconds)),
        QStringLiteral("Resolution: %1").arg(resolution),
        QStringLiteral("Output Size: %1x%2").arg(m_info.outputSize.width()).arg(m_info.outputSize.height()),
        QStringLiteral("Video Codec: %1").arg(m_info.videoCodec),
        QStringLiteral("Audio Codec: %1").arg(m_info.audioCodec),
    };
}

void ViewerOverlay::Paint(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::white);
    if (m_eyeDropper && m_pointerInside) {
        const QPoint& p = m_pointer;
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_eyeDropperColor);
        painter.drawRect(p.x() - 40, p.y() - 40, 80, 20);
        painter.drawRect(p.x() - 40, p.y() + 20, 80, 20);
        painter.drawRect(p.x() - 40, p.y() - 20, 20, 40);
        painter.drawRect(p.x() + 20, p.y() - 20, 20, 40);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(Qt::white);
        painter.drawRect(p.x() - 19, p.y() - 19, 38, 38);
        QStringList lines{QStringLiteral("%1, %2, %3").arg(m_eyeDropperColor.red()).arg(m_eyeDropperColor.green())
                              .arg(m_eyeDropperColor.blue())};
        if (m_eyeDropperPixel.x() >= 0)
            lines << QStringLiteral("%1, %2").arg(m_eyeDropperPixel.x()).arg(m_eyeDropperPixel.y());
        const QFontMetrics metrics = painter.fontMetrics();
        for (int i = 0; i < lines.size(); ++i) {
            const QPoint at(p.x() + 46, p.y() - 26 + i * metrics.height());
            painter.setPen(Qt::black);
            painter.drawText(at + QPoint(1, 1), lines.at(i));
            painter.setPen(Qt::white);
            painter.drawText(at, lines.at(i));
        }
    }
    PaintGuides(painter);
    PaintWipe(painter);
    PaintMediaInfo(painter);
    if (!m_message.isEmpty()) {
        const QString& text = m_message;
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.5);
        painter.setFont(font);
        const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-8, -4, 8, 4);
        const QRect placed = box.translated(m_width - box.width() - 12 - box.x(), m_top + 12 - box.y());
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 150));
        painter.drawRoundedRect(placed, 4, 4);
        painter.setPen(Qt::white);
        painter.drawText(placed, Qt::AlignCenter, text);
    }
    painter.restore();
}

void ViewerOverlay::PaintGuides(QPainter& painter) const
{
    if (m_pictureSize.isEmpty() || m_drawable == OverlayOff)
        return;
    const Settings& settings = Settings::Get();
    painter.setPen(settings.viewerOverlayLineColor);
    painter.setBrush(Qt::NoBrush);
    const QRectF picture = PictureRect();
    const QPointF centre = picture.center();
    switch (m_drawable) {
    case OverlaySafeArea:
        for (double share : {0.93, 0.90}) {
            const QSizeF size = picture.size() * share;
            painter.drawRect(QRectF(centre.x() - size.width() / 2.0, centre.y() - size.height() / 2.0, size.width(), size.height()));
        }
        break;
    case OverlayGrid: {
        painter.drawRect(picture);
        const int rows = std::max(settings.viewerOverlayGridRows, 1);
        const int columns = std::max(settings.viewerOverlayGridColumns, 1);
        for (int r = 1; r < rows; ++r) {
            const double y = picture.top() + picture.height() * r / rows;
            painter.drawLine(QPointF(picture.left(), y), QPointF(picture.right(), y));
        }
        for (int c = 1; c < columns; ++c) {
            const double x = picture.left() + picture.width() * c / columns;
            painter.drawLine(QPointF(x, picture.top()), QPointF(x, picture.bottom()));
        }
        break;
    }
    case OverlayCenter: {
        const double reach = std::max(picture.width(), picture.height()) * 0.01;
        painter.drawLine(QPointF(centre.x() - reach, centre.y()), QPointF(centre.x() + reach, centre.y()));
        painter.drawLine(QPointF(centre.x(), centre.y() - reach), QPointF(centre.x(), centre.y() + reach));
        break;
    }
    default:
        break;
    }
}

void ViewerOverlay::PaintWipe(QPainter& painter) const
{
    if (!m_wipeEnabled)
        return;
    const Settings& settings = Settings::Get();
    QPen pen(kWipeColor);
    pen.setWidthF(m_highlight == NoHandle ? 1.0 : 2.0);
    painter.setPen(pen);
    painter.setBrush(m_highlight == PositionHandle ? QBrush(kWipeColor) : QBrush(Qt::NoBrush));
    painter.drawEllipse(m_wipePosition, kHandleRadius, kHandleRadius);
    painter.setBrush(Qt::NoBrush);
    QPen linePen = pen;
    linePen.setWidthF(m_highlight == LineHandle ? 2.0 : 1.0);
    painter.setPen(linePen);
    painter.drawLine(m_wipeLine);
    painter.drawLine(m_wipePosition, m_rotationHandle);
    if (settings.wipeSnapEnabled && settings.wipeSnapGuidesEnabled) {
        QPen guide(kWipeColor, 1.0, Qt::DashLine);
        painter.setPen(guide);
        if (m_draggingPosition && m_guideXCentred)
            painter.drawLine(QPointF(m_width / 2.0, m_top), QPointF(m_width / 2.0, m_top + m_pictureHeight));
        if (m_draggingPosition && m_guideYCentred)
            painter.drawLine(QPointF(0.0, m_top + m_pictureHeight / 2.0), QPointF(m_width, m_top + m_pictureHeight / 2.0));
        if (m_draggingAngle && (m_guideVertical || m_guideHorizontal)) {
            const QLineF across = QLineF(m_wipePosition, m_rotationHandle);
            QLineF guideLine = across.normalVector();
            guideLine.setLength(std::max(m_width, m_height));
            painter.drawLine(QLineF(2.0 * m_wipePosition - guideLine.p2(), guideLine.p2()));
        }
    }
    // Which side is which: A shows where the mask is, left of the line as it was upright.
    const QTransform transform = WipeTransform(m_wipePosition, m_wipeAngle);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(kWipeColor);
    const QPointF a = transform.map(QPointF(-22.0, -18.0));
    const QPointF b = transform.map(QPointF(14.0, -18.0));
    const QFontMetricsF metrics(font);
    painter.drawText(a - QPointF(metrics.horizontalAdvance(QLatin1Char('A')) / 2.0, -metrics.ascent() / 2.0), QStringLiteral("A"));
    painter.drawText(b - QPointF(metrics.horizontalAdvance(QLatin1Char('B')) / 2.0, -metrics.ascent() / 2.0), QStringLiteral("B"));
}

void ViewerOverlay::PaintMediaInfo(QPainter& painter) const
{
    if (!m_mediaInfo)
        return;
    const QStringList lines = MediaInfoLines();
    const QFontMetrics metrics = painter.fontMetrics();
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const QRect box(10, m_top + 10, width + 16, metrics.height() * static_cast<int>(lines.size()) + 12);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRect(box);
    painter.setPen(Qt::white);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(box.left() + 8, box.top() + 6 + metrics.ascent() + i * metrics.height(), lines.at(i));
}
