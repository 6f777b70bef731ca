// quadview's benchmark: frame time, input cost, start-up and memory, each beside the
// floor it is judged against, measured in one run on the display it is given.
//
//   viewbench [--quick] [--settle-only] [--json FILE]
//
// --quick runs a short pass (a smoke test of the harness; its figures mean little).
// --settle-only measures only how soon the picture catches up with a fast drag, the
// part that also means something under a Wayland compositor.

#include "camera.h"
#include "floorwindow.h"
#include "glsurface.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "peerwidget.h"
#include "pointerclient.h"
#include "scene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLayout>
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

void finishFrame(QOpenGLWindow *surface)
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

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A left drag across the front view at the given rate: milliseconds from the last
// motion event until the swap that presents the final camera.
double measureSettle(PointerClient &pointer, int hz, int ms)
{
    MainWindow window;
    window.move(0, 0);
    window.show();
    GLWidget *front = viewportOf(window, VP_FRONT);
    if (!waitFor([&] { return front->getSurface()->isExposed(); }))
        qFatal("quadview's window did not show");
    QThread::msleep(200);
    QCoreApplication::processEvents();

    Camera *camera = front->getCamera();
    std::vector<std::pair<qint64, float>> swaps;
    QObject::connect(front->getSurface(), &QOpenGLWindow::frameSwapped,
                     [&] { swaps.emplace_back(monotonicNs(), camera->getPositionX()); });

    const QPoint anchor = front->mapToGlobal(QPoint(front->width() / 2, front->height() / 2));
    // At least a pixel per event, so that every event at the given rate moves the camera.
    const int distance = std::max(front->width() / 3, hz * ms / 1000);
    // The front view moves its camera by -dx: the drag's final camera is known exactly.
    const float finalX = camera->getPositionX() - float(distance);
    const auto run = [&](const QString &command) {
        const qint64 sent = pointer.command(command);
        if (sent < 0)
            qFatal("pointerdrive failed at \"%s\"", qPrintable(command));
        return sent;
    };
    run(QString("move %1 %2").arg(anchor.x()).arg(anchor.y()));
    run("down");
    const qint64 lastMotion = run(QString("glide %1 %2 %3 %4").arg(anchor.x() + distance).arg(anchor.y()).arg(hz).arg(ms));
    const auto presented = [&] {
        return std::find_if(swaps.begin(), swaps.end(), [&](const auto &swap) { return swap.second == finalX; });
    };
    if (!waitFor([&] { return presented() != swaps.end(); }, 60000))
        qFatal("the final picture of a %d Hz drag never showed", hz);
    run("up");
    return std::max(0.0, double(presented()->first - lastMotion) / 1e6);
}

Samples measureSettles(int hz, int ms, int drags)
{
    PointerClient pointer;
    if (!pointer.start())
        qFatal("pointerdrive did not start");
    Samples samples;
    for (int i = 0; i < drags; ++i)
        samples.push_back(measureSettle(pointer, hz, ms));
    return samples;
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool quick = arguments.contains("--quick");
    const bool settleOnly = arguments.contains("--settle-only");
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
    // A drag of 2 s at a mouse's usual 125 Hz, and of 0.6 s at a gaming mouse's 1000 Hz.
    const int drags = quick ? 1 : 5;
    for (const auto &[hz, ms] : {std::pair{125, quick ? 200 : 2000}, std::pair{1000, quick ? 100 : 600}}) {
        const Timing settle = summarise(measureSettles(hz, ms, drags));
        figures.append({QString("drag settle, %1 Hz for %2 ms, %3").arg(hz).arg(ms).arg(platform), "ms",
                        settle.median, settle.p90, "budget: one frame late at most", 50.0, "<= 1.00"});
    }

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
            << figure.floorName << " | " << QString::number(figure.floor, 'f', 2) << " " << figure.unit << " | "
            << ratioText << " | " << (figure.target.isEmpty() ? QString("-") : figure.target) << " |\n";
        QJsonObject row{{"name", figure.name},     {"unit", figure.unit},   {"value", figure.value},
                        {"compared_with", figure.floorName}, {"floor", figure.floor},
                        {figure.difference ? "difference" : "ratio", ratio}, {"target", figure.target}};
        if (figure.p90 > 0)
            row.insert("p90", figure.p90);
        rows.append(row);
    }
    out.flush();

    if (!jsonPath.isEmpty()) {
        const QJsonObject document{{"machine", machine}, {"quick", quick}, {"frames", frames * rounds},
                                   {"launches", launches}, {"figures", rows}};
        QFile file(jsonPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(document).toJson()) < 0) {
            std::fprintf(stderr, "viewbench: cannot write %s\n", qPrintable(jsonPath));
            return 1;
        }
    }
    return 0;
}
