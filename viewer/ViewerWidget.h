#pragma once

#include "project/Timeline.h"
#include "viewer/AnnotationTypes.h"

#include <QList>
#include <QPointF>
#include <QPointer>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <array>
#include <memory>

class AnnotationsOverlay;
class AvManager;
class PointerSampler;
class QCursor;
class TextToolPopup;
class OpenGLViewer;
class QTimer;
class SoftwareViewer;
class ViewerBase;
class ViewerOverlay;
struct VideoFrame;

// The picture area: one renderer (OpenGL or software, fixed at creation) with the overlay on
// top, turning input and commands into what the renderer shows.
//
// - Layouts: single, A/B (overlapping, with the wipe), side by side, stacked, grids up to
//   4 x 4 (SetViewerLayout).
// - Frames: per viewport the last three the engine delivered (current, previous, next); the
//   one covering the playback time is shown, so a step lands at once without a new decode.
// - Pan and zoom (1x..4x), kept with the primary timeline: Ctrl+wheel, Ctrl+middle-drag to
//   pan, Ctrl+Shift+middle-drag to zoom. The software renderer is zoomed by making it larger
//   than this widget and moving it; the OpenGL renderer by its shader.
// - Left press, in this order: eyedropper pick, wipe handle drag, wipe line drag, scrub
//   (the playhead follows the pointer frame by frame; endless across the screen's edge).
//   With an annotation tool chosen (and Ctrl not held) a left press draws instead of
//   scrubbing: the pointer is then followed by a PointerSampler, and its samples are mapped
//   into the picture here, on the main thread.
// - Drawings over viewport 0 (AnnotationsOverlay): painted by the OpenGL renderer after the
//   picture, or by a transparent widget over the software renderer. They ask this widget
//   where the picture is at each press, sample and paint, so they follow it through zoom,
//   pan, rotation, flips, resizes and layout changes.
// - Drops of files and of project items open them in the viewport under the pointer.
//
// Coordinates are this widget's throughout (see ViewerOverlay). Main thread only.
class ViewerWidget : public QWidget
{
    Q_OBJECT

public:
    // `engine` delivers frames and playback times, and is paused and played by scrubbing;
    // it must outlive the widget. `hardware` picks the OpenGL renderer.
    ViewerWidget(AvManager* engine, bool hardware, QWidget* parent = nullptr);
    ~ViewerWidget() override;

    ViewerBase* Renderer() const { return m_renderer; }
    QWidget* RendererWidget() const { return m_rendererWidget; }
    OpenGLViewer* GlRenderer() const { return m_gl; } // null for the software renderer
    ViewerOverlay* Overlay() const { return m_overlay; }
    AnnotationsOverlay* Annotations() const { return m_annotations; }
    // Replaces the pointer sampler used while drawing (the cursor poller by default); this
    // widget takes ownership.
    void SetPointerSampler(PointerSampler* sampler);
    PointerSampler* Sampler() const { return m_sampler; }
    TextToolPopup* TextPopup() const { return m_textPopup; }
    // The active annotation tool (AnnotationToolType); -1 while the left button scrubs.
    int AnnotationTool() const { return m_annotationTool; }
    // Where viewport 0's picture is now, in this widget's pixels, as the drawings see it.
    AnnotationView AnnotationViewNow() const;
    Timeline* PrimaryTimeline() const { return m_timeline; }

    int LayoutType() const;
    bool PanZoomEnabled() const { return m_panZoomEnabled; }
    float ZoomFactor() const { return m_zoom; }
    QPointF Pan() const { return m_pan; }
    // The picture's top-left offset in this widget for drawings over it.
    QPoint ImageOffset() const { return m_imageOffset; }
    bool EyeDropperEnabled() const;
    bool WipeEnabled() const { return m_wipeWanted; }
    // The frame a viewport shows now.
    std::shared_ptr<VideoFrame> ShownFrame(int viewportIndex) const;
    // Everything this widget shows, overlay included, as the screen shows it.
    QImage Grab();

