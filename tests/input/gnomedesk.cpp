#include "gnomedesk.h"

#include "tools.h"

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <utility>

GnomeDesk::GnomeDesk() = default;

GnomeDesk::~GnomeDesk() = default;

QString GnomeDesk::name() const
{
    return "gnome";
}

bool GnomeDesk::isWayland() const
{
    return true;
}

bool GnomeDesk::start()
{
    QDBusInterface remote("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                          "org.gnome.Mutter.RemoteDesktop");
    const QDBusReply<QDBusObjectPath> session = remote.call("CreateSession");
    if (!session.isValid())
        return false;
    m_session = std::make_unique<QDBusInterface>("org.gnome.Mutter.RemoteDesktop", session.value().path(),
                                                 "org.gnome.Mutter.RemoteDesktop.Session");
    recordMonitor();
    if (!call("Start") || eval("gnome/keyboard.js") != "ok")
        return false;
    // A new device's first events are lost while the compositor sets it up.
    Tools::handleEventsFor(500);
    return !m_stream.isEmpty() || call("NotifyPointerMotionRelative", -100000.0, -100000.0);
}

// Moved relatively with no button held, the pointer goes into the corner first, so that
// where it is never depends on every earlier motion having arrived. mutter finds the
// surface under the pointer when it next draws, later still on a loaded machine: a press
// or a wheel sent before could go to whatever was under the pointer before. Over one of
// our windows, the move ends when the motion reached it.
qint64 GnomeDesk::moveTo(QPoint screen)
{
    if (m_pressed)
        return step(screen);
    if (m_stream.isEmpty()) {
        if (!call("NotifyPointerMotionRelative", -100000.0, -100000.0))
            return -1;
        m_at = QPoint();
    }
    qint64 sent = step(screen);
    QRect area;
    QWindow *const window = ourWindowAt(screen, &area);
    if (sent < 0 || !window)
        return sent;
    // mutter may not send a motion to a surface it has not yet found under the pointer,
    // nor one that ends where the pointer already is: the pointer moves on until one
    // arrives.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (Tools::waitFor([&] { return m_seen.window == window && area.topLeft() + m_seen.at == screen; }, 200))
            return sent;
        if (step(screen + QPoint(1, 0)) < 0 || (sent = step(screen)) < 0)
            return -1;
    }
    return -1;
}

qint64 GnomeDesk::button(bool pressed)
{
    const int leftButton = 0x110;
    if (!call("NotifyPointerButton", leftButton, pressed))
        return -1;
    m_pressed = pressed;
    return monotonicNs();
}

qint64 GnomeDesk::wheel(int notches)
{
    // Positive steps scroll down, towards the user.
    const uint verticalAxis = 0;
    return call("NotifyPointerAxisDiscrete", verticalAxis, -notches) ? monotonicNs() : -1;
}

// The test's process is quadview's: waiting for each of mutter's replies, at 1000 Hz its
// thread handled no Wayland event for most of a second, and mutter 43 then took the
// pointer from the window in the middle of the drag and never gave it the release. A
// user's mouse holds up no program; the motions go out as the mouse's would and the
// replies are looked at after the last.
qint64 GnomeDesk::glide(QPoint screen, int hz, int milliseconds)
{
    const QPoint from = m_at;
    const int steps = qMax(1, int(std::lround(double(milliseconds) * hz / 1000.0)));
    const qint64 last = paced(steps, hz, [&](int step) {
        const QPoint next = from + (screen - from) * step / steps;
        return next == m_at ? 0 : this->step(next, false);
    });
    return repliesWithoutError() ? last : -1;
}

bool GnomeDesk::repliesWithoutError()
{
    const QList<QDBusPendingCall> calls = std::exchange(m_unanswered, {});
    return Tools::waitFor([&] { return std::all_of(calls.begin(), calls.end(), [](const QDBusPendingCall &c) { return c.isFinished(); }); }, 20000)
        && std::none_of(calls.begin(), calls.end(), [](const QDBusPendingCall &c) { return c.isError(); });
}

bool GnomeDesk::has(Device device) const
{
    return device == Device::Touchpad;
}

qint64 GnomeDesk::scroll(int steps, double pixels, int hz)
{
    // Positive values scroll down, towards the user.
    const uint fingerSource = 4, finish = 1;
    const qint64 last = paced(steps, hz, [&](int) {
        return call("NotifyPointerAxis", 0.0, -pixels, fingerSource) ? monotonicNs() : -1;
    });
    return last >= 0 && call("NotifyPointerAxis", 0.0, 0.0, fingerSource | finish) ? last : -1;
}

// mutter takes RemoteDesktop's touch calls (and those of a touch screen made in the
// Shell) without a word, but no touch reaches a client of a headless GNOME.
qint64 GnomeDesk::touch(QPoint, QPoint, int)
{
    return -1;
}

bool GnomeDesk::press(int key, const QList<int> &held)
{
    QJsonArray down;
    for (int code : held)
        down.append(code);
    return eval("gnome/keys.js", {{"key", key}, {"held", down}}) == "ok";
}

QString GnomeDesk::diagnosis()
{
    return Desk::diagnosis() + "\nThe Shell: " + eval("gnome/state.js");
}

QImage GnomeDesk::pixels(const QRect &area)
{
    const QString path = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/quadview-screenshot.png";
    QDBusInterface screenshot("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot");
    const QDBusMessage reply = screenshot.call("ScreenshotArea", area.x(), area.y(), area.width(), area.height(),
                                               false, path);
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
        return QImage();
    QImage image(path);
    QFile::remove(path);
    return image.convertToFormat(QImage::Format_RGB32);
}

