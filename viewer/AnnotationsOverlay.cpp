#include "viewer/AnnotationsOverlay.h"

#include "core/Settings.h"
#include "project/Clip.h"
#include "project/FrameBookmark.h"
#include "project/Timeline.h"
#include "viewer/AnnotationClearCmd.h"
#include "viewer/AnnotationStrokeCmd.h"

#include <QHash>
#include <QPaintDevice>
#include <QPainter>
#include <QUndoStack>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace {

constexpr int kSampleWindow = 5;
constexpr int kLaserIntervalMs = 50;
constexpr double kLaserHold = 0.5;  // fade value at the release; the stroke dims once it is spent
constexpr double kLaserStep = 0.1;  // per tick: of the fade value, then of the alpha (a fraction of full)
constexpr double kArrowHead = 0.022; // normalised units: 2.2 % of the picture width
constexpr double kArrowAngle = 0.62831855; // 36 degrees
constexpr float kMinimumSize = 0.1f;
constexpr float kMaximumSize = 100.0f;

float& SizeSetting(Settings& settings, int tool)
{
    switch (tool) {
    case AnnotationToolLaserPointer: return settings.laserPointerSize;
    case AnnotationToolEraser: return settings.eraserSize;
    case AnnotationToolText: return settings.textSize;
    case AnnotationToolArrow: return settings.arrowSize;
    case AnnotationToolEllipse: return settings.ellipseSize;
    case AnnotationToolRectangle: return settings.rectangleSize;
    default: return settings.pencilSize;
    }
}

float OpacitySetting(const Settings& settings, int tool)
{
    switch (tool) {
    case AnnotationToolLaserPointer: return settings.laserPointerOpacity;
    case AnnotationToolEraser: return settings.eraserOpacity;
    case AnnotationToolText: return settings.textOpacity;
    case AnnotationToolArrow: return settings.arrowOpacity;
    case AnnotationToolEllipse: return settings.ellipseOpacity;
    case AnnotationToolRectangle: return settings.rectangleOpacity;
    default: return settings.pencilOpacity;
    }
}

int StrokeType(int tool, Qt::KeyboardModifiers modifiers)
{
    switch (tool) {
    case AnnotationToolLaserPointer: return AnnotationStroke::Laser;
    case AnnotationToolEraser: return AnnotationStroke::Eraser;
    case AnnotationToolText: return AnnotationStroke::Text;
    case AnnotationToolArrow: return AnnotationStroke::Arrow;
    case AnnotationToolEllipse: return AnnotationStroke::Ellipse;
    case AnnotationToolRectangle: return AnnotationStroke::Rectangle;
    default: return modifiers & Qt::ShiftModifier ? AnnotationStroke::Line : AnnotationStroke::Freehand;
    }
}

bool IsShape(int type)
{
    return type >= AnnotationStroke::Line && type <= AnnotationStroke::Rectangle;
}

QColor Tinted(const QColor& color, const QColor& tint)
{
    return QColor((color.red() + tint.red()) / 2, (color.green() + tint.green()) / 2, (color.blue() + tint.blue()) / 2,
                  color.alpha());
}

} // namespace

AnnotationsOverlay::AnnotationsOverlay(QObject* parent)
    : QObject(parent)
{
    const Settings& settings = Settings::Get();
    m_tool = std::clamp(settings.activeAnnotationTool, 0, AnnotationToolCount - 1);
    m_color = settings.annotationToolColor;
    // The settings keep the colour; loading them forces its alpha to 0, and so does this.
    m_backgroundColor = settings.annotationBackgroundColor;
    m_backgroundColor.setAlpha(0);
    m_visibility = settings.annotationVisibility;
    if (m_visibility < AnnotationVisibilityOn || m_visibility > AnnotationVisibilityOff)
        m_visibility = AnnotationVisibilityOffDuringPlayback;
    m_shown = IsShown();
    ReadToolSettings();
    m_laserTimer.setInterval(kLaserIntervalMs);
    connect(&m_laserTimer, &QTimer::timeout, this, &AnnotationsOverlay::UpdateLaserPointerOpacity);
}

AnnotationsOverlay::~AnnotationsOverlay() = default;

AnnotationView AnnotationsOverlay::View() const
{
    return m_viewProvider ? m_viewProvider() : m_view;
}

void AnnotationsOverlay::SetWipeClip(const QPolygonF& polygon)
{
    QPainterPath clip;
    if (polygon.size() >= 4)
        clip.addPolygon(polygon);
    if (clip == m_wipeClip)
        return;
    m_wipeClip = clip;
    emit UpdateRequested();
}

void AnnotationsOverlay::SetTimeline(Timeline* timeline)
{
    if (m_timeline == timeline)
        return;
    CancelStroke();
    if (m_timeline)
        disconnect(m_timeline, nullptr, this, nullptr);
    m_timeline = timeline;
    m_frame = -1;
    if (m_timeline) {
        connect(m_timeline, &Timeline::BookmarksChanged, this, &AnnotationsOverlay::UpdateForegroundBookmark);
        connect(m_timeline, &Timeline::TimelineUpdated, this, &AnnotationsOverlay::UpdateForegroundBookmark);
        connect(m_timeline, &Timeline::UseSourcePropertiesInTimelineChanged, this,
                &AnnotationsOverlay::UpdateForegroundBookmark);
    }
    UpdateForegroundBookmark();
}

