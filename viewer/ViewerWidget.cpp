#include "viewer/ViewerWidget.h"

#include "core/FileHelpers.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "media/AudioStreamInfo.h"
#include "media/VideoFrame.h"
#include "media/VideoStreamInfo.h"
#include "playback/PlaybackManager.h"
#include "project/ProjectMimeTypes.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/AnnotationsOverlayWidget.h"
#include "viewer/CursorPointerSampler.h"
#include "viewer/OpenGLViewer.h"
#include "viewer/SoftwareViewer.h"
#include "viewer/TextToolPopup.h"
#include "viewer/ViewerOverlay.h"
#include "viewer/ViewerOverlayWidget.h"
#include "viewer/ViewerTypes.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMinimumZoom = 1.0f;
constexpr float kMaximumZoom = 4.0f;
constexpr double kZoomStep = 0.1;
constexpr double kZoomDragPixels = 500.0; // Ctrl+Shift+middle-drag: pixels per 1x of zoom
constexpr int kScreenEdgeProbe = 2;       // endless scrub: pixels beyond the cursor

bool OnlyControl(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier)) == Qt::ControlModifier;
}

bool ControlShift(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier))
           == (Qt::ControlModifier | Qt::ShiftModifier);
}

} // namespace

ViewerWidget::ViewerWidget(AvManager* engine, bool hardware, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_overlay(new ViewerOverlay(this))
    , m_annotations(new AnnotationsOverlay(this))
{
    m_annotations->SetViewProvider([this] { return AnnotationViewNow(); });
    if (hardware) {
        m_gl = new OpenGLViewer(this);
        m_gl->SetOverlay(m_overlay);
        m_gl->SetAnnotations(m_annotations);
        m_gl->SetAnnotationDrawing(m_annotations->IsShown());
        m_renderer = m_gl;
        m_rendererWidget = m_gl;
        connect(m_gl, &OpenGLViewer::ViewportImageDisplaySizeChanged, m_overlay, &ViewerOverlay::SetImageDisplayResolution);
        connect(m_gl, &OpenGLViewer::ViewerLayoutChanged, this, &ViewerWidget::UpdateOverlayGeometry);
        connect(m_gl, &OpenGLViewer::PanZoomUpdateRequested, this, &ViewerWidget::ApplyPanZoom);
        connect(m_overlay, &ViewerOverlay::UpdateRequested, m_gl, [this] { m_gl->update(); });
    } else {
        m_software = new SoftwareViewer(this);
        m_renderer = m_software;
        m_rendererWidget = m_software;
        m_annotationsWidget = new AnnotationsOverlayWidget(m_annotations, this);
        m_annotationsWidget->setVisible(m_annotations->IsShown());
        m_overlayWidget = new ViewerOverlayWidget(m_overlay, this);
        connect(m_software, &SoftwareViewer::ViewportImageDisplaySizeChanged, m_overlay, &ViewerOverlay::SetImageDisplayResolution);
        connect(m_software, &SoftwareViewer::ViewerLayoutChanged, this, &ViewerWidget::UpdateOverlayGeometry);
        connect(m_overlay, &ViewerOverlay::UpdateRequested, m_overlayWidget, [this] { m_overlayWidget->update(); });
    }
    connect(m_annotations, &AnnotationsOverlay::UpdateRequested, this, &ViewerWidget::RefreshAnnotations);
    connect(m_annotations, &AnnotationsOverlay::ShownChanged, this, &ViewerWidget::OnAnnotationsShown);
    connect(m_annotations, &AnnotationsOverlay::ActiveLayerChanged, this, &ViewerWidget::AnnotationActiveLayerChanged);
    connect(m_annotations, &AnnotationsOverlay::HoldFramesChanged, this, &ViewerWidget::HoldAnnotationFramesChanged);
    connect(m_annotations, &AnnotationsOverlay::GhostingChanged, this, &ViewerWidget::AnnotationGhostingChanged);
    // The picture moves with the renderer's fit: the drawings follow at their next paint.
    if (m_gl)
        connect(m_gl, &OpenGLViewer::ViewportImageDisplaySizeChanged, this, &ViewerWidget::RefreshAnnotations);
    else
        connect(m_software, &SoftwareViewer::ViewportImageDisplaySizeChanged, this, &ViewerWidget::RefreshAnnotations);
    SetPointerSampler(new CursorPointerSampler);
    m_textPopup = new TextToolPopup(this);
    connect(m_textPopup, &TextToolPopup::TextAccepted, this, [this](const QString& text) {
        m_annotations->SetStrokeText(text);
        m_annotations->EndStroke();
    });
    connect(m_textPopup, &TextToolPopup::TextCancelled, m_annotations, &AnnotationsOverlay::CancelStroke);
    // Input is this widget's: the renderer and the overlay let it through.
    m_rendererWidget->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_rendererWidget->setFocusPolicy(Qt::NoFocus);
    connect(m_overlay, &ViewerOverlay::WipeMaskChanged, this, &ViewerWidget::ApplyWipeMask);
    connect(m_overlay, &ViewerOverlay::EyeDropperColorUpdateRequired, this, &ViewerWidget::UpdateEyeDropperColor);
    connect(m_overlay, &ViewerOverlay::OverlayDrawableChanged, this, &ViewerWidget::ViewerOverlayDrawableChanged);

    if (m_engine) {
        connect(m_engine, &AvManager::VideoFrameChanged, this,
                [this](int output, std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame> previous,
                       std::shared_ptr<VideoFrame> next) {
                    UpdateVideoFrameCache(output, std::move(frame), std::move(previous), std::move(next));
                });
        connect(m_engine, &AvManager::PlaybackTimeChanged, this, &ViewerWidget::UpdateViewportFrames);
        connect(m_engine, &AvManager::PlaybackStateChanged, m_annotations,
                [this](bool playing, bool) { m_annotations->SetPlaying(playing); });
    }
    setMouseTracking(true);
    setAcceptDrops(true);
    setMinimumSize(64, 36);
}

ViewerWidget::~ViewerWidget()
{
    // The renderer and the overlay's widget paint the overlay: they go first.
    if (m_gl) {
        m_gl->SetOverlay(nullptr);
        m_gl->SetAnnotations(nullptr);
    }
    if (m_sampler)
        m_sampler->Stop();
    m_rendererWidget->disconnect(this);
    m_overlay->disconnect(this);
    m_annotations->disconnect(this);
    m_annotations->SetViewProvider({});
    delete m_overlayWidget;
    delete m_annotationsWidget;
    delete m_rendererWidget;
}

int ViewerWidget::LayoutType() const
{
    return m_renderer->LayoutKind();
}

bool ViewerWidget::EyeDropperEnabled() const
{
    return m_overlay->EyeDropperEnabled();
}

std::shared_ptr<VideoFrame> ViewerWidget::ShownFrame(int viewportIndex) const
{
    return viewportIndex >= 0 && viewportIndex < ViewerBase::MaxViewports ? m_shown[static_cast<size_t>(viewportIndex)] : nullptr;
}

QImage ViewerWidget::Grab()
{
    if (m_gl)
        return m_gl->GrabWholeImage(); // the overlay is painted into the framebuffer
    return grab().toImage();
}

int ViewerWidget::ScrubThreshold(Qt::KeyboardModifiers modifiers)
{
    const Settings& settings = Settings::Get();
    const Qt::KeyboardModifiers held
        = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held == Qt::ShiftModifier)
        return std::max(settings.scrubFrameIntervalShift, 1);
    if (held == Qt::AltModifier)
        return std::max(settings.scrubFrameIntervalAlt, 1);
    return std::max(settings.scrubFrameInterval, 1);
}

