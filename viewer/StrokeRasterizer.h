#pragma once

#include <QColor>
#include <QPolygonF>

#include <vector>

class QImage;
class QPainterPath;
class QTransform;

// Draws wide strokes with round caps and joins straight into an ARGB32 premultiplied image,
// several times faster than the general painter path for the many short, wide polylines
// freehand drawing makes. A stroke is the set of points within half the pen width of its
// path (flattened to polylines); each pixel's coverage is one minus its distance beyond that
// edge, clamped, so edges are anti-aliased and a stroke crossing itself is blended once.
//
// The coverage buffer and polygon storage are kept between strokes: one rasteriser per thread,
// reused, allocates only when a stroke's bounds grow past the largest seen.
class StrokeRasterizer
{
public:
    // Source-over `color` (not premultiplied) along `path` mapped by `toDevice` into `image`
    // (device pixels); with `erase`, clears the image's pixels under the stroke instead.
    // `width` is the pen width in device pixels. Other image formats are left untouched.
    void Draw(QImage& image, const QPainterPath& path, const QTransform& toDevice, double width, const QColor& color,
              bool erase);

private:
    void Cover(const QPolygonF& polygon, double radius);

    std::vector<float> m_coverage; // the stroke's bounding box, row by row
    std::vector<int> m_rowFirst;   // per row: first and last column touched, for the blend
    std::vector<int> m_rowLast;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
    float m_maxCoverage = 1.0f;
};
