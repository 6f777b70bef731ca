#ifndef FRAMESANSWERED_H
#define FRAMESANSWERED_H

#include "glsurface.h"
#include "glwidget.h"
#include "tools.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QList>
#include <QVersionNumber>

// Qt's Wayland platform before 6.5 can destroy a frame callback twice, once on its frame
// thread as the compositor's answer comes in and once on the main thread as the surface
// is hidden or destroyed; libwayland then aborts ("wl_proxy_unref: Assertion
// `proxy->refcount > 0' failed"; mended in qtwayland change 445585). A harness closes a
// window the moment it has what it checked, often within a frame of a swap, so it waits
// first until the last frame of every view shown has been answered: an update request
// asked for while a frame is unanswered comes once the answer has been handled.
inline void awaitFramesAnsweredBeforeQt65(const QWidget *window)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
        || QLibraryInfo::version() >= QVersionNumber(6, 5))
        return;
    struct Answers : QObject
    {
        QList<QObject *> waiting;
        int swaps = 0;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::UpdateRequest)
                waiting.removeAll(watched);
            return false;
        }
    } answers;
    QList<GLSurface *> surfaces;
    for (GLWidget *view : window->findChildren<GLWidget *>()) {
        if (!view->isVisible())
            continue;
        surfaces.append(view->getSurface());
        surfaces.last()->installEventFilter(&answers);
        QObject::connect(surfaces.last(), &GLSurface::frameSwapped, &answers, [&] { ++answers.swaps; });
    }
    // An answered frame may have brought an owed one; a surface the compositor no
    // longer shows is never answered.
    for (int round = 0; round < 5; ++round) {
        answers.swaps = 0;
        answers.waiting.clear();
        for (GLSurface *surface : surfaces) {
            answers.waiting.append(surface);
            surface->requestUpdate();
        }
        if (!Tools::waitFor([&] { return answers.waiting.isEmpty(); }, 1000) || answers.swaps == 0)
            return;
    }
}

#endif // FRAMESANSWERED_H
