#pragma once

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QString>

// One drawn element of an annotation. Shapes keep their start and end in `points` and their
// geometry in `path`, both in normalised picture coordinates (offset from the picture centre
// divided by the picture's displayed width), so drawings follow the picture through resizing,
// zoom, pan, rotation and flips.
struct AnnotationStroke
{
    enum Type {
        Freehand = 0,
        Laser = 1,
        Eraser = 2,
        Text = 3,
        Line = 4,
        Arrow = 5,
        Ellipse = 6,
        Rectangle = 7,
    };

    QList<QPointF> points;
    QPainterPath path;
    float width = 1.0f; // thousandths of the picture's displayed width
    QColor color = QColor(255, 255, 255);
    int type = Freehand;
    QString text;

    bool operator==(const AnnotationStroke&) const = default;
};
