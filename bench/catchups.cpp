// How soon the whole window shows its state again after the desktop disturbed it: the
// return of a workspace hidden in the middle of a drag, the arrival on another output
// (of another scale), the last of a burst of resizes during a drag, from the moment the
// window learns of it; and the share of a core quadview takes while hidden.
#include "parts.h"

#include "camera.h"
#include "desk.h"
#include "fixtures.h"
#include "glprobe.h"
#include "sampling.h"
#include "settle.h"
#include "swaplog.h"
#include "windowfloor.h"
#include "windownews.h"
#include "tools.h"

#include <QGuiApplication>

#include <optional>

namespace {

enum class Disturbance { HiddenWorkspace, OtherOutput, ResizeBurst };

// How soon the whole window showed its state again, in milliseconds, and the paint of
// its four views where it ended up (on another output, at another scale). For a hidden
// workspace also how soon a drag made after its return settled, and the share of a
// core the viewer took while hidden.
struct CatchUp
{
    double ms = 0;
    double fourViewsMs = 0;
    double dragBackMs = 0;
    double processorShareHidden = 0;
    Arrangement arrangement;
};

// A drag from `anchor` that goes on while the window is hidden: the share of a core
// this process takes meanwhile (where the events still arrive, the camera moves
// unseen, and the window only handles them); nothing where this desktop cannot hide it.
// The drag is released while hidden, so that what the return must show is known before
// it: an X11 window unmapped mid-drag has lost the drag's grab, and a release that came
// after the return would bring a camera of its own.
std::optional<double> shareWhileHiddenMidDrag(QWindow *window, QPoint anchor)
{
    checked(desk().button(true), "press");
    checked(desk().glide(anchor + QPoint(20, 10), 125, 200), "glide");
    if (!desk().hideWindow(window)) {
        checked(desk().button(false), "release");
        return std::nullopt;
    }
    trace("hidden");
    const qint64 wall = monotonicNs(), processor = processorNs();
    checked(desk().glide(anchor + QPoint(60, 30), 125, 400), "glide");
    const double share = double(processorNs() - processor) / double(monotonicNs() - wall);
    trace("release");
    checked(desk().button(false), "release");
    return share;
}

// The same for the floor of quadview's structure, its dragged surface where quadview's
// top view is.
double floorShareWhileHiddenMidDrag(const Arrangement &arrangement)
{
    WindowFloor floor(arrangement, true);
    const QPoint anchor = floor.anchor();
    checked(desk().moveTo(anchor), "move");
    const std::optional<double> share = shareWhileHiddenMidDrag(floor.window, anchor);
    if (!share || !desk().showWindow(floor.window))
        qFatal("the floor window did not hide and come back");
    return *share;
}

double paintFourViews(MainWindow &window, int frames)
{
    const QList<GLWidget *> views = window.findChildren<GLWidget *>();
    return summarise(timeFrames(frames, [&] {
        for (GLWidget *view : views)
            view->grabFramebuffer();
    })).median;
}

std::optional<CatchUp> measureCatchUp(Disturbance disturbance, int frames)
{
    CatchUp result;
    const bool hidden = disturbance == Disturbance::HiddenWorkspace;
    ShownViewer viewer;
    SwapLog log(viewer.window);
    GLWidget *top = viewportOf(&viewer.window, VP_TOP);
    SwapTimes topSwaps;
    // Goes before topSwaps, with the connection: the viewer may present on as it closes.
    QObject recording;
    if (hidden)
        QObject::connect(top->getSurface(), &GLSurface::frameSwapped, &recording,
                         [&] { topSwaps.emplace_back(monotonicNs(), top->getCamera()->getPositionX()); });
    const QPoint anchor = desk().toScreen(top, QPoint(top->width() / 2, top->height() / 2));
    checked(desk().moveTo(anchor), "move");
    WindowNews news(&viewer.window);
    qint64 since = -1;
    switch (disturbance) {
    case Disturbance::HiddenWorkspace: {
        const std::optional<double> share = shareWhileHiddenMidDrag(viewer.window.windowHandle(), anchor);
        if (!share)
            return std::nullopt;
        result.processorShareHidden = *share;
        result.arrangement = arrangementOf(viewer.window, top);
        news.clear();
        trace("return asked");
        if (!desk().showWindow(viewer.window.windowHandle()))
            qFatal("the window did not come back");
        if (!Tools::waitFor([&] { return news.exposed >= 0; }, 10000))
            qFatal("the window did not show again");
        since = news.exposed;
        break;
    }
    case Disturbance::OtherOutput:
        news.clear();
        if (QGuiApplication::screens().size() < 2 || !desk().moveToOtherOutput(&viewer.window, false))
            return std::nullopt;
        if (!Tools::waitFor([&] { return news.screenChanged >= 0; }, 10000))
            qFatal("the window never learnt of its new output");
        since = news.screenChanged;
        break;
    case Disturbance::ResizeBurst: {
        const QSize first = viewer.window.size();
        checked(desk().button(true), "press");
        if (!desk().startResizeBurst(&viewer.window, 100, 1500)) {
            checked(desk().button(false), "release");
            return std::nullopt;
        }
        checked(desk().glide(anchor + QPoint(40, 25), 125, 1500), "glide");
        trace("last resize asked");
        checked(desk().endResizeBurst(&viewer.window), "the end of the burst");
        // The end returns once the window has its first size again.
        since = news.resizedTo(first);
        if (since < 0)
            qFatal("the window took its first size again unseen");
        trace("release");
        checked(desk().button(false), "release");
        break;
    }
    }
    // An X server without a compositor keeps no picture of an unmapped window.
    const bool pictureKept = !(hidden && QGuiApplication::platformName() == "xcb");
    result.ms = log.catchUp(since, pictureKept);
    if (result.ms < 0)
        qFatal("a view never caught up with its state (disturbance %d)", int(disturbance));
    result.fourViewsMs = paintFourViews(viewer.window, frames);
    // Back again, in a drag of its own.
    if (hidden)
        result.dragBackMs = settleOf(anchor + QPoint(60, 30), -60, top->getCamera(), topSwaps, 125, 480);
    if (disturbance == Disturbance::OtherOutput && !desk().moveToOtherOutput(&viewer.window, true))
        qFatal("the window did not come back from the other output");
    return result;
}

} // namespace

