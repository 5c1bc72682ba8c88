#pragma once

#include "media/VideoFrame.h"

#include <QRect>

#include <memory>

// What one viewport of a renderer shows. The renderers derive their own records.
struct ViewportOutput
{
    virtual ~ViewportOutput() = default;

    std::shared_ptr<VideoFrame> frame; // null shows nothing
    float opacity = 1.0f;
    int imageWidth = -1; // plane 0 of the last frame, to notice geometry changes
    int imageHeight = -1;
    QRect displayRect; // the viewport's cell in widget pixels
};
