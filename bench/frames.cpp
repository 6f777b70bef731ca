// Frame time with one viewport maximised, beside a bare native window drawing the same
// frame (the floor) and a QOpenGLWidget (the usual Qt route); the grid's viewport; one
// drag step from mouse event to presented frame.
#include "parts.h"

#include "camera.h"
#include "fixtures.h"
#include "floorwindow.h"
#include "glprobe.h"
#include "peerwidget.h"
#include "scene.h"
#include "tools.h"

#include <QApplication>
#include <QMouseEvent>

#include <GL/gl.h>

#include <memory>

namespace {

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
    GLWidget *widget = viewportOf(&window, VP_PERSPECTIVE);
    if (!Tools::waitFor([&] { return widget->getSurface()->isExposed(); }, 10000))
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
    if (!Tools::waitFor([&] { return window.isExposed() && window.size() == size; }, 10000))
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
    if (!Tools::waitFor([&] { return swaps > 0 && widget.size() == size; }, 10000))
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

QString sizeName(QSize size)
{
    return QString("%1x%2").arg(size.width()).arg(size.height());
}

} // namespace

QList<Row> measureFrames(const Options &options)
{
    // Frame times at growing sizes show how the cost grows with pixels; the quick pass
    // stays small so that it fits any screen and runs fast under sanitizers.
    const QList<QSize> sizes = options.quick ? QList<QSize>{QSize(640, 360)}
                                             : QList<QSize>{QSize(800, 600), QSize(1920, 1080), QSize(3840, 2160)};
    const QSize large = options.quick ? sizes.last() : QSize(1920, 1080);
    const int frames = options.frames;
    QList<Samples> viewer(sizes.size()), floor(sizes.size());
    Samples clearing, peer, drag, grid, gridFloor;
    QSize gridSize;
    for (int round = 0; round < options.rounds; ++round) {
        for (int i = 0; i < sizes.size(); ++i) {
            append(viewer[i], measureViewer(sizes[i], frames));
            append(floor[i], measureFloor(sizes[i], frames, true));
        }
        append(clearing, measureFloor(large, frames, false));
        append(peer, measurePeer(large, frames));
        append(drag, measureDragStep(large, frames));
        append(grid, measureGridViewport(frames, &gridSize));
        append(gridFloor, measureFloor(gridSize, frames, true));
    }

    QList<Row> rows;
    Timing viewerLarge, floorLarge;
    for (int i = 0; i < sizes.size(); ++i) {
        const Timing ours = summarise(viewer[i]), theirs = summarise(floor[i]);
        if (sizes[i] == large) {
            viewerLarge = ours;
            floorLarge = theirs;
        }
        rows << Row("frame/maximised/" + sizeName(sizes[i]), "frame, maximised " + sizeName(sizes[i]), "ms")
                    .measured(ours)
                    .against("bare window, same scene", theirs.median)
                    .target("<= 1.10");
    }
    rows << Row("frame/floor-clearing/" + sizeName(large), "frame, bare window clearing only " + sizeName(large), "ms")
                .measured(summarise(clearing))
                .against("bare window, same scene", floorLarge.median)
                .of(Row::Subject::Floor)
         << Row("frame/qopenglwidget/" + sizeName(large), "frame, QOpenGLWidget + repaint() " + sizeName(large), "ms")
                .measured(summarise(peer))
                .against("quadview frame", viewerLarge.median)
                .target(">= 4")
                .of(Row::Subject::Peer)
         << Row("frame/grid", "frame, grid viewport " + sizeName(gridSize), "ms")
                .measured(summarise(grid))
                .against("bare window, same scene", summarise(gridFloor).median)
         << Row("drag-step/" + sizeName(large), "drag step, maximised " + sizeName(large), "ms")
                .measured(summarise(drag))
                .against("quadview frame", viewerLarge.median)
                .target("<= 1.10")
         // The same beside the floor, which a change to quadview leaves alone.
         << Row("drag-step/" + sizeName(large) + "/floor", "drag step, maximised " + sizeName(large), "ms")
                .measured(summarise(drag))
                .against("bare window, same scene", floorLarge.median);
    return rows;
}
