#pragma once

#include "project/AnnotationStroke.h"

#include <QPointer>
#include <QUndoCommand>

class FrameBookmark;

// One stroke added to a drawing, on that drawing's own undo stack (the drawing owns the stack,
// so the command never outlives it). It is pushed once the stroke is already in the list: its
// first redo does nothing; a later redo appends the saved stroke again, an undo moves the last
// stroke out into the command. Main thread only.
class AnnotationStrokeCmd : public QUndoCommand
{
public:
    AnnotationStrokeCmd(FrameBookmark* drawing, const AnnotationStroke& stroke, QUndoCommand* parent = nullptr);

    void undo() override;
    void redo() override;

private:
    QPointer<FrameBookmark> m_drawing;
    AnnotationStroke m_stroke;
    bool m_pushed = false;
};
