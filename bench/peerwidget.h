#ifndef PEERWIDGET_H
#define PEERWIDGET_H

#include <QOpenGLWidget>

class Camera;
class Scene;

// The usual Qt 6 route, kept only for comparison: the same perspective frame drawn
// by a QOpenGLWidget, which renders into a framebuffer object that Qt then
// composites into the window.
class PeerWidget : public QOpenGLWidget
{
    Q_OBJECT

public:
    PeerWidget(Scene *scene, Camera *camera);

protected:
    void paintGL() override;

private:
    Scene *m_scene;
    Camera *m_camera;
};

#endif // PEERWIDGET_H
