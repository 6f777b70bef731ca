#ifndef SETTLE_H
#define SETTLE_H

#include <QPoint>
#include <QSize>

#include <utility>
#include <vector>

class Camera;

// When each frame of the dragged view was presented (monotonic ns), and its camera's x.
using SwapTimes = std::vector<std::pair<qint64, float>>;

// A left drag through the desk at `hz` for `ms` from `anchor`, `distance` pixels to the
// right, over a view whose camera moves by -dx: milliseconds from the last motion event
// until the swap that presents the final camera.
double settleOf(QPoint anchor, int distance, Camera *camera, const SwapTimes &swaps, int hz, int ms);

// At least a pixel per event, so that every event at the given rate moves the camera;
// to the left where the screen has no room on the right, since a pointer held at the
// edge would end the drag short (the desktop places the floors where it likes).
int dragDistance(QSize view, QPoint anchor, int hz, int ms);

#endif // SETTLE_H
