#pragma once

#include "viewer/ViewerBase.h"

#include <QPainterPath>
#include <QPolygonF>
#include <QWidget>

struct SoftwareViewportOutput;

// The renderer for machines without a usable OpenGL: each frame becomes a pixmap (turned
// upright, scaled smoothly into its cell) painted with QPainter. Main thread only.
class SoftwareViewer : public QWidget, public ViewerBase
{
    Q_OBJECT

public:
    explicit SoftwareViewer(QWidget* parent = nullptr);
    ~SoftwareViewer() override;

    void SetViewportFrame(int index, std::shared_ptr<VideoFrame> frame) override;
    void RequestRepaint() override { update(); }
    QImage GrabViewportImage() override;
    QImage GrabWholeImage() override { return GrabViewportImage(); }
    double ViewerDevicePixelRatio() const override { return devicePixelRatioF(); }
    void SetViewerFixedSize(const QSize& size) override { setFixedSize(size); }
    QSize ViewportAreaSize() const override { return size(); }
    void MoveViewer(const QPoint& point) override { move(point); }
    QPoint ViewerPosition() const override { return pos(); }
    void UpdateLayout() override;
    void TransformChanged() override;
    QRectF PictureRect(int index) const override;

    void SetWipePolygon(const QPolygonF& polygon);

signals:
    void ViewerLayoutChanged();
    void ViewportImageDisplaySizeChanged(float width, float height, int viewportIndex);
    void PaintingFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    SoftwareViewportOutput* SwOutput(int index);
    void BuildSource(SoftwareViewportOutput& output);
    void Rescale(int index);

    QPainterPath m_clipPath;
};
