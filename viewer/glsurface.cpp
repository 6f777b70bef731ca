#include "glsurface.h"

#include "glrenderer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QPlatformSurfaceEvent>
#include <QTimer>
#include <QVersionNumber>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

// Each step of a frame with its time, for finding where a late picture waited:
// QT_LOGGING_RULES="quadview.frames.debug=true". Off by default.
Q_LOGGING_CATEGORY(lcFrames, "quadview.frames", QtWarningMsg)

namespace {

// The Qt this runs with, which may be newer than the one it was built with.
bool runsOnQtBefore(int major, int minor, int micro = 0)
{
    return QLibraryInfo::version() < QVersionNumber(major, minor, micro);
}

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// The context missingOpenGL() made, until a surface takes it.
QPointer<QOpenGLContext> spareContext;

} // namespace

GLSurface::GLSurface(GLRenderer *renderer)
    : m_renderer(renderer)
    , m_paced(onWayland())
    , m_exposureBeforeQt65{onWayland() && runsOnQtBefore(6, 5)}
    , m_parentRatioBeforeQt68{runsOnQtBefore(6, 8)}
{
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(surfaceFormat());
    makeTransparentForInput(this);
}

GLSurface::~GLSurface() = default;

void GLSurface::makeTransparentForInput(QWindow *window)
{
    window->setFlag(Qt::WindowTransparentForInput);
    leaveNoInputRegionBeforeQt662(window);
}

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
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(surfaceFormat());
    if (!context->create())
        return QStringLiteral("no OpenGL context can be created");
    // create() has already asked the context for its version and profile.
    const QSurfaceFormat format = context->format();
    const QString version = QStringLiteral("%1.%2").arg(format.majorVersion()).arg(format.minorVersion());
    if (context->isOpenGLES())
        return QStringLiteral("it offers only OpenGL ES %1").arg(version);
    // From 3.2 on, only a compatibility profile keeps the fixed-function pipeline.
    if (format.profile() != QSurfaceFormat::CompatibilityProfile && format.version() >= qMakePair(3, 2))
        return QStringLiteral("it offers only a core profile of OpenGL %1, without the fixed-function pipeline")
            .arg(version);
    // The first surface draws with it: made and dropped, it cost quadview a sixth of its
    // start-up and 6 MiB of memory with Mesa 25's llvmpipe (Debian 13). One left unused
    // goes before the platform it was made on.
    if (!spareContext)
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete spareContext.data(); });
    delete spareContext.data();
    spareContext = context.release();
    return QString();
}

void GLSurface::requestFrame()
{
    serveFrame(Occasion::CameraMoved);
}

// The rule: the one place that decides when this viewport paints (the table in the
// header).
void GLSurface::serveFrame(Occasion occasion)
{
    static const char *const names[] = {"camera moved", "changed", "exposed", "update request", "batch end",
                                        "shown by the window around"};
    trace(names[int(occasion)]);
    if (occasion == Occasion::CameraMoved || occasion == Occasion::Changed || occasion == Occasion::Exposed)
        m_frameOwed = true;
    if (!m_frameOwed)
        return;
    // Kept until the surface can present again: its next expose serves it.
    if (!canPresent()) {
        trace("held while unexposed");
        askForFirstExposeBeforeQt65();
        return;
    }
    if (!isExposed()) {
        // Before Qt 6.5: shown through the window around, though Qt holds the surface
        // unexposed. Such a frame did not always reach the screen (Qt 6.11 as well): the
        // surface's own expose paints it again.
        trace("shows through the window around");
        presentFrame();
        m_frameKept = false;
        return;
    }
    bool now = false;
    switch (occasion) {
    case Occasion::CameraMoved:
        now = !m_paced;
        break;
    case Occasion::Changed:
        break;
    case Occasion::Exposed:
        if (!m_paced && m_hasPresented) {
            // A resize brings two exposes in one batch of events (Qt's own for a window
            // that shrank, and the X server's): one paint after the batch serves both.
            if (!m_batchEndQueued)
                QMetaObject::invokeMethod(this, [this] {
                    m_batchEndQueued = false;
                    serveFrame(Occasion::BatchEnd);
                }, Qt::QueuedConnection);
            m_batchEndQueued = true;
            return;
        }
        // Views exposed together with their window do not each wait out a refresh in
        // turn while the compositor still shows their last frame; an expose that ends
        // Qt's wait for a frame callback (Qt marked the surface unexposed meanwhile), or
        // comes to a surface shown afresh, is served at once, as is the very first.
        now = !m_paced || !m_frameKept;
        break;
    case Occasion::UpdateRequest:
    case Occasion::BatchEnd:
    case Occasion::ParentExposed:
        now = true;
        break;
    }
    if (now) {
        presentFrame();
        return;
    }
    // A compositor that paces frames delivers the request at its next frame callback
    // (at once when no frame is in flight), so a fast drag never queues frames and the
    // one paint shows the newest camera. Unpaced, after a resize, the expose that may
    // follow serves the frame first, and the request then finds nothing owed.
    trace("update requested");
    requestUpdate();
}

