// quadview's benchmark: frame time, input cost, start-up and memory, each beside the
// floor it is judged against, measured in one run on the display it is given.
//
//   viewbench [--quick] [--settle-only | --drags-only] [--json FILE]
//
// --quick runs a short pass (a smoke test of the harness; its figures mean little).
// --settle-only measures only how soon the picture catches up: with a fast drag, with
// the window's return from a hidden workspace, its arrival on another output and the
// last of a burst of resizes, the part that also means something under a Wayland
// compositor. --drags-only measures the drags alone, beside the frame time of the
// dragged view, for a run under each desktop and scale.

#include "camera.h"
#include "floorwindow.h"
#include "glsurface.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "desk.h"
#include "peerwidget.h"
#include "scene.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

// The harness's own steps, in the frame trace's form (QT_LOGGING_RULES="quadview.*.debug=true").
Q_LOGGING_CATEGORY(lcBench, "quadview.bench", QtWarningMsg)

namespace {

using Samples = std::vector<double>;

struct Timing
{
    double median = 0;
    double p90 = 0;
};

struct Figure
{
    QString name;
    QString unit;
    double value;
    double p90;     // 0 where it does not apply
    QString floorName;
    double floor;
    QString target; // e.g. "<= 1.10"
    bool difference = false; // compared as value - floor rather than value / floor
    double floorP90 = 0;     // where the floor is measured in samples too
};

double percentile(std::vector<double> samples, double fraction)
{
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, size_t(fraction * double(samples.size() - 1) + 0.5));
    return samples[index];
}

Timing summarise(const Samples &samples)
{
    return {percentile(samples, 0.5), percentile(samples, 0.9)};
}

