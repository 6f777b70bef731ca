#ifndef GLPROBE_H
#define GLPROBE_H

#include "camera.h"
#include "glsurface.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "scene.h"

#include <QtTest>
#include <QMatrix4x4>
#include <QVBoxLayout>
#include <QVector3D>

#include <GL/gl.h>

#include <cstdlib>
#include <memory>

// What a viewport's context holds after a paint, read back from OpenGL itself.
struct GlState
{
    QMatrix4x4 projection;
    QMatrix4x4 modelview;
    QRect viewport;
    GLenum error = GL_NO_ERROR;
};

inline QMatrix4x4 readMatrix(GLenum which)
{
    GLdouble values[16];
    glGetDoublev(which, values);
    QMatrix4x4 matrix;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            matrix(row, column) = float(values[column * 4 + row]);
    return matrix;
}

// Reads the state the last paint left behind; the error flag is sticky, so any
// error raised while painting shows here.
inline GlState readGlState(GLSurface *surface)
{
    GlState state;
    surface->makeCurrent();
    state.error = glGetError();
    state.projection = readMatrix(GL_PROJECTION_MATRIX);
    state.modelview = readMatrix(GL_MODELVIEW_MATRIX);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    state.viewport = QRect(viewport[0], viewport[1], viewport[2], viewport[3]);
    surface->doneCurrent();
    return state;
}

inline bool sameColor(QRgb a, QRgb b, int tolerance = 2)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The bounding box of the pixels of one colour, in image pixels.
inline QRect boundsOf(const QImage &image, QRgb color)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (sameColor(image.pixel(x, y), color))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Whether a frame of this colour lies around `inner`, a rectangle in logical pixels
// relative to the image's top left; the image may hold device pixels. It is sampled
// along the middle of the frame's 2-pixel width on all four sides: 1 when every
// sample has the colour, 0 when none has, -1 when only some have.
inline int frameAround(const QImage &image, QSize logicalSize, const QRect &inner, QRgb color)
{
    const qreal ratio = qreal(image.width()) / logicalSize.width();
    const QRectF middle = QRectF(inner).adjusted(-1, -1, 1, 1);
    int hits = 0, samples = 0;
    for (int i = 1; i < 10; ++i) {
        const qreal x = middle.left() + middle.width() * i / 10, y = middle.top() + middle.height() * i / 10;
        for (const QPointF &point : {QPointF(x, middle.top()), QPointF(x, middle.bottom()),
                                     QPointF(middle.left(), y), QPointF(middle.right(), y)}) {
            const QPoint pixel(qFloor(point.x() * ratio), qFloor(point.y() * ratio));
            ++samples;
            hits += image.rect().contains(pixel) && sameColor(image.pixel(pixel), color);
        }
    }
    return hits == samples ? 1 : hits == 0 ? 0 : -1;
}

// A window's viewport of this kind.
inline GLWidget *viewportOf(const QWidget *window, Viewport kind)
{
    for (GLWidget *widget : window->findChildren<GLWidget *>())
        if (widget->getViewport() == kind)
            return widget;
    return nullptr;
}

// The preset camera that the main window gives a viewport of this kind.
inline Camera *presetCamera(Viewport kind)
{
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            if (MainWindow::createViewport(i, j) == kind)
                return MainWindow::createCamera(i, j);
    return nullptr;
}

// Where a wheel notch away from the user moves a camera of each kind.
inline QVector3D zoomAxis(Viewport kind)
{
    return kind == VP_TOP    ? QVector3D(0, -1, 0)
         : kind == VP_LEFT   ? QVector3D(1, 0, 0)
         : kind == VP_FRONT  ? QVector3D(0, 0, -1)
                             : QVector3D(1, -1, -1);
}

// The camera of a view zoomed `scale` times from `start`: its distance along the axis
// the wheel moves it on, from the plane through the origin, divided by the scale.
inline QVector3D zoomed(Viewport kind, QVector3D start, double scale)
{
    const QVector3D axis = zoomAxis(kind);
    const float along = QVector3D::dotProduct(start, axis) / QVector3D::dotProduct(axis, axis);
    return start + axis * along * float(1 / scale - 1);
}

inline QVector3D positionOf(Camera *camera)
{
    return QVector3D(camera->getPositionX(), camera->getPositionY(), camera->getPositionZ());
}

// Whether two camera positions agree to rounding: the camera's floats, and the 16 bits
// after the point that XInput gives a pinch's scale.
inline bool sameCamera(QVector3D a, QVector3D b)
{
    return (a - b).length() <= 1e-4f * qMax(1.0f, b.length());
}

inline QString describe(QVector3D position)
{
    return QString("(%1, %2, %3)").arg(position.x()).arg(position.y()).arg(position.z());
}

// Compares camera positions to float rounding.
#define COMPARE_CAMERA(actual, expected)                                                                     \
    QVERIFY2(sameCamera(actual, expected),                                                                   \
             qPrintable("camera at " + describe(actual) + ", expected " + describe(expected)))

// Lets a test drive the OpenGL hooks directly, for sizes no window can take.
class ProbeWidget : public GLWidget
{
public:
    using GLWidget::GLWidget;
    using GLWidget::paintGL;
    using GLWidget::resizeGL;
};

// One viewport as a window of its own, with its own scene and camera.
struct ViewportFixture
{
    explicit ViewportFixture(Viewport kind, QSize size = QSize(400, 300))
        : scene(new Scene)
        , camera(presetCamera(kind))
        , widget(new ProbeWidget(kind, scene.get(), camera.get()))
    {
        widget->resize(size);
        widget->show();
    }

    bool waitForSurface()
    {
        return QTest::qWaitForWindowExposed(widget.get())
            && QTest::qWaitFor([this] { return widget->getSurface()->isExposed(); });
    }

    std::unique_ptr<Scene> scene;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<ProbeWidget> widget;
};

// The window around a viewport, as the main window is: it holds the focus until the
// test gives it to the view, and records which input events the view passed on.
class ViewportHost : public QWidget
{
public:
    QList<QEvent::Type> received;

    // Lays the viewport out over the whole window, shows and activates the window and
    // waits until the viewport can present.
    bool host(GLWidget *viewport, QSize size = QSize(400, 300))
    {
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(viewport);
        resize(size);
        setFocus();
        show();
        // Focus only shows in the active window.
        activateWindow();
        if (!QTest::qWaitForWindowActive(this)
            || !QTest::qWaitFor([viewport] { return viewport->getSurface()->isExposed(); }))
            return false;
        QCoreApplication::processEvents();
        return true;
    }

protected:
    bool event(QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            received.append(event->type());
            break;
        default:
            break;
        }
        return QWidget::event(event);
    }
};

#endif // GLPROBE_H
