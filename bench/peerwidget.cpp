#include "peerwidget.h"

#include "glsurface.h"
#include "perspectiveframe.h"

PeerWidget::PeerWidget(Scene *scene, Camera *camera)
    : m_scene(scene)
    , m_camera(camera)
{
    setFormat(GLSurface::surfaceFormat());
}

void PeerWidget::paintGL()
{
    drawPerspectiveFrame(m_scene, m_camera, size(), devicePixelRatioF(), QColor(Qt::darkGray));
}