Samples timeFrames(int frames, const std::function<void()> &frame)
{
    for (int i = 0; i < std::max(5, frames / 10); ++i) {
        frame();
        QCoreApplication::processEvents();
    }
    Samples samples;
    QElapsedTimer timer;
    for (int i = 0; i < frames; ++i) {
        // Events are handled between frames, never inside the timed part.
        QCoreApplication::processEvents();
        timer.start();
        frame();
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return samples;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

GLWidget *viewportOf(MainWindow &window, Viewport kind)
{
    for (GLWidget *widget : window.findChildren<GLWidget *>())
        if (widget->getViewport() == kind)
            return widget;
    return nullptr;
}

void finishFrame(GLSurface *surface)
{
    surface->makeCurrent();
    glFinish();
}

// quadview's main window with its perspective view maximised and sized exactly.
struct MaximisedViewer
{
    MainWindow window;
    GLWidget *widget = nullptr;

    explicit MaximisedViewer(QSize viewportSize)
    {
        if (!setUp(viewportSize))
            qFatal("quadview's window did not reach %dx%d (viewport %dx%d, surface %dx%d)", viewportSize.width(),
                   viewportSize.height(), widget->width(), widget->height(), widget->getSurface()->width(),
                   widget->getSurface()->height());
    }

private:
    bool setUp(QSize viewportSize)
    {
        window.show();
        widget = viewportOf(window, VP_PERSPECTIVE);
        if (!waitFor([&] { return widget->getSurface()->isExposed(); }))
            return false;
        emit widget->switchView();
        if (!waitFor([&] { return widget->isVisible() && viewportOf(window, VP_TOP)->isHidden(); }))
            return false;
        // The layout settles asynchronously; nudge the window until the viewport fits.
        return waitFor([&] {
            if (widget->size() != viewportSize) {
                window.centralWidget()->layout()->activate();
                window.resize(window.size() + viewportSize - widget->size());
                return false;
            }
            return widget->getSurface()->size() == viewportSize && widget->getSurface()->isExposed();
        });
    }
};

Samples timeUpdates(GLWidget *widget, int frames)
{
    return timeFrames(frames, [&] {
        widget->updateGL();
        finishFrame(widget->getSurface());
    });
}

Samples measureViewer(QSize size, int frames)
{
    MaximisedViewer viewer(size);
    return timeUpdates(viewer.widget, frames);
}

Samples measureGridViewport(int frames, QSize *size)
{
    MainWindow window;
    window.show();
    GLWidget *widget = viewportOf(window, VP_PERSPECTIVE);
    if (!waitFor([&] { return widget->getSurface()->isExposed(); }))
        qFatal("quadview's window did not show");
    *size = widget->size();
    return timeUpdates(widget, frames);
}

Samples measureDragStep(QSize size, int frames)
{
    MaximisedViewer viewer(size);
    GLWidget *widget = viewer.widget;
    const QPointF anchor(size.width() / 2, size.height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, anchor, widget->mapToGlobal(anchor), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    // One pixel right, then back: the camera swings and never drifts away.
    int step = 0;
    return timeFrames(frames, [&] {
        const QPointF pos = anchor + QPointF((step++ % 2) ? 0 : 1, 0);
        QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
        finishFrame(widget->getSurface());
    });
}

Samples measureFloor(QSize size, int frames, bool drawScene)
{
    Scene scene;
    std::unique_ptr<Camera> camera(MainWindow::createCamera(1, 1));
    FloorWindow window(drawScene ? &scene : nullptr, camera.get(), QColor(Qt::darkGray));
    window.resize(size);
    window.show();
    if (!waitFor([&] { return window.isExposed() && window.size() == size; }))
        qFatal("the floor window did not show");
    return timeFrames(frames, [&] { window.renderNow(); });
}

Samples measurePeer(QSize size, int frames)
{
    Scene scene;
    std::unique_ptr<Camera> camera(MainWindow::createCamera(1, 1));
    PeerWidget widget(&scene, camera.get());
    widget.resize(size);
    widget.show();
    int swaps = 0;
    QObject::connect(&widget, &QOpenGLWidget::frameSwapped, [&] { ++swaps; });
    if (!waitFor([&] { return swaps > 0 && widget.size() == size; }))
        qFatal("the composited widget did not show");
    return timeFrames(frames, [&] {
        // repaint() may be turned into a deferred update; a frame counts once presented.
        const int before = swaps;
        widget.repaint();
        while (swaps == before)
            QCoreApplication::processEvents();
        widget.makeCurrent();
        glFinish();
    });
}

struct Launch
{
    double startupMs = 0;
    double peakMiB = 0;
};

// Medians over several launches, observed from outside by framewatch.
Launch measureLaunches(const QStringList &command, int launches)
{
    const QString dir = QCoreApplication::applicationDirPath();
    Samples startup, memory;
    for (int i = 0; i < launches; ++i) {
        QProcess watcher;
        watcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        watcher.start(dir + "/framewatch", QStringList{"--settle", "200", "--"} + command);
        if (!watcher.waitForFinished(60000) || watcher.exitCode() != 0)
            qFatal("framewatch failed for %s", qPrintable(command.join(' ')));
        const QJsonObject result = QJsonDocument::fromJson(watcher.readAllStandardOutput()).object();
        startup.push_back(result.value("startup_ms").toDouble());
        memory.push_back(result.value("peak_rss_kib").toDouble() / 1024.0);
    }
    return {percentile(startup, 0.5), percentile(memory, 0.5)};
}

qint64 nanosecondsOf(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 monotonicNs()
{
    return nanosecondsOf(CLOCK_MONOTONIC);
}

void trace(const char *step)
{
    qCDebug(lcBench, "%.3f bench %s", double(monotonicNs()) / 1e6, step);
}

// The moment the display server's news of the window reaches the program: the window
// shown again, its last configure at a size, its arrival on another screen. What a
// user sees starts there; the time a tool takes to ask for it is the harness's.
class WindowNews : public QObject
{
public:
    explicit WindowNews(QWidget *window)
        : m_window(window->windowHandle())
    {
        m_window->installEventFilter(this);
        QObject::connect(m_window, &QWindow::screenChanged, this, [this] {
            screenChanged = monotonicNs();
            trace("screen changed");
        });
    }

    // From now on, only what comes after counts.
    void clear()
    {
        exposed = screenChanged = -1;
        m_resizes.clear();
    }
    // The last time the window took the size, or -1.
    qint64 resizedTo(QSize size) const { return m_resizes.value(size, -1); }

    qint64 exposed = -1;
    qint64 screenChanged = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Expose && m_window->isExposed() && exposed < 0) {
            exposed = monotonicNs();
            trace("window exposed");
        } else if (watched == m_window && event->type() == QEvent::Resize) {
            m_resizes.insert(m_window->size(), monotonicNs());
            trace("window resized");
        }
        return false;
    }

private:
    QWindow *m_window;
    QHash<QSize, qint64> m_resizes;
};

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

// quadview's main window at the top left, its four views drawn.
struct ShownViewer
{
    MainWindow window;

    ShownViewer()
    {
        window.move(0, 0);
        window.show();
        if (!waitFor([&] {
                const QList<GLWidget *> all = window.findChildren<GLWidget *>();
                return std::all_of(all.begin(), all.end(), [](GLWidget *w) { return w->getSurface()->isExposed(); });
            }))
            qFatal("quadview's window did not show");
        if (!desk().waitForPlacement(&window))
            qFatal("the desktop never showed quadview's window at the size Qt gave it");
        QThread::msleep(200);
        QCoreApplication::processEvents();
    }
};

// The floor for a drag under a compositor: one bare surface showing the scene, its
// camera moved as quadview's front view moves its own, paced as quadview paces a view:
// one update request per motion, served at the compositor's next frame with the newest
// camera.
class DragFloor : public FloorWindow
{
public:
    DragFloor(Scene *scene, Camera *camera, QWindow *parent = nullptr)
        : FloorWindow(scene, camera, QColor(Qt::darkGray), parent)
        , m_camera(camera)
    {
        installEventFilter(this);
    }

    std::function<void()> swapped;

    // Takes no input of its own, as quadview's surfaces take none: the drag comes from
    // `source`, the window around it.
    void takeDragsFrom(QWindow *source)
    {
        setFlag(Qt::WindowTransparentForInput);
        // Qt's Wayland platform before 6.6.2 leaves a surface its input all the same.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            setMask(QRegion(-1, -1, 1, 1));
        source->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseMove)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint pos = mouse->position().toPoint();
        if (event->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
            m_camera->moveBy(float(m_last.x() - pos.x()), float(pos.y() - m_last.y()), 0.0f);
            requestUpdate();
        }
        m_last = pos;
        return false;
    }

    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::UpdateRequest)
            return FloorWindow::event(event);
        renderNow();
        if (swapped)
            swapped();
        return true;
    }