void AnnotationsOverlay::SetCurrentFrame(int timelineFrame)
{
    if (timelineFrame == m_frame)
        return;
    // A stroke in progress belongs to the frame it was begun on; it is finished there.
    if (m_drawing && m_targetLayer == AnnotationLayerForeground)
        EndStroke();
    m_frame = timelineFrame;
    UpdateForegroundBookmark();
}

FrameBookmark* AnnotationsOverlay::EditedDrawing() const
{
    if (m_layer == AnnotationLayerBackground)
        return m_timeline ? m_timeline->BackgroundAnnotations() : nullptr;
    return m_foreground;
}

void AnnotationsOverlay::UpdateForegroundBookmark()
{
    m_foreground = m_timeline && m_frame >= 0 ? m_timeline->FrameBookmarkAt(m_frame) : nullptr;
    WatchStack(m_watchedForeground, m_foreground ? m_foreground->UndoStack() : nullptr);
    FrameBookmark* background = m_timeline ? m_timeline->BackgroundAnnotations() : nullptr;
    WatchStack(m_watchedBackground, background ? background->UndoStack() : nullptr);
    emit UpdateRequested();
}

void AnnotationsOverlay::WatchStack(QPointer<QUndoStack>& watched, QUndoStack* stack)
{
    if (watched == stack)
        return;
    if (watched)
        disconnect(watched, nullptr, this, nullptr);
    watched = stack;
    if (!stack)
        return;
    if (&watched == &m_watchedForeground)
        connect(stack, &QUndoStack::indexChanged, this, &AnnotationsOverlay::OnForegroundUndoIndexChanged);
    else
        connect(stack, &QUndoStack::indexChanged, this, &AnnotationsOverlay::OnBackgroundUndoIndexChanged);
}

void AnnotationsOverlay::OnForegroundUndoIndexChanged()
{
    if (m_foreground && m_foreground->TimelineFrame() >= 0)
        emit BookmarkIsAnnotationChanged(m_foreground->TimelineFrame(), m_foreground->HasAnnotation());
    emit UpdateRequested();
}

void AnnotationsOverlay::OnBackgroundUndoIndexChanged()
{
    emit UpdateRequested();
}

bool AnnotationsOverlay::IsShown() const
{
    return m_visibility == AnnotationVisibilityOn || (m_visibility == AnnotationVisibilityOffDuringPlayback && !m_playing);
}

void AnnotationsOverlay::NotifyShown()
{
    const bool shown = IsShown();
    if (shown == m_shown)
        return;
    m_shown = shown;
    emit ShownChanged(shown);
    emit UpdateRequested();
}

void AnnotationsOverlay::SetPlaying(bool playing)
{
    m_playing = playing;
    NotifyShown();
}

void AnnotationsOverlay::SetVisibility(int visibility)
{
    if (visibility < AnnotationVisibilityOn || visibility > AnnotationVisibilityOff)
        visibility = AnnotationVisibilityOffDuringPlayback;
    m_visibility = visibility;
    Settings::Get().annotationVisibility = visibility;
    NotifyShown();
}

void AnnotationsOverlay::ReadToolSettings()
{
    Settings& settings = Settings::Get();
    m_size = std::clamp(SizeSetting(settings, m_tool), kMinimumSize, kMaximumSize);
    m_opacity = std::clamp(OpacitySetting(settings, m_tool), 0.0f, 1.0f);
}

void AnnotationsOverlay::SetActiveTool(int tool)
{
    if (tool < 0 || tool >= AnnotationToolCount)
        return;
    m_tool = tool;
    Settings::Get().activeAnnotationTool = tool;
    ReadToolSettings();
    emit ActiveToolChanged(tool);
}

void AnnotationsOverlay::IncreaseToolSize()
{
    Settings& settings = Settings::Get();
    const float step = std::clamp(settings.annotationToolIncrementSize, 0.1f, 1.0f);
    m_size = std::clamp(m_size + step, kMinimumSize, kMaximumSize);
    SizeSetting(settings, m_tool) = m_size;
    emit ToolSizeChanged(m_size);
}

void AnnotationsOverlay::DecreaseToolSize()
{
    Settings& settings = Settings::Get();
    const float step = std::clamp(settings.annotationToolIncrementSize, 0.1f, 1.0f);
    m_size = std::clamp(m_size - step, kMinimumSize, kMaximumSize);
    SizeSetting(settings, m_tool) = m_size;
    emit ToolSizeChanged(m_size);
}

void AnnotationsOverlay::SetToolColor(const QColor& color)
{
    if (!color.isValid())
        return;
    m_color = color;
    Settings::Get().annotationToolColor = color;
}

void AnnotationsOverlay::SetBackgroundColor(const QColor& color)
{
    if (!color.isValid())
        return;
    m_backgroundColor = color;
    Settings::Get().annotationBackgroundColor = color;
    emit UpdateRequested();
}

