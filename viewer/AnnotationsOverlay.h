#pragma once

#include "project/AnnotationStroke.h"
#include "project/FrameBookmark.h"
#include "project/Timeline.h"
#include "viewer/AnnotationTypes.h"
#include "viewer/StrokeRasterizer.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPainterPath>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QUndoStack;

// Drawings over the picture of viewport 0: builds strokes from pointer input, keeps them
// glued to the picture (strokes are stored in normalised picture coordinates, see
// AnnotationView), renders them and records every change as an undo command on the stack of
// the drawing it changed.
//
// Two drawings are shown at once: the current frame's own (the foreground, kept in the frame's
// bookmark of the timeline) over the timeline's background drawing. Each is rendered into an
// ARGB image of its own, so the eraser (which clears pixels) takes away only what its own layer
// drew. Frames without a drawing of their own may show the last earlier one (hold), and the
// drawings of neighbouring frames may be shown faintly, tinted (ghosting).
//
// The overlay does not own the timeline or its bookmarks; it follows them by guarded pointers,
// so a bookmark removed elsewhere is simply no longer shown. Main thread only.
class AnnotationsOverlay : public QObject
{
    Q_OBJECT

public:
    // A frame drawn as a ghost: its timeline frame, opacity, and whether it lies before.
    struct Ghost
    {
        int frame = 0;
        double opacity = 0.0;
        bool previous = true;
        bool operator==(const Ghost&) const = default;
    };

    explicit AnnotationsOverlay(QObject* parent = nullptr);
    ~AnnotationsOverlay() override;

    // Where the picture is, asked for at each press, sample and paint so drawings follow every
    // change of zoom, pan, rotation, flips, size and layout; without one, SetView()'s is used.
    void SetViewProvider(std::function<AnnotationView()> provider) { m_viewProvider = std::move(provider); }
    void SetView(const AnnotationView& view) { m_view = view; }
    AnnotationView View() const;
    // While the A/B wipe shows, only A (inside this polygon, surface pixels) can be drawn on.
    void SetWipeClip(const QPolygonF& polygon);

    void SetTimeline(Timeline* timeline);
    Timeline* GetTimeline() const { return m_timeline; }
    void SetCurrentFrame(int timelineFrame); // -1 when none is shown
    int CurrentFrame() const { return m_frame; }
    // The drawing a press now changes: the frame's foreground (null while it has none) or the
    // timeline's background.
    FrameBookmark* EditedDrawing() const;
    FrameBookmark* ForegroundDrawing() const { return m_foreground; }

    int ActiveTool() const { return m_tool; }
    int ActiveLayer() const { return m_layer; }
    float ToolSize() const { return m_size; }
    float ToolOpacity() const { return m_opacity; }
    QColor ToolColor() const { return m_color; }
    QColor BackgroundColor() const { return m_backgroundColor; }
    int Visibility() const { return m_visibility; }
    bool HoldFrames() const { return m_hold; }
    bool Ghosting() const { return m_ghosting; }
    // Whether the drawings are shown now (visibility and the playback state).
    bool IsShown() const;
    void SetPlaying(bool playing);

