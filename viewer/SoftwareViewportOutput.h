#pragma once

#include "viewer/ViewportOutput.h"

#include <QPixmap>

// A viewport of the software renderer: the frame turned upright (flips, rotation, pixel
// aspect) and that picture scaled into the display rect.
struct SoftwareViewportOutput : ViewportOutput
{
    QPixmap sourcePixmap;
    QPixmap scaledPixmap;
};