void AnnotationsOverlay::SetActiveLayer(int layer)
{
    layer = layer == AnnotationLayerBackground ? AnnotationLayerBackground : AnnotationLayerForeground;
    if (layer == m_layer)
        return;
    if (m_drawing)
        EndStroke();
    m_layer = layer;
    emit ActiveLayerChanged(layer);
    emit UpdateRequested();
}

void AnnotationsOverlay::SetHoldFrames(bool hold)
{
    if (hold == m_hold)
        return;
    m_hold = hold;
    if (m_timeline)
        m_timeline->SetHoldAnnotations(hold);
    emit HoldFramesChanged(hold);
    emit UpdateRequested();
}

void AnnotationsOverlay::ToggleHoldFrames()
{
    SetHoldFrames(!m_hold);
}

void AnnotationsOverlay::SetGhosting(bool ghosting)
{
    if (ghosting == m_ghosting)
        return;
    m_ghosting = ghosting;
    emit GhostingChanged(ghosting);
    emit UpdateRequested();
}

void AnnotationsOverlay::ToggleGhosting()
{
    SetGhosting(!m_ghosting);
}

bool AnnotationsOverlay::CanBeginStroke(const QPointF& point) const
{
    const AnnotationView view = View();
    if (!view.IsValid() || !view.area.contains(point))
        return false;
    if (!m_wipeClip.isEmpty() && !m_wipeClip.contains(point))
        return false; // B's side of the wipe: only A is annotated
    if (m_tool == AnnotationToolLaserPointer)
        return true;
    if (!m_timeline)
        return false;
    if (m_layer == AnnotationLayerBackground)
        return true;
    // A frame's drawing lives in the bookmark of the clip under it: a gap has none.
    return m_foreground || (m_frame >= 0 && m_timeline->ClipAtFrame(m_frame));
}

bool AnnotationsOverlay::BeginStroke(const QPointF& point, Qt::KeyboardModifiers modifiers)
{
    if (m_drawing)
        EndStroke();
    if (!CanBeginStroke(point))
        return false;
    m_laserTimer.stop();
    const int type = StrokeType(m_tool, modifiers);
    QColor color = m_color;
    color.setAlpha(qRound(m_opacity * 255.0f));
    if (type == AnnotationStroke::Eraser)
        color = QColor(0, 0, 0, 0);

    const bool continueLaser = type == AnnotationStroke::Laser && m_laser && m_laser->width == m_size
                               && m_laser->color.rgb() == color.rgb();
    if (!continueLaser)
        m_laser.reset();
    m_drawing = true;
    m_samples.clear();
    if (type == AnnotationStroke::Laser) {
        if (!continueLaser) {
            m_laser = AnnotationStroke();
            m_laser->type = AnnotationStroke::Laser;
            m_laser->width = m_size;
        }
        m_laser->color = color;
        m_laserAlpha = 1.0;
        m_stroke = *m_laser; // continued: the press starts a new sub-path
        m_targetLayer = m_layer;
        m_target = nullptr;
        AppendPoint(point, modifiers);
        return true;
    }

    m_targetLayer = m_layer;
    m_targetFrame = m_frame;
    if (m_layer == AnnotationLayerForeground && !m_foreground) {
        m_timeline->AddFrameBookmark(m_frame);
        m_foreground = m_timeline->FrameBookmarkAt(m_frame);
        if (!m_foreground) {
            m_drawing = false;
            return false;
        }
        UpdateForegroundBookmark();
    }
    m_target = EditedDrawing();
    m_stroke = AnnotationStroke();
    m_stroke.type = type;
    m_stroke.width = m_size;
    m_stroke.color = color;
    AppendPoint(point, modifiers);
    return true;
}

void AnnotationsOverlay::AppendPoint(const QPointF& point, Qt::KeyboardModifiers modifiers)
{
    if (!m_drawing)
        return;
    const AnnotationView view = View();
    if (!view.IsValid())
        return;
    if (IsShape(m_stroke.type) || m_stroke.type == AnnotationStroke::Text)
        AppendShape(view.ToNormalised(point), modifiers);
    else
        AppendFreehand(point, view);
    if (m_stroke.type == AnnotationStroke::Laser)
        m_laser = m_stroke;
    emit UpdateRequested();
}

void AnnotationsOverlay::AppendFreehand(const QPointF& point, const AnnotationView& view)
{
    const QPointF normalised = view.ToNormalised(point);
    if (m_samples.isEmpty()) {
        // The first sample: a line too short to see, so that a click leaves a dot.
        m_stroke.path.moveTo(normalised);
        m_stroke.path.lineTo(normalised + QPointF(1e-6, 0.0));
        m_stroke.points = {point, point + QPointF(0.001, 0.0)};
        m_samples = {point};
        return;
    }
    m_samples.prepend(point);
    while (m_samples.size() > kSampleWindow)
        m_samples.removeLast();
    // Weighted mean: n for the newest sample down to 1 for the oldest.
    const int n = static_cast<int>(m_samples.size());
    QPointF sum;
    for (int i = 0; i < n; ++i)
        sum += m_samples[i] * static_cast<double>(n - i);
    const QPointF smoothed = sum / (n * (n + 1) / 2.0);
    const QPointF latest = m_stroke.points.last();
    if (point == latest || QLineF(smoothed, latest).length() < m_stroke.width * 0.1) {
        m_samples.removeFirst();
        return;
    }
    m_stroke.path.lineTo(view.ToNormalised(smoothed));
    m_stroke.points.last() = smoothed;
}