void ViewerWidget::SetPrimaryTimeline(Timeline* timeline)
{
    m_timeline = timeline;
    m_timelineJustLoaded = true;
    m_gesture = Gesture::None; // a scrub of the last timeline does not resume on this one
    m_resumeAfterScrub = false;
    m_annotations->SetTimeline(timeline);
    UpdateAnnotationFrame(timeline ? timeline->PlaybackTime() : -1);
    UpdateMediaInfo();
}

void ViewerWidget::SetViewerLayout(int rows, int columns, int stackHeight)
{
    if (rows < 1 || columns < 1 || stackHeight < 1)
        rows = columns = stackHeight = 1;
    rows = std::min(rows, 4);
    columns = std::min(columns, 4);
    const int viewers = rows == 1 && columns == 1 ? std::min(stackHeight, 2) : 1;
    m_renderer->SetGrid(rows, columns, viewers);
    m_overlay->SetWipeEnabled(m_wipeWanted && LayoutType() == ViewerLayoutAB);
    emit ViewerLayoutChanged(LayoutType());
}

void ViewerWidget::SetViewerLayoutByType(int layoutType)
{
    switch (layoutType) {
    case ViewerLayoutAB:
        m_renderer->SetGrid(1, 1, 2);
        break;
    case ViewerLayoutHorizontal:
        m_renderer->SetGrid(1, 2, 1);
        break;
    case ViewerLayoutVertical:
        m_renderer->SetGrid(2, 1, 1);
        break;
    case ViewerLayoutGrid:
        m_renderer->SetGrid(2, 2, 1);
        break;
    default:
        m_renderer->SetGrid(1, 1, 1);
        break;
    }
    m_overlay->SetWipeEnabled(m_wipeWanted && LayoutType() == ViewerLayoutAB);
    emit ViewerLayoutChanged(LayoutType());
}

void ViewerWidget::ToggleViewerLayout()
{
    SetViewerLayoutByType(LayoutType() == ViewerLayoutSingle ? m_renderer->PreviousMultiViewLayout() : ViewerLayoutSingle);
}

void ViewerWidget::ToggleViewerLayoutTo(int layoutType)
{
    if (LayoutType() == layoutType) {
        SetViewerLayoutByType(ViewerLayoutSingle);
        return;
    }
    SetViewerLayoutByType(layoutType);
    if (layoutType == ViewerLayoutAB && !m_wipeWanted)
        SetWipeEnabled(true);
}

void ViewerWidget::SetViewerBackground(int backgroundType)
{
    m_renderer->SetBackgroundType(backgroundType);
    emit ViewerBackgroundChanged(m_renderer->BackgroundType());
}

