#pragma once

#include "viewer/ViewportOutput.h"

#include <array>
#include <cstdint>

// A viewport of the OpenGL renderer: the textures of the frame's planes (names owned by the
// renderer's context; the renderer deletes them) and what the geometry depends on.
struct OpenGLViewportOutput : ViewportOutput
{
    struct Texture
    {
        uint32_t name = 0; // 0: none
        int width = 0;
        int height = 0;
    };

    std::array<Texture, 3> planes; // plane 1 and 2 only for planar YUV frames
    int frameRotation = 0;         // degrees, from the frame's stream
    float pixelAspect = 1.0f;
    bool yuv = false;
    bool rec709 = false;
    bool rec2020 = false;
    bool linear = false;
};
