#ifndef GLSURFACE_H
#define GLSURFACE_H

#include <QOpenGLWindow>

class GLWidget;

// The native OpenGL surface of one viewport. It is transparent for input, so the
// viewport widget that embeds it receives every mouse, wheel and key event, and it
// hands its OpenGL hooks to that widget with its own context current.
class GLSurface : public QOpenGLWindow
{
    Q_OBJECT

public:
    explicit GLSurface(GLWidget *widget);

    static QSurfaceFormat surfaceFormat();

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:
    GLWidget *m_widget;
    QSize m_glSize;
};

#endif // GLSURFACE_H
