#include "viewer/SoftwareViewer.h"

#include "media/VideoStreamInfo.h"
#include "viewer/SoftwareViewportOutput.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <QTransform>

namespace {

// Frames decoded for the OpenGL renderer, shown here when it could not be had: converted on
// the processor with the same equations as the fragment shader (BT.2020 as BT.709).
// One pixel by the OpenGL viewer's fragment shader: `y`, `u`, `v` in 0..1, RGB in 0..1
// (before clamping).
void ShaderYuvToRgb(double y, double u, double v, bool rec709, bool rec2020, double rgb[3])
{
    u -= 0.5;
    v -= 0.5;
    const double k = 255.0 / 224.0;
    if (rec709) {
        y = (y - 16.0 / 255.0) * 255.0 / 219.0;
        rgb[0] = y + 1.5748 * k * v;
        rgb[1] = y - 0.1873 * k * u - 0.4681 * k * v;
        rgb[2] = y + 1.8556 * k * u;
    } else if (rec2020) {
        // To linear light, from BT.2020 to BT.709 primaries, and to display gamma.
        const double r = std::pow(std::max(y + 1.4746 * v, 0.0), 2.4);
        const double g = std::pow(std::max(y - 0.1646 * u - 0.5714 * v, 0.0), 2.4);
        const double b = std::pow(std::max(y + 1.8814 * u, 0.0), 2.4);
        rgb[0] = std::pow(std::max(1.6605 * r - 0.5876 * g - 0.0728 * b, 0.0), 1.0 / 2.2);
        rgb[1] = std::pow(std::max(-0.1246 * r + 1.1329 * g - 0.0083 * b, 0.0), 1.0 / 2.2);
        rgb[2] = std::pow(std::max(-0.0182 * r - 0.1006 * g + 1.1187 * b, 0.0), 1.0 / 2.2);
    } else {
        y = (y - 16.0 / 255.0) * 255.0 / 219.0;
        rgb[0] = y + 1.403 * k * v;
        rgb[1] = y - 0.344 * k * u - 0.714 * k * v;
        rgb[2] = y + 1.770 * k * u;
    }
}

QImage YuvToRgb(const VideoFrame& frame)
{
    const QImage& luma = frame.planeImages[0];
    const QImage& cb = frame.planeImages[1];
    const QImage& cr = frame.planeImages[2];
    const bool rec709 = frame.streamInfo && frame.streamInfo->rec709;
    const bool rec2020 = frame.streamInfo && frame.streamInfo->rec2020;
    QImage rgb(luma.width(), luma.height(), QImage::Format_RGB888);
    auto clamp = [](double x) { return static_cast<uchar>(std::clamp(x * 255.0 + 0.5, 0.0, 255.0)); };
    for (int y = 0; y < luma.height(); ++y) {
        const uchar* ys = luma.constScanLine(y);
        const uchar* us = cb.constScanLine(std::min(y / 2, cb.height() - 1));
        const uchar* vs = cr.constScanLine(std::min(y / 2, cr.height() - 1));
        uchar* out = rgb.scanLine(y);
        for (int x = 0; x < luma.width(); ++x) {
            double pixel[3];
            ShaderYuvToRgb(ys[x] / 255.0, us[x / 2] / 255.0, vs[x / 2] / 255.0, rec709, rec2020, pixel);
            out[3 * x] = clamp(pixel[0]);
            out[3 * x + 1] = clamp(pixel[1]);
            out[3 * x + 2] = clamp(pixel[2]);
        }
    }
    return rgb;
}

} // namespace

