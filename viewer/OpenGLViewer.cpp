#include "viewer/OpenGLViewer.h"

#include "core/Logger.h"
#include "media/VideoStreamInfo.h"
#include "viewer/OpenGLViewportOutput.h"
#include "viewer/AnnotationsOverlay.h"
#include "viewer/ViewerOverlay.h"

#include <QFile>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kQuadCount = ViewerBase::MaxViewports + 1; // the viewports and the wipe quad
constexpr int kFloatsPerVertex = 5;

GLenum PixelFormat(int layout)
{
    switch (layout) {
    case VideoFrameFormatRGBA:
        return GL_RGBA;
    case VideoFrameFormatYUV420P:
        return GL_RED;
    default:
        return GL_RGB;
    }
}

GLint InternalFormat(GLenum format)
{
    return format == GL_RGBA ? GL_RGBA8 : format == GL_RED ? GL_R8 : GL_RGB8;
}

int BytesPerPixel(GLenum format)
{
    return format == GL_RGBA ? 4 : format == GL_RED ? 1 : 3;
}

// How OpenGL is to step from row to row of `image` when it reads `width` pixels of each:
// rows are as long as the image says, not what the unpack defaults assume (chroma rows of
// a picture 1004 wide are 502 bytes, not a multiple of 4). False when no setting of the
// two parameters describes the rows; the caller then uploads a copy with standard rows.
bool UnpackLayout(const QImage& image, int width, GLenum format, GLint& alignment, GLint& rowLength)
{
    const int pixelBytes = BytesPerPixel(format);
    const auto stride = static_cast<int>(image.bytesPerLine());
    if (stride % pixelBytes == 0) {
        alignment = 1;
        rowLength = stride / pixelBytes;
        return rowLength >= width;
    }
    // Rows of packed RGB whose padding is not whole pixels: only an alignment fits them.
    const int rowBytes = width * pixelBytes;
    rowLength = 0;
    for (alignment = 8; alignment > 1; alignment /= 2)
        if (stride % alignment == 0 && stride >= rowBytes && stride - rowBytes < alignment)
            return true;
    return false;
}

QString LoadShader(const QString& path, const char* failure)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Logger::error(QLatin1String(failure));
        return {};
    }
    return QString::fromLatin1(file.readAll());
}

} // namespace

// The shaders are compiled into this library; a static library must register them itself.
static void RegisterViewerResources()
{
    Q_INIT_RESOURCE(resources);
}

OpenGLViewer::OpenGLViewer(QWidget* parent)
    : QOpenGLWidget(parent)
{
    RegisterViewerResources();
    setMinimumSize(16, 16);
}

bool OpenGLViewer::CanCreateContext()
{
    // Platforms that draw widgets only into memory cannot host an OpenGL widget, even when
    // they can make a context.
    static const QStringList rasterOnly = {QStringLiteral("offscreen"), QStringLiteral("minimal"),
                                           QStringLiteral("linuxfb"), QStringLiteral("vnc")};
    if (rasterOnly.contains(QGuiApplication::platformName()))
        return false;
    QOpenGLContext context;
    context.setFormat(QSurfaceFormat::defaultFormat());
    if (!context.create())
        return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return false;
    context.doneCurrent();
    return true;
}

OpenGLViewer::~OpenGLViewer()
{
    // The context outlives this part of the object: it must not call back into it.
    if (QOpenGLContext* current = context())
        disconnect(current, nullptr, this, nullptr);
    ReleaseGl();
}

OpenGLViewportOutput* OpenGLViewer::GlOutput(int index)
{
    return dynamic_cast<OpenGLViewportOutput*>(OutputAt(index));
}

