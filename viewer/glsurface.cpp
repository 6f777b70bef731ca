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
    // QOpenGLWindow calls this without making its context current, and another
    // viewport's context may be; the widget's hook sets OpenGL state.
    makeCurrent();
    m_glSize = QSize(width, height);
    m_widget->resizeGL(width, height);
}

void GLSurface::paintGL()
{
    // An expose can be painted before the resize event that goes with it arrives;
    // the widget must never paint with a stale size.
    if (size() != m_glSize)
        resizeGL(width(), height());
    m_widget->paintGL();
}
