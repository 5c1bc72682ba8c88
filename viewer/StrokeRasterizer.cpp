#include "viewer/StrokeRasterizer.h"

#include <QImage>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

void StrokeRasterizer::Draw(QImage& image, const QPainterPath& path, const QTransform& toDevice, double width,
                            const QColor& color, bool erase)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied || path.isEmpty() || !(width > 0.0))
        return;
    const QList<QPolygonF> polygons = path.toSubpathPolygons(toDevice);
    const double radius = width / 2.0;
    QRectF bounds;
    for (const QPolygonF& polygon : polygons)
        bounds |= polygon.boundingRect();
    // One pixel beyond the pen for the anti-aliased edge.
    const QRect box = bounds.adjusted(-radius - 1.0, -radius - 1.0, radius + 1.0, radius + 1.0).toAlignedRect()
                      & image.rect();
    if (box.isEmpty())
        return;
    m_left = box.left();
    m_top = box.top();
    m_width = box.width();
    m_height = box.height();
    m_coverage.assign(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), 0.0f);
    m_rowFirst.assign(static_cast<size_t>(m_height), m_width);
    m_rowLast.assign(static_cast<size_t>(m_height), -1);
    // A pen thinner than a pixel covers at most its width of any pixel.
    m_maxCoverage = static_cast<float>(std::min(width, 1.0));
    for (const QPolygonF& polygon : polygons)
        if (polygon.size() >= 2)
            Cover(polygon, radius);

    // Premultiplied source, 0..255 per channel.
    const float alpha = static_cast<float>(color.alphaF());
    const float red = static_cast<float>(color.redF()) * alpha * 255.0f;
    const float green = static_cast<float>(color.greenF()) * alpha * 255.0f;
    const float blue = static_cast<float>(color.blueF()) * alpha * 255.0f;
    const float opaque = alpha * 255.0f;
    const QRgb solid = qRgba(qRound(red), qRound(green), qRound(blue), qRound(opaque));
    for (int y = 0; y < m_height; ++y) {
        const int first = m_rowFirst[static_cast<size_t>(y)];
        const int last = m_rowLast[static_cast<size_t>(y)];
        if (last < first)
            continue;
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(m_top + y)) + m_left;
        const float* coverage = &m_coverage[static_cast<size_t>(y) * static_cast<size_t>(m_width)];
        for (int x = first; x <= last; ++x) {
            const float c = coverage[x];
            if (c <= 0.0f)
                continue;
            const QRgb under = line[x];
            if (erase) {
                if (c >= 1.0f) {
                    line[x] = 0;
                    continue;
                }
                const float keep = 1.0f - c;
                line[x] = qRgba(static_cast<int>(qRed(under) * keep + 0.5f), static_cast<int>(qGreen(under) * keep + 0.5f),
                                static_cast<int>(qBlue(under) * keep + 0.5f), static_cast<int>(qAlpha(under) * keep + 0.5f));
                continue;
            }
            if (c >= 1.0f && opaque >= 255.0f) {
                line[x] = solid;
                continue;
            }
            const float keep = 1.0f - alpha * c;
            line[x] = qRgba(static_cast<int>(red * c + qRed(under) * keep + 0.5f),
                            static_cast<int>(green * c + qGreen(under) * keep + 0.5f),
                            static_cast<int>(blue * c + qBlue(under) * keep + 0.5f),
                            static_cast<int>(opaque * c + qAlpha(under) * keep + 0.5f));
        }
    }
}

