#pragma once

#include <QColor>
#include <QLineF>
#include <QObject>
#include <QPointF>
#include <QPolygonF>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

class QPainter;

// What lies over the picture: safe areas, a grid or a centre cross, the media information,
// the eyedropper, short messages for a moment (the zoom factor after it changes), and the
// A/B wipe with its handles, labels and snap guides. It owns the wipe's geometry and computes its mask: the
// half-plane left of the wipe line, where A shows.
//
// Everything here is in the viewer widget's coordinates (y down, the whole widget including
// any time bars): the handle, its hit tests, the drawn line and the mask all share that one
// space. The picture area is the band between the time bars (top offset, picture height).
// The wipe position is kept normalised to the picture area so that it survives resizes.
// Main thread only.
class ViewerOverlay : public QObject
{
    Q_OBJECT

public:
    enum Handle { NoHandle = 0, PositionHandle = 1, LineHandle = 2 };

    struct MediaInfo
    {
        QString name;
        QString source;
        int frames = 0;
        double fps = 0.0;
        QString duration; // as the source writes it
        double seconds = 0.0;
        int width = 0;
        int height = 0;
        float pixelAspect = 1.0f;
        QSize outputSize;
        QString videoCodec;
        QString audioCodec;
    };

    explicit ViewerOverlay(QObject* parent = nullptr);

    // The widget's size and the picture area between the time bars.
    void SetGeometry(int width, int height, int pictureHeight, int top);
    QRect PictureArea() const { return QRect(0, m_top, m_width, m_pictureHeight); }

    void SetDrawable(int drawable);
    int Drawable() const { return m_drawable; }

    void SetWipeEnabled(bool enabled);
    bool WipeEnabled() const { return m_wipeEnabled; }
    // Back to the middle of the picture area, upright.
    void ResetWipe();
    // Moves the handle to `point`; with `snap` (and snapping on in the settings) it lands on
    // the centre lines within 10 pixels. Clamped to the picture area.
    void DragWipePosition(const QPointF& point, bool snap);
    // Turns the wipe line towards `point`, as when its line is dragged there.
    void DragWipeAngle(const QPointF& point, bool snap);
    // Degrees, brought into 0..360; with `snap` near 0, 90, 180 and 270 it lands on them.
    void SetWipeAngle(double angle, bool snap);
    void EndWipeDrag();
    QPointF WipePosition() const { return m_wipePosition; }
    QPointF WipePositionNormalised() const { return m_wipeNormalised; }
    double WipeAngle() const { return m_wipeAngle; }
    QLineF WipeLine() const { return m_wipeLine; }
    QPointF RotationHandlePoint() const { return m_rotationHandle; }
    // The half-plane where A shows, large enough to cover the widget at any angle; empty
    // while the wipe is off.
    QPolygonF WipeMask() const { return m_wipeEnabled ? m_wipeMask : QPolygonF(); }
    // Where the last drag snapped: onto the vertical or horizontal centre line, or onto a
    // right angle.
    bool XCentred() const { return m_guideXCentred; }
    bool YCentred() const { return m_guideYCentred; }
    bool AngleSnapped() const { return m_guideVertical || m_guideHorizontal; }

    bool HitsPositionHandle(const QPointF& point) const;
    bool HitsWipeLine(const QPointF& point) const;
    void SetHandleHighlight(Handle handle);

    void SetEyeDropperEnabled(bool enabled);
    bool EyeDropperEnabled() const { return m_eyeDropper; }
    // The pointer's place; outside the widget the cursor is not drawn.
    void SetPointer(const QPoint& point, bool inside);
    // The colour under the pointer, and the picture pixel it came from (null when the
    // pointer is not over the picture).
    void SetEyeDropperColor(const QColor& color, const QPoint& pixel = QPoint(-1, -1));
    QColor EyeDropperColor() const { return m_eyeDropperColor; }
    QPoint EyeDropperPoint() const { return m_pointer; }
    QPoint EyeDropperPixel() const { return m_eyeDropperPixel; }

    // Shows the factor for a moment when it changes.
    void SetZoom(float zoom);
    // A short text in the picture's top right corner for a moment (the zoom factor, a new
    // speed); a newer one replaces it.
    void ShowMessage(const QString& text);
    // The text shown now; empty once it has gone.
    QString Message() const { return m_message; }
    // The picture's centre relative to the picture area's centre (pan), in pixels.
    void SetPictureOffset(const QPoint& offset);
    QPoint PictureOffset() const { return m_pictureOffset; }

    void SetMediaInfoEnabled(bool enabled);
    bool MediaInfoEnabled() const { return m_mediaInfo; }
    void SetMediaInfo(const MediaInfo& info);
    // The media information block as drawn, one line each.
    QStringList MediaInfoLines() const;

    void Paint(QPainter& painter) const;

public slots:
    // The picture's size on screen in viewport `viewportIndex`; only viewport 0's is kept.
    void SetImageDisplayResolution(float width, float height, int viewportIndex);
    void DoUpdate() { emit UpdateRequested(); }

signals:
    void OverlayDrawableChanged(int drawable);
    void WipeMaskChanged(const QPolygonF& polygon);
    void WipePositionChanged(const QPointF& position);
    void EyeDropperColorUpdateRequired(const QPoint& point);
    void UpdateRequested();

private:
    void RebuildWipe();
    QRectF PictureRect() const;
    void PaintGuides(QPainter& painter) const;
    void PaintWipe(QPainter& painter) const;
    void PaintMediaInfo(QPainter& painter) const;

    int m_width = 0;
    int m_height = 0;
    int m_pictureHeight = 0;
    int m_top = 0;
    QSize m_pictureSize;
    QPoint m_pictureOffset;
    int m_drawable = 0;

    bool m_wipeEnabled = false;
    QPointF m_wipePosition;
    QPointF m_wipeNormalised{0.5, 0.5};
    double m_wipeAngle = 0.0;
    QLineF m_wipeLine;
    QPointF m_rotationHandle;
    QPolygonF m_wipeMask;
    bool m_guideXCentred = false;
    bool m_guideYCentred = false;
    bool m_guideVertical = false;
    bool m_guideHorizontal = false;
    bool m_draggingPosition = false;
    bool m_draggingAngle = false;
    Handle m_highlight = NoHandle;

    bool m_eyeDropper = false;
    QPoint m_pointer;
    bool m_pointerInside = false;
    QColor m_eyeDropperColor;
    QPoint m_eyeDropperPixel{-1, -1};

    float m_zoom = 1.0f;
    QString m_message;
    QTimer m_messageTimer;

    bool m_mediaInfo = false;
    MediaInfo m_info;
};
