#ifndef FLOORFRAME_H
#define FLOORFRAME_H

#include <QColor>
#include <QSize>

class Camera;
class Scene;

// One frame of the perspective viewport, drawn straight into the current context:
// what quadview's perspective view draws, without quadview around it. With no scene
// it only clears.
void drawFloorFrame(Scene *scene, const Camera *camera, QSize logicalSize, qreal ratio, QColor clearColor);

#endif // FLOORFRAME_H
