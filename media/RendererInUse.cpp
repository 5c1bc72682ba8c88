#include "media/RendererInUse.h"

#include "core/Settings.h"

#include <atomic>

namespace {

std::atomic<int> g_kind{RendererInUse::Unset};

} // namespace

void RendererInUse::Set(Kind kind)
{
    g_kind.store(kind);
}

RendererInUse::Kind RendererInUse::Get()
{
    return static_cast<Kind>(g_kind.load());
}

bool RendererInUse::OpenGLFrames()
{
    switch (Get()) {
    case OpenGL:
        return true;
    case Software:
        return false;
    case Unset:
        break;
    }
    return Settings::Get().hardwareRenderingEnabled;
}
