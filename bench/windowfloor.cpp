#include "windowfloor.h"

#include "camera.h"
#include "desk.h"
#include "sampling.h"
#include "tools.h"

#include <algorithm>

WindowFloor::WindowFloor(const Arrangement &arrangement, bool structure)
{
    // Qt 6.4's Wayland platform exposes an embedded window that is placed while the
    // window around it shows, so the toplevel comes first.
    if (structure) {
        m_toplevel.resize(arrangement.window);
        m_toplevel.show();
        if (!Tools::waitFor([&] { return m_toplevel.isExposed(); }, 10000))
            qFatal("the floor's toplevel did not show");
    }
    const QList<QRect> places = structure ? arrangement.views : QList<QRect>{arrangement.views[arrangement.dragged]};
    for (const QRect &place : places) {
        m_cameras.push_back(std::unique_ptr<Camera>(MainWindow::createCamera(0, 1)));
        m_surfaces.push_back(std::make_unique<DragFloor>(&m_scene, m_cameras.back().get(), structure ? &m_toplevel : nullptr));
        if (structure) {
            m_surfaces.back()->takeDragsFrom(&m_toplevel);
            m_surfaces.back()->show();
            m_surfaces.back()->setGeometry(place);
        } else {
            m_surfaces.back()->resize(place.size());
            m_surfaces.back()->show();
        }
    }
    const size_t index = structure ? size_t(arrangement.dragged) : 0;
    dragged = m_surfaces[index].get();
    camera = m_cameras[index].get();
    window = structure ? static_cast<QWindow *>(&m_toplevel) : dragged;
    dragged->swapped = [this] { swaps.emplace_back(monotonicNs(), camera->getPositionX()); };
    if (!Tools::waitFor([&] {
            return std::all_of(m_surfaces.begin(), m_surfaces.end(), [](auto &s) { return s->isExposed(); });
        }, 10000)
        || !desk().waitForPlacement(window))
        qFatal("the floor window (%s) did not show", structure ? "four surfaces" : "one surface");
    Tools::handleEventsFor(200);
}

QPoint WindowFloor::anchor() const
{
    const QPoint middle(dragged->width() / 2, dragged->height() / 2);
    return desk().toScreen(window, (window == dragged ? QPoint() : dragged->position()) + middle);
}
