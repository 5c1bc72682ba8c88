#include "viewer/ViewerBase.h"

#include "media/VideoStreamInfo.h"

#include <algorithm>

ViewerBase::ViewerBase()
{
    m_elapsed.start();
}

ViewerBase::~ViewerBase() = default;

void ViewerBase::SetBackgroundType(int type)
{
    static const QColor colors[] = {QColor(0, 0, 0), QColor(118, 118, 118), QColor(180, 180, 180), QColor(255, 255, 255)};
    m_backgroundType = std::clamp(type, 0, 3);
    m_backgroundColor = colors[m_backgroundType];
    RequestRepaint();
}

void ViewerBase::RotateClockwise()
{
    m_rotation = (m_rotation + 90) % 360;
    TransformChanged();
}

void ViewerBase::RotateCounterClockwise()
{
    m_rotation = m_rotation - 90 < 0 ? 270 : m_rotation - 90;
    TransformChanged();
}

void ViewerBase::ResetTransform()
{
    m_rotation = 0;
    m_flipHorizontal = false;
    m_flipVertical = false;
    TransformChanged();
}

void ViewerBase::SetFlipHorizontal(bool flip)
{
    m_flipHorizontal = flip;
    TransformChanged();
}

void ViewerBase::SetFlipVertical(bool flip)
{
    m_flipVertical = flip;
    TransformChanged();
}

void ViewerBase::SetViewportOpacity(int index, float opacity)
{
    ViewportOutput* output = OutputAt(index);
    if (!output || output->opacity == opacity)
        return;
    output->opacity = opacity;
    RequestRepaint();
}

void ViewerBase::SetGrid(int rows, int columns, int viewerCount)
{
    if (m_rows != 1 || m_columns != 1)
        m_previousMultiViewLayout = LayoutKind();
    m_rows = std::clamp(rows, 1, 4);
    m_columns = std::clamp(columns, 1, 4);
    m_viewerCount = std::clamp(viewerCount, 1, 2);
    UpdateLayout();
}

int ViewerBase::ViewportsInUse() const
{
    return std::min(m_rows * m_columns * m_viewerCount, MaxViewports);
}

int ViewerBase::LayoutKind() const
{
    if (m_rows == 1 && m_columns == 1)
        return m_viewerCount > 1 ? 1 : 0;
    if (m_rows == 1 && m_columns == 2)
        return 2;
    if (m_rows == 2 && m_columns == 1)
        return 3;
    return 4;
}

std::vector<QRect> ViewerBase::ComputeCells(int width, int height, int top) const
{
    const int cellWidth = width / m_columns;
    const int cellHeight = height / m_rows;
    std::vector<QRect> cells;
    const int count = ViewportsInUse();
    for (int i = 0; i < count; ++i) {
        if (m_viewerCount != 1) {
            cells.emplace_back(0, top, cellWidth, cellHeight);
            continue;
        }
        const int row = i / m_columns;
        const int column = i % m_columns;
        cells.emplace_back(column * cellWidth, top + row * cellHeight, cellWidth, cellHeight);
    }
    return cells;
}

int ViewerBase::ViewportIndexAt(const QPoint& point) const
{
    const QPoint local = point - ViewerPosition();
    for (int i = 0; i < ViewportsInUse() && i < static_cast<int>(m_outputs.size()); ++i)
        if (m_outputs[static_cast<size_t>(i)]->displayRect.contains(local))
            return i;
    return -1;
}

QRect ViewerBase::ViewportRect(int index) const
{
    const ViewportOutput* output = Output(index);
    return output ? output->displayRect.translated(ViewerPosition()) : QRect();
}

QSize ViewerBase::PictureSize(int index) const
{
    const ViewportOutput* output = Output(index);
    if (!output || !output->frame || !output->frame->streamInfo)
        return QSize(960, 540);
    const VideoStreamInfo* info = output->frame->streamInfo;
    const bool quarterTurn = info->rotation == 90 || info->rotation == -90;
    return quarterTurn ? QSize(info->height, info->width) : QSize(info->width, info->height);
}

const ViewportOutput* ViewerBase::Output(int index) const
{
    return index >= 0 && index < static_cast<int>(m_outputs.size()) ? m_outputs[static_cast<size_t>(index)].get() : nullptr;
}

ViewportOutput* ViewerBase::OutputAt(int index)
{
    return index >= 0 && index < static_cast<int>(m_outputs.size()) ? m_outputs[static_cast<size_t>(index)].get() : nullptr;
}
