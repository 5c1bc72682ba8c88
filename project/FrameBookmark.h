#pragma once

#include "project/AnnotationStroke.h"

#include <QList>
#include <QObject>
#include <QUndoStack>

// A bookmarked frame of a clip and the drawing on it, or (as a timeline's background
// annotations) the drawing shown on every frame. Edits of the drawing are undone on the
// bookmark's own undo stack. Main thread only.
class FrameBookmark : public QObject
{
    Q_OBJECT

public:
    explicit FrameBookmark(int32_t frame = 0, QObject* parent = nullptr);

    int32_t Frame() const { return m_frame; }          // source frame
    void SetFrame(int32_t frame) { m_frame = frame; }
    int32_t TimelineFrame() const { return m_timelineFrame; } // -1 outside the clip's used range
    void SetTimelineFrame(int32_t frame) { m_timelineFrame = frame; }

    QList<AnnotationStroke>& Strokes() { return m_strokes; }
    const QList<AnnotationStroke>& Strokes() const { return m_strokes; }
    bool HasAnnotation() const { return !m_strokes.isEmpty(); }

    QUndoStack* UndoStack() { return &m_undoStack; }
    bool IsSaved() const { return m_undoStack.isClean(); }
    void MarkSaved() { m_undoStack.setClean(); }

    // A new record with the same frame and strokes (and a fresh undo stack).
    FrameBookmark* Copy(QObject* parent = nullptr) const;

private:
    int32_t m_frame = 0;
    int32_t m_timelineFrame = -1;
    QList<AnnotationStroke> m_strokes;
    QUndoStack m_undoStack;
};
