#include "glsurface.h"

#include "glwidget.h"

GLSurface::GLSurface(GLWidget *widget)
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate)
    , m_widget(widget)
{
    setFlag(Qt::WindowTransparentForInput);
    setFormat(surfaceFormat());
}

QSurfaceFormat GLSurface::surfaceFormat()
{
    // The fixed-function pipeline needs desktop OpenGL without a core profile.
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::NoProfile);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

void GLSurface::initializeGL()
{
    m_widget->initializeGL();
}

void GLSurface::resizeGL(int width, int height)
{
    m_widget->resizeGL(width, height);
}

void GLSurface::paintGL()
{
    m_widget->paintGL();
}
