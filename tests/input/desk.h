#ifndef DESK_H
#define DESK_H

#include <QImage>
#include <QLineF>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QWidget;
class QWindow;

// What the end-to-end test and the benchmark need of the desktop they run on: real
// input through the display server, what the screen shows, and the window manager's
// own actions. There is one implementation per desktop, each in a file of its own
// (x11desk, xorgdesk, swaydesk, gnomedesk, kdedesk), chosen at start; the callers do
// not know which one they have. Screen coordinates
// are the desktop's own, in logical pixels.
class Desk
{
public:
    // The desktop QUADVIEW_DESKTOP names (tests/input/wayland-session.sh sets it),
    // whether the program is its Wayland client or an X11 client of its Xwayland;
    // X11 without a desktop (Xvfb) where it names none.
    static std::unique_ptr<Desk> create();
    virtual ~Desk() = default;
    // The scale the session gave every output at its start (QUADVIEW_SCALE).
    static qreal sessionScale();

    virtual QString name() const = 0;
    virtual bool isWayland() const = 0;
    virtual bool start() = 0;
    // After the compositor was started again: the input devices, connected anew.
    virtual bool reconnect() { return start(); }

    // Where a point of a widget is on the screen. A Wayland client does not know
    // where the compositor put its window, nor what it drew around it; the desktop
    // does.
    QPoint toScreen(QWidget *widget, QPoint local);
    QPoint toScreen(QWindow *window, QPoint local);
    QRect areaOf(QWidget *widget);
    // Waits until the desktop shows the window's contents at the size Qt gave them
    // (a compositor may configure a new window more than once); false after 10 s.
    bool waitForPlacement(QWindow *window);
    bool waitForPlacement(QWidget *window);

    // The pointer. Each returns when the display server has taken the events, with
    // the monotonic time (ns) the last one was sent, or -1 on failure.
    virtual qint64 moveTo(QPoint screen) = 0;
    virtual qint64 button(bool pressed) = 0;
    virtual qint64 wheel(int notches) = 0;
    // A straight line to `screen` over `milliseconds`, one motion every 1/hz s.
    virtual qint64 glide(QPoint screen, int hz, int milliseconds) = 0;
    // Devices beyond the mouse, where the desktop can drive one: a touchpad scrolls
    // (and pinches: see pinch()), a touch screen takes one finger, or two.
    enum class Device { Touchpad, TouchScreen };
    virtual bool has(Device device) const = 0;
    // A touchpad's two-finger scroll: `steps` events of `pixels` of finger travel each
    // (positive: as a wheel turned away from the user), one every 1/hz s, then the
    // fingers lift.
    virtual qint64 scroll(int steps, double pixels, int hz) = 0;
    // One finger: down at `from`, in `steps` motions along a straight line to `to`, up.
    virtual qint64 touch(QPoint from, QPoint to, int steps) = 0;
    // Two fingers on the touch screen: down at the ends of `from`, in `steps` motions of
    // both to the ends of `to`, up. -1 where this desktop has no touch screen to drive.
    virtual qint64 twoFingers(const QLineF &from, const QLineF &to, int steps);
    // A touchpad pinch with the pointer over the middle of `widget`: the fingers' scale
    // goes from 1 to each of `scales` in turn, one event each, turning by `degrees` with
    // each, then the fingers lift. No compositor here sends a pinch (nor XTest): where
    // the display server cannot, the gesture goes in as Qt's own pinch tests put it, at
    // Qt's window-system interface, which is where a platform hands it on.
    virtual bool pinch(QWidget *widget, const QList<qreal> &scales, qreal degrees);
    // The keyboard. Keys are named by their evdev codes, that is by where they sit on
    // the keyboard: 17 is where QWERTY has W, 44 where it has Z.
    enum Key {
        Key6 = 7, KeyMinus = 12, KeyEqual = 13, KeyTab = 15, KeyW = 17, KeyRightBrace = 27, KeyLeftCtrl = 29,
        KeyLeftShift = 42, KeyZ = 44, KeySlash = 53, KeyLeftAlt = 56, KeyKeypadMinus = 74, KeyKeypadPlus = 78,
        KeyHome = 102, KeyUp = 103, KeyLeft = 105, KeyRight = 106, KeyDown = 108
    };
    // The key goes down and up while the keys `held` (Shift, Alt...) are held down, in
    // order, through the keyboard's active layout. Returns when the display server has
    // taken the keys.
    virtual bool press(int key, const QList<int> &held = {}) = 0;
    bool altWith(int key) { return press(key, {KeyLeftAlt}); }
    // W released while Alt is held, with the key that types W on a US layout.
    bool chord() { return altWith(KeyW); }
    // Gives the keyboard the layouts `names` (xkb's, such as "us,ru") with the one at
    // `active` (from 0) in use; false where this desktop cannot, with the reason in `why`
    // (this one: none but sway and KDE Plasma can).
    virtual bool setLayouts(const QString &names, int active, QString *why);
    // What a test says where no input it sent reached the window: the end of the
    // compositor's log (QUADVIEW_DESKTOP_LOG) and, where the desktop tells, what it was
    // doing.
    virtual QString diagnosis();
    // What the screen shows of an area, in device pixels.
    virtual QImage pixels(const QRect &area) = 0;
    QImage pixelsOf(QWidget *widget);

    // What the window manager does; each returns false where this desktop cannot.
    // Every output's scale; the pointer follows the new layout (this one: the session's
    // scale alone, which the desktop took at its start).
    virtual bool setScale(qreal scale);
    // Takes the window off screen (to an empty workspace, or unmapped) and back.
    virtual bool hideWindow(QWindow *window) = 0;
    virtual bool showWindow(QWindow *window) = 0;
    // Moves the window to the next output and back (this one: no desktop but sway can).
    virtual bool moveToOtherOutput(QWidget *window, bool back);
    // Unplugs the output the window is on, with a new one of that scale (and of the
    // same logical size) in its place; false where this desktop cannot, with the reason
    // in `why` (this one: no desktop but sway can).
    virtual bool replaceOutput(qreal scale, QString *why);
    // Starts `count` resizes of the window in the background, spread over about
    // `milliseconds`. The end waits for them, gives the window its first size and
    // returns when it has it, with the monotonic time (ns) of that last resize, or -1.
    virtual bool startResizeBurst(QWidget *window, int count, int milliseconds) = 0;
    virtual qint64 endResizeBurst(QWidget *window) = 0;

protected:
    // Where the window's contents are on the screen, as the desktop has them: inside
    // any frame or title bar it or Qt drew. An empty rectangle where it cannot tell.
    virtual QRect contentsArea(QWindow *window) = 0;
    // Sizes between a little over half the first size and the whole of it, each
    // different from the one before.
    static QList<QSize> burstSizes(QSize first, int count);
    static qint64 monotonicNs();
    // Waits up to 10 s for the window to have the size.
    static bool waitForSize(QWidget *window, QSize size);
    // Calls `event` for steps 1 to `steps`, one every 1/hz s, handling events meanwhile
    // (the viewer may live in this process); returns the time of the last event sent
    // (an event returns 0 where it sends none), or -1 as soon as one fails.
    static qint64 paced(int steps, int hz, const std::function<qint64(int step)> &event);
    // "x,y,width,height", as the compositors' scripts answer; an empty rectangle for
    // anything else.
    static QRect rectFrom(const QString &answer);
};

#endif // DESK_H
