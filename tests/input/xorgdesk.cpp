#include "xorgdesk.h"

#include "tools.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <X11/extensions/XI2.h>

QString XorgDesk::name() const
{
    return "xorg";
}

bool XorgDesk::has(Device) const
{
    return true;
}

bool XorgDesk::setLayouts(const QString &names, int active, QString *why)
{
    if (names == "us" && active == 0)
        return true;
    *why = "the Xorg run keeps a US keyboard; X11 clients meet other layouts under sway's Xwayland";
    return false;
}

bool XorgDesk::start()
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
qint64 XorgDesk::scroll(int steps, double pixels, int hz)
{
    // The fingers come down first. When the pointer's events start coming from
    // another device, Qt reads the scroll valuators anew, and the event that made
    // the change counts for nothing (Qt 6.4): as on a laptop whose mouse moved last.
    if (!m_touchpad.motion({{0, 0}, {1, 0}}) || !m_touchpad.sync())
        return -1;
    Tools::handleEventsFor(20);
    return paced(steps, hz, [&](int) {
        return m_touchpad.motion({{3, -12 * pixels}}) && m_touchpad.sync() ? monotonicNs() : -1;
    });
}

qint64 XorgDesk::touch(QPoint from, QPoint to, int steps)
{
    bool sent = finger(0, XI_TouchBegin, from);
    for (int step = 1; sent && step <= steps; ++step)
        sent = finger(0, XI_TouchUpdate, from + (to - from) * step / steps);
    return sent && finger(0, XI_TouchEnd, to) ? monotonicNs() : -1;
}

qint64 XorgDesk::twoFingers(const QLineF &from, const QLineF &to, int steps)
{
    bool sent = finger(0, XI_TouchBegin, from.p1()) && finger(1, XI_TouchBegin, from.p2());
    for (int step = 1; sent && step <= steps; ++step) {
        sent = finger(0, XI_TouchUpdate, from.p1() + (to.p1() - from.p1()) * step / steps)
            && finger(1, XI_TouchUpdate, from.p2() + (to.p2() - from.p2()) * step / steps);
    }
    return sent && finger(0, XI_TouchEnd, to.p1()) && finger(1, XI_TouchEnd, to.p2()) ? monotonicNs() : -1;
}

bool XorgDesk::pinch(QWidget *widget, const QList<qreal> &scales, qreal degrees)
{
    if (moveTo(toScreen(widget, QPoint(widget->width() / 2, widget->height() / 2))) < 0)
        return false;
    const auto send = [this](int type, qreal scale, qreal turn) {
        const bool sent = m_touchpad.pinch(type, scale, turn) && m_touchpad.sync();
        Tools::handleEventsFor(5);
        return sent;
    };
    bool sent = send(XI_GesturePinchBegin, 1, 0);
    for (qsizetype i = 0; sent && i < scales.size(); ++i)
        sent = send(XI_GesturePinchUpdate, scales[i], degrees);
    return sent && send(XI_GesturePinchEnd, scales.isEmpty() ? 1 : scales.last(), 0);
}

// A finger at a point of the screen: the touch screen's axes run from 0 to 65535
// across it, and Xorg scales them by the screen's size over 65536. The event loop
// runs between events, as between a device's reports.
bool XorgDesk::finger(int id, int type, QPointF screen)
{
    const QSize size = QGuiApplication::primaryScreen()->virtualSize();
    const bool sent = m_touchScreen.touch(id, type, screen.x() * 65536 / size.width(), screen.y() * 65536 / size.height())
        && m_touchScreen.sync();
    Tools::handleEventsFor(5);
    return sent;
}

