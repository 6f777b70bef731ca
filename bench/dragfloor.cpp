#include "dragfloor.h"

#include "camera.h"
#include "glsurface.h"

#include <QMouseEvent>

DragFloor::DragFloor(Scene *scene, Camera *camera, QWindow *parent)
    : FloorWindow(scene, camera, QColor(Qt::darkGray), parent)
    , m_camera(camera)
{
    installEventFilter(this);
}

void DragFloor::takeDragsFrom(QWindow *source)
{
    GLSurface::makeTransparentForInput(this);
    source->installEventFilter(this);
}

bool DragFloor::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseMove)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint pos = mouse->position().toPoint();
    if (event->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
        m_camera->moveBy(float(m_last.x() - pos.x()), float(pos.y() - m_last.y()), 0.0f);
        requestUpdate();
    }
    m_last = pos;
    return false;
}

bool DragFloor::event(QEvent *event)
{
    if (event->type() != QEvent::UpdateRequest)
        return FloorWindow::event(event);
    renderNow();
    if (swapped)
        swapped();
    return true;
}