void ViewerWidget::SetViewerOverlayDrawable(int drawable)
{
    m_overlay->SetDrawable(drawable);
}

void ViewerWidget::UpdateVideoFrameCache(int viewportIndex, std::shared_ptr<VideoFrame> currentFrame,
                                         std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame)
{
    if (viewportIndex < 0 || viewportIndex >= ViewerBase::MaxViewports)
        return;
    auto& cached = m_slots[static_cast<size_t>(viewportIndex)];
    cached = {std::move(currentFrame), std::move(previousFrame), std::move(nextFrame)};
    ShowFrame(viewportIndex, cached[0]);
}

void ViewerWidget::UpdateViewportFrames(int64_t playbackTime)
{
    UpdateAnnotationFrame(playbackTime);
    const int count = m_renderer->ViewportsInUse();
    for (int i = 0; i < count; ++i) {
        const size_t index = static_cast<size_t>(i);
        for (const std::shared_ptr<VideoFrame>& frame : m_slots[index]) {
            if (!frame || frame == m_shown[index])
                continue;
            if (frame->timelineFrameStartTime <= playbackTime && playbackTime <= frame->timelineFrameEndTime.load()) {
                ShowFrame(i, frame);
                break;
            }
        }
    }
}

void ViewerWidget::ShowFrame(int viewportIndex, const std::shared_ptr<VideoFrame>& frame)
{
    m_shown[static_cast<size_t>(viewportIndex)] = frame;
    m_renderer->SetViewportFrame(viewportIndex, frame);
    if (viewportIndex != 0)
        return;
    emit PrimaryVideoFrameChanged(frame);
    if (m_timeline && frame && !frame->empty && frame->timelineFrameStartTime >= 0)
        UpdateAnnotationFrame(std::clamp(m_timeline->PlaybackTime(), frame->timelineFrameStartTime,
                                         frame->timelineFrameEndTime.load()));
    else
        UpdateAnnotationFrame(m_timeline ? m_timeline->PlaybackTime() : -1);
    if (m_timelineJustLoaded && frame && m_timeline) {
        if (Settings::Get().restoreHoldAnnotationsOnProjectLoad)
            m_annotations->SetHoldFrames(m_timeline->HoldAnnotations());
        const QPointF pan = m_timeline->PanInterpolation();
        const float zoom = m_timeline->Zoom();
        const bool enabled = m_timeline->PanZoomEnabled();
        m_timelineJustLoaded = false;
        if (Settings::Get().restorePanZoomOnProjectLoad)
            SetPanAndZoom(pan, zoom, enabled, true);
        else
            ResetPanAndZoom(true);
    }
    UpdateMediaInfo();
}

void ViewerWidget::SetImageAlpha(int viewportIndex, float alpha)
{
    m_renderer->SetViewportOpacity(viewportIndex, std::clamp(alpha, 0.0f, 1.0f));
}

void ViewerWidget::SetWipeEnabled(bool enabled)
{
    m_wipeWanted = enabled;
    // The wipe divides A from B where they overlap: only the A/B layout has it.
    m_overlay->SetWipeEnabled(enabled && LayoutType() == ViewerLayoutAB);
    emit ViewerWipeStateChanged(enabled);
}

void ViewerWidget::ToggleWipe()
{
    const bool enable = !m_wipeWanted || LayoutType() != ViewerLayoutAB;
    if (enable && LayoutType() != ViewerLayoutAB)
        SetViewerLayoutByType(ViewerLayoutAB);
    SetWipeEnabled(enable);
}

void ViewerWidget::ResetWipePositionAndRotation()
{
    m_overlay->ResetWipe();
}

void ViewerWidget::SetEyeDropperEnabled(bool enabled)
{
    m_overlay->SetEyeDropperEnabled(enabled);
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    m_overlay->SetPointer(pointer, rect().contains(pointer));
    UpdateCursorShape(pointer);
}

void ViewerWidget::SetMediaInfoVisible(bool visible)
{
    m_overlay->SetMediaInfoEnabled(visible);
    UpdateMediaInfo();
}

void ViewerWidget::UpdateEyeDropperColor(const QPoint& point)
{
    QColor color;
    bool found = false;
    if (m_gl) {
        QImage image = m_gl->GrabWholeImage();
        const qreal ratio = m_gl->ViewerDevicePixelRatio();
        if (ratio > 1.0)
            image = image.scaled(qRound(image.width() / ratio), qRound(image.height() / ratio));
        if (image.rect().contains(point)) {
            color = image.pixelColor(point);
            found = true;
        }
    } else {
        const QPoint local = point - m_software->pos();
        if (m_software->rect().contains(local)) {
            color = m_software->grab(QRect(local, QSize(1, 1))).toImage().pixelColor(0, 0);
            found = true;
        }
    }
    if (found)
        m_overlay->SetEyeDropperColor(color, PicturePixelAt(point));
}

void ViewerWidget::SetHorizontalFlipEnabled(bool enabled)
{
    m_renderer->SetFlipHorizontal(enabled);
    RefreshAnnotations();
}

void ViewerWidget::SetVerticalFlipEnabled(bool enabled)
{
    m_renderer->SetFlipVertical(enabled);
    RefreshAnnotations();
}

