#include "glwidget.h"

#include "accessibleviewport.h"
#include "camera.h"
#include "glsurface.h"
#include "scene.h"

#include <QColor>
#include <QKeyEvent>
#include <QLineF>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QShortcut>
#include <QTouchEvent>
#include <QVBoxLayout>
#include <QVector3D>
#include <QWheelEvent>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

namespace {

// Where one step of the wheel moves the camera of a view of this kind: towards the
// scene for a turn away from the user.
QVector3D zoomAxis(Viewport viewport)
{
    switch (viewport) {
    case VP_TOP:
        return QVector3D(0, -1, 0);
    case VP_LEFT:
        return QVector3D(1, 0, 0);
    case VP_FRONT:
        return QVector3D(0, 0, -1);
    case VP_PERSPECTIVE:
        return QVector3D(1, -1, -1);
    }
    return QVector3D();
}

} // namespace

GLWidget::GLWidget(Viewport viewport, Scene *scene, Camera *camera)
    : QWidget(nullptr)
    , m_viewport(viewport)
    , m_scene(scene)
    , m_camera(camera)
    , m_home(*camera)
    , m_surface(new GLSurface(this))
{
    // Tab reaches the view; of the clicks, only the left press and the tap give it the
    // focus (the handlers do), which no focus policy can say.
    setFocusPolicy(Qt::TabFocus);

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

    // Before the name: setting it makes the interface that Qt then keeps.
    QAccessible::installFactory(&AccessibleViewport::create);
    static const char *const names[] = {
        QT_TR_NOOP("Top view"), QT_TR_NOOP("Left view"), QT_TR_NOOP("Front view"), QT_TR_NOOP("Perspective view")};
    if (viewport >= VP_TOP && viewport <= VP_PERSPECTIVE) {
        setAccessibleName(tr(names[viewport - VP_TOP]));
        // Names the surface's lines in the frame trace.
        m_surface->setObjectName(QString::fromLatin1(names[viewport - VP_TOP]).toLower().section(' ', 0, 0));
    }
    setAccessibleDescription(tr("A 3D view of the scene. Drag or press the arrow keys to pan; turn the wheel, "
                                "pinch, or press + and - to zoom; Home brings the view back to its start; "
                                "Alt+W gives this view the whole window, and again brings back all four. "
                                "Tab moves to the next view."));

    // Without this, Qt hands the first finger on a touchscreen over as the left button
    // and the second never arrives.
    setAttribute(Qt::WA_AcceptTouchEvents);
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
    const QPoint delta = pos - m_lastPos;
    m_lastPos = pos;
    panBy(delta.x(), delta.y());
}

void GLWidget::wheelEvent(QWheelEvent *event)
{
    // X11 reports Alt+wheel as a horizontal turn; whichever axis turned zooms.
    const QPoint angle = event->angleDelta();
    turnWheel(std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y());
}

void GLWidget::keyPressEvent(QKeyEvent *event)
{
    // The keypad's keys carry a modifier of their own, and many layouts need Shift to
    // type +; Ctrl is allowed on + and -, as browsers and editors zoom with it.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = modifiers == Qt::NoModifier;
    const bool zoomModifiers = !(modifiers & ~(Qt::ShiftModifier | Qt::ControlModifier));
    // An arrow moves the camera as a 10-pixel drag the other way would: the scene slides
    // against the arrow, as a scrolled page does.
    const int step = 10;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!plain)
            break;
        panBy(event->key() == Qt::Key_Left ? step : event->key() == Qt::Key_Right ? -step : 0,
              event->key() == Qt::Key_Up ? step : event->key() == Qt::Key_Down ? -step : 0);
        return;
    // = shares its key with + on US-like layouts.
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_Minus:
        if (!zoomModifiers)
            break;
        turnWheel(event->key() == Qt::Key_Minus ? -QWheelEvent::DefaultDeltasPerStep
                                                : QWheelEvent::DefaultDeltasPerStep);
        return;
    case Qt::Key_Home:
        if (!plain)
            break;
        *m_camera = m_home;
        m_wheelTravel = 0;
        updateGL();
        return;
    default:
        break;
    }
    event->ignore();
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

bool GLWidget::event(QEvent *event)
{
    switch (event->type()) {
    // Qt offers every key press to the focus widget as a shortcut override before it
    // matches shortcuts; only that event tells which physical key a shortcut matched.
    case QEvent::ShortcutOverride:
        m_pressedKey = static_cast<QKeyEvent *>(event)->nativeScanCode();
        break;
    case QEvent::NativeGesture:
        pinchEvent(static_cast<QNativeGestureEvent *>(event));
        return true;
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        touchEvent(static_cast<QTouchEvent *>(event));
        return true;
    default:
        break;
    }
    return QWidget::event(event);
}

