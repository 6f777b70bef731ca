#include "desk.h"

#include "inputtestdevice.h"
#include "pointerclient.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryFile>
#include <QVersionNumber>
#include <QWidget>
#include <QWindow>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

#include <X11/extensions/XI2.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <unistd.h>

namespace {

// The tools are not ours: keep the sanitizer runtime of a sanitized run out of them.
QProcessEnvironment toolEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LD_PRELOAD");
    return environment;
}

// Runs a tool to its end while the caller's event loop keeps running; returns what
// it printed, or a null array where it failed.
QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000)
        || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QByteArray();
    const QByteArray printed = process.readAllStandardOutput();
    return printed.isNull() ? QByteArray("") : printed;
}

bool run(const QString &program, const QStringList &arguments)
{
    return !output(program, arguments).isNull();
}

bool waitForSize(QWidget *window, QSize size)
{
    return QTest::qWaitFor([&] { return window->size() == size; }, 10000);
}

// The scale the session gave every output at its start.
qreal sessionScale()
{
    const QByteArray scale = qgetenv("QUADVIEW_SCALE");
    return scale.isEmpty() ? 1.0 : scale.toDouble();
}

// A burst of resizes run by a shell loop, one command per resize, with the size in $1 $2.
class ShellBurst
{
public:
    bool start(QWidget *window, int count, int milliseconds, const QString &before, const QString &resize,
               const QList<QSize> &sizes)
    {
        firstSize = window->size();
        QStringList words;
        for (const QSize &size : sizes)
            words << QString("'%1 %2'").arg(size.width()).arg(size.height());
        const QString script = QString("%1\nfor size in %2; do set -- $size; %3; sleep %4; done\n")
                                   .arg(before, words.join(' '), resize)
                                   .arg(double(milliseconds) / count / 1000.0, 0, 'f', 4);
        m_loop.reset(new QProcess);
        m_loop->setProcessEnvironment(toolEnvironment());
        m_loop->start("sh", {"-c", script});
        return m_loop->waitForStarted();
    }

    bool wait()
    {
        if (!m_loop || !QTest::qWaitFor([&] { return m_loop->state() == QProcess::NotRunning; }, 30000))
            return false;
        const bool ran = m_loop->exitStatus() == QProcess::NormalExit && m_loop->exitCode() == 0;
        m_loop.reset();
        return ran;
    }

    QSize firstSize;

private:
    std::unique_ptr<QProcess> m_loop;
};

// A desk whose pointer comes from pointerdrive.
class PointerDesk : public Desk
{
public:
    bool start() override { return m_pointer.start(pointerKind()); }

    qint64 moveTo(QPoint screen) override
    {
        m_at = screen;
        return sent(m_pointer.command(QString("move %1 %2").arg(screen.x()).arg(screen.y())));
    }
    qint64 button(bool pressed) override { return sent(m_pointer.command(pressed ? "down" : "up")); }
    qint64 wheel(int notches) override { return sent(m_pointer.command(QString("wheel %1").arg(notches))); }
    qint64 glide(QPoint screen, int hz, int milliseconds) override
    {
        m_at = screen;
        return sent(m_pointer.command(
            QString("glide %1 %2 %3 %4").arg(screen.x()).arg(screen.y()).arg(hz).arg(milliseconds)));
    }
    qint64 scroll(int steps, double pixels, int hz) override
    {
        return sent(m_pointer.command(QString("scroll %1 %2 %3").arg(steps).arg(pixels).arg(hz)));
    }
    bool altWith(int key) override { return sent(m_pointer.command(QString("chord %1").arg(key))) >= 0; }
    qint64 touch(QPoint from, QPoint to, int steps) override
    {
        qint64 at = m_pointer.command(QString("touch down %1 %2").arg(from.x()).arg(from.y()));
        for (int step = 1; at >= 0 && step <= steps; ++step) {
            const QPoint next = from + (to - from) * step / steps;
            at = m_pointer.command(QString("touch move %1 %2").arg(next.x()).arg(next.y()));
        }
        return sent(at >= 0 ? m_pointer.command("touch up") : -1);
    }
    qint64 twoFingers(const QLineF &from, const QLineF &to, int steps) override
    {
        const auto place = [](QPointF point) { return QString("%1 %2").arg(qRound(point.x())).arg(qRound(point.y())); };
        qint64 at = m_pointer.command("touch down " + place(from.p1()) + " 0");
        at = at < 0 ? -1 : m_pointer.command("touch down " + place(from.p2()) + " 1");
        for (int step = 1; at >= 0 && step <= steps; ++step) {
            at = m_pointer.command("touch move " + place(from.p1() + (to.p1() - from.p1()) * step / steps) + " 0");
            at = at < 0 ? -1 : m_pointer.command("touch move " + place(from.p2() + (to.p2() - from.p2()) * step / steps) + " 1");
        }
        at = at < 0 ? -1 : m_pointer.command("touch up 0");
        return sent(at < 0 ? -1 : m_pointer.command("touch up 1"));
    }

protected:
    virtual QString pointerKind() const = 0;

    // When the pointer last did anything, on the monotonic clock, and where it went.
    qint64 m_lastInputNs = 0;
    QPoint m_at;
    PointerClient m_pointer;

private:
    qint64 sent(qint64 at)
    {
        m_lastInputNs = monotonicNs();
        return at;
    }
};

// X11 without a window manager (Xvfb): xdotool acts as one.
class X11Desk : public PointerDesk
{
public:
    QString name() const override { return "x11"; }
    bool isWayland() const override { return false; }
    // XTest has buttons alone; Xvfb has no touch device.
    bool has(Device) const override { return false; }

    QImage pixels(const QRect &area) override
    {
        return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    }