private:
    Camera *m_camera;
    QPoint m_last;
};

// A left drag at the given rate from `anchor`, `distance` pixels to the right, over
// a view whose camera moves by -dx: milliseconds from the last motion event until the
// swap that presents the final camera. `swaps` holds (time, camera x) of each swap.
double settleOf(QPoint anchor, int distance, Camera *camera, const std::vector<std::pair<qint64, float>> &swaps,
                int hz, int ms)
{
    float finalX = camera->getPositionX() - float(distance);
    checked(desk().moveTo(anchor), "move");
    checked(desk().button(true), "press");
    const qint64 lastMotion = checked(desk().glide(anchor + QPoint(distance, 0), hz, ms), "glide");
    const auto presented = [&] {
        return std::find_if(swaps.begin(), swaps.end(), [&](const auto &swap) { return swap.second == finalX; });
    };
    // Where motions were lost on the way (under mutter 43 at scale 2, some of a 1000 Hz
    // drag's, for the floors as for quadview), the drag ends where the camera stopped.
    if (!waitFor([&] { return presented() != swaps.end(); }, 10000)) {
        std::fprintf(stderr, "viewbench: a %d Hz drag stopped %g px short of its end; timed to where it stopped\n", hz,
                     double(std::abs(camera->getPositionX() - finalX)));
        finalX = camera->getPositionX();
    }
    if (!waitFor([&] { return presented() != swaps.end(); }, 10000))
        qFatal("the final picture of a %d Hz drag never showed (camera at %g)", hz, camera->getPositionX());
    checked(desk().button(false), "release");
    return std::max(0.0, double(presented()->first - lastMotion) / 1e6);
}

// At least a pixel per event, so that every event at the given rate moves the camera;
// to the left where the screen has no room on the right, since a pointer held at the
// edge would end the drag short (the desktop places the floors where it likes).
int dragDistance(QSize view, QPoint anchor, int hz, int ms)
{
    const int distance = std::max(view.width() / 3, hz * ms / 1000);
    const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
    return anchor.x() + distance < screen.right() ? distance : -distance;
}

// Where quadview's views are: the window's size, and each view's place in it.
struct Arrangement
{
    QSize window;
    QList<QRect> views;
    int dragged = -1;
};

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

// A drag across quadview's front view.
double measureSettle(int hz, int ms, Arrangement *arrangement = nullptr)
{
    ShownViewer viewer;
    GLWidget *front = viewportOf(viewer.window, VP_FRONT);
    Camera *camera = front->getCamera();
    std::vector<std::pair<qint64, float>> swaps;
    QObject::connect(front->getSurface(), &GLSurface::frameSwapped,
                     [&] { swaps.emplace_back(monotonicNs(), camera->getPositionX()); });
    if (arrangement)
        *arrangement = arrangementOf(viewer.window, front);
    const QPoint anchor = desk().toScreen(front, QPoint(front->width() / 2, front->height() / 2));
    return settleOf(anchor, dragDistance(front->size(), anchor, hz, ms), camera, swaps, hz, ms);
}

