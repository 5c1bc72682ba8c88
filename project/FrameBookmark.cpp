#include "project/FrameBookmark.h"

FrameBookmark::FrameBookmark(int32_t frame, QObject* parent)
    : QObject(parent)
    , m_frame(frame)
{
    m_undoStack.setUndoLimit(0); // no limit
}

FrameBookmark* FrameBookmark::Copy(QObject* parent) const
{
    auto* copy = new FrameBookmark(m_frame, parent);
    copy->m_timelineFrame = m_timelineFrame;
    copy->m_strokes = m_strokes;
    return copy;
}
