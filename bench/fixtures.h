#ifndef FIXTURES_H
#define FIXTURES_H

#include "mainwindow.h"

#include <QList>
#include <QRect>
#include <QSize>

class Desk;
class GLSurface;
class GLWidget;

// The desktop the drags and catch-ups go through, started at its first use.
Desk &desk();
// What the desk returned; the run ends where it failed.
qint64 checked(qint64 sent, const char *what);
// Waits until OpenGL has finished the surface's frame.
void finishFrame(GLSurface *surface);

// quadview's main window with its perspective view maximised and sized exactly.
struct MaximisedViewer
{
    explicit MaximisedViewer(QSize viewportSize);
    ~MaximisedViewer();

    MainWindow window;
    GLWidget *widget = nullptr;
};

// quadview's main window at the top left, its four views drawn and the desktop showing
// it at the size Qt gave it.
struct ShownViewer
{
    ShownViewer();
    ~ShownViewer();

    MainWindow window;
};

// Where quadview's views are: the window's size, and each view's place in it.
struct Arrangement
{
    QSize window;
    QList<QRect> views;
    int dragged = -1;
};

Arrangement arrangementOf(MainWindow &window, GLWidget *dragged);

#endif // FIXTURES_H
