#ifndef FLOORWINDOW_H
#define FLOORWINDOW_H

#include <QColor>
#include <QWindow>

#include <memory>

class Camera;
class QOpenGLContext;
class Scene;

// The least any toolkit can do for one viewport: a bare native window with its own
// OpenGL context that draws and swaps, with no widget, no backing store and no
// event handling in between. With no scene it only clears.
class FloorWindow : public QWindow
{
    Q_OBJECT

public:
    FloorWindow(Scene *scene, Camera *camera, QColor clearColor, QWindow *parent = nullptr);
    ~FloorWindow() override;

    // Draws one frame, presents it and waits until OpenGL has finished.
    void renderNow();

protected:
    void exposeEvent(QExposeEvent *event) override;

private:
    Scene *m_scene;
    Camera *m_camera;
    QColor m_clearColor;
    std::unique_ptr<QOpenGLContext> m_context;
};

#endif // FLOORWINDOW_H