SoftwareViewer::SoftwareViewer(QWidget* parent)
    : QWidget(parent)
{
    for (int i = 0; i < MaxViewports; ++i)
        m_outputs.push_back(std::make_unique<SoftwareViewportOutput>());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

SoftwareViewer::~SoftwareViewer() = default;

SoftwareViewportOutput* SoftwareViewer::SwOutput(int index)
{
    return dynamic_cast<SoftwareViewportOutput*>(OutputAt(index));
}

void SoftwareViewer::SetViewportFrame(int index, std::shared_ptr<VideoFrame> frame)
{
    SoftwareViewportOutput* output = SwOutput(index);
    if (!output)
        return;
    if (frame && frame->empty)
        frame.reset();
    output->frame = std::move(frame);
    BuildSource(*output);
    Rescale(index);
    update();
}

void SoftwareViewer::BuildSource(SoftwareViewportOutput& output)
{
    const VideoFrame* frame = output.frame.get();
    if (!frame) {
        output.sourcePixmap = QPixmap();
        output.scaledPixmap = QPixmap();
        output.imageWidth = output.imageHeight = -1;
        return;
    }
    const VideoStreamInfo* info = frame->streamInfo;
    QImage image = frame->format == VideoFrameFormatYUV420P ? YuvToRgb(*frame) : frame->planeImages[0];
    output.imageWidth = image.width();
    output.imageHeight = image.height();
    // The padding at the end of the rows is not part of the picture.
    if (info && info->width > 0 && info->width < image.width())
        image = image.copy(0, 0, info->width, image.height());
    const int frameRotation = info ? info->rotation : 0;
    const bool ownQuarter = frameRotation == 90 || frameRotation == -90 || frameRotation == 270 || frameRotation == -270;
    bool horizontal = m_flipHorizontal;
    bool vertical = m_flipVertical;
    if (ownQuarter)
        std::swap(horizontal, vertical);
    if (horizontal || vertical)
        image = image.mirrored(horizontal, vertical);
    const int effective = ((m_rotation - frameRotation) % 360 + 360) % 360;
    const float pixelAspect = info && info->pixelAspect > 0.0f ? info->pixelAspect : 1.0f;
    if (effective != 0 || pixelAspect != 1.0f) {
        QTransform transform;
        transform.rotate(effective);
        if (pixelAspect != 1.0f)
            transform.scale(pixelAspect, 1.0);
        image = image.transformed(transform, Qt::SmoothTransformation);
    }
    output.sourcePixmap = QPixmap::fromImage(image);
}

void SoftwareViewer::Rescale(int index)
{
    SoftwareViewportOutput* output = SwOutput(index);
    if (!output)
        return;
    if (output->sourcePixmap.isNull() || output->displayRect.isEmpty()) {
        output->scaledPixmap = QPixmap();
        emit ViewportImageDisplaySizeChanged(0.0f, 0.0f, index);
        return;
    }
    output->scaledPixmap = output->sourcePixmap.scaled(output->displayRect.size(), Qt::KeepAspectRatio,
                                                       Qt::SmoothTransformation);
    emit ViewportImageDisplaySizeChanged(static_cast<float>(output->scaledPixmap.width()),
                                         static_cast<float>(output->scaledPixmap.height()), index);
}

void SoftwareViewer::UpdateLayout()
{
    const std::vector<QRect> cells = ComputeCells(width(), height(), 0);
    for (size_t i = 0; i < cells.size() && i < m_outputs.size(); ++i)
        m_outputs[i]->displayRect = cells[i];
    for (int i = 0; i < ViewportsInUse(); ++i)
        Rescale(i);
    emit ViewerLayoutChanged();
    update();
}

void SoftwareViewer::TransformChanged()
{
    for (int i = 0; i < MaxViewports; ++i) {
        if (SoftwareViewportOutput* output = SwOutput(i)) {
            BuildSource(*output);
            Rescale(i);
        }
    }
    update();
}

QRectF SoftwareViewer::PictureRect(int index) const
{
    const auto* output = dynamic_cast<const SoftwareViewportOutput*>(Output(index));
    if (!output)
        return QRectF();
    const QRect& cell = output->displayRect;
    if (output->scaledPixmap.isNull())
        return cell;
    // Where paintEvent() draws the scaled pixmap.
    const QSize size = output->scaledPixmap.size();
    return QRectF(cell.x() + (cell.width() - size.width()) / 2, cell.y() + (cell.height() - size.height()) / 2,
                  size.width(), size.height());
}

void SoftwareViewer::SetWipePolygon(const QPolygonF& polygon)
{
    m_clipPath = QPainterPath();
    if (polygon.size() >= 4)
        m_clipPath.addPolygon(polygon);
    update();
}

void SoftwareViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateLayout();
}

void SoftwareViewer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_backgroundColor);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = ViewportsInUse() - 1; i >= 0; --i) {
        const SoftwareViewportOutput* output = SwOutput(i);
        if (!output)
            continue;
        painter.save();
        if (m_viewerCount > 1 && i == 0) {
            painter.setOpacity(output->opacity);
            if (!m_clipPath.isEmpty())
                painter.setClipPath(m_clipPath);
            painter.fillRect(output->displayRect, m_backgroundColor);
        }
        if (!output->scaledPixmap.isNull()) {
            const QRect& cell = output->displayRect;
            painter.drawPixmap(cell.x() + (cell.width() - output->scaledPixmap.width()) / 2,
                               cell.y() + (cell.height() - output->scaledPixmap.height()) / 2, output->scaledPixmap);
        }
        painter.restore();
    }
    emit PaintingFinished();
}

QImage SoftwareViewer::GrabViewportImage()
{
    QImage image(size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}
