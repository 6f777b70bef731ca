#include "swaydesk.h"

#include "tools.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScreen>
#include <QVersionNumber>
#include <QWidget>

#include <algorithm>

QString SwayDesk::name() const
{
    return "sway";
}

bool SwayDesk::isWayland() const
{
    return true;
}

// Its virtual pointer scrolls as a touchpad does; it has no virtual touch device.
bool SwayDesk::has(Device device) const
{
    return device == Device::Touchpad;
}

// sway takes the pointer away from a window while it hides the resting pointer, and
// under Xwayland a scroll that arrives with the pointer's return is lost to Qt's xcb
// platform, which reads the scroll axes afresh when the pointer enters. The pointer
// comes back first, and the scroll waits until Qt has seen it enter.
qint64 SwayDesk::wheel(int notches)
{
    return wake() ? PointerDesk::wheel(notches) : -1;
}

qint64 SwayDesk::scroll(int steps, double pixels, int hz)
{
    return wake() ? PointerDesk::scroll(steps, pixels, hz) : -1;
}

bool SwayDesk::setLayouts(const QString &names, int active, QString *why)
{
    if (m_pointer.command(QString("layouts %1 %2").arg(names).arg(active)) >= 0)
        return true;
    *why = QString("pointerdrive's keyboard did not take the layouts %1").arg(names);
    return false;
}

// sway's seats say which window has the keyboard and which input devices it has.
QString SwayDesk::diagnosis()
{
    return Desk::diagnosis() + "\nsway's seats: " + QString::fromUtf8(Tools::output("swaymsg", {"-r", "-t", "get_seats"}));
}

// Through a file: a pipe, read between the waits of a test, passed a whole screen at
// about a megabyte a second.
QImage SwayDesk::pixels(const QRect &area)
{
    // A headless output draws the pointer into its picture until the pointer has
    // rested for 100 ms (hide_cursor in sway.conf); a loaded machine gets a margin.
    Tools::handleEventsUntil(m_lastInputNs + 500'000'000);
    const QString path = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/quadview-screenshot.ppm";
    if (!Tools::run("grim", {"-t", "ppm", "-g",
                             QString("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height()),
                             path}))
        return QImage();
    QImage image(path, "PPM");
    QFile::remove(path);
    return image.convertToFormat(QImage::Format_RGB32);
}

bool SwayDesk::setScale(qreal scale)
{
    if (qFuzzyCompare(scale, m_scale))
        return true;
    const QSize before = QGuiApplication::primaryScreen()->virtualSize();
    if (!swaymsg({"output", "*", "scale", QString::number(scale)}))
        return false;
    m_scale = scale;
    return Tools::waitFor([&] { return QGuiApplication::primaryScreen()->virtualSize() != before; }, 10000, 10)
        && m_pointer.updateExtent();
}

bool SwayDesk::hideWindow(QWindow *)
{
    return swaymsg({"workspace", "quadview-away"});
}

bool SwayDesk::showWindow(QWindow *)
{
    return swaymsg({"workspace", "back_and_forth"});
}

bool SwayDesk::moveToOtherOutput(QWidget *, bool back)
{
    return swaymsg({ours(), "move", "container", "to", "output", back ? "left" : "right"});
}

// Headless outputs come with create_output and go with unplug (sway 1.8 and later).
bool SwayDesk::replaceOutput(qreal scale, QString *why)
{
    const QJsonObject version = QJsonDocument::fromJson(Tools::output("swaymsg", {"-t", "get_version"})).object();
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
        && swaymsg({"output", added, "resolution", QString("%1x%2").arg(qRound(1280 * scale)).arg(qRound(800 * scale)),
                    "position", "0", "0", "scale", QString::number(scale)})
        && swaymsg({"output", before.first(), "unplug"});
    *why = "sway did not put a new output in place of the old";
    m_scale = scale;
    // Qt learns of the new output on its own schedule. As an X11 client of Xwayland
    // (24.1) it is still told of the unplugged one as well, at the same place.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    return replaced && Tools::waitFor([&] {
        const QList<QScreen *> screens = QGuiApplication::screens();
        if (x11)
            return std::any_of(screens.begin(), screens.end(), [&](QScreen *screen) { return screen->name() == added; });
        return screens.size() == 1 && !screens.contains(old);
    }, 10000, 10) && m_pointer.updateExtent();
}

bool SwayDesk::startResizeBurst(QWidget *window, int count, int milliseconds)
{
    return m_burst.start(window, "swaymsg -q '" + ours() + "' floating enable",
                         "swaymsg -q '" + ours() + "' resize set \"$1\"px \"$2\"px", burstSizes(window->size(), count),
                         milliseconds);
}

qint64 SwayDesk::endResizeBurst(QWidget *window)
{
    if (!m_burst.wait())
        return -1;
    const qint64 sent = monotonicNs();
    // Tiled again, the window takes its first size and place.
    return swaymsg({ours(), "floating", "disable"}) && waitForSize(window, m_burst.firstSize) ? sent : -1;
}

QString SwayDesk::pointerKind() const
{
    return "wlroots";
}

// From sway's tree: the container's place, and the window's inside it.
QRect SwayDesk::contentsArea(QWindow *)
{
    const QByteArray tree = Tools::output("swaymsg", {"-t", "get_tree"});
    const QJsonObject node = newestOfOurs(QJsonDocument::fromJson(tree).object());
    const QJsonObject rect = node.value("rect").toObject(), inner = node.value("window_rect").toObject();
    return QRect(rect.value("x").toInt() + inner.value("x").toInt(), rect.value("y").toInt() + inner.value("y").toInt(),
                 inner.value("width").toInt(), inner.value("height").toInt());
}

bool SwayDesk::wake()
{
    if (moveTo(m_at) < 0)
        return false;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    return Tools::waitFor([&] {
        return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible() && w->underMouse(); });
    }, 5000, 10);
}

bool SwayDesk::swaymsg(const QStringList &command)
{
    return Tools::run("swaymsg", QStringList{"-q"} + command);
}

QStringList SwayDesk::outputNames()
{
    QStringList names;
    for (const QJsonValue &entry : QJsonDocument::fromJson(Tools::output("swaymsg", {"-t", "get_outputs"})).array())
        names << entry.toObject().value("name").toString();
    return names;
}

// The node of our newest window (one closed a moment ago may still be listed).
QJsonObject SwayDesk::newestOfOurs(const QJsonObject &node)
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
QString SwayDesk::ours()
{
    return QString("[pid=%1]").arg(QCoreApplication::applicationPid());
}