    // Whether a press at `point` (surface pixels) may start a stroke: inside viewport 0's cell
    // and, with the wipe, on A's side; a frame-bound stroke also needs a clip under the frame.
    bool CanBeginStroke(const QPointF& point) const;
    // A press: false (and nothing drawn) where CanBeginStroke() is false.
    bool BeginStroke(const QPointF& point, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void AppendPoint(const QPointF& point, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The release: the stroke is stored with its undo command (a laser starts to fade).
    void EndStroke();
    // Drops the stroke in progress without storing it (a text pop-up cancelled).
    void CancelStroke();
    bool IsDrawing() const { return m_drawing; }
    // The text of the text stroke in progress.
    void SetStrokeText(const QString& text);
    // The stroke being drawn (or the laser still showing); null when none.
    const AnnotationStroke* CurrentStroke() const;
    const QList<AnnotationStroke>& Clipboard() const { return m_clipboard; }
    QList<Ghost> GhostFrames() const;
    // The frame whose drawing a frame without its own shows while hold is on; -1 when none.
    int HeldFrame() const;

    // Paints in the order: background fill, background layer, ghosts, foreground layer (or
    // the held drawing), laser; clipped to the wipe or viewport 0's cell.
    void Paint(QPainter& painter);
    // Draws one stroke of a drawing shown through `view`, tinted halfway to `tint` when given.
    static void DrawStroke(QPainter& painter, const AnnotationStroke& stroke, const AnnotationView& view,
                           const std::optional<QColor>& tint = std::nullopt, bool textFrame = false);

public slots:
    void SetActiveTool(int tool);
    void IncreaseToolSize();
    void DecreaseToolSize();
    void SetToolColor(const QColor& color);
    // A fill under the drawings over the picture rect (a white board); none while its alpha
    // is 0, which is how every session starts.
    void SetBackgroundColor(const QColor& color);
    void SetActiveLayer(int layer);
    void SetHoldFrames(bool hold);
    void ToggleHoldFrames();
    void SetGhosting(bool ghosting);
    void ToggleGhosting();
    void SetVisibility(int visibility);
    void Undo();
    void Redo();
    void Clear();             // the drawing being edited (either layer)
    // Del: as Clear, dropping first a stroke in progress on that drawing; so the clear lands on
    // the stack that Undo and Redo work on.
    void ClearCurrentFrame();
    void Cut();
    void Copy();
    void Paste();
    void UpdateLaserPointerOpacity();
    void UpdateForegroundBookmark();
    void OnForegroundUndoIndexChanged();

signals:
    void ActiveLayerChanged(int layer);
    void BookmarkIsAnnotationChanged(int timelineFrame, bool isAnnotation);
    void UpdateRequested();
    void ShownChanged(bool shown);
    void HoldFramesChanged(bool hold);
    void GhostingChanged(bool ghosting);
    void ActiveToolChanged(int tool);
    void ToolSizeChanged(float size);

private:
    // Timeline frame -> drawing, for frames with strokes.
    QList<QPair<int, FrameBookmark*>> AnnotatedFrames() const;
    void WatchStack(QPointer<QUndoStack>& watched, QUndoStack* stack);
    void OnBackgroundUndoIndexChanged();
    // A drawing rendered at the current view, untinted or tinted for a ghost. It is kept while
    // it was used by this paint or the one before, so a frame step finds its neighbours ready.
    struct RenderedDrawing
    {
        const FrameBookmark* drawing = nullptr; // identity only, never dereferenced
        std::optional<QRgb> tint;
        // What the image shows: a shallow copy of the drawing's strokes, compared at each use
        // (equal and unshared lists compare by pointer), so an edit from anywhere is noticed.
        QList<AnnotationStroke> strokes;
        bool textFrames = false;
        quint64 sourceVersion = 0; // a tinted image: the version of the untinted one it came from
        bool atView = false;       // rendered at m_renderedView
        quint64 version = 0;       // new at every render
        quint64 lastUse = 0;
        QImage image;
    };
    void SetRenderedView(const AnnotationView& view, const QSize& surface, qreal ratio);
    // The drawing's image at the current view, rendered only when it is stale; null when the
    // drawing has no strokes.
    const RenderedDrawing* Rendered(const FrameBookmark* drawing, const std::optional<QColor>& tint = std::nullopt);
    RenderedDrawing& Entry(const FrameBookmark* drawing, const std::optional<QColor>& tint);
    QImage TakeImage();
    void DropUnused();
    void RenderDrawing(QImage& image, const QList<AnnotationStroke>& strokes, const AnnotationView& view,
                       bool textFrames, StrokeRasterizer& rasterizer);
    // Renders the stale untinted images of `drawings` at once, one image per task, on the main
    // thread and the overlay's own pool; the Rendered() calls that follow find them fresh.
    // Drawings with text stay for the main thread, which owns the font engine.
    void PrerenderDrawings(const QList<const FrameBookmark*>& drawings);
    // The same for the tinted images of the ghosts, from their fresh untinted images.
    void PrerenderGhosts();
    // Runs job(0 .. count - 1) on the main thread and the pool; returns when all are done.
    void RunJobs(size_t count, const std::function<void(size_t, StrokeRasterizer&)>& job);
    // Moves each colour of `image` halfway to `tint`, alpha kept.
    static void Tint(QImage& image, const QImage& source, const QColor& tint);
    const QImage* GhostImage();
    void DrawLayer(QPainter& painter, const QImage* image, bool withStroke, const AnnotationView& view);
    void AppendFreehand(const QPointF& point, const AnnotationView& view);
    void AppendShape(const QPointF& normalised, Qt::KeyboardModifiers modifiers);
    void PushStroke();
    void NotifyShown();
    void ReadToolSettings();

    std::function<AnnotationView()> m_viewProvider;
    AnnotationView m_view;
    QPainterPath m_wipeClip;

    QPointer<Timeline> m_timeline;
    int m_frame = -1;
    QPointer<FrameBookmark> m_foreground;
    QPointer<QUndoStack> m_watchedForeground;
    QPointer<QUndoStack> m_watchedBackground;
    int m_layer = AnnotationLayerForeground;

    int m_tool = AnnotationToolPencil;
    float m_size = 2.0f;
    float m_opacity = 1.0f;
    QColor m_color = QColor(255, 255, 255);
    QColor m_backgroundColor = QColor(255, 255, 255, 0);
    int m_visibility = AnnotationVisibilityOffDuringPlayback;
    bool m_playing = false;
    bool m_shown = true;
    bool m_hold = false;
    bool m_ghosting = false;

    // The gesture in progress.
    bool m_drawing = false;
    AnnotationStroke m_stroke;
    QPointer<FrameBookmark> m_target; // where m_stroke goes on release
    int m_targetLayer = AnnotationLayerForeground;
    int m_targetFrame = -1;
    QList<QPointF> m_samples; // newest first, surface pixels, at most 5

    // The laser stroke: never stored; fades after the release.
    std::optional<AnnotationStroke> m_laser;
    QTimer m_laserTimer;
    double m_laserFade = 0.0;
    double m_laserAlpha = 1.0; // fraction of the tool alpha still shown

    QList<AnnotationStroke> m_clipboard;

    // Cached renderings, each the size of the surface in device pixels.
    QSize m_surface;
    qreal m_ratio = 1.0;
    AnnotationView m_renderedView;
    std::vector<std::unique_ptr<RenderedDrawing>> m_rendered;
    QList<QImage> m_spareImages; // of dropped drawings, reused before allocating
    QImage m_ghostImage;
    // What m_ghostImage holds: per ghost the version of its image and its opacity.
    QList<QPair<quint64, double>> m_ghostKey;
    bool m_ghostAtView = false;
    QImage m_scratch; // a layer with the eraser stroke in progress
    StrokeRasterizer m_rasterizer;
    // Prerendering: helper threads only ever touch their own job's image and rasteriser.
    QThreadPool m_pool;
    std::vector<StrokeRasterizer> m_helperRasterizers; // one per helper thread of m_pool
    quint64 m_paintCount = 0;
    quint64 m_renderCount = 0;
};