bool GnomeDesk::hideWindow(QWindow *)
{
    return activateWorkspace(1);
}

bool GnomeDesk::showWindow(QWindow *)
{
    return activateWorkspace(0);
}

bool GnomeDesk::startResizeBurst(QWidget *window, int count, int milliseconds)
{
    m_firstSize = window->size();
    // mutter sizes the frame, which holds Qt's decoration around the window.
    const QJsonArray sizes = Tools::json(burstSizes(m_firstSize, count), window->windowHandle()->frameMargins());
    return eval("gnome/resize-burst.js", {{"sizes", sizes}, {"interval", qMax(1, milliseconds / count)}}) == "started";
}

qint64 GnomeDesk::endResizeBurst(QWidget *window)
{
    if (!Tools::waitFor([&] { return eval("gnome/burst-state.js") == "done"; }, 30000, 20))
        return -1;
    const qint64 sent = monotonicNs();
    return eval("gnome/restore-frame.js") == "ok" && waitForSize(window, m_firstSize) ? sent : -1;
}

// mutter's buffer rectangle is the whole of Qt's surface: the contents, the title bar
// Qt draws itself and, with the decoration Qt 6.8 loads under GNOME, a shadow around it
// (its frame rectangle, the window geometry, leaves the shadow out). Qt's frame margins
// reach from the contents to the buffer's edge. A new window has a buffer before mutter
// places it, and is on screen only once its actor shows.
QRect GnomeDesk::contentsArea(QWindow *window)
{
    const QRect buffer = rectFrom(eval("gnome/contents-area.js"));
    return buffer.isEmpty() ? QRect() : buffer.marginsRemoved(window->frameMargins());
}

// Absolute motion and touch need a screen cast of the monitor tied to the session,
// which mutter gives only where PipeWire runs; without one the pointer moves relative
// to where it is, and there is no touch.
void GnomeDesk::recordMonitor()
{
    QDBusInterface screenCast("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast",
                              "org.gnome.Mutter.ScreenCast");
    const QDBusReply<QDBusObjectPath> cast = screenCast.call(
        "CreateSession", QVariantMap{{"remote-desktop-session-id", m_session->property("SessionId")}});
    if (!cast.isValid()) {
        qInfo("GnomeDesk: no screen cast (%s)", qPrintable(cast.error().message()));
        return;
    }
    const QDBusReply<QDBusObjectPath> stream =
        QDBusInterface("org.gnome.Mutter.ScreenCast", cast.value().path(), "org.gnome.Mutter.ScreenCast.Session")
            .call("RecordMonitor", QString(), QVariantMap());
    if (!stream.isValid()) {
        qInfo("GnomeDesk: no stream of the monitor (%s)", qPrintable(stream.error().message()));
        return;
    }
    m_stream = stream.value().path();
}

// The stream of a monitor counts its device pixels.
QPointF GnomeDesk::streamPoint(QPoint screen) const
{
    return QPointF(screen) * m_scale;
}

qint64 GnomeDesk::step(QPoint screen, bool awaitReply)
{
    const QPoint by = screen - m_at;
    const QPointF at = streamPoint(screen);
    if (!m_session)
        return -1;
    QDBusPendingCall sent = m_stream.isEmpty()
        ? m_session->asyncCall("NotifyPointerMotionRelative", double(by.x()), double(by.y()))
        : m_session->asyncCall("NotifyPointerMotionAbsolute", m_stream, at.x(), at.y());
    if (!awaitReply) {
        m_unanswered.append(sent);
    } else {
        sent.waitForFinished();
        if (sent.isError())
            return -1;
    }
    m_at = screen;
    return monotonicNs();
}

template<typename... Arguments>
bool GnomeDesk::call(const QString &method, Arguments... arguments)
{
    return m_session && m_session->call(method, arguments...).type() == QDBusMessage::ReplyMessage;
}

// Runs one of the scripts in gnome/ in the Shell, after gnome/prelude.js, and returns
// its result as text.
QString GnomeDesk::eval(const QString &file, QJsonObject args)
{
    args.insert("pid", QCoreApplication::applicationPid());
    QDBusInterface shell("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell");
    const QDBusMessage reply = shell.call("Eval", Tools::script(file, args, "gnome/prelude.js"));
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
        return QString();
    QString result = reply.arguments().value(1).toString();
    // A string comes back as JSON.
    if (result.size() >= 2 && result.startsWith('"') && result.endsWith('"'))
        result = result.mid(1, result.size() - 2);
    return result;
}

bool GnomeDesk::activateWorkspace(int index)
{
    return eval("gnome/activate-workspace.js", {{"index", index}}) == "ok";
}

// Which of our windows shows its contents at a point, and where they are.
QWindow *GnomeDesk::ourWindowAt(QPoint screen, QRect *area)
{
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->isExposed() && (*area = contentsArea(window)).contains(screen))
            return window;
    }
    return nullptr;
}

GnomeDesk::PointerSeen::PointerSeen()
{
    qApp->installEventFilter(this);
}

bool GnomeDesk::PointerSeen::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() != QEvent::MouseMove && event->type() != QEvent::Enter)
        return false;
    auto *seenBy = qobject_cast<QWindow *>(object);
    if (!seenBy)
        return false;
    const QPointF local = static_cast<QSinglePointEvent *>(event)->position();
    if (!QRectF(QPointF(), seenBy->size()).contains(local)) {
        window = nullptr;
        return false;
    }
    QWindow *top = seenBy;
    while (top->parent())
        top = top->parent();
    window = top;
    // A view's own surface lies inside its window.
    at = seenBy->mapToGlobal(local.toPoint()) - top->mapToGlobal(QPoint(0, 0));
    return false;
}
