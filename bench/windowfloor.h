#ifndef WINDOWFLOOR_H
#define WINDOWFLOOR_H

#include "dragfloor.h"
#include "fixtures.h"
#include "scene.h"

#include <memory>
#include <utility>
#include <vector>

// A floor for what quadview's window does under a desktop: a bare window the size of
// the dragged view, or one of quadview's structure, a toplevel with a native OpenGL
// surface in place of each view, all drawing the scene, the dragged one paced as
// quadview paces it. Neither has a widget, a layout or a backing store.
class WindowFloor
{
public:
    WindowFloor(const Arrangement &arrangement, bool structure);

    // The middle of the dragged surface, on the screen.
    QPoint anchor() const;

    DragFloor *dragged = nullptr;
    Camera *camera = nullptr;
    // The toplevel: the dragged surface itself, or the one around the four.
    QWindow *window = nullptr;
    // When each frame of the dragged surface was presented, and its camera's x.
    std::vector<std::pair<qint64, float>> swaps;

private:
    Scene m_scene;
    std::vector<std::unique_ptr<Camera>> m_cameras;
    // A Wayland compositor maps a toplevel only once it has drawn.
    FloorWindow m_toplevel{nullptr, nullptr, QColor(Qt::darkGray)};
    std::vector<std::unique_ptr<DragFloor>> m_surfaces;
};

#endif // WINDOWFLOOR_H