void AnnotationsOverlay::AppendShape(const QPointF& normalised, Qt::KeyboardModifiers modifiers)
{
    if (m_stroke.points.isEmpty()) {
        m_stroke.points = {normalised, normalised};
        return;
    }
    if (m_stroke.type == AnnotationStroke::Text) {
        m_stroke.points.last() = normalised;
        return;
    }
    const QPointF start = m_stroke.points.first();
    QPointF end = normalised;
    if ((modifiers & Qt::ShiftModifier)
        && (m_stroke.type == AnnotationStroke::Ellipse || m_stroke.type == AnnotationStroke::Rectangle)) {
        const double dx = end.x() - start.x();
        const double dy = end.y() - start.y();
        const double side = std::min(std::abs(dx), std::abs(dy));
        end = start + QPointF(std::copysign(side, dx), std::copysign(side, dy));
    }
    m_stroke.points.last() = end;
    QPainterPath path;
    const QRectF box = QRectF(start, end).normalized();
    switch (m_stroke.type) {
    case AnnotationStroke::Rectangle:
        path.addRect(box);
        break;
    case AnnotationStroke::Ellipse:
        path.addEllipse(box);
        break;
    case AnnotationStroke::Line:
        path.moveTo(start);
        path.lineTo(end);
        break;
    case AnnotationStroke::Arrow: {
        const bool tipToBase = Settings::Get().annotationDrawArrowTipToBase;
        const QPointF from = tipToBase ? end : start;
        const QPointF to = tipToBase ? start : end;
        path.moveTo(from);
        path.lineTo(to);
        const double back = std::atan2(from.y() - to.y(), from.x() - to.x());
        for (double turn : {kArrowAngle, -kArrowAngle}) {
            path.moveTo(to);
            path.lineTo(to + QPointF(std::cos(back + turn), std::sin(back + turn)) * kArrowHead);
        }
        break;
    }
    default:
        break;
    }
    m_stroke.path = path;
}

void AnnotationsOverlay::SetStrokeText(const QString& text)
{
    if (m_drawing && m_stroke.type == AnnotationStroke::Text)
        m_stroke.text = text;
}

void AnnotationsOverlay::EndStroke()
{
    if (!m_drawing)
        return;
    m_drawing = false;
    m_samples.clear();
    if (m_stroke.type == AnnotationStroke::Laser) {
        m_laser = m_stroke;
        m_laserFade = kLaserHold;
        m_laserAlpha = 1.0;
        m_laserTimer.start();
        emit UpdateRequested();
        return;
    }
    PushStroke();
}

void AnnotationsOverlay::CancelStroke()
{
    if (!m_drawing)
        return;
    m_drawing = false;
    m_samples.clear();
    if (m_stroke.type == AnnotationStroke::Laser)
        m_laser.reset();
    m_stroke = AnnotationStroke();
    emit UpdateRequested();
}

void AnnotationsOverlay::PushStroke()
{
    FrameBookmark* target = m_target;
    const AnnotationStroke stroke = m_stroke;
    m_stroke = AnnotationStroke();
    // A text stroke without text, or a shape never dragged, leaves nothing to keep.
    const bool empty = (stroke.type == AnnotationStroke::Text && stroke.text.isEmpty()) || stroke.points.isEmpty();
    if (!target || empty) {
        emit UpdateRequested();
        return;
    }
    target->Strokes().append(stroke);
    target->UndoStack()->push(new AnnotationStrokeCmd(target, stroke));
    if (m_targetLayer == AnnotationLayerForeground && target->TimelineFrame() >= 0 && target != m_foreground)
        emit BookmarkIsAnnotationChanged(target->TimelineFrame(), target->HasAnnotation());
    emit UpdateRequested();
}

const AnnotationStroke* AnnotationsOverlay::CurrentStroke() const
{
    if (m_drawing)
        return &m_stroke;
    return m_laser ? &*m_laser : nullptr;
}

void AnnotationsOverlay::UpdateLaserPointerOpacity()
{
    if (!m_laser) {
        m_laserTimer.stop();
        return;
    }
    if (m_laserFade > 1e-9) {
        m_laserFade -= kLaserStep;
        return;
    }
    // Alpha in fractions of the tool's: gone after ten ticks once the hold is spent.
    m_laserAlpha -= kLaserStep;
    if (m_laserAlpha <= 1e-9) {
        m_laser.reset();
        m_laserTimer.stop();
    }
    emit UpdateRequested();
}

void AnnotationsOverlay::Undo()
{
    if (m_drawing)
        return;
    if (FrameBookmark* drawing = EditedDrawing())
        drawing->UndoStack()->undo();
}