    // Xvfb keeps the keymap it started with, US: after `setxkbmap -layout us,ru` (or that
    // keymap compiled and loaded with xkbcomp) W's key still types w alone.
    bool setLayouts(const QString &names, int active, QString *why) override
    {
        if (names == "us" && active == 0)
            return true;
        *why = "Xvfb keeps its US keymap whatever setxkbmap loads; X11 clients meet other layouts "
               "under sway's Xwayland";
        return false;
    }

    // Qt takes its scale on X11 once, at start.
    bool setScale(qreal scale) override { return qFuzzyCompare(scale, 1.0); }
    bool hideWindow(QWidget *window) override { return run("xdotool", {"windowunmap", "--sync", id(window)}); }
    bool showWindow(QWidget *window) override { return run("xdotool", {"windowmap", "--sync", id(window)}); }
    bool moveToOtherOutput(QWidget *, bool) override { return false; }

    bool startResizeBurst(QWidget *window, int count, int milliseconds) override
    {
        return m_burst.start(window, count, milliseconds, ":", "xdotool windowsize " + id(window) + " $1 $2",
                             burstSizes(window->size(), count));
    }
    qint64 endResizeBurst(QWidget *window) override
    {
        if (!m_burst.wait())
            return -1;
        const qint64 sent = monotonicNs();
        const QSize first = m_burst.firstSize;
        return run("xdotool", {"windowsize", id(window), QString::number(first.width()), QString::number(first.height())})
                && waitForSize(window, first)
            ? sent
            : -1;
    }

protected:
    QString pointerKind() const override { return "x11"; }
    // No window manager draws a frame.
    QRect contentsArea(QWindow *window) override { return QRect(window->mapToGlobal(QPoint(0, 0)), window->size()); }

private:
    static QString id(QWidget *window) { return QString::number(window->winId()); }
    ShellBurst m_burst;
};

// A real Xorg with a screen of the dummy video driver, whose touchpad and touch screen
// are inputtest devices (tests/input/xorg-session.sh starts it and says where their
// sockets are): the XInput 2 smooth scrolling, pinches and touches that XTest cannot
// send. Absolute moves, the buttons and the keys still go through XTest.
class XorgDesk : public X11Desk
{
public:
    QString name() const override { return "xorg"; }
    bool has(Device) const override { return true; }
    bool setLayouts(const QString &names, int active, QString *why) override
    {
        if (names == "us" && active == 0)
            return true;
        *why = "the Xorg run keeps a US keyboard; X11 clients meet other layouts under sway's Xwayland";
        return false;
    }

    bool start() override
    {
        if (!X11Desk::start())
            return false;
        // Each device takes one client for the server's life: opened once, kept.
        if (!m_devicesOpen) {
            const QString folder = qEnvironmentVariable("QUADVIEW_XORG_DEVICES");
            QString why;
            m_devicesOpen = m_touchpad.open(folder + "/touchpad", &why) && m_touchScreen.open(folder + "/touchscreen", &why);
            if (!m_devicesOpen)
                qWarning("the Xorg devices: %s", qPrintable(why));
        }
        return m_devicesOpen;
    }

    // libinput gives Qt 12 units of wheel delta per pixel of finger travel; a scroll
    // valuator has 120 to a notch and grows as the fingers move towards the user.
    qint64 scroll(int steps, double pixels, int hz) override
    {
        // The fingers come down first. When the pointer's events start coming from
        // another device, Qt reads the scroll valuators anew, and the event that made
        // the change counts for nothing (Qt 6.4): as on a laptop whose mouse moved last.
        if (!m_touchpad.motion({{0, 0}, {1, 0}}) || !m_touchpad.sync())
            return -1;
        QTest::qWait(20);
        return paced(steps, hz, [&] { return m_touchpad.motion({{3, -12 * pixels}}) && m_touchpad.sync(); });
    }

    qint64 touch(QPoint from, QPoint to, int steps) override
    {
        bool sent = finger(0, XI_TouchBegin, from);
        for (int step = 1; sent && step <= steps; ++step)
            sent = finger(0, XI_TouchUpdate, from + (to - from) * step / steps);
        return sent && finger(0, XI_TouchEnd, to) ? monotonicNs() : -1;
    }

    qint64 twoFingers(const QLineF &from, const QLineF &to, int steps) override
    {
        bool sent = finger(0, XI_TouchBegin, from.p1()) && finger(1, XI_TouchBegin, from.p2());
        for (int step = 1; sent && step <= steps; ++step) {
            sent = finger(0, XI_TouchUpdate, from.p1() + (to.p1() - from.p1()) * step / steps)
                && finger(1, XI_TouchUpdate, from.p2() + (to.p2() - from.p2()) * step / steps);
        }
        return sent && finger(0, XI_TouchEnd, to.p1()) && finger(1, XI_TouchEnd, to.p2()) ? monotonicNs() : -1;
    }

    bool pinch(QWidget *widget, const QList<qreal> &scales, qreal degrees) override
    {
        if (moveTo(toScreen(widget, QPoint(widget->width() / 2, widget->height() / 2))) < 0)
            return false;
        const auto send = [this](int type, qreal scale, qreal turn) {
            const bool sent = m_touchpad.pinch(type, scale, turn) && m_touchpad.sync();
            QTest::qWait(5);
            return sent;
        };
        bool sent = send(XI_GesturePinchBegin, 1, 0);
        for (qsizetype i = 0; sent && i < scales.size(); ++i)
            sent = send(XI_GesturePinchUpdate, scales[i], degrees);
        return sent && send(XI_GesturePinchEnd, scales.isEmpty() ? 1 : scales.last(), 0);
    }

private:
    // A finger at a point of the screen: the touch screen's axes run from 0 to 65535
    // across it, and Xorg scales them by the screen's size over 65536. The event loop
    // runs between events, as between a device's reports.
    bool finger(int id, int type, QPointF screen)
    {
        const QSize size = QGuiApplication::primaryScreen()->virtualSize();
        const bool sent = m_touchScreen.touch(id, type, screen.x() * 65536 / size.width(), screen.y() * 65536 / size.height())
            && m_touchScreen.sync();
        QTest::qWait(5);
        return sent;
    }

