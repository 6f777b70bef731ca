#include "peerwidget.h"

#include "glsurface.h"
#include "floorframe.h"

PeerWidget::PeerWidget(Scene *scene, Camera *camera)
    : m_scene(scene)
    , m_camera(camera)
{
    setFormat(GLSurface::surfaceFormat());
}

void PeerWidget::paintGL()
{
    drawFloorFrame(m_scene, m_camera, size(), devicePixelRatioF(), QColor(Qt::darkGray));
}