void AnnotationsOverlay::Redo()
{
    if (m_drawing)
        return;
    if (FrameBookmark* drawing = EditedDrawing())
        drawing->UndoStack()->redo();
}

void AnnotationsOverlay::Clear()
{
    if (m_drawing)
        return;
    FrameBookmark* drawing = EditedDrawing();
    if (drawing && drawing->HasAnnotation())
        drawing->UndoStack()->push(new AnnotationClearCmd(drawing));
}

void AnnotationsOverlay::ClearCurrentFrame()
{
    if (m_drawing && m_targetLayer == m_layer)
        CancelStroke();
    Clear();
}

void AnnotationsOverlay::Copy()
{
    if (m_foreground && m_foreground->HasAnnotation())
        m_clipboard = m_foreground->Strokes();
}

void AnnotationsOverlay::Cut()
{
    Copy();
    ClearCurrentFrame();
}

void AnnotationsOverlay::Paste()
{
    if (m_clipboard.isEmpty() || !m_timeline || m_frame < 0 || m_drawing)
        return;
    if (!m_foreground) {
        m_timeline->AddFrameBookmark(m_frame);
        UpdateForegroundBookmark();
        if (!m_foreground)
            return; // a gap: no clip to keep the drawing
    }
    // One undoable replace: whatever the frame held comes back with one undo.
    m_foreground->UndoStack()->push(new AnnotationClearCmd(m_foreground, m_clipboard));
}