    // The settings' scrub thresholds for the modifiers held: Shift alone, Alt alone, else
    // the plain one.
    static int ScrubThreshold(Qt::KeyboardModifiers modifiers);

public slots:
    void SetPrimaryTimeline(Timeline* timeline);
    void SetViewerLayout(int rows, int columns, int stackHeight);
    void SetViewerLayoutByType(int layoutType);
    // Between single and the last multi-view layout.
    void ToggleViewerLayout();
    // To `layoutType`, or back to single when it is already shown; A/B comes with the wipe.
    void ToggleViewerLayoutTo(int layoutType);
    void SetViewerBackground(int backgroundType);
    void SetViewerOverlayDrawable(int drawable);
    void UpdateViewportFrames(int64_t playbackTime);
    void UpdateVideoFrameCache(int viewportIndex, std::shared_ptr<VideoFrame> currentFrame,
                               std::shared_ptr<VideoFrame> previousFrame, std::shared_ptr<VideoFrame> nextFrame);
    void SetImageAlpha(int viewportIndex, float alpha);
    void SetWipeEnabled(bool enabled);
    void ToggleWipe();
    void ResetWipePositionAndRotation();
    void UpdateEyeDropperColor(const QPoint& point);
    void SetEyeDropperEnabled(bool enabled);
    void SetMediaInfoVisible(bool visible);
    void SetHorizontalFlipEnabled(bool enabled);
    void SetVerticalFlipEnabled(bool enabled);
    void RotateClockwise();
    void RotateCounterClockwise();
    void ResetFlipAndRotate();
    void SetPanAndZoom(const QPointF& pan, float zoomFactor, bool enabled, bool update);
    void ResetPanAndZoom(bool update);
    void ZoomIn();
    void ZoomOut();
    void TogglePanAndZoom();
    // Annotation commands of the player panel. A tool of AnnotationToolType makes the left
    // button draw with it; -1 gives the button back to scrubbing.
    void SetAnnotationTool(int tool);
    void SetAnnotationToolColor(const QColor& color);
    void SetAnnotationLayer(int layer);
    void IncreaseAnnotationToolSize();
    void DecreaseAnnotationToolSize();
    void ToggleHoldAnnotationFrames();
    void SetHoldAnnotationFrames(bool hold);
    void ToggleAnnotationGhosting();
    void UndoAnnotation();
    void RedoAnnotation();
    // 0 on, 1 off during playback, 2 off.
    void SetAnnotationVisibility(int visibility);
    void CutAnnotation();
    void CopyAnnotation();
    void PasteAnnotation();
    void ClearCurrentFrameAnnotation();

signals:
    void OpenUrlsInViewerRequested(const QList<QUrl>& urls, int viewportIndex, int viewportCount, bool autoPlay);
    void OpenTimelinesInViewerRequested(const QList<QUuid>& timelineIds, int viewportIndex, int viewportCount, bool autoPlay);
    void OpenFolderInViewerRequested(const QUuid& folderId, int viewportIndex, int viewportCount, bool autoPlay);
    void OpenProjectRequested(const QString& projectPath);
    void TogglePlayPauseRequested();
    void SeekPreviousFrameRequested();
    void SeekNextFrameRequested();
    void ViewerLayoutChanged(int layoutType);
    void ViewerBackgroundChanged(int backgroundType);
    void ViewerOverlayDrawableChanged(int overlayDrawable);
    void ViewerWipeStateChanged(bool enable);
    void AnnotationToolColorChangeRequested(const QColor& color);
    void AnnotationVisibilityChanged(int visibility);
    void AnnotationActiveLayerChanged(int layer);
    void HoldAnnotationFramesChanged(bool hold);
    void AnnotationGhostingChanged(bool ghosting);
    void PrimaryVideoFrameChanged(std::shared_ptr<VideoFrame> videoFrame);
    void FrameScrubTempPause();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ShowFrame(int viewportIndex, const std::shared_ptr<VideoFrame>& frame);
    // The timeline frame at `playbackTime` to the drawings (-1 when none).
    void UpdateAnnotationFrame(int64_t playbackTime);
    void RefreshAnnotations();
    void OnPointerSampled(const QPoint& global, Qt::KeyboardModifiers modifiers);
    void OnAnnotationsShown(bool shown);
    // Pan and zoom to the renderer, the overlay and the timeline.
    void ApplyPanZoom();
    // Adds `step` to the zoom, enabling pan and zoom first (from 1x, centred, if it was off).
    void ChangeZoom(double step);
    // The overlay's wipe mask, in the renderer's own coordinates.
    void ApplyWipeMask();
    void UpdateOverlayGeometry();
    void UpdateMediaInfo();
    void UpdateCursorShape(const QPointF& point);
    void Scrub(QMouseEvent* event);
    // A middle-button drag to `global`: pans or zooms by the move since the last one handled.
    void MiddleDrag(const QPoint& global);
    // A widget point through the inverse of the OpenGL renderer's pan and zoom, and back.
    QPointF UnzoomedPoint(const QPointF& point) const;
    QPointF ZoomedPoint(const QPointF& point) const;
    // Over a time bar of the OpenGL renderer (its own input, not the picture's).
    bool OnTimeBar(const QPointF& point) const;
    static QCursor RotationCursor();
    // While an annotation tool is active.
    static QCursor AnnotationCursor();
    QPoint PicturePixelAt(const QPoint& point) const;
    int PictureTop() const;
    int PictureHeight() const;

    AvManager* m_engine = nullptr;
    ViewerBase* m_renderer = nullptr;
    QWidget* m_rendererWidget = nullptr;
    OpenGLViewer* m_gl = nullptr;
    SoftwareViewer* m_software = nullptr;
    ViewerOverlay* m_overlay = nullptr;
    QWidget* m_overlayWidget = nullptr; // over the software renderer only
    AnnotationsOverlay* m_annotations = nullptr;
    QWidget* m_annotationsWidget = nullptr; // over the software renderer only, under the overlay
    PointerSampler* m_sampler = nullptr;
    TextToolPopup* m_textPopup = nullptr;
    int m_annotationTool = -1;
    QPointer<Timeline> m_timeline;
    bool m_timelineJustLoaded = false;
    bool m_wipeWanted = false; // shown while the layout is A/B

    std::array<std::array<std::shared_ptr<VideoFrame>, 3>, 16> m_slots; // current, previous, next
    std::array<std::shared_ptr<VideoFrame>, 16> m_shown;

    bool m_panZoomEnabled = false;
    float m_zoom = 1.0f;
    QPointF m_pan;
    QPoint m_mouseDelta;
    QPoint m_lastMouse; // global
    bool m_panning = false;
    bool m_zooming = false;
    bool m_middleEventPending = false; // a middle drag was handled this pass of the loop
    bool m_middleMoveWaiting = false;  // and a later one waits for the next pass
    QPoint m_middleWaiting;            // its global position
    QPoint m_imageOffset;
    QPointF m_rendererOffset; // what the OpenGL renderer was given

    enum class Gesture { None, Ignored, WipePosition, WipeAngle, Scrub, Drawing, Text };
    Gesture m_gesture = Gesture::None;
    int m_scrubAnchor = 0;        // global x
    bool m_resumeAfterScrub = false;
    bool m_resumeForward = true;
};
