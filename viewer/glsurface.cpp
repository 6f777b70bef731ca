#include "glsurface.h"

#include "glwidget.h"

#include <QGuiApplication>
#include <QOpenGLContext>

#include <cstdio>
#include <memory>

GLSurface::GLSurface(GLWidget *widget)
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate)
    , m_widget(widget)
    , m_pacedByCompositor(QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
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

QString GLSurface::missingOpenGL()
{
    QOpenGLContext context;
    context.setFormat(surfaceFormat());
    if (!context.create())
        return QStringLiteral("no OpenGL context can be created");
    // create() has already asked the context for its version and profile.
    const QSurfaceFormat format = context.format();
    const QString version = QStringLiteral("%1.%2").arg(format.majorVersion()).arg(format.minorVersion());
    if (context.isOpenGLES())
        return QStringLiteral("it offers only OpenGL ES %1").arg(version);
    // From 3.2 on, only a compatibility profile keeps the fixed-function pipeline.
    if (format.profile() != QSurfaceFormat::CompatibilityProfile && format.version() >= qMakePair(3, 2))
        return QStringLiteral("it offers only a core profile of OpenGL %1, without the fixed-function pipeline")
            .arg(version);
    return QString();
}

bool GLSurface::isPacedByCompositor() const
{
    return m_pacedByCompositor;
}

QImage GLSurface::grabFrame()
{
    if (!makeContextCurrent())
        return QImage();
    // What the buffer holds after a swap need not be the last frame: paint first.
    paintGL();
    return grabFramebuffer();
}

// A context that cannot be made current, or is lost, must not get any OpenGL call:
// Qt's own paint path would go on and call into no context or another viewport's.
bool GLSurface::makeContextCurrent()
{
    QOpenGLContext *glContext = context();
    if (glContext && glContext->isValid() && glContext->makeCurrent(this))
        return true;
    if (glContext && !m_reportedFailure) {
        m_reportedFailure = true;
        std::fprintf(stderr, "quadview: a viewport's OpenGL context %s; that viewport stays blank\n",
                     glContext->isValid() ? "cannot be made current" : "is lost");
    }
    return false;
}

bool GLSurface::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::UpdateRequest:
        // The first paint creates the context; only after that can it fail.
        if (context() && !makeContextCurrent())
            return true;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // Where the platform ignores the transparent-for-input flag (Wayland before
        // Qt 6.6), this surface takes the pointer; its viewport must still see the
        // event, at the same place, since the surface fills the viewport exactly.
        std::unique_ptr<QEvent> copy(event->clone());
        QCoreApplication::sendEvent(m_widget, copy.get());
        event->setAccepted(copy->isAccepted());
        return true;
    }
    default:
        break;
    }
    return QOpenGLWindow::event(event);
}

void GLSurface::exposeEvent(QExposeEvent *event)
{
    if (isExposed() && context() && !makeContextCurrent())
        return;
    QOpenGLWindow::exposeEvent(event);
}

void GLSurface::initializeGL()
{
    m_widget->initializeGL();
}

void GLSurface::resizeGL(int width, int height)
{
    // QOpenGLWindow calls this without making its context current, and another
    // viewport's context may be; the widget's hook sets OpenGL state. Without a
    // context the size stays stale, and the next paint catches up.
    if (!makeContextCurrent())
        return;
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