void ViewerWidget::RotateClockwise()
{
    m_renderer->RotateClockwise();
    RefreshAnnotations();
}

void ViewerWidget::RotateCounterClockwise()
{
    m_renderer->RotateCounterClockwise();
    RefreshAnnotations();
}

void ViewerWidget::ResetFlipAndRotate()
{
    m_renderer->ResetTransform();
    RefreshAnnotations();
}

void ViewerWidget::SetPanAndZoom(const QPointF& pan, float zoomFactor, bool enabled, bool update)
{
    m_pan = QPointF(std::clamp(pan.x(), -1.0, 1.0), std::clamp(pan.y(), -1.0, 1.0));
    m_zoom = std::clamp(zoomFactor, kMinimumZoom, kMaximumZoom);
    m_panZoomEnabled = enabled;
    m_mouseDelta = QPoint();
    if (update)
        ApplyPanZoom();
}

void ViewerWidget::ResetPanAndZoom(bool update)
{
    SetPanAndZoom(QPointF(), 1.0f, false, update);
}

void ViewerWidget::ZoomIn()
{
    ChangeZoom(kZoomStep);
}

void ViewerWidget::ZoomOut()
{
    ChangeZoom(-kZoomStep);
}

void ViewerWidget::TogglePanAndZoom()
{
    m_panZoomEnabled = !m_panZoomEnabled;
    ApplyPanZoom();
}

void ViewerWidget::ChangeZoom(double step)
{
    if (!m_panZoomEnabled) {
        m_panZoomEnabled = true;
        m_pan = QPointF();
        m_zoom = 1.0f;
    }
    // Kept to thousandths, so that ten steps of 0.1 make exactly one.
    const double zoom = std::round((m_zoom + step) * 1000.0) / 1000.0;
    m_zoom = std::clamp(static_cast<float>(zoom), kMinimumZoom, kMaximumZoom);
    ApplyPanZoom();
}

void ViewerWidget::ApplyPanZoom()
{
    m_zoom = std::clamp(m_zoom, kMinimumZoom, kMaximumZoom);
    const float zoom = m_panZoomEnabled ? m_zoom : 1.0f;
    m_overlay->SetZoom(zoom);
    // The software renderer is measured against this widget: its own size is the zoomed one.
    const QSize area = m_gl ? m_gl->ViewportAreaSize() : size();
    const QSize zoomed(qRound(area.width() * zoom), qRound(area.height() * zoom));
    const double halfWidth = (zoomed.width() - area.width()) / 2.0;
    const double halfHeight = (zoomed.height() - area.height()) / 2.0;
    if (zoom != 1.0f && halfWidth != 0.0 && halfHeight != 0.0) {
        m_pan += QPointF(m_mouseDelta.x() / halfWidth, m_mouseDelta.y() / halfHeight);
        m_pan = QPointF(std::clamp(m_pan.x(), -1.0, 1.0), std::clamp(m_pan.y(), -1.0, 1.0));
    }
    m_mouseDelta = QPoint();
    const QPointF pan = m_panZoomEnabled ? m_pan : QPointF();
    m_imageOffset = QPoint(qRound(area.width() / 2.0 - zoomed.width() / 2.0 + pan.x() * halfWidth),
                           qRound(area.height() / 2.0 - zoomed.height() / 2.0 + pan.y() * halfHeight));
    if (m_gl) {
        QPointF limited = pan;
        if (m_panZoomEnabled) {
            // The picture may not be pushed under the time bars.
            const double half = height() / 2.0;
            if (half > 0.0)
                limited.setY(std::clamp(limited.y(), -(half - m_gl->BottomBarHeight()) / half,
                                        (half - m_gl->TopBarHeight()) / half));
        }
        m_rendererOffset = limited * static_cast<double>(zoom - 1.0f);
        m_gl->SetPanZoom(limited, zoom);
        // The shader scales about the widget's centre, not the picture area's.
        const QPointF centre(width() / 2.0, PictureTop() + PictureHeight() / 2.0);
        m_overlay->SetPictureOffset((ZoomedPoint(centre) - centre).toPoint());
    } else {
        m_software->setGeometry(QRect(m_imageOffset, zoomed));
        m_overlay->SetPictureOffset(QPoint(qRound(pan.x() * halfWidth), qRound(pan.y() * halfHeight)));
    }
    ApplyWipeMask();
    RefreshAnnotations();
    // A timeline just loaded keeps what it brought until its first frame applies it.
    if (m_timeline && !m_timelineJustLoaded)
        m_timeline->SetPanZoom(m_pan, m_zoom, m_panZoomEnabled);
}

QPointF ViewerWidget::UnzoomedPoint(const QPointF& point) const
{
    if (!m_gl || !m_panZoomEnabled || m_zoom == 1.0f || width() <= 0 || height() <= 0)
        return point;
    // The renderer draws x' = z x + o.x, y' = z y - o.y in device coordinates.
    const double w = width();
    const double h = height();
    const double z = m_zoom;
    const double x = (2.0 * point.x() / w - 1.0 - m_rendererOffset.x()) / z;
    const double y = (1.0 - 2.0 * point.y() / h + m_rendererOffset.y()) / z;
    return QPointF((x + 1.0) * w / 2.0, (1.0 - y) * h / 2.0);
}

