#include "glwidget.h"

#include "camera.h"
#include "glsurface.h"
#include "scene.h"

#include <QColor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

GLWidget::GLWidget(Viewport viewport, Scene *scene, Camera *camera)
    : QWidget(nullptr)
    , m_viewport(viewport)
    , m_scene(scene)
    , m_camera(camera)
    , m_surface(new GLSurface(this))
{
    // The container takes ownership of the surface. It lets mouse events through to
    // this widget, and it must never hold the focus itself, or key events would miss
    // the viewport's handlers.
    QWidget *container = QWidget::createWindowContainer(m_surface, this);
    container->setAttribute(Qt::WA_TransparentForMouseEvents);
    container->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Sizes come from this widget's own hints, not from the container's.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(container);

    // On a layout whose W key types no Latin letter (Russian, Greek, Hebrew...), the key
    // reports its own letter, and only Qt's shortcut matching knows it as the W of the
    // user's Latin layout, as every Qt shortcut does. That matching sees presses only;
    // the switch waits for the release of the key it matched.
    new QShortcut(QKeySequence(Qt::ALT | Qt::Key_W), this, this, [this] { m_switchKey = m_pressedKey; },
                  Qt::WidgetShortcut);
}

GLWidget::~GLWidget() = default;

QSize GLWidget::sizeHint() const
{
    return QSize(400, 300);
}

QSize GLWidget::minimumSizeHint() const
{
    return QSize(50, 50);
}

void GLWidget::updateGL()
{
    m_surface->requestFrame();
}

QImage GLWidget::grabFramebuffer()
{
    return m_surface->grabFrame();
}

Viewport GLWidget::getViewport() const
{
    return m_viewport;
}

Camera *GLWidget::getCamera() const
{
    return m_camera;
}

GLSurface *GLWidget::getSurface() const
{
    return m_surface;
}

void GLWidget::mousePressEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    m_lastPos = event->position().toPoint();
    setFocus(Qt::MouseFocusReason);
}

void GLWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        event->ignore();
}

void GLWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }

    const QPoint pos = event->position().toPoint();
    const int dx = pos.x() - m_lastPos.x();
    const int dy = pos.y() - m_lastPos.y();

    switch (m_viewport) {
    case VP_TOP:
        m_camera->moveBy(float(-dx), 0.0f, float(-dy));
        break;
    case VP_LEFT:
        m_camera->moveBy(0.0f, float(dy), float(-dx));
        break;
    case VP_FRONT:
        m_camera->moveBy(float(-dx), float(dy), 0.0f);
        break;
    case VP_PERSPECTIVE: {
        // Sideways travel is damped: the perspective camera sits much closer to what it
        // shows than the orthographic boxes are wide.
        const int sign = (dx > 0) - (dx < 0);
        const float s = float(std::sqrt(double(std::abs(dx))) * double(-sign));
        m_camera->moveBy(s, float(dy), s);
        break;
    }
    }

    m_lastPos = pos;
    updateGL();
}

void GLWidget::wheelEvent(QWheelEvent *event)
{
    // X11 reports Alt+wheel as a horizontal turn; whichever axis turned zooms.
    const QPoint angle = event->angleDelta();
    const int delta = std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y();
    // A touchpad or a fine-step wheel turns in many events of less than a notch. The
    // camera follows the whole travel divided by 12, so a run of small steps zooms as
    // far as one event of their sum, and turning back retraces it exactly.
    const qint64 travel = m_wheelTravel + delta;
    const int shift = int(travel / 12 - m_wheelTravel / 12);
    m_wheelTravel = travel;

    switch (m_viewport) {
    case VP_TOP:
        m_camera->moveBy(0.0f, float(-shift), 0.0f);
        break;
    case VP_LEFT:
        m_camera->moveBy(float(shift), 0.0f, 0.0f);
        break;
    case VP_FRONT:
        m_camera->moveBy(0.0f, 0.0f, float(-shift));
        break;
    case VP_PERSPECTIVE:
        m_camera->moveBy(float(shift), float(-shift), float(-shift));
        break;
    }

    updateGL();
}

void GLWidget::keyReleaseEvent(QKeyEvent *event)
{
    // Holding Alt+W must not flip the layout on every auto-repeat.
    if (event->isAutoRepeat())
        return;
    const bool matchedW = m_switchKey != 0 && event->nativeScanCode() == m_switchKey;
    if (matchedW)
        m_switchKey = 0;
    if ((event->modifiers() & Qt::AltModifier) && (event->key() == Qt::Key_W || matchedW))
        emit switchView();
}

// Qt offers every key press to the focus widget as a shortcut override before it
// matches shortcuts; only that event tells which physical key a shortcut matched.
bool GLWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride)
        m_pressedKey = static_cast<QKeyEvent *>(event)->nativeScanCode();
    return QWidget::event(event);
}

void GLWidget::initializeGL()
{
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
}

void GLWidget::resizeGL(int width, int height)
{
    m_width = width;
    m_height = height;
    setupCamera();
}

void GLWidget::paintGL()
{
    const bool projectionUsable = setupCamera();

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);

    const QColor background(Qt::darkGray);
    glClearColor(GLclampf(background.redF()), GLclampf(background.greenF()),
                 GLclampf(background.blueF()), GLclampf(background.alphaF()));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    if (!projectionUsable)
        return;

    glRotated(double(-m_camera->getAngleX()), 1.0, 0.0, 0.0);
    glRotated(double(-m_camera->getAngleY()), 0.0, 1.0, 0.0);
    glRotated(double(-m_camera->getAngleZ()), 0.0, 0.0, 1.0);
    glTranslated(double(-m_camera->getPositionX()), double(-m_camera->getPositionY()),
                 double(-m_camera->getPositionZ()));
    m_scene->render();
}

// Returns false when the projection is degenerate (an empty widget, or an orthographic
// camera at 0 on its viewing axis): the projection is then left at the identity and
// nothing should be drawn with it.
bool GLWidget::setupCamera()
{
    // The near plane is the single-precision 0.1, widened, not the double 0.1.
    const double nearPlane = double(0.1f);
    const double farPlane = 1000.0;

    glMatrixMode(GL_PROJECTION);
    // The surface reports logical pixels; OpenGL wants device pixels.
    const qreal ratio = m_surface->devicePixelRatio();
    glViewport(0, 0, qRound(m_width * ratio), qRound(m_height * ratio));
    glLoadIdentity();

    bool usable = m_width > 0 && m_height > 0;
    if (usable) {
        const float aspect = float(m_width) / float(m_height);
        if (m_viewport == VP_PERSPECTIVE) {
            gluPerspective(45.0, double(aspect), nearPlane, farPlane);
        } else {
            const float offset = getOffset();
            const float right = aspect >= 1.0f ? offset : offset * aspect;
            const float top = aspect >= 1.0f ? offset / aspect : offset;
            usable = right > 0.0f && top > 0.0f && std::isfinite(right) && std::isfinite(top);
            if (usable)
                glOrtho(double(-right), double(right), double(-top), double(top), nearPlane, farPlane);
        }
    }

    glMatrixMode(GL_MODELVIEW);
    return usable;
}

float GLWidget::getOffset() const
{
    switch (m_viewport) {
    case VP_TOP:
        return std::abs(m_camera->getPositionY()) / 2.0f;
    case VP_LEFT:
        return std::abs(m_camera->getPositionX()) / 2.0f;
    case VP_FRONT:
        return std::abs(m_camera->getPositionZ()) / 2.0f;
    case VP_PERSPECTIVE:
        break;
    }
    return 0.0f;
}
