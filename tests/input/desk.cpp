#include "desk.h"

#include "gnomedesk.h"
#include "kdedesk.h"
#include "swaydesk.h"
#include "tools.h"
#include "x11desk.h"
#include "xorgdesk.h"

#include <QCoreApplication>
#include <QPointingDevice>
#include <QWidget>
#include <QWindow>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

#include <ctime>

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

qreal Desk::sessionScale()
{
    const QByteArray scale = qgetenv("QUADVIEW_SCALE");
    return scale.isEmpty() ? 1.0 : scale.toDouble();
}

bool Desk::waitForSize(QWidget *window, QSize size)
{
    return Tools::waitFor([&] { return window->size() == size; }, 10000);
}

qint64 Desk::monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