void OpenGLViewer::initializeGL()
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context || !context->isValid()) {
        Logger::error(QStringLiteral("Failed to get a valid OpenGL context"));
        return;
    }
    const auto* renderer = reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
    const QString rendererName = renderer ? QString::fromLatin1(renderer) : QString();
    m_rendererInfo = QStringLiteral("OpenGL Renderer: %1\n").arg(rendererName);
    Logger::output(QStringLiteral("%1\n\n").arg(rendererName));
    const QSurfaceFormat format = context->format();
    const int major = format.majorVersion();
    const int minor = format.minorVersion();
    if (major < 3 || (major == 3 && minor < 3) || !initializeOpenGLFunctions()) {
        Logger::error(QStringLiteral("OpenGL verison is too old (%1.%2). Minimum required version is 3.3.").arg(major).arg(minor));
        return;
    }
    connect(context, &QOpenGLContext::aboutToBeDestroyed, this, &OpenGLViewer::ReleaseGl, Qt::DirectConnection);

    bool shadersLoaded = true;
    const QString vertexSource = LoadShader(QStringLiteral(":/shaders/vertex.glsl"), "Failed to load vertex shader");
    const QString fragmentSource = LoadShader(QStringLiteral(":/shaders/fragment.glsl"), "Failed to load fragment shader");
    shadersLoaded = !vertexSource.isEmpty() && !fragmentSource.isEmpty();
    m_program = new QOpenGLShaderProgram(this);
    m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, vertexSource);
    m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragmentSource);
    m_program->link();

    glGenVertexArrays(1, &m_vertexArray);
    glGenBuffers(1, &m_vertexBuffer);
    glGenBuffers(1, &m_indexBuffer);
    glBindVertexArray(m_vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kFloatsPerVertex * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kFloatsPerVertex * sizeof(float),
                          reinterpret_cast<const void*>(3 * sizeof(float)));

    const char* names[UniformCount] = {"panZoomOffset", "zoomFactor", "texSampler0", "texSampler1",
                                       "texSampler2", "solidColor", "solidColorRGB", "linear",
                                       "yuv", "rec709", "rec2020", "alpha"};
    for (int i = 0; i < UniformCount; ++i)
        m_uniforms[i] = m_program->uniformLocation(names[i]);

    m_outputs.clear();
    m_indices.clear();
    for (int k = 0; k < kQuadCount; ++k) {
        if (k < MaxViewports)
            m_outputs.push_back(std::make_unique<OpenGLViewportOutput>());
        const auto base = static_cast<uint32_t>(4 * k);
        m_indices.insert(m_indices.end(), {base, base + 1, base + 3, base + 1, base + 2, base + 3});
    }
    glBufferData(GL_ARRAY_BUFFER, kQuadCount * 4 * kFloatsPerVertex * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_indices.size() * sizeof(uint32_t)), m_indices.data(),
                 GL_STATIC_DRAW);
    glBindVertexArray(0);
    m_geometryDirty = true;

    const uint8_t white[4] = {255, 255, 255, 255};
    glGenTextures(1, &m_placeholder);
    glBindTexture(GL_TEXTURE_2D, m_placeholder);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glBindTexture(GL_TEXTURE_2D, 0);
    m_initialised = shadersLoaded && m_program->isLinked();
    UpdateLayout();
}

void OpenGLViewer::ReleaseGl()
{
    if (!m_vertexArray && !m_program)
        return;
    makeCurrent();
    for (auto& output : m_outputs)
        if (auto* gl = dynamic_cast<OpenGLViewportOutput*>(output.get()))
            DeleteTextures(*gl);
    glDeleteTextures(1, &m_placeholder);
    glDeleteBuffers(1, &m_vertexBuffer);
    glDeleteBuffers(1, &m_indexBuffer);
    glDeleteVertexArrays(1, &m_vertexArray);
    m_placeholder = m_vertexBuffer = m_indexBuffer = m_vertexArray = 0;
    delete m_program;
    m_program = nullptr;
    m_initialised = false;
    doneCurrent();
}

void OpenGLViewer::DeleteTextures(OpenGLViewportOutput& output)
{
    for (auto& texture : output.planes) {
        if (texture.name)
            glDeleteTextures(1, &texture.name);
        texture = {};
    }
}

