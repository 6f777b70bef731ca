#include "floorwindow.h"

#include "glsurface.h"
#include "floorframe.h"

#include <QOpenGLContext>

#include <GL/gl.h>

FloorWindow::FloorWindow(Scene *scene, Camera *camera, QColor clearColor, QWindow *parent)
    : QWindow(parent)
    , m_scene(scene)
    , m_camera(camera)
    , m_clearColor(clearColor)
{
    setSurfaceType(QWindow::OpenGLSurface);
    setFormat(GLSurface::surfaceFormat());
}

FloorWindow::~FloorWindow() = default;

void FloorWindow::exposeEvent(QExposeEvent *)
{
    if (isExposed())
        renderNow();
}

void FloorWindow::renderNow()
{
    if (!m_context) {
        m_context = std::make_unique<QOpenGLContext>();
        m_context->setFormat(requestedFormat());
        m_context->create();
    }
    m_context->makeCurrent(this);

    drawFloorFrame(m_scene, m_camera, size(), devicePixelRatio(), m_clearColor);
    m_context->swapBuffers(this);
    glFinish();
}
