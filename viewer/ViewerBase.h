#pragma once

#include "viewer/ViewportOutput.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QSize>

#include <memory>
#include <vector>

// What the viewer widget asks of a renderer: frames per viewport, layout, transforms,
// background and grabs. The OpenGL and software renderers derive from it beside their
// widget class. Main thread only.
class ViewerBase
{
public:
    static constexpr int MaxViewports = 16;

    virtual ~ViewerBase();

    // An empty-flagged frame counts as none.
    virtual void SetViewportFrame(int index, std::shared_ptr<VideoFrame> frame) = 0;
    virtual void RequestRepaint() = 0;
    virtual QImage GrabViewportImage() = 0; // the picture area, without time bars
    virtual QImage GrabWholeImage() = 0;
    virtual double ViewerDevicePixelRatio() const = 0;
    virtual void SetViewerFixedSize(const QSize& size) = 0;
    virtual QSize ViewportAreaSize() const = 0;
    virtual void MoveViewer(const QPoint& point) = 0;
    virtual QPoint ViewerPosition() const = 0;
    virtual void UpdateLayout() = 0;
    virtual void TransformChanged() = 0;
    virtual bool CanDrawAnnotations() const { return true; }
    // Where a viewport's picture is drawn, in the renderer widget's pixels (before the OpenGL
    // renderer's pan and zoom); the whole cell when it has no frame.
    virtual QRectF PictureRect(int index) const = 0;

    // 0 black, 1 medium grey, 2 light grey, 3 white.
    void SetBackgroundType(int type);
    int BackgroundType() const { return m_backgroundType; }
    QColor BackgroundColor() const { return m_backgroundColor; }

    void RotateClockwise();
    void RotateCounterClockwise();
    void ResetTransform();
    void SetFlipHorizontal(bool flip);
    void SetFlipVertical(bool flip);
    int Rotation() const { return m_rotation; }
    bool FlipHorizontal() const { return m_flipHorizontal; }
    bool FlipVertical() const { return m_flipVertical; }

    void SetViewportOpacity(int index, float opacity);

    // Grid of rows x columns cells (1..4 each), with one viewer or two (A/B).
    void SetGrid(int rows, int columns, int viewerCount);
    int Rows() const { return m_rows; }
    int Columns() const { return m_columns; }
    int ViewerCount() const { return m_viewerCount; }
    int ViewportsInUse() const;
    // 0 single, 1 A/B overlapped, 2 side by side, 3 stacked, 4 grid.
    int LayoutKind() const;
    // The multi-view kind (2, 3 or 4) shown last before the grid became 1 x 1.
    int PreviousMultiViewLayout() const { return m_previousMultiViewLayout; }

    // Cells of a picture area W x H whose top is at T, row by row; A/B viewports overlap.
    std::vector<QRect> ComputeCells(int width, int height, int top) const;
    int ViewportIndexAt(const QPoint& point) const; // -1 when none
    QRect ViewportRect(int index) const;            // in parent coordinates
    // The picture size of a viewport (swapped for a quarter-turn frame); 960 x 540 when empty.
    QSize PictureSize(int index) const;

    const ViewportOutput* Output(int index) const;

protected:
    ViewportOutput* OutputAt(int index);

    std::vector<std::unique_ptr<ViewportOutput>> m_outputs;
    int m_backgroundType = 0;
    QColor m_backgroundColor = Qt::black;
    int m_rows = 1;
    int m_columns = 1;
    int m_viewerCount = 1;
    int m_rotation = 0;
    bool m_flipHorizontal = false;
    bool m_flipVertical = false;
    QElapsedTimer m_elapsed;
    int m_previousMultiViewLayout = 2;

    ViewerBase();
};
