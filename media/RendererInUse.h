#pragma once

// Which renderer shows this process's pictures, as far as the decoders need to know: they
// make frames for it. The OpenGL viewer takes planar YUV and linear EXR values as they are
// (it converts both on the GPU); the software viewer takes packed RGB, with EXR values
// brought to display gamma by the decoder.
//
// The window sets it when it creates its viewer, before it opens any source, and sets the
// software renderer also when the OpenGL viewer was asked for but could not be had. Until it
// is set (tests, programs without a viewer) the `hardwareRenderingEnabled` setting stands in
// for it. Set on the main thread; read by decoders on their own threads when they open a
// stream, so a decoder keeps one layout while it is open.
class RendererInUse
{
public:
    enum Kind { Unset, OpenGL, Software };

    static void Set(Kind kind);
    static Kind Get();
    // Whether decoders make frames for the OpenGL viewer.
    static bool OpenGLFrames();
};