QPointF ViewerWidget::ZoomedPoint(const QPointF& point) const
{
    if (!m_gl || !m_panZoomEnabled || m_zoom == 1.0f || width() <= 0 || height() <= 0)
        return point;
    const double w = width();
    const double h = height();
    const double z = m_zoom;
    const double x = z * (2.0 * point.x() / w - 1.0) + m_rendererOffset.x();
    const double y = z * (1.0 - 2.0 * point.y() / h) - m_rendererOffset.y();
    return QPointF((x + 1.0) * w / 2.0, (1.0 - y) * h / 2.0);
}

void ViewerWidget::ApplyWipeMask()
{
    const QPolygonF mask = m_overlay->WipeMask();
    if (m_gl) {
        QPolygonF mapped;
        for (const QPointF& point : mask)
            mapped << UnzoomedPoint(point);
        m_gl->SetWipePolygon(mapped);
    } else {
        m_software->SetWipePolygon(mask.translated(-QPointF(m_software->pos())));
    }
    // As shown on screen: only A's side can be drawn on.
    m_annotations->SetWipeClip(mask);
}

int ViewerWidget::PictureTop() const
{
    return m_gl ? m_gl->TopBarHeight() : 0;
}

int ViewerWidget::PictureHeight() const
{
    return m_gl ? height() - m_gl->TopBarHeight() - m_gl->BottomBarHeight() : height();
}

void ViewerWidget::UpdateOverlayGeometry()
{
    m_overlay->SetGeometry(width(), height(), PictureHeight(), PictureTop());
    RefreshAnnotations();
}

void ViewerWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_gl)
        m_gl->setGeometry(rect());
    if (m_annotationsWidget) {
        m_annotationsWidget->setGeometry(rect());
        m_annotationsWidget->raise();
    }
    if (m_overlayWidget) {
        m_overlayWidget->setGeometry(rect());
        m_overlayWidget->raise();
    }
    UpdateOverlayGeometry();
    ApplyPanZoom(); // places and sizes the software renderer
}

void ViewerWidget::UpdateMediaInfo()
{
    ViewerOverlay::MediaInfo info;
    const Source* source = m_timeline ? m_timeline->GetSource() : nullptr;
    if (m_timeline) {
        info.frames = m_timeline->FrameCount();
        info.fps = m_timeline->FrameRateAt(0);
        info.seconds = static_cast<double>(m_timeline->Duration()) / 1e6;
    }
    if (source) {
        info.name = source->Name();
        info.source = source->Path();
        info.duration = source->DurationText();
        if (const VideoStreamInfo* video = source->FirstVideoStream()) {
            info.width = video->width;
            info.height = video->height;
            info.pixelAspect = video->pixelAspect > 0.0f ? video->pixelAspect : 1.0f;
            info.videoCodec = video->codecName;
        }
        if (source->AudioStreamCount() > 0)
            if (const AudioStreamInfo* audio = source->AudioStream(0, 0))
                info.audioCodec = audio->codecName;
    }
    info.outputSize = m_renderer->PictureSize(0);
    m_overlay->SetMediaInfo(info);
}

QPoint ViewerWidget::PicturePixelAt(const QPoint& point) const
{
    const ViewportOutput* output = m_renderer->Output(0);
    if (!output || !output->frame || !output->frame->streamInfo)
        return QPoint(-1, -1);
    // Turned, mirrored or stretched pictures are not mapped back: no pixel is claimed.
    const VideoStreamInfo* info = output->frame->streamInfo;
    const float aspect = info->pixelAspect > 0.0f ? info->pixelAspect : 1.0f;
    if (m_renderer->Rotation() != 0 || info->rotation != 0 || m_renderer->FlipHorizontal() || m_renderer->FlipVertical()
        || aspect != 1.0f)
        return QPoint(-1, -1);
    // Back to the renderer's unzoomed cell, then into the picture fitted in it.
    QPointF local = UnzoomedPoint(point);
    const QRectF cell = output->displayRect; // the software renderer's is already zoomed
    if (m_software)
        local -= m_software->pos();
    const QSize picture = m_renderer->PictureSize(0);
    if (picture.isEmpty() || cell.isEmpty())
        return QPoint(-1, -1);
    const QSizeF fitted = QSizeF(picture).scaled(cell.size(), Qt::KeepAspectRatio);
    const QRectF shown(cell.center() - QPointF(fitted.width() / 2.0, fitted.height() / 2.0), fitted);
    if (!shown.contains(local))
        return QPoint(-1, -1);
    return QPoint(static_cast<int>((local.x() - shown.left()) * picture.width() / shown.width()),
                  static_cast<int>((local.y() - shown.top()) * picture.height() / shown.height()));
}

bool ViewerWidget::OnTimeBar(const QPointF& point) const
{
    return m_gl && (point.y() < PictureTop() || point.y() >= PictureTop() + PictureHeight());
}