// A wheel turn of `delta` (120 a notch), from the wheel, a touchpad or the keys.
void GLWidget::turnWheel(int delta)
{
    // A touchpad or a fine-step wheel turns in many events of less than a notch. The
    // camera follows the whole travel divided by 12, so a run of small steps zooms as
    // far as one event of their sum, and turning back retraces it exactly.
    const qint64 travel = m_wheelTravel + delta;
    const int shift = int(travel / 12 - m_wheelTravel / 12);
    m_wheelTravel = travel;

    const QVector3D axis = zoomAxis(m_viewport);
    m_camera->moveBy(float(shift) * axis.x(), float(shift) * axis.y(), float(shift) * axis.z());
    updateGL();
}

// One drag step of dx, dy pixels, from the mouse, one finger or an arrow key.
void GLWidget::panBy(int dx, int dy)
{
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
    updateGL();
}

// Makes the scene `factor` times as large, about the view's centre: the camera keeps
// to the line the wheel moves it on and divides its distance, measured along that
// line, from the plane through the origin. The orthographic box shrinks with it.
void GLWidget::zoomBy(double factor)
{
    const QVector3D axis = zoomAxis(m_viewport);
    const double length2 = double(QVector3D::dotProduct(axis, axis));
    if (length2 == 0.0)
        return;
    const double along = (double(m_camera->getPositionX()) * double(axis.x())
                          + double(m_camera->getPositionY()) * double(axis.y())
                          + double(m_camera->getPositionZ()) * double(axis.z())) / length2;
    const double travel = along * (1.0 / factor - 1.0);
    m_camera->moveBy(float(travel * double(axis.x())), float(travel * double(axis.y())),
                     float(travel * double(axis.z())));
    updateGL();
}

// A touchpad pinch, as Qt delivers it to the widget under the pointer on X11 (XInput
// 2.4) and Wayland (pointer gestures): each zoom event carries the change of the
// fingers' scale since the last one (Qt 6.4 to 6.8 subtract the scales the display
// server reports), so the scale is 1 plus their sum, and the view follows it whether
// it comes in one event or many.
void GLWidget::pinchEvent(QNativeGestureEvent *event)
{
    switch (event->gestureType()) {
    case Qt::BeginNativeGesture:
        m_pinching = true;
        m_pinchScale = 1.0;
        event->accept();
        break;
    case Qt::EndNativeGesture:
        m_pinching = false;
        event->accept();
        break;
    case Qt::ZoomNativeGesture: {
        const double scale = m_pinchScale + event->value();
        // A scale of 0 or less, or none at all, has no picture to go to.
        if (m_pinching && std::isfinite(scale) && scale > 0.0) {
            zoomBy(scale / m_pinchScale);
            m_pinchScale = scale;
        }
        event->accept();
        break;
    }
    default:
        // Rotation and swipes are not this view's.
        event->ignore();
        break;
    }
}

// Touch is taken whole, so that a second finger reaches the view: one finger pans as
// the left button does, two zoom by the ratio of their distances. Whenever the
// fingers change, the next step starts from where they are, so nothing jumps.
void GLWidget::touchEvent(QTouchEvent *event)
{
    if (event->type() == QEvent::TouchBegin)
        setFocus(Qt::MouseFocusReason);

    QList<int> fingers;
    QList<QPointF> places;
    if (event->type() != QEvent::TouchCancel) {
        for (const QEventPoint &point : event->points()) {
            if (point.state() == QEventPoint::State::Released || fingers.size() == 2)
                continue;
            fingers << point.id();
            places << point.position();
        }
    }
    const bool sameFingers = fingers == m_fingers;
    m_fingers = fingers;

    if (fingers.size() == 1) {
        const QPoint pos = places[0].toPoint();
        const QPoint delta = pos - m_lastPos;
        m_lastPos = pos;
        if (sameFingers)
            panBy(delta.x(), delta.y());
    } else if (fingers.size() == 2) {
        const qreal distance = QLineF(places[0], places[1]).length();
        const qreal before = m_fingerDistance;
        m_fingerDistance = distance;
        if (sameFingers && before > 0 && distance > 0)
            zoomBy(distance / before);
    }
    event->accept();
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
