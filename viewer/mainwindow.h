#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "glwidget.h"

#include <QMainWindow>

#include <memory>

class Camera;
class QGridLayout;
class QPainter;
class Scene;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum LayoutMode {
        LAYOUT_SINGLE = 1,
        LAYOUT_QUAD = 2
    };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    static Viewport createViewport(int i, int j);
    static Camera *createCamera(int i, int j);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void switchGlWidget();

private:
    void restoreQuadLayout();
    void paintFocusFrame(QPainter &painter);
    void dropStaleBuffers(QPainter &painter);

    QGridLayout *m_layout;
    QWidget *m_centralWidget;
    GLWidget *m_glWidgets[2][2];
    int m_layoutMode;
    std::unique_ptr<Scene> m_scene;
    std::unique_ptr<Camera> m_cameras[2][2];
    int m_staleBufferRetries = 0;
};

#endif // MAINWINDOW_H
