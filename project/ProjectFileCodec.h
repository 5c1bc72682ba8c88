#pragma once

#include "project/AnnotationStroke.h"
#include "project/RangeBookmark.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// The project file's encodings of its smaller values: range bookmarks as "start,end" pairs,
// annotation strokes as objects, and a stroke's path as Base64 of QDataStream. Numbers are
// written and read the same under every locale. Readers never trust their input: anything
// malformed is refused (nullopt or skipped), never allocated or thrown.
namespace ProjectFileCodec {

// The stream version the path payload is written and read with.
constexpr int kDataStreamVersion = 20; // QDataStream::Qt_6_0, what Qt 6.0 to 6.4 write

// "10,20,35,40" for (10, 20) and (35, 40); empty for none.
QString RangeBookmarksToString(const QList<RangeBookmark>& bookmarks);
// Pairs in order from the first part; a pair that does not parse is skipped without shifting
// the pairing, a trailing odd part ignored, empty parts dropped.
QList<RangeBookmark> RangeBookmarksFromString(const QString& text);

QJsonObject StrokeToJson(const AnnotationStroke& stroke);
// Null when the stroke is not one: negative width, no valid colour, a type outside 0..8, a
// text stroke without text, missing or malformed points, or an untrustworthy path payload.
std::optional<AnnotationStroke> StrokeFromJson(const QJsonObject& object);

// "x,y;" per point, in the shortest decimal form that reads back exactly.
QString PointsToString(const QList<QPointF>& points);
std::optional<QList<QPointF>> PointsFromString(const QString& text);

QByteArray PathToPayload(const QPainterPath& path); // Base64
// Null when the payload is not a well-formed path: an element count its bytes cannot hold,
// an element type out of range, a curve without its two control points, a path not starting
// with a move, a point that is not finite, a bad fill rule, or bytes left over. The path is
// rebuilt element by element, never taken from the stream whole.
std::optional<QPainterPath> PathFromPayload(const QByteArray& base64);

} // namespace ProjectFileCodec