QList<QPair<int, FrameBookmark*>> AnnotationsOverlay::AnnotatedFrames() const
{
    QList<QPair<int, FrameBookmark*>> frames;
    if (!m_timeline)
        return frames;
    for (FrameBookmark* bookmark : m_timeline->FrameBookmarks())
        if (bookmark->HasAnnotation() && bookmark->TimelineFrame() >= 0)
            frames.append({bookmark->TimelineFrame(), bookmark});
    std::sort(frames.begin(), frames.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return frames;
}

int AnnotationsOverlay::HeldFrame() const
{
    if (!m_hold || m_frame < 0 || (m_foreground && m_foreground->HasAnnotation()))
        return -1;
    int held = -1;
    for (const auto& [frame, bookmark] : AnnotatedFrames())
        if (frame < m_frame)
            held = frame;
    return held;
}

QList<AnnotationsOverlay::Ghost> AnnotationsOverlay::GhostFrames() const
{
    QList<Ghost> ghosts;
    if (!m_ghosting || m_frame < 0)
        return ghosts;
    const Settings& settings = Settings::Get();
    const int previousCount = std::clamp(settings.numGhostedFramesPrev, 0, 10);
    const int nextCount = std::clamp(settings.numGhostedFramesNext, 0, 10);
    const bool byAnnotation = settings.byAnnotationGhosting;
    QList<int> before; // nearest first
    QList<int> after;
    for (const auto& [frame, bookmark] : AnnotatedFrames()) {
        if (frame < m_frame)
            before.prepend(frame);
        else if (frame > m_frame)
            after.append(frame);
    }
    // Farthest first, so that nearer ghosts end on top.
    for (int k = std::max(previousCount, nextCount) - 1; k >= 0; --k) {
        const double opacity = k < 5 ? 0.4 - 0.05 * k : 0.15;
        if (k < before.size()) {
            const int frame = before[k];
            if (byAnnotation ? k < previousCount : m_frame - frame <= previousCount)
                ghosts.append({frame, opacity, true});
        }
        if (k < after.size()) {
            const int frame = after[k];
            if (byAnnotation ? k < nextCount : frame - m_frame <= nextCount)
                ghosts.append({frame, opacity, false});
        }
    }
    return ghosts;
}

void AnnotationsOverlay::DrawStroke(QPainter& painter, const AnnotationStroke& stroke, const AnnotationView& view,
                                    const std::optional<QColor>& tint, bool textFrame)
{
    const QColor color = tint ? Tinted(stroke.color, *tint) : stroke.color;
    painter.save();
    painter.setCompositionMode(stroke.type == AnnotationStroke::Eraser ? QPainter::CompositionMode_Clear
                                                                       : QPainter::CompositionMode_SourceOver);
    if (stroke.type == AnnotationStroke::Text) {
        if (stroke.points.isEmpty() || stroke.text.isEmpty()) {
            painter.restore();
            return;
        }
        // Sized by the picture's displayed width; turned and flipped with the picture.
        QFont font(QStringLiteral("Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(std::max(stroke.width * 10.0 * view.width / 1000.0, 0.5));
        painter.setTransform(view.ToSurfaceUnscaled(), true);
        painter.setFont(font);
        painter.setPen(color);
        const QPointF at = stroke.points.first() * view.width;
        const QRectF box = painter.boundingRect(QRectF(at, QSizeF(0, 0)), Qt::AlignLeft | Qt::AlignTop, stroke.text);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, stroke.text);
        if (textFrame) {
            painter.setPen(QPen(color, 1.0, Qt::DashLine));
            painter.drawRect(box.adjusted(-2, -2, 2, 2));
        }
        painter.restore();
        return;
    }
    QPen pen(color, view.width * stroke.width / 1000.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(view.ToSurface().map(stroke.path));
    painter.restore();
}

void AnnotationsOverlay::RenderDrawing(QImage& image, const QList<AnnotationStroke>& strokes,
                                       const AnnotationView& view, bool textFrames, StrokeRasterizer& rasterizer)
{
    image.fill(Qt::transparent);
    const qreal ratio = image.devicePixelRatio();
    const QTransform toDevice = view.ToSurface() * QTransform::fromScale(ratio, ratio);
    for (const AnnotationStroke& stroke : strokes) {
        if (stroke.type == AnnotationStroke::Text) {
            // Rare, and needs the font engine: the painter, opened for this stroke only so the
            // rasteriser never writes under an active one.
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            DrawStroke(painter, stroke, view, std::nullopt, textFrames);
            continue;
        }
        rasterizer.Draw(image, stroke.path, toDevice, view.width * stroke.width / 1000.0 * ratio, stroke.color,
                        stroke.type == AnnotationStroke::Eraser);
    }
}

void AnnotationsOverlay::RunJobs(size_t count, const std::function<void(size_t, StrokeRasterizer&)>& job)
{
    std::atomic<size_t> next = 0;
    auto work = [&](StrokeRasterizer& rasterizer) {
        for (size_t i = next++; i < count; i = next++)
            job(i, rasterizer);
    };
    const int helpers = std::min(static_cast<int>(count) - 1, QThread::idealThreadCount() - 1);
    if (helpers > 0) {
        m_pool.setMaxThreadCount(helpers);
        if (m_helperRasterizers.size() < static_cast<size_t>(helpers))
            m_helperRasterizers.resize(static_cast<size_t>(helpers));
        for (int k = 0; k < helpers; ++k)
            m_pool.start([&work, rasterizer = &m_helperRasterizers[static_cast<size_t>(k)]] { work(*rasterizer); });
    }
    work(m_rasterizer);
    m_pool.waitForDone();
}

void AnnotationsOverlay::Tint(QImage& image, const QImage& source, const QColor& tint)
{
    // (c + a t) / 2 in premultiplied terms: the tint at half opacity drawn atop.
    std::memcpy(image.bits(), source.constBits(), static_cast<size_t>(source.sizeInBytes()));
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.setOpacity(0.5);
    painter.fillRect(QRectF(QPointF(0, 0), image.deviceIndependentSize()), QColor(tint.red(), tint.green(), tint.blue()));
}

void AnnotationsOverlay::PrerenderGhosts()
{
    const QList<Ghost> ghosts = GhostFrames();
    if (ghosts.isEmpty() || !m_timeline)
        return;
    const Settings& settings = Settings::Get();
    const bool textFrames = settings.showAnnotationTextBox;
    struct Job
    {
        RenderedDrawing* entry;
        const RenderedDrawing* source;
        QColor tint;
    };
    std::vector<Job> jobs;
    for (const Ghost& ghost : ghosts) {
        const FrameBookmark* drawing = m_timeline->FrameBookmarkAt(ghost.frame);
        const RenderedDrawing* source = Rendered(drawing);
        if (!source)
            continue;
        const QColor tint = ghost.previous ? settings.ghostedFramesPrevTintColor : settings.ghostedFramesNextTintColor;
        RenderedDrawing& entry = Entry(drawing, tint);
        const bool fresh = entry.atView && entry.textFrames == textFrames && entry.strokes == drawing->Strokes()
                           && entry.sourceVersion == source->version;
        if (fresh || std::any_of(jobs.begin(), jobs.end(), [&](const Job& job) { return job.entry == &entry; }))
            continue;
        entry.lastUse = m_paintCount;
        if (entry.image.isNull())
            entry.image = TakeImage();
        jobs.push_back({&entry, source, tint});
    }
    RunJobs(jobs.size(), [&](size_t i, StrokeRasterizer&) { Tint(jobs[i].entry->image, jobs[i].source->image, jobs[i].tint); });
    for (const Job& job : jobs) {
        job.entry->strokes = job.source->strokes;
        job.entry->textFrames = textFrames;
        job.entry->sourceVersion = job.source->version;
        job.entry->atView = true;
        job.entry->version = ++m_renderCount;
    }
}

void AnnotationsOverlay::PrerenderDrawings(const QList<const FrameBookmark*>& drawings)
{
    const bool textFrames = Settings::Get().showAnnotationTextBox;
    std::vector<RenderedDrawing*> jobs;
    for (const FrameBookmark* drawing : drawings) {
        if (!drawing || !drawing->HasAnnotation())
            continue;
        const QList<AnnotationStroke>& strokes = drawing->Strokes();
        if (std::any_of(strokes.begin(), strokes.end(),
                        [](const AnnotationStroke& stroke) { return stroke.type == AnnotationStroke::Text; }))
            continue;
        RenderedDrawing& entry = Entry(drawing, std::nullopt);
        const bool fresh = entry.atView && entry.textFrames == textFrames && entry.strokes == strokes;
        if (fresh || std::find(jobs.begin(), jobs.end(), &entry) != jobs.end())
            continue;
        entry.lastUse = m_paintCount;
        if (entry.image.isNull())
            entry.image = TakeImage();
        entry.strokes = strokes; // shallow: the job reads the same list the drawing holds now
        jobs.push_back(&entry);
    }
    if (jobs.empty())
        return;
    // Largest first, so the last job to start is a short one.
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const RenderedDrawing* a, const RenderedDrawing* b) { return a->strokes.size() > b->strokes.size(); });
    const AnnotationView view = m_renderedView;
    RunJobs(jobs.size(), [&](size_t i, StrokeRasterizer& rasterizer) {
        RenderDrawing(jobs[i]->image, jobs[i]->strokes, view, textFrames, rasterizer);
    });
    for (RenderedDrawing* entry : jobs) {
        entry->textFrames = textFrames;
        entry->atView = true;
        entry->version = ++m_renderCount;
    }
}

QImage AnnotationsOverlay::TakeImage()
{
    const QSize pixels = m_surface * m_ratio;
    while (!m_spareImages.isEmpty()) {
        QImage image = m_spareImages.takeLast();
        if (image.size() == pixels) {
            image.setDevicePixelRatio(m_ratio);
            return image;
        }
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(m_ratio);
    return image;
}

void AnnotationsOverlay::SetRenderedView(const AnnotationView& view, const QSize& surface, qreal ratio)
{
    if (surface == m_surface && ratio == m_ratio && view == m_renderedView)
        return;
    const bool resized = surface != m_surface || ratio != m_ratio;
    m_surface = surface;
    m_ratio = ratio;
    m_renderedView = view;
    m_ghostAtView = false;
    for (auto& entry : m_rendered) {
        entry->atView = false;
        if (resized) {
            entry->image = QImage();
            entry->strokes.clear();
        }
    }
    if (resized) {
        m_spareImages.clear();
        m_ghostImage = QImage();
        m_scratch = QImage();
    }
}

AnnotationsOverlay::RenderedDrawing& AnnotationsOverlay::Entry(const FrameBookmark* drawing,
                                                               const std::optional<QColor>& tint)
{
    const std::optional<QRgb> key = tint ? std::optional<QRgb>(tint->rgba()) : std::nullopt;
    for (auto& entry : m_rendered)
        if (entry->drawing == drawing && entry->tint == key)
            return *entry;
    auto& entry = m_rendered.emplace_back(std::make_unique<RenderedDrawing>());
    entry->drawing = drawing;
    entry->tint = key;
    return *entry;
}

const AnnotationsOverlay::RenderedDrawing* AnnotationsOverlay::Rendered(const FrameBookmark* drawing,
                                                                          const std::optional<QColor>& tint)
{
    if (!drawing || !drawing->HasAnnotation())
        return nullptr;
    const bool textFrames = Settings::Get().showAnnotationTextBox;
    // A ghost is its drawing tinted: made from the untinted image, which a frame step is likely
    // to need as the foreground anyway.
    const RenderedDrawing* source = tint ? Rendered(drawing) : nullptr;
    RenderedDrawing& entry = Entry(drawing, tint);
    entry.lastUse = m_paintCount;
    const bool fresh = entry.atView && entry.textFrames == textFrames && entry.strokes == drawing->Strokes()
                       && (!source || entry.sourceVersion == source->version);
    if (fresh)
        return &entry;
    if (entry.image.isNull())
        entry.image = TakeImage();
    if (source) {
        Tint(entry.image, source->image, *tint);
        entry.sourceVersion = source->version;
    } else {
        RenderDrawing(entry.image, drawing->Strokes(), m_renderedView, textFrames, m_rasterizer);
    }
    entry.strokes = drawing->Strokes();
    entry.textFrames = textFrames;
    entry.atView = true;
    entry.version = ++m_renderCount;
    return &entry;
}

void AnnotationsOverlay::DropUnused()
{
    constexpr qsizetype kSpareImages = 2;
    std::erase_if(m_rendered, [this](const std::unique_ptr<RenderedDrawing>& entry) {
        if (entry->lastUse + 1 >= m_paintCount)
            return false;
        if (!entry->image.isNull() && m_spareImages.size() < kSpareImages)
            m_spareImages.append(entry->image);
        return true;
    });
}

const QImage* AnnotationsOverlay::GhostImage()
{
    const QList<Ghost> ghosts = GhostFrames();
    if (ghosts.isEmpty())
        return nullptr;
    const Settings& settings = Settings::Get();
    QHash<int, FrameBookmark*> byFrame;
    for (const auto& [frame, bookmark] : AnnotatedFrames())
        byFrame.insert(frame, bookmark);
    QList<QPair<const RenderedDrawing*, double>> layers;
    QList<QPair<quint64, double>> key;
    for (const Ghost& ghost : ghosts) {
        const RenderedDrawing* rendered =
            Rendered(byFrame.value(ghost.frame),
                     ghost.previous ? settings.ghostedFramesPrevTintColor : settings.ghostedFramesNextTintColor);
        if (!rendered)
            continue;
        layers.append({rendered, ghost.opacity});
        key.append({rendered->version, ghost.opacity});
    }
    if (layers.isEmpty())
        return nullptr;
    if (m_ghostAtView && key == m_ghostKey && !m_ghostImage.isNull())
        return &m_ghostImage;
    if (m_ghostImage.isNull())
        m_ghostImage = TakeImage();
    // Each ghost is its own image, so its eraser strokes touched only its own drawing.
    m_ghostImage.fill(Qt::transparent);
    QPainter painter(&m_ghostImage);
    for (const auto& [rendered, opacity] : layers) {
        painter.setOpacity(opacity);
        painter.drawImage(QPointF(0, 0), rendered->image);
    }
    m_ghostKey = key;
    m_ghostAtView = true;
    return &m_ghostImage;
}

void AnnotationsOverlay::DrawLayer(QPainter& painter, const QImage* image, bool withStroke, const AnnotationView& view)
{
    if (!withStroke) {
        if (image)
            painter.drawImage(QPointF(0, 0), *image);
        return;
    }
    if (m_stroke.type == AnnotationStroke::Eraser) {
        // The eraser clears pixels of this layer only: it works on a copy of the layer.
        if (m_scratch.isNull())
            m_scratch = TakeImage();
        if (image)
            std::memcpy(m_scratch.bits(), image->constBits(), static_cast<size_t>(image->sizeInBytes()));
        else
            m_scratch.fill(Qt::transparent);
        const QTransform toDevice = view.ToSurface() * QTransform::fromScale(m_ratio, m_ratio);
        m_rasterizer.Draw(m_scratch, m_stroke.path, toDevice, view.width * m_stroke.width / 1000.0 * m_ratio,
                          m_stroke.color, true);
        painter.drawImage(QPointF(0, 0), m_scratch);
        return;
    }
    if (image)
        painter.drawImage(QPointF(0, 0), *image);
    DrawStroke(painter, m_stroke, view, std::nullopt, Settings::Get().showAnnotationTextBox);
}

void AnnotationsOverlay::Paint(QPainter& painter)
{
    if (!IsShown())
        return;
    const AnnotationView view = View();
    if (!view.IsValid() || !painter.device())
        return;
    const QPaintDevice* device = painter.device();
    // Layer images are made in the device's own pixels and drawn at its logical size.
    SetRenderedView(view, QSize(device->width(), device->height()), device->devicePixelRatioF());
    ++m_paintCount;
    {
        QList<const FrameBookmark*> drawings;
        if (m_timeline) {
            drawings.append(m_timeline->BackgroundAnnotations());
            if (m_ghosting) {
                for (const Ghost& ghost : GhostFrames())
                    drawings.append(m_timeline->FrameBookmarkAt(ghost.frame));
            }
            if (const int held = HeldFrame(); held >= 0)
                drawings.append(m_timeline->FrameBookmarkAt(held));
        }
        drawings.append(m_foreground.data());
        PrerenderDrawings(drawings);
        if (m_ghosting)
            PrerenderGhosts();
    }

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (!m_wipeClip.isEmpty())
        painter.setClipPath(m_wipeClip);
    else
        painter.setClipRect(view.area);
    const QColor fill = m_backgroundColor;
    if (fill.alpha() > 0) {
        const QTransform toSurface = view.ToSurface();
        const double halfHeight = view.height / view.width / 2.0;
        painter.fillPath([&] {
            QPainterPath picture;
            picture.addRect(QRectF(QPointF(-0.5, -halfHeight), QPointF(0.5, halfHeight)));
            return toSurface.map(picture);
        }(), fill);
    }
    const bool strokeInProgress = m_drawing && m_stroke.type != AnnotationStroke::Laser;
    const RenderedDrawing* background = Rendered(m_timeline ? m_timeline->BackgroundAnnotations() : nullptr);
    DrawLayer(painter, background ? &background->image : nullptr,
              strokeInProgress && m_targetLayer == AnnotationLayerBackground, view);
    if (m_ghosting)
        if (const QImage* ghosts = GhostImage())
            painter.drawImage(QPointF(0, 0), *ghosts);
    const bool foregroundStroke = strokeInProgress && m_targetLayer == AnnotationLayerForeground;
    const int held = m_hold && !foregroundStroke ? HeldFrame() : -1;
    if (held >= 0) {
        if (const RenderedDrawing* image = Rendered(m_timeline->FrameBookmarkAt(held)))
            painter.drawImage(QPointF(0, 0), image->image);
    } else {
        const RenderedDrawing* foreground = Rendered(m_foreground);
        DrawLayer(painter, foreground ? &foreground->image : nullptr, foregroundStroke, view);
    }
    if (m_laser) {
        AnnotationStroke laser = *m_laser;
        QColor color = laser.color;
        color.setAlphaF(std::clamp(static_cast<float>(color.alphaF() * m_laserAlpha), 0.0f, 1.0f));
        laser.color = color;
        DrawStroke(painter, laser, view);
    }
    painter.restore();
    DropUnused();
}
