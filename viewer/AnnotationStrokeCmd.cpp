#include "viewer/AnnotationStrokeCmd.h"

#include "project/FrameBookmark.h"

AnnotationStrokeCmd::AnnotationStrokeCmd(FrameBookmark* drawing, const AnnotationStroke& stroke, QUndoCommand* parent)
    : QUndoCommand(QStringLiteral("AnnotationStroke"), parent)
    , m_drawing(drawing)
    , m_stroke(stroke)
{
}

void AnnotationStrokeCmd::undo()
{
    if (m_drawing && !m_drawing->Strokes().isEmpty())
        m_stroke = m_drawing->Strokes().takeLast();
}

void AnnotationStrokeCmd::redo()
{
    if (!m_pushed) {
        m_pushed = true; // the stroke went into the list as it was drawn
        return;
    }
    if (m_drawing)
        m_drawing->Strokes().append(m_stroke);
}
