#pragma once

#include <QSurfaceFormat>

// The default surface format every viewer gets: OpenGL 3.3 core, 10 samples, an 8-bit stencil
// buffer for the wipe, no depth buffer, swap interval and buffering from the settings. An
// unknown buffer count in the settings is reset to 2 there.
QSurfaceFormat ViewerSurfaceFormat();
