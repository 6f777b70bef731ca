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
// It alone decides when the viewport paints. A frame is owed whenever the picture on
// screen is not the viewport's state, and an owed frame is never dropped: one owed
// while the surface cannot present (hidden, not yet configured) is kept for the expose
// that shows it again. Paced means that a compositor paces the frames (Wayland: each
// swap waits for its frame callback, and Qt delivers an update request at the next);
// unpaced, the display server takes a frame at once (X11).
//
// | occasion         | what brings it                               | owes | unpaced               | paced                         |
// |------------------|----------------------------------------------|------|-----------------------|-------------------------------|
// | CameraMoved      | requestFrame(): input moved the camera       | yes  | painted now           | at the next update request    |
// | Changed          | a size or pixel ratio the screen does not    | yes  | at the next update    | at the next update request    |
// |                  | show (a resize, another screen, a new scale) |      | request               |                               |
// | Exposed          | an expose, or a paint asked for              | yes  | the first frame now;  | at the next update request    |
// |                  |                                              |      | later, after the      | while the compositor keeps    |
// |                  |                                              |      | batch of events it    | the last frame; now where     |
// |                  |                                              |      | came in (BatchEnd)    | it does not                   |
// | UpdateRequest    | Qt's update request                          | no   | an owed frame now     | an owed frame now             |
// | BatchEnd         | the end of the batch of events an expose     | no   | an owed frame now     | -                             |
// |                  | came in                                      |      |                       |                               |
// | ParentExposed    | the window around exposed again (Qt before   | no   | -                     | an owed frame now, through    |
// |                  | 6.5, whose Wayland platform leaves this      |      |                       | the window around, where Qt   |
// |                  | surface unexposed though it shows)           |      |                       | holds this surface unexposed  |
//
// Whatever the occasion, an owed frame waits while Qt has the surface unexposed (and,
// before Qt 6.5, the window around does not show it either).
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
    // Lets every input event through a window to the one around it, on every Qt this
    // builds with.
    static void makeTransparentForInput(QWindow *window);

    // The camera moved: a frame is owed (see the table above).
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
    enum class Occasion { CameraMoved, Changed, Exposed, UpdateRequest, BatchEnd, ParentExposed };

    // The rule.
    void serveFrame(Occasion occasion);
    bool canPresent() const;
    bool differsFromPresented() const;
    void presentFrame();
    void paintGL();
    void trace(const char *step) const;

    // Helps for the Qt versions and the Mesa that Debian ships, each run only where it
    // is needed, named after what it does and called from one place.
    static void leaveNoInputRegionBeforeQt662(QWindow *window);
    void bindAgainForMesaSoftware();
    bool exposedOnlyToParentBeforeQt65() const;
    void askForFirstExposeBeforeQt65();
    void watchParent();
    void followParentRatioBeforeQt68();

    GLRenderer *m_renderer;
    std::unique_ptr<QOpenGLContext> m_context;
    const bool m_paced;
    bool m_frameOwed = true;
    // The compositor holds the last frame presented, and Qt has not marked the surface
    // unexposed since.
    bool m_frameKept = false;
    bool m_batchEndQueued = false;
    bool m_reportedFailure = false;
    // The size the renderer was last told, and what the screen shows.
    QSize m_glSize;
    bool m_hasPresented = false;
    QSize m_presentedSize;
    qreal m_presentedRatio = 0;

    // The window around this surface, which the helps below watch.
    QPointer<QWindow> m_watchedParent;
    // For bindAgainForMesaSoftware: the context draws with Mesa's software rasterizer.
    bool m_softwareRasterizer = false;
    // For the exposure helps before Qt 6.5.
    struct Exposure
    {
        const bool needed;
        bool wasExposed = false;
        bool askedForExpose = false;
        // The window around was exposed since this surface was last unexposed.
        bool parentExposedSince = false;
    } m_exposureBeforeQt65;
    // For followParentRatioBeforeQt68: the window around's pixel ratio last seen.
    struct ParentRatio
    {
        const bool needed;
        qreal last = 0;
    } m_parentRatioBeforeQt68;
};

#endif // GLSURFACE_H
