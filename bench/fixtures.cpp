#include "fixtures.h"

#include "desk.h"
#include "framesanswered.h"
#include "glprobe.h"
#include "tools.h"

#include <QLayout>

#include <GL/gl.h>

#include <algorithm>
#include <memory>

Desk &desk()
{
    static const std::unique_ptr<Desk> desk = [] {
        std::unique_ptr<Desk> created = Desk::create();
        if (!created->start())
            qFatal("%s: the pointer did not start", qPrintable(created->name()));
        return created;
    }();
    return *desk;
}

qint64 checked(qint64 sent, const char *what)
{
    if (sent < 0)
        qFatal("the desk failed at %s", what);
    return sent;
}

void finishFrame(GLSurface *surface)
{
    surface->makeCurrent();
    glFinish();
}

MaximisedViewer::MaximisedViewer(QSize viewportSize)
{
    window.show();
    widget = viewportOf(&window, VP_PERSPECTIVE);
    const bool shown = Tools::waitFor([&] { return widget->getSurface()->isExposed(); }, 10000);
    if (shown)
        emit widget->switchView();
    // The layout settles asynchronously; nudge the window until the viewport fits.
    if (!shown || !Tools::waitFor([&] { return widget->isVisible() && viewportOf(&window, VP_TOP)->isHidden(); }, 10000)
        || !Tools::waitFor([&] {
               if (widget->size() != viewportSize) {
                   window.centralWidget()->layout()->activate();
                   window.resize(window.size() + viewportSize - widget->size());
                   return false;
               }
               return widget->getSurface()->size() == viewportSize && widget->getSurface()->isExposed();
           }, 10000, 10))
        qFatal("quadview's window did not reach %dx%d (viewport %dx%d, surface %dx%d)", viewportSize.width(),
               viewportSize.height(), widget->width(), widget->height(), widget->getSurface()->width(),
               widget->getSurface()->height());
}

MaximisedViewer::~MaximisedViewer()
{
    awaitFramesAnsweredBeforeQt65(&window);
}

ShownViewer::ShownViewer()
{
    window.move(0, 0);
    window.show();
    const QList<GLWidget *> views = window.findChildren<GLWidget *>();
    if (!Tools::waitFor([&] {
            return std::all_of(views.begin(), views.end(), [](GLWidget *w) { return w->getSurface()->isExposed(); });
        }, 10000))
        qFatal("quadview's window did not show");
    if (!desk().waitForPlacement(&window))
        qFatal("the desktop never showed quadview's window at the size Qt gave it");
    // What the desktop does with a new window (its frames, its animations) is over.
    Tools::handleEventsFor(200);
}

ShownViewer::~ShownViewer()
{
    awaitFramesAnsweredBeforeQt65(&window);
}

Arrangement arrangementOf(MainWindow &window, GLWidget *dragged)
{
    Arrangement arrangement{window.size(), {}, -1};
    for (GLWidget *view : window.findChildren<GLWidget *>()) {
        if (view == dragged)
            arrangement.dragged = int(arrangement.views.size());
        arrangement.views.append(QRect(view->mapTo(&window, QPoint(0, 0)), view->size()));
    }
    return arrangement;
}