void StrokeRasterizer::Cover(const QPolygonF& polygon, double radius)
{
    const float inner = static_cast<float>(radius);
    const float outer = inner + 0.5f; // coverage reaches 0 half a pixel beyond the pen's edge
    const float outer2 = outer * outer;
    // Pixels this close to the path are fully covered: no square root needed.
    const float full2 = inner > 0.5f ? (inner - 0.5f) * (inner - 0.5f) : -1.0f;
    const float maxCoverage = m_maxCoverage;
    for (qsizetype i = 0; i + 1 < polygon.size(); ++i) {
        // The segment in box coordinates.
        const float ax = static_cast<float>(polygon[i].x()) - static_cast<float>(m_left);
        const float ay = static_cast<float>(polygon[i].y()) - static_cast<float>(m_top);
        const float dx = static_cast<float>(polygon[i + 1].x() - polygon[i].x());
        const float dy = static_cast<float>(polygon[i + 1].y() - polygon[i].y());
        const float length2 = dx * dx + dy * dy;
        const float inverse = length2 > 1e-12f ? 1.0f / length2 : 0.0f;
        const float length = std::sqrt(length2);
        const float bx = ax + dx;
        const float by = ay + dy;
        const float xMin = std::min(ax, bx) - outer;
        const float xMax = std::max(ax, bx) + outer;
        // Rows cut the capsule in an interval within the band around the segment's line.
        const bool steep = std::abs(dy) > 1e-4f;
        const float slope = steep ? dx / dy : 0.0f;
        const float halfBand = steep ? outer * length / std::abs(dy) : 0.0f;
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min(ay, by) - outer)));
        const int y1 = std::min(m_height - 1, static_cast<int>(std::ceil(std::max(ay, by) + outer)));
        for (int y = y0; y <= y1; ++y) {
            const float py = static_cast<float>(y) + 0.5f - ay;
            float lo = xMin;
            float hi = xMax;
            if (steep) {
                const float centre = ax + py * slope;
                lo = std::max(lo, centre - halfBand);
                hi = std::min(hi, centre + halfBand);
            }
            if (hi < lo)
                continue;
            const int x0 = std::max(0, static_cast<int>(std::floor(lo - 0.5f)));
            const int x1 = std::min(m_width - 1, static_cast<int>(std::ceil(hi - 0.5f)));
            if (x1 < x0)
                continue;
            float* row = &m_coverage[static_cast<size_t>(y) * static_cast<size_t>(m_width)];
            int x = x0;
#if defined(__SSE2__) || defined(_M_X64)
            // Four pixels at a time, with the same operations in the same order as the scalar
            // loop below, so both give the same coverage to the bit.
            const __m128 vax = _mm_set1_ps(ax);
            const __m128 vpy = _mm_set1_ps(py);
            const __m128 vdx = _mm_set1_ps(dx);
            const __m128 vdy = _mm_set1_ps(dy);
            const __m128 vinverse = _mm_set1_ps(inverse);
            const __m128 vpyDy = _mm_mul_ps(vpy, vdy);
            const __m128 zero = _mm_setzero_ps();
            const __m128 one = _mm_set1_ps(1.0f);
            const __m128 half = _mm_set1_ps(0.5f);
            const __m128 vouter = _mm_set1_ps(outer);
            const __m128 vouter2 = _mm_set1_ps(outer2);
            const __m128 vfull2 = _mm_set1_ps(full2);
            const __m128 vmax = _mm_set1_ps(maxCoverage);
            const __m128 steps = _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f);
            for (; x + 3 <= x1; x += 4) {
                const __m128 px = _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_set1_ps(static_cast<float>(x)), steps), half), vax);
                __m128 t = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(px, vdx), vpyDy), vinverse);
                t = _mm_min_ps(_mm_max_ps(t, zero), one);
                const __m128 qx = _mm_sub_ps(px, _mm_mul_ps(t, vdx));
                const __m128 qy = _mm_sub_ps(vpy, _mm_mul_ps(t, vdy));
                const __m128 d2 = _mm_add_ps(_mm_mul_ps(qx, qx), _mm_mul_ps(qy, qy));
                const __m128 edge = _mm_min_ps(_mm_sub_ps(vouter, _mm_sqrt_ps(d2)), vmax);
                const __m128 full = _mm_cmple_ps(d2, vfull2);
                __m128 c = _mm_or_ps(_mm_and_ps(full, vmax), _mm_andnot_ps(full, edge));
                c = _mm_and_ps(_mm_cmplt_ps(d2, vouter2), c); // outside the pen: 0, which never raises a pixel
                _mm_storeu_ps(row + x, _mm_max_ps(_mm_loadu_ps(row + x), c));
            }
#endif
            for (; x <= x1; ++x) {
                const float px = static_cast<float>(x) + 0.5f - ax;
                float t = (px * dx + py * dy) * inverse;
                t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
                const float qx = px - t * dx;
                const float qy = py - t * dy;
                const float d2 = qx * qx + qy * qy;
                if (d2 >= outer2)
                    continue;
                const float c = d2 <= full2 ? maxCoverage : std::min(outer - std::sqrt(d2), maxCoverage);
                if (c > row[x])
                    row[x] = c;
            }
            m_rowFirst[static_cast<size_t>(y)] = std::min(m_rowFirst[static_cast<size_t>(y)], x0);
            m_rowLast[static_cast<size_t>(y)] = std::max(m_rowLast[static_cast<size_t>(y)], x1);
        }
    }
}
