#pragma once

#include "viewer/ViewerBase.h"

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLWidget>
#include <QPointF>
#include <QPolygonF>

#include <vector>

class QOpenGLShaderProgram;
class AnnotationsOverlay;
class ViewerOverlay;
struct OpenGLViewportOutput;

// The hardware renderer: an OpenGL 3.3 core-profile widget that uploads each frame's planes
// as textures, converts YUV to RGB in the fragment shader, and draws one quad per viewport
// (A over B, clipped to the wipe polygon with the stencil buffer). Main thread only.
// Without a usable OpenGL 3.3 context it logs why and stays blank.
class OpenGLViewer : public QOpenGLWidget, public ViewerBase, protected QOpenGLFunctions_3_3_Core
{
    Q_OBJECT

public:
    explicit OpenGLViewer(QWidget* parent = nullptr);
    ~OpenGLViewer() override;

    void SetViewportFrame(int index, std::shared_ptr<VideoFrame> frame) override;
    void RequestRepaint() override { update(); }
    QImage GrabViewportImage() override;
    QImage GrabWholeImage() override;
    double ViewerDevicePixelRatio() const override { return devicePixelRatioF(); }
    void SetViewerFixedSize(const QSize& size) override { setFixedSize(size); }
    QSize ViewportAreaSize() const override;
    void MoveViewer(const QPoint&) override {}
    QPoint ViewerPosition() const override { return pos(); }
    void UpdateLayout() override;
    void TransformChanged() override { UpdateLayout(); }
    bool CanDrawAnnotations() const override;
    QRectF PictureRect(int index) const override;

    void SetWipePolygon(const QPolygonF& polygon);
    void SetPanZoom(const QPointF& offset, float zoomFactor);
    void SetAnnotationDrawing(bool enabled);

    bool IsInitialised() const { return m_initialised; }
    // Whether this process can make an OpenGL context of the default format at all (a
    // display without OpenGL cannot host this widget).
    static bool CanCreateContext();
    // The renderer line for the system information report ("OpenGL Renderer: ...").
    QString RendererInfo() const { return m_rendererInfo; }
    // Textures created so far (they are reused while a plane keeps its size).
    int TextureCreationCount() const { return m_textureCreations; }
    // Widgets that sit above and below the picture (time bars); null when none.
    void SetTimeBars(QWidget* top, QWidget* bottom);
    // Whether each bar is shown. The flag, not the widget's visibility, decides the picture
    // area: the bars' widgets may be hidden while their place is kept.
    void SetTimeBarsVisible(bool top, bool bottom);
    int TopBarHeight() const;
    int BottomBarHeight() const;
    // Painted over the picture after each frame, in this widget's coordinates; not owned.
    void SetOverlay(ViewerOverlay* overlay) { m_overlay = overlay; }
    // Drawings painted over the picture, under the overlay, while the annotation-drawing switch
    // is on and CanDrawAnnotations() holds; not owned.
    void SetAnnotations(AnnotationsOverlay* annotations) { m_annotations = annotations; }
    bool AnnotationDrawing() const { return m_annotationDrawing; }

signals:
    void ViewerLayoutChanged();
    void ViewportImageDisplaySizeChanged(float width, float height, int viewportIndex);
    void PaintingFinished();
    void PanZoomUpdateRequested();

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int width, int height) override;

private:
    enum Uniform { PanZoomOffset, ZoomFactor, Sampler0, Sampler1, Sampler2, SolidColor, SolidColorRgb,
                   Linear, Yuv, Rec709, Rec2020, Alpha, UniformCount };

    OpenGLViewportOutput* GlOutput(int index);
    // Uploads the first `width` pixels of every row of `image` (its rows read with their
    // own length) into the plane's texture, replacing it when the size or format changed.
    void UploadPlane(OpenGLViewportOutput& output, int plane, const QImage& image, int layout, int width);
    void DeleteTextures(OpenGLViewportOutput& output);
    // Width over height of the picture as a viewport shows it (turned); 0 without a frame.
    float ShownAspect(int index) const;
    void BuildGeometry();
    void ReleaseGl();

    bool m_initialised = false;
    bool m_geometryDirty = true;
    QOpenGLShaderProgram* m_program = nullptr;
    GLuint m_vertexArray = 0;
    GLuint m_vertexBuffer = 0;
    GLuint m_indexBuffer = 0;
    GLint m_uniforms[UniformCount] = {};
    GLuint m_placeholder = 0;
    std::vector<QPoint> m_cellOrigins; // GL orientation (y from the bottom)
    std::vector<float> m_vertices;
    std::vector<uint32_t> m_indices;
    QPolygonF m_wipePolygon;
    QPointF m_panOffset;
    float m_zoom = 1.0f;
    bool m_annotationDrawing = false;
    QString m_rendererInfo;
    int m_textureCreations = 0;
    QWidget* m_topBar = nullptr;
    QWidget* m_bottomBar = nullptr;
    bool m_topBarVisible = true;
    bool m_bottomBarVisible = true;
    ViewerOverlay* m_overlay = nullptr;
    AnnotationsOverlay* m_annotations = nullptr;
    QSize m_imageDisplaySize;
};
