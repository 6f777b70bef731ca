#include "swaplog.h"

#include "camera.h"
#include "glsurface.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "sampling.h"
#include "tools.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>

SwapLog::SwapLog(MainWindow &window)
    : m_views(window.findChildren<GLWidget *>())
{
    // The window is shown and settled: what each view shows now is on screen.
    for (GLWidget *view : m_views) {
        m_swaps.push_back({monotonicNs(), view, stateOf(view)});
        QObject::connect(view->getSurface(), &GLSurface::frameSwapped, &m_connections,
                         [this, view] { m_swaps.push_back({monotonicNs(), view, stateOf(view)}); });
    }
}

bool SwapLog::State::operator==(const State &other) const
{
    return size == other.size && qFuzzyCompare(ratio, other.ratio) && camera == other.camera;
}

SwapLog::State SwapLog::stateOf(GLWidget *view)
{
    const Camera *camera = view->getCamera();
    return {view->getSurface()->size(), view->getSurface()->devicePixelRatio(),
            QVector3D(camera->getPositionX(), camera->getPositionY(), camera->getPositionZ())};
}

// Until no frame has come for half a second (20 s at most).
void SwapLog::waitForQuiet()
{
    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.start(500);
    size_t seen = m_swaps.size();
    Tools::waitFor([&] {
        if (m_swaps.size() != seen) {
            seen = m_swaps.size();
            quiet.start(500);
        }
        return !quiet.isActive();
    }, 20000);
}

double SwapLog::catchUp(qint64 since, bool pictureKept)
{
    waitForQuiet();
    double latest = 0;
    for (GLWidget *view : m_views) {
        if (!view->isVisible())
            continue;
        const State now = stateOf(view);
        // The screen shows the view's state from the first frame of the last run of
        // frames that show it; from before `since` where no frame since showed another.
        const Swap *before = nullptr, *settled = nullptr;
        bool changedSince = false;
        for (const Swap &swap : m_swaps) {
            if (swap.view != view)
                continue;
            if (swap.ns < since) {
                before = &swap;
                continue;
            }
            if (!(swap.state == now)) {
                changedSince = true;
                settled = nullptr;
            } else if (!settled) {
                settled = &swap;
            }
        }
        const bool shownBefore = pictureKept && before && before->state == now && !changedSince;
        if (shownBefore)
            continue;
        if (!settled) {
            const State last = before ? before->state : State{};
            std::fprintf(stderr,
                         "viewbench: view %d shows %dx%d at %g, camera (%g, %g, %g), not %dx%d at %g, camera (%g, %g, %g)\n",
                         int(view->getViewport()), last.size.width(), last.size.height(), last.ratio, last.camera.x(),
                         last.camera.y(), last.camera.z(), now.size.width(), now.size.height(), now.ratio,
                         now.camera.x(), now.camera.y(), now.camera.z());
            return -1;
        }
        latest = std::max(latest, double(settled->ns - since) / 1e6);
    }
    return latest;
}
