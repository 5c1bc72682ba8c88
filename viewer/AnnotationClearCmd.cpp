#include "viewer/AnnotationClearCmd.h"

#include "project/FrameBookmark.h"

AnnotationClearCmd::AnnotationClearCmd(FrameBookmark* drawing, const QList<AnnotationStroke>& replacement,
                                       QUndoCommand* parent)
    : QUndoCommand(QStringLiteral("AnnotationClear"), parent)
    , m_drawing(drawing)
    , m_replacement(replacement)
{
}

void AnnotationClearCmd::undo()
{
    if (m_drawing)
        m_drawing->Strokes() = m_saved;
    m_saved.clear();
}

void AnnotationClearCmd::redo()
{
    if (!m_drawing)
        return;
    m_saved = m_drawing->Strokes();
    m_drawing->Strokes() = m_replacement;
}