void ViewerWidget::UpdateCursorShape(const QPointF& point)
{
    if (OnTimeBar(point))
        setCursor(Qt::ArrowCursor);
    else if (m_overlay->EyeDropperEnabled())
        setCursor(Qt::CrossCursor);
    else if (m_overlay->HitsPositionHandle(point))
        setCursor(Qt::SizeAllCursor);
    else if (m_overlay->HitsWipeLine(point))
        setCursor(RotationCursor());
    else if (m_annotationTool >= 0)
        setCursor(AnnotationCursor());
    else
        setCursor(Qt::ArrowCursor);
}

// The icons are compiled into this library; a static library must register them itself.
static void RegisterViewerWidgetResources()
{
    Q_INIT_RESOURCE(resources);
}

QCursor ViewerWidget::AnnotationCursor()
{
    // The resource is 24 x 24 with the stroke's starting point at its centre.
    static const QCursor cursor = [] {
        RegisterViewerWidgetResources();
        const QPixmap pixmap(QStringLiteral(":/icons/annotation_cursor.png"));
        return pixmap.isNull() ? QCursor(Qt::CrossCursor) : QCursor(pixmap, pixmap.width() / 2, pixmap.height() / 2);
    }();
    return cursor;
}

QCursor ViewerWidget::RotationCursor()
{
    // A circular arrow, drawn once.
    static const QCursor cursor = [] {
        QPixmap pixmap(24, 24);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        for (const auto& [colour, width] : {std::pair{QColor(Qt::black), 4.0}, std::pair{QColor(Qt::white), 2.0}}) {
            painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
            painter.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 280 * 16);
            painter.drawLine(QPointF(18.9, 7.0), QPointF(19.5, 2.5));
            painter.drawLine(QPointF(18.9, 7.0), QPointF(14.5, 7.0));
        }
        return QCursor(pixmap, 12, 12);
    }();
    return cursor;
}

void ViewerWidget::mousePressEvent(QMouseEvent* event)
{
    const QPointF point = event->position();
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::MiddleButton && Settings::Get().panZoomMouseControls) {
        m_lastMouse = global;
        if (ControlShift(event->modifiers()))
            m_zooming = true;
        else if (OnlyControl(event->modifiers()))
            m_panning = true;
        return;
    }
    // A text still being typed is kept before anything else begins.
    if (m_textPopup->isVisible())
        m_textPopup->Commit();
    if (event->button() != Qt::LeftButton || !m_timeline || OnTimeBar(point))
        return;
    if (m_overlay->EyeDropperEnabled()) {
        UpdateEyeDropperColor(point.toPoint());
        emit AnnotationToolColorChangeRequested(m_overlay->EyeDropperColor());
        m_gesture = Gesture::Ignored;
    } else if (m_overlay->HitsPositionHandle(point)) {
        m_gesture = Gesture::WipePosition;
        m_overlay->SetHandleHighlight(ViewerOverlay::PositionHandle);
    } else if (m_overlay->HitsWipeLine(point)) {
        m_gesture = Gesture::WipeAngle;
        m_overlay->SetHandleHighlight(ViewerOverlay::LineHandle);
    } else if (m_annotationTool >= 0 && !(event->modifiers() & Qt::ControlModifier)) {
        if (m_engine && m_engine->Clock()->IsPlaying())
            m_engine->Pause();
        m_gesture = Gesture::Ignored;
        if (m_renderer->CanDrawAnnotations() && m_annotations->BeginStroke(point, event->modifiers())) {
            if (m_annotationTool == AnnotationToolText) {
                m_gesture = Gesture::Text;
                const Settings& settings = Settings::Get();
                m_textPopup->Open(settings.annotationTextBoxWidthScaler, settings.annotationTextBoxHeightScaler);
            } else {
                m_gesture = Gesture::Drawing;
                m_sampler->Start();
            }
        }
    } else {
        m_gesture = Gesture::Scrub;
        m_scrubAnchor = global.x();
        m_resumeAfterScrub = false;
        if (m_engine && m_engine->Clock()->IsPlaying()) {
            if (!Settings::Get().pausePlaybackOnScrub) {
                m_resumeAfterScrub = true;
                m_resumeForward = m_engine->Clock()->PlayForward();
                emit FrameScrubTempPause();
            }
            m_engine->Pause();
        }
    }
    UpdateCursorShape(point);
}

void ViewerWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF point = event->position();
    const QPoint global = event->globalPosition().toPoint();
    if ((m_panning || m_zooming) && (event->buttons() & Qt::MiddleButton)) {
        // One move is handled per pass of the event loop; the latest of those that arrive
        // meanwhile is handled when the pass ends, measured from the last one handled, so
        // nothing of the drag is lost.
        if (m_middleEventPending) {
            m_middleMoveWaiting = true;
            m_middleWaiting = global;
            return;
        }
        m_middleEventPending = true;
        QTimer::singleShot(0, this, [this] {
            m_middleEventPending = false;
            if (m_middleMoveWaiting) {
                m_middleMoveWaiting = false;
                MiddleDrag(m_middleWaiting);
            }
        });
        MiddleDrag(global);
        return;
    }
    if (m_gesture == Gesture::Drawing && !(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere (a menu or dialog opened mid-stroke): the stroke ends here.
        m_sampler->Stop();
        m_annotations->EndStroke();
        m_gesture = Gesture::None;
    }
    if (event->buttons() & Qt::LeftButton) {
        const bool snap = !OnlyControl(event->modifiers());
        switch (m_gesture) {
        case Gesture::WipePosition:
            m_overlay->DragWipePosition(point, snap);
            break;
        case Gesture::WipeAngle:
            m_overlay->DragWipeAngle(point, snap);
            break;
        case Gesture::Scrub:
            Scrub(event);
            break;
        default:
            break;
        }
    }
    if (!(event->buttons() & Qt::LeftButton) || m_overlay->EyeDropperEnabled())
        m_overlay->SetPointer(point.toPoint(), rect().contains(point.toPoint()));
    if (event->buttons() == Qt::NoButton)
        UpdateCursorShape(point);
}