// A floor for what quadview's window does under a desktop: a bare window the size of
// the dragged view, or one of quadview's structure, a toplevel with a native OpenGL
// surface in place of each view, all drawing the scene, the dragged one paced as
// quadview paces it. Neither has a widget, a layout or a backing store.
struct Floor
{
    Scene scene;
    std::vector<std::unique_ptr<Camera>> cameras;
    // A Wayland compositor maps a toplevel only once it has drawn.
    FloorWindow toplevel{nullptr, nullptr, QColor(Qt::darkGray)};
    std::vector<std::unique_ptr<DragFloor>> surfaces;
    DragFloor *dragged = nullptr;
    Camera *camera = nullptr;
    QWindow *window = nullptr;
    std::vector<std::pair<qint64, float>> swaps;

    Floor(const Arrangement &arrangement, bool structure)
    {
        // Qt 6.4's Wayland platform exposes an embedded window that is placed while the
        // window around it shows, so the toplevel comes first.
        if (structure) {
            toplevel.resize(arrangement.window);
            toplevel.show();
            if (!waitFor([&] { return toplevel.isExposed(); }))
                qFatal("the floor's toplevel did not show");
        }
        const QList<QRect> places = structure ? arrangement.views : QList<QRect>{arrangement.views[arrangement.dragged]};
        for (const QRect &place : places) {
            cameras.push_back(std::unique_ptr<Camera>(MainWindow::createCamera(0, 1)));
            surfaces.push_back(std::make_unique<DragFloor>(&scene, cameras.back().get(), structure ? &toplevel : nullptr));
            if (structure) {
                surfaces.back()->takeDragsFrom(&toplevel);
                surfaces.back()->show();
                surfaces.back()->setGeometry(place);
            } else {
                surfaces.back()->resize(place.size());
                surfaces.back()->show();
            }
        }
        const size_t index = structure ? size_t(arrangement.dragged) : 0;
        dragged = surfaces[index].get();
        camera = cameras[index].get();
        window = structure ? static_cast<QWindow *>(&toplevel) : dragged;
        dragged->swapped = [this] { swaps.emplace_back(monotonicNs(), camera->getPositionX()); };
        if (!waitFor([&] { return std::all_of(surfaces.begin(), surfaces.end(), [](auto &s) { return s->isExposed(); }); })
            || !desk().waitForPlacement(window))
            qFatal("the floor window (%s) did not show", structure ? "four surfaces" : "one surface");
        QThread::msleep(200);
        QCoreApplication::processEvents();
    }

    // The middle of the dragged surface, on the screen.
    QPoint anchor() const
    {
        const QPoint middle(dragged->width() / 2, dragged->height() / 2);
        return desk().toScreen(window, (window == dragged ? QPoint() : dragged->position()) + middle);
    }
};

double measureFloorSettle(const Arrangement &arrangement, bool structure, int hz, int ms)
{
    Floor floor(arrangement, structure);
    const QPoint anchor = floor.anchor();
    return settleOf(anchor, dragDistance(floor.dragged->size(), anchor, hz, ms), floor.camera, floor.swaps, hz, ms);
}

Samples measureSettles(int hz, int ms, int drags, Arrangement *arrangement = nullptr)
{
    Samples samples;
    for (int i = 0; i < drags; ++i)
        samples.push_back(measureSettle(hz, ms, arrangement));
    return samples;
}

// Every frame every view of a window presents, with what it showed.
class SwapLog
{
public:
    explicit SwapLog(MainWindow &window)
        : m_views(window.findChildren<GLWidget *>())
    {
        // The window is shown and settled: what each view shows now is on screen.
        for (GLWidget *view : m_views) {
            m_swaps.push_back({monotonicNs(), view, stateOf(view)});
            QObject::connect(view->getSurface(), &GLSurface::frameSwapped, view->getSurface(),
                             [this, view] { m_swaps.push_back({monotonicNs(), view, stateOf(view)}); });
        }
    }

