#include "settle.h"

#include "camera.h"
#include "desk.h"
#include "fixtures.h"
#include "sampling.h"
#include "tools.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdio>

double settleOf(QPoint anchor, int distance, Camera *camera, const SwapTimes &swaps, int hz, int ms)
{
    float finalX = camera->getPositionX() - float(distance);
    checked(desk().moveTo(anchor), "move");
    checked(desk().button(true), "press");
    const qint64 lastMotion = checked(desk().glide(anchor + QPoint(distance, 0), hz, ms), "glide");
    traceAt(lastMotion, "last motion sent");
    const auto presented = [&] {
        return std::find_if(swaps.begin(), swaps.end(), [&](const auto &swap) { return swap.second == finalX; });
    };
    // Where motions were lost on the way (under mutter 43 at scale 2, some of a 1000 Hz
    // drag's, for the floors as for quadview), the drag ends where the camera stopped.
    if (!Tools::waitFor([&] { return presented() != swaps.end(); }, 10000)) {
        std::fprintf(stderr, "viewbench: a %d Hz drag stopped %g px short of its end; timed to where it stopped\n", hz,
                     double(std::abs(camera->getPositionX() - finalX)));
        finalX = camera->getPositionX();
    }
    if (!Tools::waitFor([&] { return presented() != swaps.end(); }, 10000))
        qFatal("the final picture of a %d Hz drag never showed (camera at %g)", hz, double(camera->getPositionX()));
    checked(desk().button(false), "release");
    return std::max(0.0, double(presented()->first - lastMotion) / 1e6);
}

int dragDistance(QSize view, QPoint anchor, int hz, int ms)
{
    const int distance = std::max(view.width() / 3, hz * ms / 1000);
    const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
    return anchor.x() + distance < screen.right() ? distance : -distance;
}
