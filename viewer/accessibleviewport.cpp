#include "accessibleviewport.h"

#include "glwidget.h"

AccessibleViewport::AccessibleViewport(GLWidget *viewport)
    : QAccessibleWidget(viewport, QAccessible::Graphic)
{
}

QAccessibleInterface *AccessibleViewport::create(const QString &, QObject *object)
{
    auto *viewport = qobject_cast<GLWidget *>(object);
    return viewport ? new AccessibleViewport(viewport) : nullptr;
}

int AccessibleViewport::childCount() const
{
    return 0;
}

QAccessibleInterface *AccessibleViewport::child(int) const
{
    return nullptr;
}

int AccessibleViewport::indexOfChild(const QAccessibleInterface *) const
{
    return -1;
}