    // `count` steps, one every 1/hz s, while the event loop runs.
    static qint64 paced(int count, int hz, const std::function<bool()> &step)
    {
        QElapsedTimer clock;
        clock.start();
        for (int i = 1; i <= count; ++i) {
            QTest::qWait(int(qMax<qint64>(0, qint64(i) * 1000 / hz - clock.elapsed())));
            if (!step())
                return -1;
        }
        return monotonicNs();
    }

    InputTestDevice m_touchpad;
    InputTestDevice m_touchScreen;
    bool m_devicesOpen = false;
};

// sway, whose IPC takes the window manager's part; keys come from pointerdrive's
// virtual keyboard, with a keymap of its own, and pictures from grim. The window is the
// one tiled window of its workspace, at the output's top left corner.
class SwayDesk : public PointerDesk
{
public:
    QString name() const override { return "sway"; }
    bool isWayland() const override { return true; }
    // Its virtual pointer scrolls as a touchpad does; it has no virtual touch device.
    bool has(Device device) const override { return device == Device::Touchpad; }

    // sway takes the pointer away from a window while it hides the resting pointer, and
    // under Xwayland a scroll that arrives with the pointer's return is lost to Qt's
    // xcb platform, which reads the scroll axes afresh when the pointer enters. The
    // pointer comes back first, and the scroll waits until Qt has seen it enter.
    qint64 wheel(int notches) override { return wake() ? PointerDesk::wheel(notches) : -1; }
    qint64 scroll(int steps, double pixels, int hz) override
    {
        return wake() ? PointerDesk::scroll(steps, pixels, hz) : -1;
    }

    bool setLayouts(const QString &names, int active, QString *why) override
    {
        if (m_pointer.command(QString("layouts %1 %2").arg(names).arg(active)) >= 0)
            return true;
        *why = QString("pointerdrive's keyboard did not take the layouts %1").arg(names);
        return false;
    }

    // Through a file: a pipe, read between the waits of a test, passed a whole screen
    // at about a megabyte a second.
    QImage pixels(const QRect &area) override
    {
        // A headless output draws the pointer into its picture until the pointer has
        // rested for 100 ms (hide_cursor in sway.conf); a loaded machine gets a margin.
        const qint64 rested = monotonicNs() - m_lastInputNs;
        if (rested < 500'000'000)
            QTest::qWait(int((500'000'000 - rested) / 1'000'000) + 1);
        const QString path = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/quadview-screenshot.ppm";
        if (!run("grim", {"-t", "ppm", "-g",
                          QString("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height()), path}))
            return QImage();
        QImage image(path, "PPM");
        QFile::remove(path);
        return image.convertToFormat(QImage::Format_RGB32);
    }

    bool setScale(qreal scale) override
    {
        if (qFuzzyCompare(scale, m_scale))
            return true;
        const QSize before = QGuiApplication::primaryScreen()->virtualSize();
        if (!swaymsg({"output", "*", "scale", QString::number(scale)}))
            return false;
        m_scale = scale;
        return QTest::qWaitFor([&] { return QGuiApplication::primaryScreen()->virtualSize() != before; }, 10000)
            && m_pointer.updateExtent();
    }
    bool hideWindow(QWidget *) override { return swaymsg({"workspace", "quadview-away"}); }
    bool showWindow(QWidget *) override { return swaymsg({"workspace", "back_and_forth"}); }
    bool moveToOtherOutput(QWidget *, bool back) override
    {
        return swaymsg({ours(), "move", "container", "to", "output", back ? "left" : "right"});
    }

    // Headless outputs come with create_output and go with unplug (sway 1.8 and later).
    bool replaceOutput(qreal scale, QString *why) override
    {
        const QJsonObject version = QJsonDocument::fromJson(output("swaymsg", {"-t", "get_version"})).object();
        if (QVersionNumber(version.value("major").toInt(), version.value("minor").toInt()) < QVersionNumber(1, 8)) {
            *why = "sway " + version.value("human_readable").toString() + " cannot unplug an output (1.8 can)";
            return false;
        }
        const QStringList before = outputNames();
        if (before.size() != 1 || !swaymsg({"create_output"})) {
            *why = "sway did not add an output to its one";
            return false;
        }
        const QStringList after = outputNames();
        const QString added = after.value(after.indexOf(before.first()) == 0 ? 1 : 0);
        QScreen *const old = QGuiApplication::primaryScreen();
        const bool replaced = !added.isEmpty()
            && swaymsg({"output", added, "resolution",
                        QString("%1x%2").arg(qRound(1280 * scale)).arg(qRound(800 * scale)), "position", "0", "0",
                        "scale", QString::number(scale)})
            && swaymsg({"output", before.first(), "unplug"});
        *why = "sway did not put a new output in place of the old";
        m_scale = scale;
        // Qt learns of the new output on its own schedule. As an X11 client of Xwayland
        // (24.1) it is still told of the unplugged one as well, at the same place.
        const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
        return replaced && QTest::qWaitFor([&] {
            const QList<QScreen *> screens = QGuiApplication::screens();
            if (x11)
                return std::any_of(screens.begin(), screens.end(), [&](QScreen *screen) { return screen->name() == added; });
            return screens.size() == 1 && !screens.contains(old);
        }, 10000) && m_pointer.updateExtent();
    }

    bool startResizeBurst(QWidget *window, int count, int milliseconds) override
    {
        return m_burst.start(window, count, milliseconds, "swaymsg -q '" + ours() + "' floating enable",
                             "swaymsg -q '" + ours() + "' resize set \"$1\"px \"$2\"px",
                             burstSizes(window->size(), count));
    }
    qint64 endResizeBurst(QWidget *window) override
    {
        if (!m_burst.wait())
            return -1;
        const qint64 sent = monotonicNs();
        // Tiled again, the window takes its first size and place.
        return swaymsg({ours(), "floating", "disable"}) && waitForSize(window, m_burst.firstSize) ? sent : -1;
    }

protected:
    QString pointerKind() const override { return "wlroots"; }

    // From sway's tree: the container's place, and the window's inside it.
    QRect contentsArea(QWindow *) override
    {
        const QByteArray tree = output("swaymsg", {"-t", "get_tree"});
        const QJsonObject node = newestOfOurs(QJsonDocument::fromJson(tree).object());
        const QJsonObject rect = node.value("rect").toObject(), inner = node.value("window_rect").toObject();
        return QRect(rect.value("x").toInt() + inner.value("x").toInt(), rect.value("y").toInt() + inner.value("y").toInt(),
                     inner.value("width").toInt(), inner.value("height").toInt());
    }

private:
    bool wake()
    {
        if (moveTo(m_at) < 0)
            return false;
        const QList<QWidget *> windows = QApplication::topLevelWidgets();
        return QTest::qWaitFor([&] {
            return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible() && w->underMouse(); });
        }, 5000);
    }

    static bool swaymsg(const QStringList &command) { return run("swaymsg", QStringList{"-q"} + command); }
    static QStringList outputNames()
    {
        QStringList names;
        for (const QJsonValue &entry : QJsonDocument::fromJson(output("swaymsg", {"-t", "get_outputs"})).array())
            names << entry.toObject().value("name").toString();
        return names;
    }
    // The node of our newest window (one closed a moment ago may still be listed).
    static QJsonObject newestOfOurs(const QJsonObject &node)
    {
        QJsonObject found = node.value("pid").toInteger() == QCoreApplication::applicationPid() ? node : QJsonObject();
        for (const char *children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue &child : node.value(children).toArray()) {
                const QJsonObject ours = newestOfOurs(child.toObject());
                if (!ours.isEmpty() && (found.isEmpty() || ours.value("id").toInt() > found.value("id").toInt()))
                    found = ours;
            }
        }
        return found;
    }
    // Commands for our window, wherever the focus is.
    static QString ours() { return QString("[pid=%1]").arg(QCoreApplication::applicationPid()); }

    qreal m_scale = sessionScale();
    ShellBurst m_burst;
};

// Answers from KWin scripts, which call back over D-Bus, each with its script's name.
class ScriptReplies : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quadview.Desk")

public:
    QHash<QString, QStringList> values;

public slots:
    void reply(const QString &script, const QString &value) { values[script] << value; }
};