    // Milliseconds from `since` until every visible view had presented a frame of what
    // it shows now (none needed where the last frame before already did, none since
    // showed anything else and the display server kept it), once no frame has come for
    // half a second; -1 where one never did.
    double catchUp(qint64 since, bool pictureKept)
    {
        qsizetype seen = -1;
        QElapsedTimer quiet;
        waitFor([&] {
            if (m_swaps.size() != size_t(seen)) {
                seen = qsizetype(m_swaps.size());
                quiet.start();
            }
            return quiet.elapsed() > 500;
        }, 20000);
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
            if (settled) {
                latest = std::max(latest, double(settled->ns - since) / 1e6);
            } else {
                const State last = before ? before->state : State{};
                std::fprintf(stderr, "viewbench: view %d shows %dx%d at %g, camera (%g, %g, %g), not %dx%d at %g, camera (%g, %g, %g)\n",
                             int(view->getViewport()), last.size.width(), last.size.height(), last.ratio,
                             last.camera.x(), last.camera.y(), last.camera.z(), now.size.width(), now.size.height(),
                             now.ratio, now.camera.x(), now.camera.y(), now.camera.z());
                return -1;
            }
        }
        return latest;
    }

private:
    struct State
    {
        QSize size;
        qreal ratio;
        QVector3D camera;
        bool operator==(const State &other) const
        {
            return size == other.size && qFuzzyCompare(ratio, other.ratio) && camera == other.camera;
        }
    };
    struct Swap
    {
        qint64 ns;
        GLWidget *view;
        State state;
    };

    static State stateOf(GLWidget *view)
    {
        const Camera *camera = view->getCamera();
        return {view->getSurface()->size(), view->getSurface()->devicePixelRatio(),
                QVector3D(camera->getPositionX(), camera->getPositionY(), camera->getPositionZ())};
    }

    QList<GLWidget *> m_views;
    std::vector<Swap> m_swaps;
};

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
    double cpuShareHidden = 0;
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
    const qint64 wall = monotonicNs(), cpu = nanosecondsOf(CLOCK_PROCESS_CPUTIME_ID);
    checked(desk().glide(anchor + QPoint(60, 30), 125, 400), "glide");
    const double share = double(nanosecondsOf(CLOCK_PROCESS_CPUTIME_ID) - cpu) / double(monotonicNs() - wall);
    trace("release");
    checked(desk().button(false), "release");
    return share;
}

// The same for the floor of quadview's structure, its dragged surface where quadview's
// top view is.
double floorShareWhileHiddenMidDrag(const Arrangement &arrangement)
{
    Floor floor(arrangement, true);
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

// How soon the whole window shows its state again after the desktop disturbed it:
// the return of a workspace hidden in the middle of a drag, the arrival on another
// output (of another scale), the last of a burst of resizes during a drag, from the
// moment the window learns of it; nothing where this desktop cannot do it.
std::optional<CatchUp> measureCatchUp(Disturbance disturbance, int frames)
{
    CatchUp result;
    const bool hidden = disturbance == Disturbance::HiddenWorkspace;
    ShownViewer viewer;
    SwapLog log(viewer.window);
    GLWidget *top = viewportOf(viewer.window, VP_TOP);
    std::vector<std::pair<qint64, float>> topSwaps;
    if (hidden)
        QObject::connect(top->getSurface(), &GLSurface::frameSwapped,
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
        result.cpuShareHidden = *share;
        result.arrangement = arrangementOf(viewer.window, top);
        news.clear();
        trace("return asked");
        if (!desk().showWindow(viewer.window.windowHandle()))
            qFatal("the window did not come back");
        if (!waitFor([&] { return news.exposed >= 0; }))
            qFatal("the window did not show again");
        since = news.exposed;
        break;
    }
    case Disturbance::OtherOutput:
        news.clear();
        if (QGuiApplication::screens().size() < 2 || !desk().moveToOtherOutput(&viewer.window, false))
            return std::nullopt;
        if (!waitFor([&] { return news.screenChanged >= 0; }))
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
    const bool pictureKept = !(disturbance == Disturbance::HiddenWorkspace && QGuiApplication::platformName() == "xcb");
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

// The time the view that the drags move takes to paint a frame (and to read it back).
Samples measureViewFrame(int frames)
{
    ShownViewer viewer;
    GLWidget *front = viewportOf(viewer.window, VP_FRONT);
    return timeFrames(frames, [&] { front->grabFramebuffer(); });
}

QString machineDescription()
{
    QString cpu;
    QFile info("/proc/cpuinfo");
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
                break;
            }
        }
    }
    QString renderer;
    {
        FloorWindow probe(nullptr, nullptr, Qt::black);
        probe.resize(16, 16);
        probe.show();
        if (waitFor([&] { return probe.isExposed(); })) {
            probe.renderNow();
            renderer = QString::fromLatin1(reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
        }
    }
    return QString("%1; %2 cores; %3; %4; Qt %5 (%6)")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(renderer)
        .arg(QSysInfo::prettyProductName())
        .arg(qVersion())
        .arg(QGuiApplication::platformName());
}

