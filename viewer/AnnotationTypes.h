#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>

// The active annotation tool; the number is what `activeAnnotationTool` stores.
enum AnnotationToolType : int {
    AnnotationToolPencil = 0, // freehand; a straight line when Shift is held at the press
    AnnotationToolLaserPointer = 1,
    AnnotationToolEraser = 2,
    AnnotationToolText = 3,
    AnnotationToolArrow = 4,
    AnnotationToolEllipse = 5,
    AnnotationToolRectangle = 6,
    AnnotationToolCount = 7,
};

// Which drawing is edited: the current frame's own, or the timeline's one shown on every frame.
enum AnnotationLayer : int {
    AnnotationLayerForeground = 0,
    AnnotationLayerBackground = 1,
};

// `annotationVisibility`; values outside 0..2 read as 1.
enum AnnotationVisibility : int {
    AnnotationVisibilityOn = 0,
    AnnotationVisibilityOffDuringPlayback = 1, // shown only while the clock is stopped
    AnnotationVisibilityOff = 2,
};

// Where the picture of viewport 0 is on screen, in the pixels of the surface the overlay paints
// on (the viewer widget's). Stored strokes are in normalised picture coordinates: a point of the
// upright, unflipped picture taken from its centre and divided by its displayed width. The view
// places them: scaled by the displayed width, flipped, turned clockwise by the user rotation
// and moved to the displayed centre. Zoom and pan are in `centre` and `width` already, so the
// inverse is applied once whatever the zoom.
struct AnnotationView
{
    QPointF centre;        // the picture's centre as displayed
    double width = 0.0;    // displayed width of the upright picture (its height on screen when turned a quarter)
    double height = 0.0;   // displayed height of the upright picture
    int rotation = 0;      // user rotation, clockwise degrees: 0, 90, 180 or 270
    bool flipHorizontal = false;
    bool flipVertical = false;
    QRectF area;           // viewport 0's cell as displayed: presses outside it draw nothing

    bool IsValid() const { return width > 0.0; }
    // Normalised picture coordinates to surface pixels.
    QTransform ToSurface() const
    {
        QTransform transform;
        transform.translate(centre.x(), centre.y());
        transform.rotate(rotation);
        transform.scale(flipHorizontal ? -width : width, flipVertical ? -width : width);
        return transform;
    }
    // The same without the scale: for text, whose size is given in pixels.
    QTransform ToSurfaceUnscaled() const
    {
        QTransform transform;
        transform.translate(centre.x(), centre.y());
        transform.rotate(rotation);
        transform.scale(flipHorizontal ? -1.0 : 1.0, flipVertical ? -1.0 : 1.0);
        return transform;
    }
    QPointF ToNormalised(const QPointF& surface) const { return ToSurface().inverted().map(surface); }
    bool operator==(const AnnotationView&) const = default;
};
