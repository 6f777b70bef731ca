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
    // Why this platform cannot give the viewports the OpenGL they draw with, or an
    // empty string when it can.
    static QString missingOpenGL();

    // Whether the display server hands out frames at its own pace (Wayland's frame
    // callbacks), so that a swap may wait for its next refresh.
    bool isPacedByCompositor() const;

    // Renders the current picture and returns it in device pixels; a null image when
    // the context is unusable.
    QImage grabFrame();

protected:
    bool event(QEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:
    bool makeContextCurrent();

    GLWidget *m_widget;
    QSize m_glSize;
    const bool m_pacedByCompositor;
    bool m_reportedFailure = false;
};

#endif // GLSURFACE_H