bool GLSurface::canPresent() const
{
    return isExposed() || exposedOnlyToParentBeforeQt65();
}

// A size or pixel ratio the frame on screen does not have.
bool GLSurface::differsFromPresented() const
{
    return !m_hasPresented || size() != m_presentedSize || devicePixelRatio() != m_presentedRatio;
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
    m_hasPresented = true;
    m_presentedSize = size();
    m_presentedRatio = devicePixelRatio();
    emit frameSwapped();
}

// A new size reaches the renderer before the first paint that has it.
void GLSurface::paintGL()
{
    if (size() != m_glSize) {
        bindAgainForMesaSoftware();
        m_glSize = size();
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
    // The context missingOpenGL() made, where it serves this surface; else a new one.
    m_context.reset(spareContext.data());
    spareContext.clear();
    if (!m_context || !m_context->makeCurrent(this)) {
        m_context = std::make_unique<QOpenGLContext>();
        m_context->setFormat(requestedFormat());
        if (!m_context->create() || !m_context->makeCurrent(this)) {
            m_context.reset();
            // The display server is gone, or can give no context: a blank window would
            // help nobody.
            std::fprintf(stderr, "quadview: %s; quitting\n",
                         lost ? "a viewport's OpenGL context was lost and cannot be made again"
                              : "no OpenGL context can be made for a viewport");
            QCoreApplication::exit(1);
            return false;
        }
    }
    m_reportedFailure = false;
    const QByteArray renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    m_softwareRasterizer = renderer.startsWith("llvmpipe") || renderer.startsWith("softpipe");
    m_glSize = QSize();
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
        serveFrame(Occasion::UpdateRequest);
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
    // Whatever event brought it: a resize, a move to another screen, a new output scale.
    // A resize is served even where a frame is owed already, since the frame that owed
    // it may not have been able to present.
    if ((!m_frameOwed || event->type() == QEvent::Resize) && differsFromPresented())
        serveFrame(Occasion::Changed);
    return handled;
}

void GLSurface::exposeEvent(QExposeEvent *)
{
    trace("expose event");
    if (!isExposed()) {
        m_exposureBeforeQt65.parentExposedSince = false;
        m_frameKept = false;
        return;
    }
    m_exposureBeforeQt65.wasExposed = true;
    serveFrame(Occasion::Exposed);
}

// The platform surface has taken its new size; the renderer's hook runs in the next
// paint, with the context current. The context is made here the first time, as
// QOpenGLWindow makes its own: made only at the first paint, on an exposed surface, the
// first frames under sway (Qt 6.4) kept an earlier size of the surface, two runs in three.
void GLSurface::resizeEvent(QResizeEvent *)
{
    trace("resize event");
    if (!m_context)
        makeCurrent();
}

// The helps.

// Until Qt 6.6.2, Qt's Wayland platform ignores Qt::WindowTransparentForInput (from 6.6.0
// it honours it, until the surface is hidden and shown). A mask that lies outside the
// surface leaves it no input region: the pointer goes to the window around it, which
// hands it to the viewport under it and keeps a drag with the viewport it began in, as
// on X11.
void GLSurface::leaveNoInputRegionBeforeQt662(QWindow *window)
{
    if (onWayland() && runsOnQtBefore(6, 6, 2))
        window->setMask(QRegion(-1, -1, 1, 1));
}

// Mesa's software rasterizer reads a surface's size only when its context is made
// current or after a swap. A context still current from before a resize would draw the
// next frame at the old size, and on Wayland the rest of the new buffer would show the
// window behind it. Binding the context afresh makes it read the size.
void GLSurface::bindAgainForMesaSoftware()
{
    if (!m_softwareRasterizer)
        return;
    m_context->doneCurrent();
    m_context->makeCurrent(this);
}

// Before Qt 6.5, Qt's Wayland platform does not tell an embedded window that it is
// exposed again when the window around it is (after the compositor withheld frame
// callbacks, on a hidden workspace say, or before the window was first configured):
// the embedded window stays unexposed to Qt though it shows. The window around it
// knows (watchParent()), and its expose lets an owed frame be presented: no update
// request comes to a surface Qt holds unexposed, and a new frame is what brings the
// compositor's frame callbacks back. Only an expose that came after this surface lost
// its own counts: a window around it that merely stays exposed says nothing, and on a
// hidden workspace every paint would wait out Qt's 100 ms for a frame callback the
// compositor withholds, for a picture nobody sees.
bool GLSurface::exposedOnlyToParentBeforeQt65() const
{
    const Exposure &exposure = m_exposureBeforeQt65;
    return exposure.needed && exposure.wasExposed && exposure.parentExposedSince && m_watchedParent
        && m_watchedParent->isExposed();
}

// Qt 6.4's Wayland platform first exposes an embedded window when the window around it
// is configured, or when the embedded window's geometry changes while the window around
// it shows. Shown after the last configure (GNOME sends no other to a window that keeps
// its size), it would never be exposed, and never painted. A change of geometry, undone
// at once, gets it exposed.
void GLSurface::askForFirstExposeBeforeQt65()
{
    Exposure &exposure = m_exposureBeforeQt65;
    if (!exposure.needed || exposure.wasExposed || exposure.askedForExpose || !isVisible() || !m_watchedParent
        || !m_watchedParent->isExposed())
        return;
    exposure.askedForExpose = true;
    const QRect at = geometry();
    setGeometry(at.adjusted(0, 0, 1, 0));
    setGeometry(at);
}

// The window around this surface, whose exposure (before Qt 6.5) and pixel ratio the
// helps follow. Qt's window container sets it before it shows the surface.
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
            if (m_exposureBeforeQt65.needed) {
                m_exposureBeforeQt65.parentExposedSince = true;
                if (!isExposed())
                    serveFrame(Occasion::ParentExposed);
            }
        }
        followParentRatioBeforeQt68();
    }
    return QWindow::eventFilter(watched, event);
}

// Qt's Wayland platform gives an embedded window a new pixel ratio on its own
// schedule (when its surface enters the new output, or from Qt 6.6 on at its next
// update), and no event says so. When the window around it takes a new ratio, look
// again a few times over the next second. Qt 6.4 needs it (without it, a window moved
// to an output of scale 2 under sway kept views at the old ratio); Qt 6.8 and 6.11
// paint the views at the new ratio as soon without it. Qt 6.5 to 6.7 were not tried.
void GLSurface::followParentRatioBeforeQt68()
{
    ParentRatio &parentRatio = m_parentRatioBeforeQt68;
    const qreal ratio = m_watchedParent->devicePixelRatio();
    if (!parentRatio.needed || ratio == parentRatio.last)
        return;
    const bool first = parentRatio.last == 0;
    parentRatio.last = ratio;
    if (first)
        return;
    for (int delay : {0, 20, 60, 150, 400, 1000}) {
        QTimer::singleShot(delay, this, [this] {
            if (differsFromPresented())
                serveFrame(Occasion::Changed);
            else if (canPresent())
                // Delivering it makes Qt look at the platform's ratio.
                requestUpdate();
        });
    }
}