void ViewerWidget::MiddleDrag(const QPoint& global)
{
    if (m_zooming) {
        ChangeZoom((global.x() - m_lastMouse.x()) / kZoomDragPixels);
    } else if (m_panning && m_zoom != 1.0f) {
        m_mouseDelta += global - m_lastMouse;
        ApplyPanZoom();
    }
    m_lastMouse = global;
}

void ViewerWidget::Scrub(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    const int threshold = ScrubThreshold(event->modifiers());
    const int moved = global.x() - m_scrubAnchor;
    if (moved >= threshold) {
        m_scrubAnchor = global.x();
        emit SeekNextFrameRequested();
    } else if (moved <= -threshold) {
        m_scrubAnchor = global.x();
        emit SeekPreviousFrameRequested();
    }
    if (!Settings::Get().endlessMouseScrub)
        return;
    QScreen* screen = QGuiApplication::screenAt(global);
    if (!screen)
        return;
    // Landed just inside the far edge, beyond the probe, so that the move the jump itself
    // causes is not taken for another edge; the anchor jumps with the pointer, keeping what
    // was dragged since the last step.
    const QRect edges = screen->geometry();
    int landing = global.x();
    if (!QGuiApplication::screenAt(global + QPoint(kScreenEdgeProbe, 0)))
        landing = edges.left() + kScreenEdgeProbe + 1;
    else if (!QGuiApplication::screenAt(global - QPoint(kScreenEdgeProbe, 0)))
        landing = edges.right() - kScreenEdgeProbe - 1;
    if (landing == global.x())
        return;
    QCursor::setPos(screen, QPoint(landing, global.y()));
    m_scrubAnchor += landing - global.x();
}

void ViewerWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        if (m_middleMoveWaiting) {
            m_middleMoveWaiting = false;
            MiddleDrag(m_middleWaiting);
        }
        m_panning = m_zooming = false;
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_gesture == Gesture::Drawing) {
        // Samples still on their way belong to the finished stroke: the sampler drops them.
        m_sampler->Stop();
        m_annotations->AppendPoint(event->position(), event->modifiers());
        m_annotations->EndStroke();
    }
    if (m_gesture == Gesture::Scrub && m_resumeAfterScrub && m_engine)
        m_engine->Play(m_resumeForward);
    m_resumeAfterScrub = false;
    m_gesture = Gesture::None;
    m_overlay->EndWipeDrag();
    UpdateCursorShape(event->position());
}

void ViewerWidget::wheelEvent(QWheelEvent* event)
{
    if (!Settings::Get().panZoomMouseControls || m_panning || m_zooming || !OnlyControl(event->modifiers())) {
        QWidget::wheelEvent(event);
        return;
    }
    const int delta = event->angleDelta().y();
    if (delta > 0)
        ChangeZoom(kZoomStep);
    else if (delta < 0)
        ChangeZoom(-kZoomStep);
    event->accept();
}

void ViewerWidget::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_overlay->SetPointer(m_overlay->EyeDropperPoint(), false);
}

void ViewerWidget::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() || mime->hasFormat(ProjectMimeTypes::Timelines) || mime->hasFormat(ProjectMimeTypes::Folder))
        event->acceptProposedAction();
}

void ViewerWidget::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void ViewerWidget::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    const bool several = event->modifiers() & Qt::ControlModifier;
    const int under = m_renderer->ViewportIndexAt(event->position().toPoint());
    if (mime->hasUrls()) {
        const QList<QUrl> urls = mime->urls();
        if (urls.size() == 1 && FileHelpers::IsProjectFile(urls.first().toLocalFile())) {
            emit OpenProjectRequested(urls.first().toLocalFile());
        } else if (several) {
            emit OpenUrlsInViewerRequested(urls, 0, static_cast<int>(urls.size()), true);
        } else if (under >= 0) {
            emit OpenUrlsInViewerRequested(urls, under, 1, true);
        }
    } else if (mime->hasFormat(ProjectMimeTypes::Folder)) {
        const QList<QUuid> ids = ProjectMimeTypes::ReadIds(mime->data(ProjectMimeTypes::Folder));
        if (!ids.isEmpty() && (several || under >= 0))
            emit OpenFolderInViewerRequested(ids.first(), several ? 0 : under, several ? ViewerBase::MaxViewports : 1, true);
    } else if (mime->hasFormat(ProjectMimeTypes::Timelines)) {
        const QList<QUuid> ids = ProjectMimeTypes::ReadIds(mime->data(ProjectMimeTypes::Timelines));
        if (!ids.isEmpty() && (several || under >= 0))
            emit OpenTimelinesInViewerRequested(ids, several ? 0 : under, several ? static_cast<int>(ids.size()) : 1, true);
    }
    event->acceptProposedAction();
}

