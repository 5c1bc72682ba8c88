#include "project/ProjectFileCodec.h"

#include <QDataStream>
#include <QIODevice>
#include <QJsonValue>
#include <QLocale>

#include <charconv>
#include <cmath>

namespace ProjectFileCodec {

namespace {

constexpr int kStrokeTypes = 9; // 0..8
// A path element in the stream: its type (qint32) and a point (two doubles).
constexpr qint64 kElementBytes = 4 + 8 + 8;
// After the elements of a non-empty path: the start of its last subpath and its fill rule.
constexpr qint64 kTrailerBytes = 4 + 4;

} // namespace

QString RangeBookmarksToString(const QList<RangeBookmark>& bookmarks)
{
    QStringList parts;
    for (const RangeBookmark& bookmark : bookmarks)
        parts << QStringLiteral("%1,%2").arg(bookmark.startFrame).arg(bookmark.endFrame);
    return parts.join(QLatin1Char(','));
}

QList<RangeBookmark> RangeBookmarksFromString(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QList<RangeBookmark> bookmarks;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        bool startOk = false;
        bool endOk = false;
        const int start = parts.at(i).trimmed().toInt(&startOk);
        const int end = parts.at(i + 1).trimmed().toInt(&endOk);
        if (startOk && endOk)
            bookmarks.append({start, end});
    }
    return bookmarks;
}

QString PointsToString(const QList<QPointF>& points)
{
    // std::to_chars writes the shortest form that reads back exactly, in the C locale, and
    // far faster than formatting through QString: strokes hold many points.
    QByteArray text;
    text.reserve(points.size() * 24);
    char buffer[64];
    auto append = [&](double value, char separator) {
        const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof(buffer), value);
        text.append(buffer, written.ptr - buffer);
        text.append(separator);
    };
    for (const QPointF& point : points) {
        append(point.x(), ',');
        append(point.y(), ';');
    }
    return QString::fromLatin1(text);
}

std::optional<QList<QPointF>> PointsFromString(const QString& text)
{
    QList<QPointF> points;
    for (const QString& part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList numbers = part.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (numbers.size() != 2)
            return std::nullopt;
        bool xOk = false;
        bool yOk = false;
        const double x = numbers.at(0).toDouble(&xOk);
        const double y = numbers.at(1).toDouble(&yOk);
        if (!xOk || !yOk || !std::isfinite(x) || !std::isfinite(y))
            return std::nullopt;
        points.append(QPointF(x, y));
    }
    if (points.isEmpty())
        return std::nullopt;
    return points;
}

QByteArray PathToPayload(const QPainterPath& path)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(kDataStreamVersion);
    stream << path;
    return bytes.toBase64();
}

std::optional<QPainterPath> PathFromPayload(const QByteArray& base64)
{
    const QByteArray bytes = QByteArray::fromBase64(base64);
    QDataStream stream(bytes);
    stream.setVersion(kDataStreamVersion);
    // The element count comes first; believe it only when the bytes hold exactly that many
    // elements and what follows them.
    qint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok || count < 0)
        return std::nullopt;
    const qint64 needed = 4 + static_cast<qint64>(count) * kElementBytes + (count > 0 ? kTrailerBytes : 0);
    if (needed != bytes.size())
        return std::nullopt;
    QPainterPath path;
    QList<QPointF> curve; // a CurveTo's end is its third point: control, control, end
    for (qint32 i = 0; i < count; ++i) {
        qint32 type = 0;
        double x = 0.0;
        double y = 0.0;
        stream >> type >> x >> y;
        if (!std::isfinite(x) || !std::isfinite(y))
            return std::nullopt;
        const QPointF point(x, y);
        if (i == 0 && type != QPainterPath::MoveToElement)
            return std::nullopt;
        if (!curve.isEmpty() && type != QPainterPath::CurveToDataElement)
            return std::nullopt; // a curve cut short
        switch (type) {
        case QPainterPath::MoveToElement:
            path.moveTo(point);
            break;
        case QPainterPath::LineToElement:
            path.lineTo(point);
            break;
        case QPainterPath::CurveToElement:
            curve = {point};
            break;
        case QPainterPath::CurveToDataElement:
            if (curve.isEmpty())
                return std::nullopt;
            curve.append(point);
            if (curve.size() == 3) {
                path.cubicTo(curve.at(0), curve.at(1), curve.at(2));
                curve.clear();
            }
            break;
        default:
            return std::nullopt;
        }
    }
    if (!curve.isEmpty())
        return std::nullopt;
    if (count > 0) {
        qint32 lastStart = 0;
        qint32 fillRule = 0;
        stream >> lastStart >> fillRule;
        if (lastStart < 0 || lastStart >= count || (fillRule != Qt::OddEvenFill && fillRule != Qt::WindingFill))
            return std::nullopt;
        path.setFillRule(static_cast<Qt::FillRule>(fillRule));
    }
    if (stream.status() != QDataStream::Ok || !stream.atEnd())
        return std::nullopt;
    return path;
}

QJsonObject StrokeToJson(const AnnotationStroke& stroke)
{
    QJsonObject object;
    object.insert(QStringLiteral("width"), static_cast<double>(stroke.width));
    object.insert(QStringLiteral("color"), stroke.color.name(QColor::HexArgb));
    object.insert(QStringLiteral("type"), stroke.type);
    if (stroke.type == AnnotationStroke::Text)
        object.insert(QStringLiteral("text"), stroke.text);
    object.insert(QStringLiteral("path"), QString::fromLatin1(PathToPayload(stroke.path)));
    object.insert(QStringLiteral("points"), PointsToString(stroke.points));
    return object;
}

std::optional<AnnotationStroke> StrokeFromJson(const QJsonObject& object)
{
    AnnotationStroke stroke;
    const double width = object.value(QStringLiteral("width")).toDouble(0.0);
    if (width < 0.0 || !std::isfinite(width))
        return std::nullopt;
    stroke.width = static_cast<float>(width);
    const QColor color = QColor::fromString(object.value(QStringLiteral("color")).toString());
    if (!color.isValid())
        return std::nullopt;
    stroke.color = color;
    stroke.type = object.value(QStringLiteral("type")).toInt(-1);
    if (stroke.type < 0 || stroke.type >= kStrokeTypes)
        return std::nullopt;
    if (stroke.type == AnnotationStroke::Text) {
        stroke.text = object.value(QStringLiteral("text")).toString();
        if (stroke.text.isEmpty())
            return std::nullopt;
    }
    const std::optional<QList<QPointF>> points = PointsFromString(object.value(QStringLiteral("points")).toString());
    if (!points)
        return std::nullopt;
    stroke.points = *points;
    const QString payload = object.value(QStringLiteral("path")).toString();
    if (!payload.isEmpty()) {
        const std::optional<QPainterPath> path = PathFromPayload(payload.toLatin1());
        if (!path)
            return std::nullopt;
        stroke.path = *path;
    }
    return stroke;
}

} // namespace ProjectFileCodec
