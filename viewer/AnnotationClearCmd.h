#pragma once

#include "project/AnnotationStroke.h"

#include <QList>
#include <QPointer>
#include <QUndoCommand>

class FrameBookmark;

// Empties a drawing, or replaces what it holds with `replacement` (a paste), on the drawing's
// own undo stack: redo moves every stroke into the command and puts the replacement in their
// place, undo moves them back. Main thread only.
class AnnotationClearCmd : public QUndoCommand
{
public:
    explicit AnnotationClearCmd(FrameBookmark* drawing, const QList<AnnotationStroke>& replacement = {},
                                QUndoCommand* parent = nullptr);

    void undo() override;
    void redo() override;

private:
    QPointer<FrameBookmark> m_drawing;
    QList<AnnotationStroke> m_saved;
    QList<AnnotationStroke> m_replacement;
};