void OpenGLViewer::SetViewportFrame(int index, std::shared_ptr<VideoFrame> frame)
{
    if (!m_initialised)
        return;
    OpenGLViewportOutput* output = GlOutput(index);
    if (!output)
        return;
    if (frame && frame->empty)
        frame.reset();
    output->frame = frame;
    makeCurrent();
    if (frame) {
        const bool yuv = frame->format == VideoFrameFormatYUV420P;
        const QImage& plane = frame->planeImages[0];
        UploadPlane(*output, 0, plane, frame->format, plane.width());
        if (yuv) {
            // The shader samples the three planes at one texture coordinate, so a chroma
            // texture spans exactly half the luma texture, whatever padding its own rows
            // have: a picture 1001 wide has luma rows of 1004 and chroma rows of 504.
            const int chromaWidth = (plane.width() + 1) / 2;
            for (int i = 1; i <= 2; ++i) {
                const QImage& chroma = frame->planeImages[static_cast<size_t>(i)];
                UploadPlane(*output, i, chroma, VideoFrameFormatYUV420P, std::min(chromaWidth, chroma.width()));
            }
        }
        if (plane.width() != output->imageWidth || plane.height() != output->imageHeight) {
            output->imageWidth = plane.width();
            output->imageHeight = plane.height();
            m_geometryDirty = true;
        }
        const VideoStreamInfo* info = frame->streamInfo;
        output->yuv = yuv;
        output->rec709 = info && info->rec709;
        output->rec2020 = info && info->rec2020;
        output->linear = info && info->linear;
        const int rotation = info ? info->rotation : 0;
        const float pixelAspect = info && info->pixelAspect > 0.0f ? info->pixelAspect : 1.0f;
        if (rotation != output->frameRotation || pixelAspect != output->pixelAspect) {
            output->frameRotation = rotation;
            output->pixelAspect = pixelAspect;
            m_geometryDirty = true;
        }
    } else if (output->imageWidth != -1 || output->imageHeight != -1) {
        output->imageWidth = -1;
        output->imageHeight = -1;
        output->frameRotation = 0;
        m_geometryDirty = true;
    }
    doneCurrent();
    update();
}