QList<Row> measureCatchUps(const Options &options, double settleBudget)
{
    // A picture cannot come sooner than the compositor's next refresh (60 Hz) plus the
    // paint of the four views, where the window is then, at its scale then.
    const QString platform = QGuiApplication::platformName();
    QList<Row> rows;
    for (const auto &[disturbance, key, name] :
         {std::tuple{Disturbance::HiddenWorkspace, "hidden-workspace", "return of a workspace hidden mid-drag"},
          std::tuple{Disturbance::OtherOutput, "other-output", "arrival on another output (scale 1 to 2)"},
          std::tuple{Disturbance::ResizeBurst, "resize-burst", "last of a burst of resizes during a drag"}}) {
        const bool hidden = disturbance == Disturbance::HiddenWorkspace;
        Samples samples, fourViews, dragsBack, shares, floorShares;
        for (int i = 0; i < options.catchUps; ++i) {
            const std::optional<CatchUp> caught = measureCatchUp(disturbance, options.quick ? 5 : 20);
            if (!caught)
                continue;
            samples.push_back(caught->ms);
            fourViews.push_back(caught->fourViewsMs);
            if (hidden) {
                dragsBack.push_back(caught->dragBackMs);
                shares.push_back(100 * caught->processorShareHidden);
                floorShares.push_back(100 * floorShareWhileHiddenMidDrag(caught->arrangement));
            }
        }
        if (samples.empty())
            continue;
        rows << Row(QString("catch-up/%1/%2").arg(key, platform), QString("catch-up after the %1, %2").arg(name, platform), "ms")
                    .measured(summarise(samples))
                    .against("budget: one refresh plus the paint of four views", 1000.0 / 60 + summarise(fourViews).median)
                    .target("<= 1.00");
        if (!hidden)
            continue;
        const Timing share = summarise(shares);
        rows << Row("settle-after-hidden/" + platform,
                    "drag settle after the return of a hidden workspace, 125 Hz, " + platform, "ms")
                    .measured(summarise(dragsBack))
                    .against("budget: two frames and one refresh", settleBudget)
                    .target("<= 1.00")
             << Row("share-hidden/" + platform + "/target", "processor share while hidden, a 125 Hz drag, " + platform, "%")
                    .measured(share)
                    .against("target", 5)
                    .target("<= 1.00")
             << Row("share-hidden/" + platform + "/structure",
                    "processor share while hidden, a 125 Hz drag, " + platform, "%")
                    .measured(share)
                    .against("bare window of quadview's structure, four surfaces, same drag", summarise(floorShares));
    }
    return rows;
}
