#ifndef ACCESSIBLEVIEWPORT_H
#define ACCESSIBLEVIEWPORT_H

#include <QAccessibleWidget>

class GLWidget;

// What a screen reader is told of a viewport: a picture with the name and
// description the viewport gave itself. The window it is drawn in is part of the
// picture, not a child of its own.
class AccessibleViewport : public QAccessibleWidget
{
public:
    explicit AccessibleViewport(GLWidget *viewport);

    // For QAccessible::installFactory.
    static QAccessibleInterface *create(const QString &className, QObject *object);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
};

#endif // ACCESSIBLEVIEWPORT_H
