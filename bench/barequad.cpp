// The floor for quadview's start-up and memory: one plain window holding four native
// OpenGL surfaces in quadview's default arrangement. Each only clears, or with
// --scene draws the scene from the perspective preset, so that the cost of drawing
// at all can be told apart from the cost of the toolkit.
#include "camera.h"
#include "floorwindow.h"
#include "mainwindow.h"
#include "scene.h"

#include <QGuiApplication>

#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const bool drawScene = app.arguments().contains("--scene");

    Scene scene;
    std::unique_ptr<Camera> camera(MainWindow::createCamera(1, 1));
    QWindow window;
    window.resize(824, 624);
    // Saturated colours, so that an observer of the screen can tell each one is drawn.
    const QColor colors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    std::vector<std::unique_ptr<FloorWindow>> surfaces;
    for (int i = 0; i < 4; ++i) {
        surfaces.push_back(std::make_unique<FloorWindow>(drawScene ? &scene : nullptr, camera.get(),
                                                         drawScene ? QColor(Qt::darkGray) : colors[i], &window));
        surfaces.back()->setGeometry(9 + (i % 2) * 406, 9 + (i / 2) * 306, 400, 300);
        surfaces.back()->show();
    }
    window.show();
    return app.exec();
}