void ViewerWidget::SetPointerSampler(PointerSampler* sampler)
{
    if (m_sampler) {
        m_sampler->Stop();
        delete m_sampler;
    }
    m_sampler = sampler;
    m_sampler->setParent(this);
    connect(m_sampler, &PointerSampler::Sampled, this, &ViewerWidget::OnPointerSampled);
}

void ViewerWidget::OnPointerSampled(const QPoint& global, Qt::KeyboardModifiers modifiers)
{
    if (m_gesture == Gesture::Drawing)
        m_annotations->AppendPoint(mapFromGlobal(QPointF(global)), modifiers);
}

AnnotationView ViewerWidget::AnnotationViewNow() const
{
    AnnotationView view;
    const ViewportOutput* output = m_renderer->Output(0);
    if (!output)
        return view;
    const QRectF picture = m_renderer->PictureRect(0);
    const QRectF cell = output->displayRect;
    QSizeF shown = picture.size();
    if (m_gl) {
        // The shader scales and moves the unzoomed geometry about the widget's centre.
        const double zoom = m_panZoomEnabled ? m_zoom : 1.0;
        view.centre = ZoomedPoint(picture.center());
        shown *= zoom;
        view.area = QRectF(ZoomedPoint(cell.topLeft()), ZoomedPoint(cell.bottomRight())).normalized()
                        .intersected(QRectF(0, PictureTop(), width(), PictureHeight()));
    } else {
        // The software renderer is itself enlarged and moved by the zoom and pan.
        const QPointF origin = m_software->pos();
        view.centre = picture.center() + origin;
        view.area = cell.translated(origin).intersected(QRectF(rect()));
    }
    view.rotation = m_renderer->Rotation();
    const bool quarter = view.rotation == 90 || view.rotation == 270;
    view.width = quarter ? shown.height() : shown.width();
    view.height = quarter ? shown.width() : shown.height();
    view.flipHorizontal = m_renderer->FlipHorizontal();
    view.flipVertical = m_renderer->FlipVertical();
    return view;
}

void ViewerWidget::UpdateAnnotationFrame(int64_t playbackTime)
{
    if (!m_timeline || playbackTime < 0 || playbackTime > m_timeline->EndTime()) {
        m_annotations->SetCurrentFrame(-1);
        return;
    }
    m_annotations->SetCurrentFrame(m_timeline->TimeToFrame(playbackTime));
}

void ViewerWidget::RefreshAnnotations()
{
    if (m_gl)
        m_gl->update();
    else if (m_annotationsWidget)
        m_annotationsWidget->update();
}

void ViewerWidget::OnAnnotationsShown(bool shown)
{
    if (m_gl)
        m_gl->SetAnnotationDrawing(shown);
    else if (m_annotationsWidget)
        m_annotationsWidget->setVisible(shown);
    emit AnnotationVisibilityChanged(m_annotations->Visibility());
}

void ViewerWidget::SetAnnotationTool(int tool)
{
    if (tool >= 0 && tool < AnnotationToolCount) {
        m_annotationTool = tool;
        m_annotations->SetActiveTool(tool);
    } else {
        m_annotationTool = -1;
    }
    UpdateCursorShape(mapFromGlobal(QCursor::pos()));
}

void ViewerWidget::SetAnnotationToolColor(const QColor& color)
{
    m_annotations->SetToolColor(color);
}

void ViewerWidget::SetAnnotationLayer(int layer)
{
    m_annotations->SetActiveLayer(layer);
}

void ViewerWidget::IncreaseAnnotationToolSize()
{
    m_annotations->IncreaseToolSize();
}

void ViewerWidget::DecreaseAnnotationToolSize()
{
    m_annotations->DecreaseToolSize();
}

void ViewerWidget::ToggleHoldAnnotationFrames()
{
    m_annotations->ToggleHoldFrames();
}

void ViewerWidget::SetHoldAnnotationFrames(bool hold)
{
    m_annotations->SetHoldFrames(hold);
}

void ViewerWidget::ToggleAnnotationGhosting()
{
    m_annotations->ToggleGhosting();
}

void ViewerWidget::UndoAnnotation()
{
    m_annotations->Undo();
}

void ViewerWidget::RedoAnnotation()
{
    m_annotations->Redo();
}

void ViewerWidget::SetAnnotationVisibility(int visibility)
{
    const bool before = m_annotations->IsShown();
    m_annotations->SetVisibility(visibility);
    if (before == m_annotations->IsShown()) // otherwise ShownChanged has told
        emit AnnotationVisibilityChanged(m_annotations->Visibility());
}

void ViewerWidget::CutAnnotation()
{
    m_annotations->Cut();
}

void ViewerWidget::CopyAnnotation()
{
    m_annotations->Copy();
}

void ViewerWidget::PasteAnnotation()
{
    m_annotations->Paste();
}

void ViewerWidget::ClearCurrentFrameAnnotation()
{
    m_annotations->ClearCurrentFrame();
}
