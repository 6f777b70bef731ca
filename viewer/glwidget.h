#ifndef GLWIDGET_H
#define GLWIDGET_H

#include "camera.h"
#include "glrenderer.h"

#include <QList>
#include <QPoint>
#include <QWidget>

class GLSurface;
class QNativeGestureEvent;
class QTouchEvent;
class Scene;

enum Viewport {
    VP_TOP = 1,
    VP_LEFT = 2,
    VP_FRONT = 3,
    VP_PERSPECTIVE = 4
};

// One viewport: it takes the input and moves its camera, and draws the scene through
// the OpenGL hooks its surface calls.
class GLWidget : public QWidget, public GLRenderer
{
    Q_OBJECT

public:
    GLWidget(Viewport viewport, Scene *scene, Camera *camera);
    ~GLWidget() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Shows the camera as it is now: painted and presented before returning on X11, at
    // the compositor's next frame under Wayland, and as soon as the viewport can be
    // presented again where it cannot now (see GLSurface).
    void updateGL();
    // Renders the current picture and returns it in device pixels.
    QImage grabFramebuffer();

    Viewport getViewport() const;
    Camera *getCamera() const;
    GLSurface *getSurface() const;

signals:
    void switchView();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:
    void panBy(int dx, int dy);
    void turnWheel(int delta);
    void zoomBy(double factor);
    void pinchEvent(QNativeGestureEvent *event);
    void touchEvent(QTouchEvent *event);
    bool setupCamera();
    float getOffset() const;

    Viewport m_viewport;
    Scene *m_scene;
    Camera *m_camera;
    // Where the camera started, for Home.
    const Camera m_home;
    int m_width = 0;
    int m_height = 0;
    QPoint m_lastPos;
    // Every wheel delta this viewport has taken, summed.
    qint64 m_wheelTravel = 0;
    // Whether a touchpad pinch has begun here and not yet ended, and the fingers'
    // scale since it began, as far as the camera follows it.
    bool m_pinching = false;
    double m_pinchScale = 1.0;
    // The fingers on the screen that the last touch event acted on, by id: one pans
    // from m_lastPos, two zoom by how far apart they are now against m_fingerDistance.
    QList<int> m_fingers;
    qreal m_fingerDistance = 0;
    // The physical key (its native scan code) of the last key press, and of the last
    // press that Qt's shortcut matching took for Alt+W; 0 for none.
    quint32 m_pressedKey = 0;
    quint32 m_switchKey = 0;
    GLSurface *m_surface;
};

#endif // GLWIDGET_H