void OpenGLViewer::UploadPlane(OpenGLViewportOutput& output, int plane, const QImage& image, int layout, int width)
{
    auto& texture = output.planes[static_cast<size_t>(plane)];
    const GLenum format = PixelFormat(layout);
    const int height = image.height();
    GLint alignment = 4;
    GLint rowLength = 0;
    QImage standardRows;
    const uchar* pixels = image.constBits();
    if (!UnpackLayout(image, width, format, alignment, rowLength)) {
        // A copy's rows are padded to 4 bytes, which an alignment of 4 describes.
        standardRows = image.copy(0, 0, width, height);
        pixels = standardRows.constBits();
        alignment = 4;
        rowLength = 0;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    GLint internal = 0;
    if (texture.name) {
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    }
    if (texture.name && texture.width == width && texture.height == height && internal == InternalFormat(format)) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels);
    } else {
        if (texture.name)
            glDeleteTextures(1, &texture.name);
        glGenTextures(1, &texture.name);
        glBindTexture(GL_TEXTURE_2D, texture.name);
        glTexImage2D(GL_TEXTURE_2D, 0, InternalFormat(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        texture.width = width;
        texture.height = height;
        ++m_textureCreations;
        m_geometryDirty = true;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    // Back to the defaults, which Qt's own uploads in this context take for granted.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

int OpenGLViewer::TopBarHeight() const
{
    return m_topBar && m_topBarVisible ? m_topBar->height() : 0;
}

int OpenGLViewer::BottomBarHeight() const
{
    return m_bottomBar && m_bottomBarVisible ? m_bottomBar->height() : 0;
}

void OpenGLViewer::SetTimeBarsVisible(bool top, bool bottom)
{
    m_topBarVisible = top;
    m_bottomBarVisible = bottom;
    if (m_topBar)
        m_topBar->setVisible(top);
    if (m_bottomBar)
        m_bottomBar->setVisible(bottom);
    UpdateLayout();
}

void OpenGLViewer::SetTimeBars(QWidget* top, QWidget* bottom)
{
    m_topBar = top;
    m_bottomBar = bottom;
    UpdateLayout();
}

QSize OpenGLViewer::ViewportAreaSize() const
{
    return QSize(width(), height() - TopBarHeight() - BottomBarHeight());
}

void OpenGLViewer::resizeGL(int, int)
{
    UpdateLayout();
}

void OpenGLViewer::UpdateLayout()
{
    if (!m_initialised)
        return;
    const int pictureHeight = height() - TopBarHeight() - BottomBarHeight();
    const int top = TopBarHeight();
    const std::vector<QRect> cells = ComputeCells(width(), pictureHeight, top);
    m_cellOrigins.clear();
    for (size_t i = 0; i < cells.size() && i < m_outputs.size(); ++i) {
        m_outputs[i]->displayRect = cells[i];
        m_cellOrigins.emplace_back(cells[i].x(), height() - cells[i].top() - cells[i].height());
    }
    if (m_topBar)
        m_topBar->setGeometry(0, 0, width(), m_topBar->height());
    if (m_bottomBar)
        m_bottomBar->setGeometry(0, height() - m_bottomBar->height(), width(), m_bottomBar->height());
    emit PanZoomUpdateRequested();
    m_geometryDirty = true;
    update();
    emit ViewerLayoutChanged();
}

float OpenGLViewer::ShownAspect(int index) const
{
    const auto* output = dynamic_cast<const OpenGLViewportOutput*>(Output(index));
    const VideoFrame* frame = output ? output->frame.get() : nullptr;
    if (!frame)
        return 0.0f;
    const VideoStreamInfo* info = frame->streamInfo;
    const int effective = ((360 - output->frameRotation + m_rotation) % 360 + 360) % 360;
    const int pictureWidth = info ? info->width : output->imageWidth;
    const int pictureHeight = info ? info->height : output->imageHeight;
    float aspect = info && info->displayAspect > 0.0f
                       ? info->displayAspect
                       : static_cast<float>(pictureWidth) * output->pixelAspect / static_cast<float>(std::max(pictureHeight, 1));
    if (effective == 90 || effective == 270)
        aspect = 1.0f / aspect;
    return aspect;
}

QRectF OpenGLViewer::PictureRect(int index) const
{
    const ViewportOutput* output = Output(index);
    if (!output)
        return QRectF();
    // The fit of the geometry pass, in widget pixels with y down, before pan and zoom.
    const QRectF cell = output->displayRect;
    const float aspect = ShownAspect(index);
    if (aspect <= 0.0f || cell.isEmpty())
        return cell;
    const double cellAspect = cell.width() / cell.height();
    if (cellAspect > aspect) {
        const double w = cell.height() * aspect;
        return QRectF(cell.x() + (cell.width() - w) / 2.0, cell.y(), w, cell.height());
    }
    if (aspect > cellAspect) {
        const double h = cell.width() / aspect;
        return QRectF(cell.x(), cell.y() + (cell.height() - h) / 2.0, cell.width(), h);
    }
    return cell;
}

bool OpenGLViewer::CanDrawAnnotations() const
{
    return m_zoom == 1.0f || LayoutKind() < 2;
}

void OpenGLViewer::SetWipePolygon(const QPolygonF& polygon)
{
    m_wipePolygon = polygon;
    m_geometryDirty = true;
    update();
}

void OpenGLViewer::SetPanZoom(const QPointF& offset, float zoomFactor)
{
    m_zoom = zoomFactor;
    m_panOffset = offset * static_cast<double>(zoomFactor - 1.0f);
    update();
}

void OpenGLViewer::SetAnnotationDrawing(bool enabled)
{
    m_annotationDrawing = enabled;
    update();
}

void OpenGLViewer::BuildGeometry()
{
    m_vertices.clear();
    const float widgetWidth = static_cast<float>(width());
    const float widgetHeight = static_cast<float>(height());
    const int cellWidth = width() / m_columns;
    const int cellHeight = (height() - TopBarHeight() - BottomBarHeight()) / m_rows;
    const int count = std::min<int>(ViewportsInUse(), static_cast<int>(m_cellOrigins.size()));
    auto appendVertex = [this](float x, float y, float u, float v) {
        m_vertices.insert(m_vertices.end(), {x, y, 0.0f, u, v});
    };
    for (int i = 0; i < count; ++i) {
        const OpenGLViewportOutput* output = GlOutput(i);
        float x = static_cast<float>(m_cellOrigins[static_cast<size_t>(i)].x());
        float y = static_cast<float>(m_cellOrigins[static_cast<size_t>(i)].y());
        float w = static_cast<float>(cellWidth);
        float h = static_cast<float>(cellHeight);
        int effective = 0;
        float m = 1.0f;
        const VideoFrame* frame = output ? output->frame.get() : nullptr;
        const VideoStreamInfo* info = frame ? frame->streamInfo : nullptr;
        if (frame) {
            effective = ((360 - output->frameRotation + m_rotation) % 360 + 360) % 360;
            const int pictureWidth = info ? info->width : output->imageWidth;
            const float aspect = ShownAspect(i);
            const float cellAspect = static_cast<float>(cellWidth) / static_cast<float>(std::max(cellHeight, 1));
            if (cellAspect > aspect) {
                w = static_cast<float>(cellHeight) * aspect;
                x += (static_cast<float>(cellWidth) - w) / 2.0f;
            } else if (aspect > cellAspect) {
                h = static_cast<float>(cellWidth) / aspect;
                y += (static_cast<float>(cellHeight) - h) / 2.0f;
            }
            // Crop the padding at the end of the rows.
            const int planeWidth = output->planes[0].width;
            if (pictureWidth < planeWidth)
                m = static_cast<float>(pictureWidth - 1) / static_cast<float>(planeWidth);
        }
        float t[8] = {0.0f, 0.0f, m, 0.0f, m, 1.0f, 0.0f, 1.0f};
        // Rotation: a quarter turn moves every vertex's coordinates one vertex on.
        const int places = 2 * (effective / 90);
        if (places) {
            float rotated[8];
            for (int k = 0; k < 8; ++k)
                rotated[(k + places) % 8] = t[k];
            std::copy(std::begin(rotated), std::end(rotated), t);
        }
        const int ownRotation = ((output ? output->frameRotation : 0) % 360 + 360) % 360;
        const bool quarter = effective == 90 || effective == 270;
        const bool ownQuarter = ownRotation == 90 || ownRotation == 270;
        auto swapColumns = [&] { // mirror left-right in the texture
            if (quarter) {
                std::swap(t[0], t[4]);
                std::swap(t[2], t[6]);
            } else {
                std::swap(t[0], t[2]);
                std::swap(t[4], t[6]);
            }
        };
        auto swapRows = [&] { // mirror top-bottom in the texture
            if (quarter) {
                std::swap(t[1], t[3]);
                std::swap(t[5], t[7]);
            } else {
                std::swap(t[1], t[7]);
                std::swap(t[3], t[5]);
            }
        };
        if (m_flipHorizontal)
            ownQuarter ? swapRows() : swapColumns();
        if (m_flipVertical)
            ownQuarter ? swapColumns() : swapRows();

        const float left = 2.0f * x / widgetWidth - 1.0f;
        const float right = 2.0f * (x + w) / widgetWidth - 1.0f;
        const float topY = 2.0f * (y + h) / widgetHeight - 1.0f;
        const float bottomY = 2.0f * y / widgetHeight - 1.0f;
        appendVertex(left, topY, t[0], t[1]);
        appendVertex(right, topY, t[2], t[3]);
        appendVertex(right, bottomY, t[4], t[5]);
        appendVertex(left, bottomY, t[6], t[7]);
        emit ViewportImageDisplaySizeChanged(m_zoom * w, m_zoom * h, i);
        if (i == 0)
            m_imageDisplaySize = QSize(static_cast<int>(m_zoom * w), static_cast<int>(m_zoom * h));
    }
    // The wipe quad follows the viewports (room for it is kept even with 16 of them).
    if (m_wipePolygon.size() >= 4) {
        const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 4; ++k) {
            const QPointF& p = m_wipePolygon[k];
            appendVertex(2.0f * static_cast<float>(p.x()) / widgetWidth - 1.0f,
                         2.0f * (widgetHeight - static_cast<float>(p.y())) / widgetHeight - 1.0f, uv[k][0], uv[k][1]);
        }
    } else {
        appendVertex(-1.0f, 1.0f, 0.0f, 0.0f);
        appendVertex(1.0f, 1.0f, 1.0f, 0.0f);
        appendVertex(1.0f, -1.0f, 1.0f, 1.0f);
        appendVertex(-1.0f, -1.0f, 0.0f, 1.0f);
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(m_vertices.size() * sizeof(float)), m_vertices.data());
    m_geometryDirty = false;
}

void OpenGLViewer::paintGL()
{
    if (!m_initialised)
        return;
    QPainter painter(this);
    painter.beginNativePainting();
    m_program->bind();
    glBindVertexArray(m_vertexArray);
    if (m_geometryDirty)
        BuildGeometry();
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(width() * ratio), static_cast<GLsizei>(height() * ratio));
    glClearColor(static_cast<float>(m_backgroundColor.redF()), static_cast<float>(m_backgroundColor.greenF()),
                 static_cast<float>(m_backgroundColor.blueF()), 1.0f);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_STENCIL_TEST);
    glUniform2f(m_uniforms[PanZoomOffset], static_cast<float>(m_panOffset.x()), static_cast<float>(m_panOffset.y()));
    glUniform1f(m_uniforms[ZoomFactor], m_zoom);

    const int count = std::min<int>(ViewportsInUse(), static_cast<int>(m_cellOrigins.size()));
    const bool wipe = m_wipePolygon.size() >= 4 && m_viewerCount > 1;
    for (int i = count - 1; i >= 0; --i) {
        const OpenGLViewportOutput* output = GlOutput(i);
        if (!output)
            continue;
        if (wipe && i == 0) {
            // A shows only inside the polygon, on a field of background that hides B there.
            glUniform1i(m_uniforms[SolidColor], 1);
            glUniform4f(m_uniforms[SolidColorRgb], static_cast<float>(m_backgroundColor.redF()),
                        static_cast<float>(m_backgroundColor.greenF()), static_cast<float>(m_backgroundColor.blueF()), 1.0f);
            glUniform1f(m_uniforms[Alpha], output->opacity);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, m_placeholder);
            glUniform1i(m_uniforms[Sampler0], 0);
            glUniform1i(m_uniforms[Sampler1], 0);
            glUniform1i(m_uniforms[Sampler2], 0);
            glEnable(GL_STENCIL_TEST);
            glStencilFunc(GL_ALWAYS, 1, 0xFF);
            glStencilMask(0xFF);
            glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, reinterpret_cast<const void*>(6 * count * sizeof(uint32_t)));
            glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
            glStencilFunc(GL_EQUAL, 1, 0xFF);
            glUniform1i(m_uniforms[SolidColor], 0);
        }
        if (!output->frame)
            continue;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, output->planes[0].name);
        glUniform1i(m_uniforms[Sampler0], 0);
        if (output->yuv) {
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, output->planes[1].name);
            glActiveTexture(GL_TEXTURE2);
            glBindTexture(GL_TEXTURE_2D, output->planes[2].name);
        }
        glUniform1i(m_uniforms[Sampler1], 1);
        glUniform1i(m_uniforms[Sampler2], 2);
        glUniform1i(m_uniforms[SolidColor], 0);
        glUniform1i(m_uniforms[Yuv], output->yuv);
        glUniform1i(m_uniforms[Rec709], output->rec709);
        glUniform1i(m_uniforms[Rec2020], output->rec2020);
        glUniform1i(m_uniforms[Linear], output->linear);
        glUniform1f(m_uniforms[Alpha], output->opacity);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, reinterpret_cast<const void*>(6 * i * sizeof(uint32_t)));
        for (GLenum unit : {GL_TEXTURE2, GL_TEXTURE1, GL_TEXTURE0}) {
            glActiveTexture(unit);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
    }
    glDisable(GL_STENCIL_TEST);
    glBindVertexArray(0);
    m_program->release();
    painter.endNativePainting();
    // Drawings over the picture come with the annotations; the overlay is in this widget's
    // coordinates, like the wipe it draws.
    if (m_annotations && m_annotationDrawing && CanDrawAnnotations())
        m_annotations->Paint(painter);
    if (m_overlay)
        m_overlay->Paint(painter);
    emit PaintingFinished();
}

QImage OpenGLViewer::GrabWholeImage()
{
    return grabFramebuffer();
}

QImage OpenGLViewer::GrabViewportImage()
{
    const QImage image = grabFramebuffer();
    const int top = TopBarHeight();
    const int bottom = BottomBarHeight();
    if (top == 0 && bottom == 0)
        return image;
    const qreal ratio = devicePixelRatioF();
    return image.copy(0, static_cast<int>(top * ratio), image.width(),
                      static_cast<int>((height() - top - bottom) * ratio));
}
