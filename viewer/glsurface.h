#ifndef GLSURFACE_H
#define GLSURFACE_H

#include <QPointer>
#include <QWindow>

#include <memory>

class GLRenderer;
class QOpenGLContext;

// The native OpenGL surface of one viewport. It is transparent for input, so the
// viewport widget that embeds it receives every mouse, wheel and key event; it hands
// its OpenGL hooks to a renderer, with its own context current.
//
// It alone decides when the viewport paints: whenever the viewport's camera, size or
// pixel ratio has changed since the frame on screen, or the display server lost that
// frame, a new frame is owed, and an owed frame is painted as soon as the surface can
// present one. A frame owed while it cannot (hidden, not yet configured, a frame still
// in flight) is kept, never dropped.
//
// It owns its context, as Qt's openglwindow example does, so that it can make it again:
// a compositor that restarts (Qt 6.6 and later reconnect) or a GPU reset takes every
// context a program has.
class GLSurface : public QWindow
{
    Q_OBJECT

public:
    explicit GLSurface(GLRenderer *renderer);
    ~GLSurface() override;

    static QSurfaceFormat surfaceFormat();
    // Why this platform cannot give the viewports the OpenGL they draw with, or an
    // empty string when it can.
    static QString missingOpenGL();

    // The camera moved: a frame is owed. Where the display server takes frames at once
    // (X11) it is painted and presented before this returns; where the compositor paces
    // frames, at its next frame; elsewhere as soon as the surface can present again.
    void requestFrame();

    // Renders the current picture and returns it in device pixels; a null image when
    // no context can be made current.
    QImage grabFrame();

    // The surface's context made current: made first where there is none yet or the
    // one there was is lost, with the renderer's initializeGL run on it; false where none
    // can be. Painting goes through it, and so can a caller that reads what the last
    // paint left.
    bool makeCurrent();
    void doneCurrent();

signals:
    void frameSwapped();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class Occasion {
        CameraMoved,   // owes a frame; on X11 it is painted at once
        Changed,       // size or pixel ratio: owes a frame, painted at the next update request
        Exposed,       // the display server needs the picture: owes a frame, painted at once
                       // (at the next frame callback where the compositor still shows the last)
        Ready          // the compositor takes a frame now (an update request): owes none
    };

    // The rule.
    void serveFrame(Occasion occasion);
    void presentFrame();
    void paintGL();
    void trace(const char *step) const;

    // Helps for the Qt versions (and the Mesa) Debian still ships, each named after what
    // it is for and called from one place, so that it can go with its call.
    void leaveNoInputRegionUntilQt662();
    void makeContextAtFirstResizeForSwayQt64();
    void rereadSizeForMesaSoftware();
    void serveUnexposedBeforeQt65();
    bool showsThroughParentBeforeQt65() const;
    void askForFirstExposeBeforeQt65();
    void watchParent();
    void followParentRatioUpToQt68();
    void checkRatio();

    GLRenderer *m_renderer;
    std::unique_ptr<QOpenGLContext> m_context;
    const bool m_pacedByCompositor;
    bool m_frameOwed = true;
    // The compositor holds the last frame presented, and Qt has not marked the surface
    // unexposed since.
    bool m_frameKept = false;
    bool m_reportedFailure = false;
    bool m_exposeQueued = false;
    // The size the renderer's state was last set up for, and what the screen shows.
    QSize m_glSize;
    bool m_resizedSinceGl = true;
    QSize m_presentedSize;
    qreal m_presentedRatio = 0;

    // For the helps.
    bool m_wasExposed = false;
    bool m_askedForExpose = false;
    // The window around this surface was exposed since this surface was last unexposed.
    bool m_parentExposedSince = false;
    QPointer<QWindow> m_watchedParent;
    qreal m_parentRatio = 0;
};

#endif // GLSURFACE_H
