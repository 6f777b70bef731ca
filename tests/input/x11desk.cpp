#include "x11desk.h"

#include "tools.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

QString X11Desk::name() const
{
    return "x11";
}

bool X11Desk::isWayland() const
{
    return false;
}

// XTest has buttons alone; Xvfb has no touch device.
bool X11Desk::has(Device) const
{
    return false;
}

QImage X11Desk::pixels(const QRect &area)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// Xvfb keeps the keymap it started with, US: after `setxkbmap -layout us,ru` (or that
// keymap compiled and loaded with xkbcomp) W's key still types w alone.
bool X11Desk::setLayouts(const QString &names, int active, QString *why)
{
    if (names == "us" && active == 0)
        return true;
    *why = "Xvfb keeps its US keymap whatever setxkbmap loads; X11 clients meet other layouts "
           "under sway's Xwayland";
    return false;
}

bool X11Desk::hideWindow(QWindow *window)
{
    return Tools::run("xdotool", {"windowunmap", "--sync", QString::number(window->winId())});
}

bool X11Desk::showWindow(QWindow *window)
{
    return Tools::run("xdotool", {"windowmap", "--sync", QString::number(window->winId())});
}

bool X11Desk::startResizeBurst(QWidget *window, int count, int milliseconds)
{
    return m_burst.start(window, ":", "xdotool windowsize " + id(window) + " $1 $2", burstSizes(window->size(), count),
                         milliseconds);
}

qint64 X11Desk::endResizeBurst(QWidget *window)
{
    if (!m_burst.wait())
        return -1;
    const qint64 sent = monotonicNs();
    const QSize first = m_burst.firstSize;
    return Tools::run("xdotool", {"windowsize", id(window), QString::number(first.width()), QString::number(first.height())})
            && waitForSize(window, first)
        ? sent
        : -1;
}

QString X11Desk::pointerKind() const
{
    return "x11";
}

// No window manager draws a frame.
QRect X11Desk::contentsArea(QWindow *window)
{
    return QRect(window->mapToGlobal(QPoint(0, 0)), window->size());
}

QString X11Desk::id(QWidget *window)
{
    return QString::number(window->winId());
}