// Prints the table, and writes the figures to a JSON file when given one.
int report(const QList<Figure> &figures, const QString &machine, bool quick, int frames, int launches,
           const QString &jsonPath)
{
    QTextStream out(stdout);
    out << "Machine: " << machine << "\n";
    out << (quick ? "Quick pass: figures are not meaningful.\n" : "") << "\n";
    out << "| figure | value | p90 | compared with | its value | ratio | target |\n";
    out << "|---|---|---|---|---|---|---|\n";
    QJsonArray rows;
    for (const Figure &figure : figures) {
        const double ratio = figure.difference ? figure.value - figure.floor : figure.value / figure.floor;
        const QString ratioText = figure.difference ? QString("%1%2 %3").arg(ratio >= 0 ? "+" : "").arg(ratio, 0, 'f', 1).arg(figure.unit)
                                                    : QString("%1x").arg(ratio, 0, 'f', 2);
        out << "| " << figure.name << " | " << QString::number(figure.value, 'f', 2) << " " << figure.unit << " | "
            << (figure.p90 > 0 ? QString::number(figure.p90, 'f', 2) + " " + figure.unit : QString("-")) << " | "
            << figure.floorName
            << (figure.floorP90 > 0 ? QString(" (p90 %1 %2)").arg(figure.floorP90, 0, 'f', 2).arg(figure.unit) : QString())
            << " | " << QString::number(figure.floor, 'f', 2) << " " << figure.unit << " | "
            << ratioText << " | " << (figure.target.isEmpty() ? QString("-") : figure.target) << " |\n";
        QJsonObject row{{"name", figure.name},     {"unit", figure.unit},   {"value", figure.value},
                        {"compared_with", figure.floorName}, {"floor", figure.floor},
                        {figure.difference ? "difference" : "ratio", ratio}, {"target", figure.target}};
        if (figure.p90 > 0)
            row.insert("p90", figure.p90);
        if (figure.floorP90 > 0)
            row.insert("floor_p90", figure.floorP90);
        rows.append(row);
    }
    out.flush();

    if (!jsonPath.isEmpty()) {
        const QJsonObject document{{"machine", machine}, {"quick", quick}, {"frames", frames},
                                   {"launches", launches}, {"figures", rows}};
        // Inside a test session of its own, what is kept is what lands in its output folder.
        const QString output = qEnvironmentVariable("QUADVIEW_TEST_OUTPUT");
        QFile file(QDir::isRelativePath(jsonPath) && !output.isEmpty() ? QDir(output).filePath(jsonPath) : jsonPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(document).toJson()) < 0) {
            std::fprintf(stderr, "viewbench: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool quick = arguments.contains("--quick");
    const bool dragsOnly = arguments.contains("--drags-only");
    const bool settleOnly = dragsOnly || arguments.contains("--settle-only");
    const int jsonIndex = arguments.indexOf("--json");
    const QString jsonPath = jsonIndex > 0 && jsonIndex + 1 < arguments.size() ? arguments[jsonIndex + 1] : QString();

    // Frames are measured in rounds, each subject in turn, so that a slow spell of the
    // machine does not fall on one subject alone.
    const int rounds = quick ? 1 : 3;
    const int frames = quick ? 20 : 100;
    const int launches = quick ? 1 : 7;
    const QString dir = QCoreApplication::applicationDirPath();

    const QSize available = app.primaryScreen()->availableSize();
    // Frame times at growing sizes show how the cost grows with pixels.
    const QList<QSize> sizes = quick ? QList<QSize>{QSize(640, 360)}
                                     : QList<QSize>{QSize(800, 600), QSize(1920, 1080), QSize(3840, 2160)};
    // The quick pass stays small so that it fits any screen and runs fast under sanitizers.
    const QSize large = quick ? sizes.last() : QSize(1920, 1080);
    if (!settleOnly && (available.width() < sizes.last().width() + 40 || available.height() < sizes.last().height() + 40)) {
        std::fprintf(stderr, "viewbench: the screen (%dx%d) cannot hold a %dx%d viewport; run it on a larger one\n",
                     available.width(), available.height(), sizes.last().width(), sizes.last().height());
        return 1;
    }

    const QString machine = machineDescription();
    const QString platform = QGuiApplication::platformName();
    QList<Figure> figures;
    auto append = [](Samples &to, const Samples &from) { to.insert(to.end(), from.begin(), from.end()); };

    if (!settleOnly) {
        std::fprintf(stderr, "viewbench: frames...\n");
        QList<Samples> viewerSamples(sizes.size()), floorSamples(sizes.size());
        Samples clearSamples, peerSamples, dragSamples, gridSamples, gridFloorSamples;
        QSize gridSize;
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < sizes.size(); ++i) {
                append(viewerSamples[i], measureViewer(sizes[i], frames));
                append(floorSamples[i], measureFloor(sizes[i], frames, true));
            }
            append(clearSamples, measureFloor(large, frames, false));
            append(peerSamples, measurePeer(large, frames));
            append(dragSamples, measureDragStep(large, frames));
            append(gridSamples, measureGridViewport(frames, &gridSize));
            append(gridFloorSamples, measureFloor(gridSize, frames, true));
        }
        const QString largeName = QString("%1x%2").arg(large.width()).arg(large.height());
        const QString gridName = QString("%1x%2").arg(gridSize.width()).arg(gridSize.height());
        double viewerLarge = 0, floorLarge = 0;
        for (int i = 0; i < sizes.size(); ++i) {
            const Timing viewer = summarise(viewerSamples[i]);
            const Timing floor = summarise(floorSamples[i]);
            if (sizes[i] == large) {
                viewerLarge = viewer.median;
                floorLarge = floor.median;
            }
            figures.append({QString("frame, maximised %1x%2").arg(sizes[i].width()).arg(sizes[i].height()), "ms",
                            viewer.median, viewer.p90, "bare window, same scene", floor.median, "<= 1.10"});
        }
        const Timing clearOnly = summarise(clearSamples);
        const Timing peer = summarise(peerSamples);
        const Timing drag = summarise(dragSamples);
        const Timing grid = summarise(gridSamples);
        const Timing gridFloor = summarise(gridFloorSamples);
        figures.append({
            {"frame, bare window clearing only " + largeName, "ms", clearOnly.median, clearOnly.p90, "bare window, same scene", floorLarge, ""},
            {"frame, QOpenGLWidget + repaint() " + largeName, "ms", peer.median, peer.p90, "quadview frame", viewerLarge, ">= 4"},
            {"frame, grid viewport " + gridName, "ms", grid.median, grid.p90, "bare window, same scene", gridFloor.median, ""},
            {"drag step, maximised " + largeName, "ms", drag.median, drag.p90, "quadview frame", viewerLarge, "<= 1.10"},
        });

        std::fprintf(stderr, "viewbench: launches...\n");
        const Launch quadview = measureLaunches({dir + "/quadview"}, launches);
        const Launch bare = measureLaunches({dir + "/barequad"}, launches);
        const Launch bareScene = measureLaunches({dir + "/barequad", "--scene"}, launches);
        // A floor that only clears never makes the software renderer compile drawing
        // code; it stays for information. The floor drawing the same scene is the measure.
        figures.append({
            {"start-up to four pictures", "ms", quadview.startupMs, 0, "bare window, four surfaces drawing the scene", bareScene.startupMs, "<= 1.00"},
            {"start-up to four pictures", "ms", quadview.startupMs, 0, "bare window, four clearing surfaces", bare.startupMs, ""},
            {"peak resident memory", "MiB", quadview.peakMiB, 0, "bare window, four surfaces drawing the scene", bareScene.peakMiB, "<= +5", true},
            {"peak resident memory", "MiB", quadview.peakMiB, 0, "bare window, four clearing surfaces", bare.peakMiB, "", true},
        });
    }

    std::fprintf(stderr, "viewbench: drags...\n");
    // Where the desktop and its scale come from the session, the rows say so.
    const QString where = qEnvironmentVariableIsSet("QUADVIEW_DESKTOP")
        ? QString("%1, %2, scale %3").arg(platform, qEnvironmentVariable("QUADVIEW_DESKTOP"), qEnvironmentVariable("QUADVIEW_SCALE"))
        : platform;
    // A picture cannot settle sooner than the frame in flight and one more frame, shown
    // at the compositor's next refresh (60 Hz).
    const Timing viewFrame = summarise(measureViewFrame(quick ? 5 : 30));
    figures.append({QString("frame of the dragged view, paint and read back, %1").arg(where), "ms", viewFrame.median,
                    viewFrame.p90, "budget for a frame at 60 Hz", 1000.0 / 60, ""});
    const double settleBudget = 2 * viewFrame.median + 1000.0 / 60;
    // A drag of 2 s at a mouse's usual 125 Hz, and of 0.6 s at a gaming mouse's 1000 Hz.
    const int drags = quick ? 1 : 5;
    for (const auto &[hz, ms] : {std::pair{125, quick ? 200 : 2000}, std::pair{1000, quick ? 100 : 600}}) {
        Arrangement arrangement;
        const Timing settle = summarise(measureSettles(hz, ms, drags, &arrangement));
        figures.append({QString("drag settle, %1 Hz for %2 ms, %3").arg(hz).arg(ms).arg(where), "ms", settle.median,
                        settle.p90, "budget: two frames and one refresh", settleBudget, "<= 1.00"});
        // Under a desktop, the same drag over the floor says how much of the time is the
        // compositor's: a bare window of the view's size, paced the same way.
        // Quadview's structure, four surfaces in one toplevel, is the floor it is held to
        // where the compositor itself holds frames back.
        if (dragsOnly) {
            const QSize viewSize = arrangement.views[arrangement.dragged].size();
            for (const bool structure : {false, true}) {
                Samples floor;
                for (int i = 0; i < drags; ++i)
                    floor.push_back(measureFloorSettle(arrangement, structure, hz, ms));
                const Timing floorSettle = summarise(floor);
                const QString floorName = structure
                    ? QString("bare window of quadview's structure, four surfaces, same pacing")
                    : QString("bare window, one surface of %1x%2, same pacing").arg(viewSize.width()).arg(viewSize.height());
                figures.append({QString("drag settle, %1 Hz for %2 ms, %3").arg(hz).arg(ms).arg(where), "ms",
                                settle.median, settle.p90, floorName, floorSettle.median, structure ? "<= 1.20" : "",
                                false, floorSettle.p90});
            }
        }
    }
    if (dragsOnly)
        return report(figures, machine, quick, frames * rounds, launches, jsonPath);

    std::fprintf(stderr, "viewbench: catching up...\n");
    // A picture cannot come sooner than the compositor's next refresh (60 Hz) plus the
    // paint of the four views, where the window is then, at its scale then.
    const int repeats = quick ? 1 : 5;
    for (const auto &[disturbance, name] :
         {std::pair{Disturbance::HiddenWorkspace, "return of a workspace hidden mid-drag"},
          std::pair{Disturbance::OtherOutput, "arrival on another output (scale 1 to 2)"},
          std::pair{Disturbance::ResizeBurst, "last of a burst of resizes during a drag"}}) {
        const bool hiddenWorkspace = disturbance == Disturbance::HiddenWorkspace;
        Samples samples, fourViews, dragsBack, cpuShares, floorShares;
        for (int i = 0; i < repeats; ++i) {
            const std::optional<CatchUp> caught = measureCatchUp(disturbance, quick ? 5 : 20);
            if (!caught)
                continue;
            samples.push_back(caught->ms);
            fourViews.push_back(caught->fourViewsMs);
            if (hiddenWorkspace) {
                dragsBack.push_back(caught->dragBackMs);
                cpuShares.push_back(100 * caught->cpuShareHidden);
                floorShares.push_back(100 * floorShareWhileHiddenMidDrag(caught->arrangement));
            }
        }
        if (samples.empty())
            continue;
        const Timing catchUp = summarise(samples);
        figures.append({QString("catch-up after the %1, %2").arg(name, platform), "ms", catchUp.median, catchUp.p90,
                        "budget: one refresh plus the paint of four views", 1000.0 / 60 + summarise(fourViews).median,
                        "<= 1.00"});
        if (!hiddenWorkspace)
            continue;
        const Timing dragBack = summarise(dragsBack), cpuShare = summarise(cpuShares);
        figures.append({QString("drag settle after the return of a hidden workspace, 125 Hz, %1").arg(platform), "ms",
                        dragBack.median, dragBack.p90, "budget: two frames and one refresh", settleBudget, "<= 1.00"});
        const Timing floorShare = summarise(floorShares);
        figures.append({QString("processor share while hidden, a 125 Hz drag, %1").arg(platform), "%", cpuShare.median,
                        cpuShare.p90, "target", 5, "<= 1.00"});
        figures.append({QString("processor share while hidden, a 125 Hz drag, %1").arg(platform), "%", cpuShare.median,
                        cpuShare.p90, "bare window of quadview's structure, four surfaces, same drag", floorShare.median,
                        "", false, floorShare.p90});
    }

    return report(figures, machine, quick, frames * rounds, launches, jsonPath);
}
