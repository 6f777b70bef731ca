// How soon the picture catches up with a fast drag made through the display server
// (2 s at a mouse's usual 125 Hz, 0.6 s at 1000 Hz): the time from the last motion event
// to the swap that presents the final camera. Under a desktop, the same drags over the
// floors say what is the compositor's and what is quadview's.
#include "parts.h"

#include "camera.h"
#include "desk.h"
#include "fixtures.h"
#include "glprobe.h"
#include "sampling.h"
#include "settle.h"
#include "windowfloor.h"

namespace {

// A drag across quadview's front view.
double measureSettle(int hz, int ms, Arrangement *arrangement)
{
    ShownViewer viewer;
    GLWidget *front = viewportOf(&viewer.window, VP_FRONT);
    Camera *camera = front->getCamera();
    SwapTimes swaps;
    // Goes before swaps, with the connection: the viewer may present on as it closes.
    QObject recording;
    QObject::connect(front->getSurface(), &GLSurface::frameSwapped, &recording,
                     [&] { swaps.emplace_back(monotonicNs(), camera->getPositionX()); });
    *arrangement = arrangementOf(viewer.window, front);
    const QPoint anchor = desk().toScreen(front, QPoint(front->width() / 2, front->height() / 2));
    return settleOf(anchor, dragDistance(front->size(), anchor, hz, ms), camera, swaps, hz, ms);
}

double measureFloorSettle(const Arrangement &arrangement, bool structure, int hz, int ms)
{
    WindowFloor floor(arrangement, structure);
    const QPoint anchor = floor.anchor();
    return settleOf(anchor, dragDistance(floor.dragged->size(), anchor, hz, ms), floor.camera, floor.swaps, hz, ms);
}

} // namespace

QList<Row> measureDraggedFrame(const Options &options, double *settleBudget)
{
    ShownViewer viewer;
    GLWidget *front = viewportOf(&viewer.window, VP_FRONT);
    const Timing frame = summarise(timeFrames(options.quick ? 5 : 30, [&] { front->grabFramebuffer(); }));
    *settleBudget = 2 * frame.median + 1000.0 / 60;
    return {Row("view-frame/" + options.whereKey, "frame of the dragged view, paint and read back, " + options.where, "ms")
                .measured(frame)
                .against("budget for a frame at 60 Hz", 1000.0 / 60)};
}

QList<Row> measureDrags(const Options &options, double settleBudget, bool withFloors)
{
    QList<Row> rows;
    for (const auto &[hz, ms] : {std::pair{125, options.quick ? 200 : 2000}, std::pair{1000, options.quick ? 100 : 600}}) {
        Arrangement arrangement;
        Samples settles;
        for (int i = 0; i < options.drags; ++i)
            settles.push_back(measureSettle(hz, ms, &arrangement));
        const Timing settle = summarise(settles);
        const QString key = QString("settle/%1hz/%2/").arg(hz).arg(options.whereKey);
        const QString name = QString("drag settle, %1 Hz for %2 ms, %3").arg(hz).arg(ms).arg(options.where);
        rows << Row(key + "budget", name, "ms")
                    .measured(settle)
                    .against("budget: two frames and one refresh", settleBudget)
                    .target("<= 1.00");
        if (!withFloors)
            continue;
        // A bare window of the view's size, paced the same way, says how much of the time
        // is the compositor's; quadview's structure, four surfaces in one toplevel, is the
        // floor it is held to where the compositor itself holds frames back.
        const QSize viewSize = arrangement.views[arrangement.dragged].size();
        for (const bool structure : {false, true}) {
            Samples floor;
            for (int i = 0; i < options.drags; ++i)
                floor.push_back(measureFloorSettle(arrangement, structure, hz, ms));
            rows << Row(key + (structure ? "structure" : "one-surface"), name, "ms")
                        .measured(settle)
                        .against(structure ? QString("bare window of quadview's structure, four surfaces, same pacing")
                                           : QString("bare window, one surface of %1x%2, same pacing")
                                                 .arg(viewSize.width())
                                                 .arg(viewSize.height()),
                                 summarise(floor))
                        .target(structure ? "<= 1.20" : "");
        }
    }
    return rows;
}
