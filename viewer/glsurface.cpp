#include "glsurface.h"

#include "glrenderer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QPlatformSurfaceEvent>
#include <QTimer>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

// Each step of a frame with its time, for finding where a late picture waited:
// QT_LOGGING_RULES="quadview.frames.debug=true". Off by default.
Q_LOGGING_CATEGORY(lcFrames, "quadview.frames", QtWarningMsg)

GLSurface::GLSurface(GLRenderer *renderer)
    : m_renderer(renderer)
    , m_pacedByCompositor(QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
{
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(surfaceFormat());
    setFlag(Qt::WindowTransparentForInput);
    leaveNoInputRegionUntilQt662();
}

GLSurface::~GLSurface() = default;

// Milliseconds on the monotonic clock, which the benchmark and a display server's
// own timestamps on Linux also use, so that the lines can be laid beside theirs.
void GLSurface::trace(const char *step) const
{
    qCDebug(lcFrames, "%.3f %s %s %dx%d@%g exposed=%d owed=%d kept=%d", double(QDeadlineTimer::current().deadlineNSecs()) / 1e6,
            qPrintable(objectName()), step, width(), height(), devicePixelRatio(), isExposed(), m_frameOwed, m_frameKept);
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

void GLSurface::requestFrame()
{
    serveFrame(Occasion::CameraMoved);
}

// The rule: the one place that decides when this viewport paints.
void GLSurface::serveFrame(Occasion occasion)
{
    static const char *const names[] = {"camera moved", "changed", "exposed", "ready"};
    trace(names[int(occasion)]);
    if (occasion != Occasion::Ready)
        m_frameOwed = true;
    if (!m_frameOwed)
        return;
    // Kept until the surface can present again: its next expose serves it.
    if (!isExposed()) {
        trace("held while unexposed");
        serveUnexposedBeforeQt65();
        return;
    }
    // Under a compositor that still shows the surface's last frame, an expose is served
    // at the next frame callback, so that views exposed together with their window do not
    // each wait out a refresh in turn; one that ends Qt's wait for a frame callback (Qt
    // marked the surface unexposed meanwhile), or comes to a surface shown afresh, is
    // served at once.
    // On X11 a resize brings two exposes in one batch of events (Qt's own for a window
    // that shrank, and the X server's): both are served by one paint after the batch.
    // The first frame of all is painted at once.
    if (occasion == Occasion::Exposed && !m_pacedByCompositor && m_presentedSize.isValid()) {
        if (!m_exposeQueued)
            QMetaObject::invokeMethod(this, [this] { m_exposeQueued = false; serveFrame(Occasion::Ready); },
                                      Qt::QueuedConnection);
        m_exposeQueued = true;
        return;
    }
    const bool urgentExpose = occasion == Occasion::Exposed && !m_frameKept;
    const bool now = urgentExpose || occasion == Occasion::Ready
        || (occasion == Occasion::CameraMoved && !m_pacedByCompositor);
    if (now) {
        presentFrame();
        return;
    }
    // A compositor that paces frames delivers the request at its next frame callback
    // (at once when no frame is in flight), so a fast drag never queues frames and the
    // one paint shows the newest camera. After a resize on X11 the expose that may
    // follow serves the frame first, and the request then finds nothing owed.
    trace("update requested");
    requestUpdate();
}

void GLSurface::presentFrame()
{
    // Before the surface has a native window, or while its context cannot be made, the
    // frame stays owed; the next expose or resize serves it.
    if (!makeCurrent())
        return;
    trace("current");
    paintGL();
    trace("painted");
    m_context->swapBuffers(this);
    trace("swapped");
    m_frameOwed = false;
    m_frameKept = true;
    m_presentedSize = size();
    m_presentedRatio = devicePixelRatio();
    emit frameSwapped();
}

// A new size reaches the renderer before the first paint that has it.
void GLSurface::paintGL()
{
    if (m_resizedSinceGl || size() != m_glSize) {
        rereadSizeForMesaSoftware();
        m_glSize = size();
        m_resizedSinceGl = false;
        m_renderer->resizeGL(width(), height());
    }
    m_renderer->paintGL();
}

// Made current, or made first: there is none yet, or the one there was is lost (the
// compositor restarted and Qt reconnected, or the GPU was reset). A new context gets
// the renderer's OpenGL set-up and its size again before it paints.
bool GLSurface::makeCurrent()
{
    if (!handle())
        return false;
    if (m_context && m_context->makeCurrent(this))
        return true;
    if (m_context && m_context->isValid()) {
        // Not lost; another occasion tries again.
        if (!m_reportedFailure)
            std::fprintf(stderr, "quadview: a viewport's OpenGL context cannot be made current\n");
        m_reportedFailure = true;
        return false;
    }

    const bool lost = m_context != nullptr;
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setFormat(requestedFormat());
    if (!m_context->create() || !m_context->makeCurrent(this)) {
        m_context.reset();
        // The display server is gone, or can give no context: a blank window would help
        // nobody.
        std::fprintf(stderr, "quadview: %s; quitting\n",
                     lost ? "a viewport's OpenGL context was lost and cannot be made again"
                          : "no OpenGL context can be made for a viewport");
        QCoreApplication::exit(1);
        return false;
    }
    m_reportedFailure = false;
    m_resizedSinceGl = true;
    m_renderer->initializeGL();
    return true;
}

QImage GLSurface::grabFrame()
{
    if (!makeCurrent())
        return QImage();
    // What the buffer holds after a swap need not be the last frame: paint first.
    paintGL();
    const QSize pixels = size() * devicePixelRatio();
    QImage image(pixels, QImage::Format_RGBX8888);
    if (image.isNull())
        return image;
    glReadPixels(0, 0, pixels.width(), pixels.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    // OpenGL's rows run from the bottom up.
    for (int top = 0, bottom = pixels.height() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(image.scanLine(top), image.scanLine(top) + image.bytesPerLine(), image.scanLine(bottom));
    image.setDevicePixelRatio(devicePixelRatio());
    return image;
}

void GLSurface::doneCurrent()
{
    if (m_context)
        m_context->doneCurrent();
}

bool GLSurface::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::UpdateRequest:
        serveFrame(Occasion::Ready);
        return true;
    // Platforms that ask for a repaint rather than send an expose.
    case QEvent::Paint:
        serveFrame(Occasion::Exposed);
        return true;
    // Qt's Wayland platform gives a window shown again a new surface. The window around
    // it has been set by now.
    case QEvent::Hide:
        m_frameKept = false;
        break;
    case QEvent::Show:
        watchParent();
        break;
    // A context left current on a native surface that goes would hold on to it; the
    // next surface gets a context of its own, as it would from QOpenGLWindow.
    case QEvent::PlatformSurface:
        if (static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
            == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
            if (m_context)
                m_context->doneCurrent();
            m_context.reset();
            m_frameKept = false;
        }
        break;
    default:
        break;
    }
    const bool handled = QWindow::event(event);
    // A size or pixel ratio the frame on screen does not have, whatever event brought
    // it: a resize, a move to another screen, a new output scale.
    if (!m_frameOwed && (size() != m_presentedSize || devicePixelRatio() != m_presentedRatio))
        serveFrame(Occasion::Changed);
    return handled;
}

void GLSurface::exposeEvent(QExposeEvent *)
{
    trace("expose event");
    if (!isExposed()) {
        m_parentExposedSince = false;
        m_frameKept = false;
        return;
    }
    m_wasExposed = true;
    serveFrame(Occasion::Exposed);
}

// The platform surface has taken its new size; the renderer's hook runs in the next
// paint, with the context current.
void GLSurface::resizeEvent(QResizeEvent *)
{
    trace("resize event");
    makeContextAtFirstResizeForSwayQt64();
    // A frame painted since the size was asked for (an expose served in between) has
    // already told the renderer, and Mesa read the size then.
    if (size() != m_glSize)
        m_resizedSinceGl = true;
    serveFrame(Occasion::Changed);
}

// The helps, for Qt 6.4 to 6.8 and Mesa's software rasterizer.

// Until Qt 6.6.2, Qt's Wayland platform ignores Qt::WindowTransparentForInput (from 6.6.0
// it honours it, until the surface is hidden and shown). A mask that lies outside the
// surface leaves it no input region: the pointer goes to the window around it, which
// hands it to the viewport under it and keeps a drag with the viewport it began in, as
// on X11.
void GLSurface::leaveNoInputRegionUntilQt662()
{
    if (m_pacedByCompositor)
        setMask(QRegion(-1, -1, 1, 1));
}

// Made only at the first paint, on an exposed surface, the first frames under sway (Qt
// 6.4) kept an earlier size of the surface, two runs in three. Made at the first resize,
// as QOpenGLWindow makes its own, they do not.
void GLSurface::makeContextAtFirstResizeForSwayQt64()
{
    if (!m_context)
        makeCurrent();
}

// Mesa's software rasterizer reads a surface's size only when its context is made
// current or after a swap. A context still current from before a resize would draw the
// next frame at the old size, and on Wayland the rest of the new buffer would show the
// window behind it. Binding the context afresh makes it read the size.
void GLSurface::rereadSizeForMesaSoftware()
{
    m_context->doneCurrent();
    m_context->makeCurrent(this);
}

// Before Qt 6.5, Qt's Wayland platform does not tell an embedded window that it is
// exposed again when the window around it is (after the compositor withheld frame
// callbacks, on a hidden workspace say, or before the window was first configured):
// the embedded window stays unexposed to Qt though it shows. The window around it
// knows (watchParent()), and its expose serves an owed frame at once: no update request
// comes to a surface Qt holds unexposed, and a new frame is what brings the compositor's
// frame callbacks back. Only an expose that came after this surface lost its own counts:
// a window around it that merely stays exposed says nothing, and on a hidden workspace
// every paint would wait out Qt's 100 ms for a frame callback the compositor withholds,
// for a picture nobody sees.
void GLSurface::serveUnexposedBeforeQt65()
{
    if (!showsThroughParentBeforeQt65()) {
        askForFirstExposeBeforeQt65();
        return;
    }
    trace("shows through the window around");
    presentFrame();
    // A frame swapped while Qt has the surface unexposed did not always reach the screen
    // (Qt 6.11 as well): the surface's own expose paints it again.
    m_frameKept = false;
}

bool GLSurface::showsThroughParentBeforeQt65() const
{
    return m_pacedByCompositor && m_wasExposed && m_parentExposedSince && m_watchedParent
        && m_watchedParent->isExposed();
}

// Qt 6.4's Wayland platform first exposes an embedded window when the window around it
// is configured, or when the embedded window's geometry changes while the window around
// it shows. Shown after the last configure (GNOME sends no other to a window that keeps
// its size), it would never be exposed, and never painted. A change of geometry, undone
// at once, gets it exposed.
void GLSurface::askForFirstExposeBeforeQt65()
{
    if (!m_pacedByCompositor || m_wasExposed || m_askedForExpose || !isVisible() || !m_watchedParent
        || !m_watchedParent->isExposed())
        return;
    m_askedForExpose = true;
    const QRect at = geometry();
    setGeometry(at.adjusted(0, 0, 1, 0));
    setGeometry(at);
}

// The window around this surface, whose exposure (before Qt 6.5) and pixel ratio (up to
// Qt 6.8) the helps follow. Qt's window container sets it before it shows the surface.
void GLSurface::watchParent()
{
    if (parent() == m_watchedParent)
        return;
    if (m_watchedParent)
        m_watchedParent->removeEventFilter(this);
    m_watchedParent = parent();
    if (m_watchedParent)
        m_watchedParent->installEventFilter(this);
}

bool GLSurface::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedParent) {
        if (event->type() == QEvent::Expose && m_watchedParent->isExposed()) {
            trace("window around exposed");
            m_parentExposedSince = true;
            if (!isExposed())
                serveFrame(Occasion::Ready);
        }
        followParentRatioUpToQt68();
    }
    return QWindow::eventFilter(watched, event);
}

// Qt's Wayland platform gives an embedded window a new pixel ratio on its own
// schedule (when its surface enters the new output, or from Qt 6.6 on at its next
// update), and no event says so (still so with Qt 6.8; not yet seen gone). When the
// window around it takes a new ratio, look again a few times over the next second.
void GLSurface::followParentRatioUpToQt68()
{
    const qreal ratio = m_watchedParent->devicePixelRatio();
    if (ratio == m_parentRatio)
        return;
    const bool first = m_parentRatio == 0;
    m_parentRatio = ratio;
    if (first)
        return;
    for (int delay : {0, 20, 60, 150, 400, 1000})
        QTimer::singleShot(delay, this, &GLSurface::checkRatio);
}

void GLSurface::checkRatio()
{
    if (devicePixelRatio() != m_presentedRatio)
        serveFrame(Occasion::Changed);
    else if (isExposed() || showsThroughParentBeforeQt65())
        // Delivering it makes Qt look at the platform's ratio.
        requestUpdate();
}