// KDE Plasma's KWin: pointer and keys from pointerdrive through KWin's fake input,
// pictures from its ScreenShot2 interface, the window manager's part from KWin
// scripts. The session gives KWin two virtual desktops.
class KdeDesk : public PointerDesk
{
public:
    QString name() const override { return "kde"; }
    bool isWayland() const override { return true; }
    bool has(Device) const override { return true; }

    bool start() override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return PointerDesk::start() && bus.registerService(service)
            && bus.registerObject("/", &m_replies, QDBusConnection::ExportAllSlots);
    }
    // The session bus, and what this desk has on it, outlive KWin. A KWin just started
    // may not offer its fake input yet: pointerdrive then ends at once.
    bool reconnect() override
    {
        return QTest::qWaitFor([this] { return PointerDesk::start() && m_pointer.command("extent 1 1") >= 0; },
                               10000);
    }

    // KWin reads its layouts from kxkbrc, again when told to, and offers them (Plasma's
    // keyboard settings make one active) over D-Bus; KWin 5.27 only while it has more
    // than one. A single layout is reached from a pair that holds it, and taken once the
    // list shows it alone, or is gone.
    bool setLayouts(const QString &names, int active, QString *why) override
    {
        QDBusInterface layouts("org.kde.keyboard", "/Layouts", "org.kde.KeyboardLayouts");
        const bool single = !names.contains(',');
        const QString pair = names == "us" ? "us,fr" : names + ",us";
        if ((single && !loadLayouts(layouts, pair)) || !loadLayouts(layouts, names)) {
            *why = QString("KWin did not take the layouts %1").arg(names);
            return false;
        }
        if (single)
            return true;
        layouts.call("setLayout", uint(active));
        const QDBusReply<uint> now = layouts.call("getLayout");
        if (now.isValid() && now.value() == uint(active))
            return true;
        *why = QString("KWin did not make layout %1 of %2 active").arg(active).arg(names);
        return false;
    }

    // Writes the layouts to KWin's configuration and tells it to read them again; true
    // once its D-Bus interface lists them (or, for one layout, offers no list).
    static bool loadLayouts(QDBusInterface &layouts, const QString &names)
    {
        QFile config(qEnvironmentVariable("XDG_CONFIG_HOME") + "/kxkbrc");
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || config.write(QString("[Layout]\nLayoutList=%1\nUse=true\n").arg(names).toUtf8()) < 0)
            return false;
        config.close();
        QDBusConnection::sessionBus().send(QDBusMessage::createSignal("/Layouts", "org.kde.keyboard", "reloadConfig"));
        QDeadlineTimer deadline(10000);
        for (QString listed; (listed = layoutNames(layouts.call("getLayoutsList"))) != names;) {
            if (listed.isEmpty() && !names.contains(','))
                return true;
            if (deadline.hasExpired())
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    // The short names of getLayoutsList's (short name, variant, long name) entries.
    static QString layoutNames(const QDBusMessage &reply)
    {
        QStringList names;
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        if (list.currentType() != QDBusArgument::ArrayType)
            return QString();
        list.beginArray();
        while (!list.atEnd()) {
            QString name, variant, longName;
            list.beginStructure();
            list >> name >> variant >> longName;
            list.endStructure();
            names << name;
        }
        list.endArray();
        return names.join(',');
    }

    QImage pixels(const QRect &area) override
    {
        int pipe[2];
        if (::pipe(pipe) != 0)
            return QImage();
        QDBusInterface screenshots("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2");
        const QDBusReply<QVariantMap> reply = screenshots.call(
            "CaptureArea", area.x(), area.y(), uint(area.width()), uint(area.height()),
            QVariantMap{{"native-resolution", true}}, QVariant::fromValue(QDBusUnixFileDescriptor(pipe[1])));
        ::close(pipe[1]);
        QByteArray data;
        char buffer[65536];
        for (ssize_t n; reply.isValid() && (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
            data.append(buffer, n);
        ::close(pipe[0]);
        if (!reply.isValid())
            return QImage();
        const QVariantMap info = reply.value();
        const QImage image(reinterpret_cast<const uchar *>(data.constData()), info.value("width").toInt(),
                           info.value("height").toInt(), info.value("stride").toInt(),
                           QImage::Format(info.value("format").toInt()));
        return data.size() < qsizetype(image.sizeInBytes()) ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    }

    // KWin takes its scale at start.
    bool setScale(qreal scale) override { return qFuzzyCompare(scale, sessionScale()); }
    bool hideWindow(QWidget *) override { return setDesktop(2); }
    bool showWindow(QWidget *) override { return setDesktop(1); }
    bool moveToOtherOutput(QWidget *, bool) override { return false; }

    // KWin sizes the frame, which holds its title bar around the client area.
    bool startResizeBurst(QWidget *window, int count, int milliseconds) override
    {
        m_firstSize = window->size();
        QStringList sizes;
        for (const QSize &size : burstSizes(m_firstSize, count))
            sizes << QString("[%1, %2]").arg(size.width()).arg(size.height());
        m_burst = load(QString("const first = ours.frameGeometry, client = ours.clientGeometry || ours.bufferGeometry;\n"
                               "const dw = first.width - client.width, dh = first.height - client.height;\n"
                               "const sizes = [%1];\n"
                               "let i = 0;\n"
                               "const timer = new QTimer();\n"
                               "timer.interval = %2;\n"
                               "timer.timeout.connect(() => {\n"
                               "    if (i < sizes.length) {\n"
                               "        ours.frameGeometry = {x: first.x, y: first.y, width: sizes[i][0] + dw, height: sizes[i][1] + dh};\n"
                               "        ++i;\n"
                               "    } else {\n"
                               "        timer.stop();\n"
                               "        reply('done');\n"
                               "    }\n"
                               "});\n"
                               "timer.start();\n")
                           .arg(sizes.join(", "))
                           .arg(qMax(1, milliseconds / count)));
        return !m_burst.isEmpty();
    }

    qint64 endResizeBurst(QWidget *window) override
    {
        const bool ran = !m_burst.isEmpty() && awaitReply(m_burst, 30000) == "done";
        unload(m_burst);
        m_burst.clear();
        if (!ran)
            return -1;
        const qint64 sent = monotonicNs();
        return script(QString("const at = ours.frameGeometry, client = ours.clientGeometry || ours.bufferGeometry;\n"
                              "ours.frameGeometry = {x: at.x, y: at.y, width: %1 + at.width - client.width,\n"
                              "                      height: %2 + at.height - client.height};\n"
                              "reply('ok');\n")
                          .arg(m_firstSize.width())
                          .arg(m_firstSize.height()))
                    == "ok"
                && waitForSize(window, m_firstSize)
            ? sent
            : -1;
    }

protected:
    QString pointerKind() const override { return "kde"; }

    // KWin draws the title bar (with its Breeze decoration) outside the client area,
    // which KWin 5 gives as the surface's buffer geometry.
    QRect contentsArea(QWindow *) override
    {
        const QStringList at = script("const c = ours.clientGeometry || ours.bufferGeometry;\n"
                                      "reply([c.x, c.y, c.width, c.height].join(','));")
                                   .split(',');
        return at.size() == 4 ? QRect(at[0].toInt(), at[1].toInt(), at[2].toInt(), at[3].toInt()) : QRect();
    }

private:
    static constexpr const char *service = "io.github.quadview.Desk";

    static bool setDesktop(int desktop)
    {
        QDBusInterface kwin("org.kde.KWin", "/KWin", "org.kde.KWin");
        const QDBusReply<bool> reply = kwin.call("setCurrentDesktop", desktop);
        return reply.isValid() && reply.value();
    }

    // Loads and starts a script in which `ours` is our window and reply() answers;
    // returns its name, or an empty string. A script that fails replies with the error.
    QString load(const QString &body)
    {
        const QString name = QString("quadview-%1").arg(++m_scripts);
        const QString path = QString("%1/%2.js").arg(qEnvironmentVariable("XDG_RUNTIME_DIR"), name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        // The newest of our windows: one closed a moment ago may still be listed. Plasma 6
        // renamed the list.
        file.write(QString("function reply(value) { callDBus('%2', '/', '%2', 'reply', '%3', String(value)); }\n"
                           "try {\n"
                           "const ours = (workspace.windowList ? workspace.windowList() : workspace.clientList())\n"
                           "    .filter(c => c.pid === %1).pop();\n"
                           "if (!ours)\n"
                           "    throw 'no window of ours';\n"
                           "%4\n"
                           "} catch (error) {\n"
                           "    reply('error: ' + error);\n"
                           "}\n")
                       .arg(QCoreApplication::applicationPid())
                       .arg(service, name, body)
                       .toUtf8());
        file.close();
        QDBusInterface scripting("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting");
        const QDBusReply<int> id = scripting.call("loadScript", path, name);
        if (!id.isValid() || id.value() < 0)
            return QString();
        scripting.call("start");
        return name;
    }

    void unload(const QString &name)
    {
        if (!name.isEmpty())
            QDBusInterface("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting").call("unloadScript", name);
        m_replies.values.remove(name);
    }

    // The script's first answer, or an empty string when none came in time.
    QString awaitReply(const QString &name, int milliseconds)
    {
        if (!QTest::qWaitFor([&] { return !m_replies.values.value(name).isEmpty(); }, milliseconds)) {
            qWarning("KdeDesk: KWin script %s did not answer within %d ms", qPrintable(name), milliseconds);
            return QString();
        }
        const QString answer = m_replies.values[name].takeFirst();
        if (answer.startsWith("error: "))
            qWarning("KdeDesk: KWin script %s: %s", qPrintable(name), qPrintable(answer));
        return answer;
    }

    // Runs a script that replies once, and returns its answer.
    QString script(const QString &body)
    {
        const QString name = load(body);
        const QString answer = name.isEmpty() ? QString() : awaitReply(name, 5000);
        unload(name);
        return answer;
    }

    ScriptReplies m_replies;
    int m_scripts = 0;
    QString m_burst;
    QSize m_firstSize;
};

// GNOME: mutter's RemoteDesktop session for the pointer, the Shell's Screenshot
// interface for pictures and its Eval (open in --unsafe-mode) for keys and the window
// manager's part. The pointer moves to absolute places on a screen cast of the monitor
// (where PipeWire runs, as it does in a GNOME session); without one, RemoteDesktop
// moves it only relative to where it is: it is pushed into the top left corner, which
// the session keeps from opening the overview, and followed from there.
class GnomeDesk : public Desk
{
public:
    QString name() const override { return "gnome"; }
    bool isWayland() const override { return true; }

    bool start() override
    {
        QDBusInterface remote("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                              "org.gnome.Mutter.RemoteDesktop");
        const QDBusReply<QDBusObjectPath> session = remote.call("CreateSession");
        if (!session.isValid())
            return false;
        m_session.reset(new QDBusInterface("org.gnome.Mutter.RemoteDesktop", session.value().path(),
                                           "org.gnome.Mutter.RemoteDesktop.Session"));
        recordMonitor();
        // Keys from the session's keyboard never reached a window here (GNOME 43); a
        // keyboard of the Shell's own does.
        if (!call("Start")
            || eval("const Clutter = imports.gi.Clutter;\n"
                    "global.quadviewKeyboard = Clutter.get_default_backend().get_default_seat()\n"
                    "    .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);\n'ok'")
                != "ok")
            return false;
        // A new device's first events are lost while the compositor sets it up.
        QTest::qWait(500);
        return !m_stream.isEmpty() || call("NotifyPointerMotionRelative", -100000.0, -100000.0);
    }

    // Moved relatively with no button held, the pointer goes into the corner first, so
    // that where it is never depends on every earlier motion having arrived. mutter
    // finds the surface under the pointer when it next draws, later still on a loaded
    // machine: a press or a wheel sent before could go to whatever was under the
    // pointer before. Over one of our windows, the move ends when the motion reached it.
    qint64 moveTo(QPoint screen) override
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
        // mutter may not send a motion to a surface it has not yet found under the
        // pointer, nor one that ends where the pointer already is: the pointer moves
        // on until one arrives.
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (QTest::qWaitFor([&] { return m_seen.window == window && area.topLeft() + m_seen.at == screen; }, 200))
                return sent;
            if (step(screen + QPoint(1, 0)) < 0 || (sent = step(screen)) < 0)
                return -1;
        }
        return -1;
    }

    qint64 button(bool pressed) override
    {
        const int leftButton = 0x110;
        if (!call("NotifyPointerButton", leftButton, pressed))
            return -1;
        m_pressed = pressed;
        return monotonicNs();
    }

    qint64 wheel(int notches) override
    {
        // Positive steps scroll down, towards the user.
        const uint verticalAxis = 0;
        return call("NotifyPointerAxisDiscrete", verticalAxis, -notches) ? monotonicNs() : -1;
    }

    qint64 glide(QPoint screen, int hz, int milliseconds) override
    {
        const QPoint from = m_at;
        const int steps = qMax(1, int(std::lround(double(milliseconds) * hz / 1000.0)));
        return paced(steps, hz, [&](int step) {
            const QPoint next = from + (screen - from) * step / steps;
            return next == m_at ? 0 : this->step(next);
        });
    }

    bool has(Device device) const override { return device == Device::Touchpad; }

    qint64 scroll(int steps, double pixels, int hz) override
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
    qint64 touch(QPoint, QPoint, int) override { return -1; }

    bool altWith(int key) override
    {
        // evdev codes, as a keyboard sends them: left Alt is 56.
        return eval(QString("const Clutter = imports.gi.Clutter, GLib = imports.gi.GLib;\n"
                            "const keyboard = global.quadviewKeyboard, t = GLib.get_monotonic_time();\n"
                            "keyboard.notify_key(t, 56, Clutter.KeyState.PRESSED);\n"
                            "keyboard.notify_key(t + 1000, %1, Clutter.KeyState.PRESSED);\n"
                            "keyboard.notify_key(t + 2000, %1, Clutter.KeyState.RELEASED);\n"
                            "keyboard.notify_key(t + 3000, 56, Clutter.KeyState.RELEASED);\n'ok'")
                        .arg(key))
            == "ok";
    }

    QImage pixels(const QRect &area) override
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

    // Only scales the virtual monitor offers; at 1280 x 800, that is 1 alone.
    bool setScale(qreal scale) override { return qFuzzyCompare(scale, m_scale); }
    bool hideWindow(QWidget *) override { return activateWorkspace(1); }
    bool showWindow(QWidget *) override { return activateWorkspace(0); }
    bool moveToOtherOutput(QWidget *, bool) override { return false; }

    bool startResizeBurst(QWidget *window, int count, int milliseconds) override
    {
        m_firstSize = window->size();
        // mutter sizes the frame, which holds Qt's decoration around the window.
        const QMargins margins = window->windowHandle()->frameMargins();
        QStringList sizes;
        for (const QSize &size : burstSizes(m_firstSize, count))
            sizes << QString("[%1, %2]").arg(size.width() + margins.left() + margins.right())
                                        .arg(size.height() + margins.top() + margins.bottom());
        return eval(QString("const GLib = imports.gi.GLib;\n"
                            "const w = %1;\n"
                            "const first = w.get_frame_rect();\n"
                            "global.quadviewFirst = [first.x, first.y, first.width, first.height];\n"
                            "global.quadviewBurst = 'running';\n"
                            "const sizes = [%2];\n"
                            "let i = 0;\n"
                            "GLib.timeout_add(GLib.PRIORITY_DEFAULT, %3, () => {\n"
                            "    if (i < sizes.length) {\n"
                            "        w.move_resize_frame(true, first.x, first.y, sizes[i][0], sizes[i][1]);\n"
                            "        ++i;\n"
                            "        return GLib.SOURCE_CONTINUE;\n"
                            "    }\n"
                            "    global.quadviewBurst = 'done';\n"
                            "    return GLib.SOURCE_REMOVE;\n"
                            "});\n"
                            "'started'")
                        .arg(ours(), sizes.join(", "))
                        .arg(qMax(1, milliseconds / count)))
            == "started";
    }

    qint64 endResizeBurst(QWidget *window) override
    {
        if (!QTest::qWaitFor([&] { return eval("global.quadviewBurst") == "done"; }, 30000))
            return -1;
        const qint64 sent = monotonicNs();
        const QString restored = eval(QString("const f = global.quadviewFirst;\n"
                                              "%1.move_resize_frame(true, f[0], f[1], f[2], f[3]);\n'ok'")
                                          .arg(ours()));
        return restored == "ok" && waitForSize(window, m_firstSize) ? sent : -1;
    }

protected:
    // mutter's buffer rectangle is the whole of Qt's surface: the contents, the title
    // bar Qt draws itself and, with the decoration Qt 6.8 loads under GNOME, a shadow
    // around it (its frame rectangle, the window geometry, leaves the shadow out). Qt's
    // frame margins reach from the contents to the buffer's edge. A new window has a
    // buffer before mutter places it, and is on screen only once its actor shows: not
    // before, and not while on another workspace.
    QRect contentsArea(QWindow *window) override
    {
        const QStringList at = eval(QString("const w = %1, a = w.get_compositor_private(), r = w.get_buffer_rect();\n"
                                            "a && a.visible ? [r.x, r.y, r.width, r.height].join(',') : ''")
                                        .arg(ours()))
                                   .split(',');
        if (at.size() != 4)
            return QRect();
        return QRect(at[0].toInt(), at[1].toInt(), at[2].toInt(), at[3].toInt())
            .marginsRemoved(window->frameMargins());
    }

private:
    // Absolute motion and touch need a screen cast of the monitor tied to the session,
    // which mutter gives only where PipeWire runs; without one the pointer moves
    // relative to where it is, and there is no touch.
    void recordMonitor()
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
    QPointF streamPoint(QPoint screen) const { return QPointF(screen) * m_scale; }

    // Calls `event` for steps 1 to `steps`, one every 1/hz s, and returns the time of
    // the last event sent (an event returns 0 where it sends none), or -1 as soon as
    // one fails. The viewer lives in this process: it handles its events meanwhile.
    qint64 paced(int steps, int hz, const std::function<qint64(int)> &event)
    {
        const qint64 start = monotonicNs(), period = 1000000000LL / hz;
        qint64 last = start;
        for (int step = 1; step <= steps; ++step) {
            const qint64 due = start + step * period;
            while (monotonicNs() < due)
                QCoreApplication::processEvents(QEventLoop::AllEvents, int(qMax<qint64>(1, (due - monotonicNs()) / 1000000)));
            const qint64 at = event(step);
            if (at < 0)
                return -1;
            if (at > 0)
                last = at;
        }
        return last;
    }

    qint64 step(QPoint screen)
    {
        const QPoint by = screen - m_at;
        const QPointF at = streamPoint(screen);
        if (m_stream.isEmpty() ? !call("NotifyPointerMotionRelative", double(by.x()), double(by.y()))
                               : !call("NotifyPointerMotionAbsolute", m_stream, at.x(), at.y()))
            return -1;
        m_at = screen;
        return monotonicNs();
    }

    template<typename... Arguments>
    bool call(const QString &method, Arguments... arguments)
    {
        return m_session && m_session->call(method, arguments...).type() == QDBusMessage::ReplyMessage;
    }

    // Runs JavaScript in the Shell and returns its result as text.
    static QString eval(const QString &script)
    {
        QDBusInterface shell("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell");
        const QDBusMessage reply = shell.call("Eval", script);
        if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
            return QString();
        QString result = reply.arguments().value(1).toString();
        // A string comes back as JSON.
        if (result.size() >= 2 && result.startsWith('"') && result.endsWith('"'))
            result = result.mid(1, result.size() - 2);
        return result;
    }

    // The newest of our windows: one closed a moment ago may still be listed.
    static QString ours()
    {
        return QString("global.get_window_actors().map(a => a.meta_window).filter(w => w.get_pid() === %1)"
                       ".sort((a, b) => a.get_stable_sequence() - b.get_stable_sequence()).pop()")
            .arg(QCoreApplication::applicationPid());
    }

    static bool activateWorkspace(int index)
    {
        return eval(QString("const manager = global.workspace_manager;\n"
                            "while (manager.n_workspaces <= %1)\n"
                            "    manager.append_new_workspace(false, global.get_current_time());\n"
                            "manager.get_workspace_by_index(%1).activate(global.get_current_time());\n'ok'")
                        .arg(index))
            == "ok";
    }

    // Which of our windows shows its contents at a point, and where they are.
    QWindow *ourWindowAt(QPoint screen, QRect *area)
    {
        for (QWindow *window : QGuiApplication::topLevelWindows()) {
            if (window->isExposed() && (*area = contentsArea(window)).contains(screen))
                return window;
        }
        return nullptr;
    }

    // Where the program last saw the pointer move: the top-level window, and the
    // point in it. A surface that still has the pointer's focus after the pointer left
    // it gets motions outside itself: those do not count.
    class PointerSeen : public QObject
    {
    public:
        PointerSeen() { qApp->installEventFilter(this); }

        QPointer<QWindow> window;
        QPoint at;

    protected:
        bool eventFilter(QObject *object, QEvent *event) override
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
    };

    std::unique_ptr<QDBusInterface> m_session;
    PointerSeen m_seen;
    QString m_stream;
    QPoint m_at;
    bool m_pressed = false;
    const qreal m_scale = sessionScale();
    QSize m_firstSize;
};

} // namespace

std::unique_ptr<Desk> Desk::create()
{
    // An X11 client inside a Wayland desktop (through its Xwayland) has that desktop's.
    const QByteArray desktop = qgetenv("QUADVIEW_DESKTOP");
    if (desktop.isEmpty())
        return std::make_unique<X11Desk>();
    if (desktop == "xorg")
        return std::make_unique<XorgDesk>();
    if (desktop == "gnome")
        return std::make_unique<GnomeDesk>();
    if (desktop == "kde")
        return std::make_unique<KdeDesk>();
    return std::make_unique<SwayDesk>();
}

QPoint Desk::toScreen(QWidget *widget, QPoint local)
{
    QWidget *window = widget->window();
    return toScreen(window->windowHandle(), widget->mapTo(window, local));
}

QPoint Desk::toScreen(QWindow *window, QPoint local)
{
    return contentsArea(window).topLeft() + local;
}

bool Desk::waitForPlacement(QWindow *window)
{
    return QTest::qWaitFor([&] { return contentsArea(window).size() == window->size(); }, 10000);
}

bool Desk::waitForPlacement(QWidget *window)
{
    return waitForPlacement(window->windowHandle());
}

bool Desk::setLayouts(const QString &, int, QString *why)
{
    *why = "this desktop's keyboard layouts cannot be chosen by the test";
    return false;
}

qint64 Desk::twoFingers(const QLineF &, const QLineF &, int)
{
    return -1;
}

bool Desk::pinch(QWidget *widget, const QList<qreal> &scales, qreal degrees)
{
    static const QPointingDevice *const touchpad = [] {
        auto *device = new QPointingDevice("touchpad", 0x7e57, QInputDevice::DeviceType::TouchPad,
                                           QPointingDevice::PointerType::Finger, QInputDevice::Capability::Position,
                                           2, 0, QString(), QPointingDeviceUniqueId(), QCoreApplication::instance());
        QWindowSystemInterface::registerInputDevice(device);
        return device;
    }();
    const QPoint centre(widget->width() / 2, widget->height() / 2);
    if (moveTo(toScreen(widget, centre)) < 0)
        return false;
    QWidget *window = widget->window();
    QWindow *handle = window->windowHandle();
    const QPointF local = widget->mapTo(window, QPointF(centre)), global = widget->mapToGlobal(QPointF(centre));
    const ulong time = ulong(monotonicNs() / 1000000);
    // As Qt's platforms hand it on: each zoom event carries the change of the fingers'
    // scale since the one before.
    bool sent = QWindowSystemInterface::handleGestureEvent(handle, time, touchpad, Qt::BeginNativeGesture, local, global, 2);
    qreal previous = 1;
    for (qreal scale : scales) {
        if (degrees != 0)
            QWindowSystemInterface::handleGestureEventWithRealValue(handle, time, touchpad, Qt::RotateNativeGesture,
                                                                    degrees, local, global);
        sent = QWindowSystemInterface::handleGestureEventWithRealValue(handle, time, touchpad, Qt::ZoomNativeGesture,
                                                                       scale - previous, local, global) && sent;
        previous = scale;
    }
    return QWindowSystemInterface::handleGestureEvent(handle, time, touchpad, Qt::EndNativeGesture, local, global, 2)
        && sent;
}

bool Desk::replaceOutput(qreal, QString *why)
{
    *why = "this desktop cannot plug outputs in and out while it runs";
    return false;
}

QRect Desk::areaOf(QWidget *widget)
{
    return QRect(toScreen(widget, QPoint(0, 0)), widget->size());
}

QImage Desk::pixelsOf(QWidget *widget)
{
    return pixels(areaOf(widget));
}

QList<QSize> Desk::burstSizes(QSize first, int count)
{
    QList<QSize> sizes;
    for (int i = 0; i < count; ++i)
        sizes << QSize(first.width() * (55 + (i * 37) % 45) / 100, first.height() * (55 + (i * 53) % 45) / 100);
    return sizes;
}

qint64 Desk::monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

#include "desk.moc"
