#include "viewer/SurfaceFormat.h"

#include "core/Settings.h"

QSurfaceFormat ViewerSurfaceFormat()
{
    Settings& settings = Settings::Get();
    QSurfaceFormat format;
    format.setSamples(10);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSwapInterval(settings.vSyncEnabled ? 1 : 0);
    QSurfaceFormat::SwapBehavior behavior = QSurfaceFormat::DoubleBuffer;
    switch (settings.surfaceBufferCountOverride) {
    case 1:
        behavior = QSurfaceFormat::SingleBuffer;
        break;
    case 2:
        break;
    case 3:
        behavior = QSurfaceFormat::TripleBuffer;
        break;
    default:
        settings.surfaceBufferCountOverride = 2;
        break;
    }
    format.setSwapBehavior(settings.useSurfaceDefaults ? QSurfaceFormat::DoubleBuffer : behavior);
    format.setDepthBufferSize(0);
    format.setStencilBufferSize(8);
    return format;
}
