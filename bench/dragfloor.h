#ifndef DRAGFLOOR_H
#define DRAGFLOOR_H

#include "floorwindow.h"

#include <QPoint>

#include <functional>

// The floor for a drag under a compositor: one bare surface showing the scene, its
// camera moved as quadview's front view moves its own, paced as quadview paces a view:
// one update request per motion, served at the compositor's next frame with the newest
// camera.
class DragFloor : public FloorWindow
{
    Q_OBJECT

public:
    DragFloor(Scene *scene, Camera *camera, QWindow *parent = nullptr);

    // Called after each frame it presents.
    std::function<void()> swapped;

    // Takes no input of its own, as quadview's surfaces take none: the drag comes from
    // `source`, the window around it.
    void takeDragsFrom(QWindow *source);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    Camera *m_camera;
    QPoint m_last;
};

#endif // DRAGFLOOR_H
