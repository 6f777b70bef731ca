#include "desk.h"

#include "gnomedesk.h"
#include "kdedesk.h"
#include "swaydesk.h"
#include "tools.h"
#include "x11desk.h"
#include "xorgdesk.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointingDevice>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>


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
    return Tools::waitFor([&] { return contentsArea(window).size() == window->size(); }, 10000, 10);
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

QString Desk::diagnosis()
{
    QFile log(qEnvironmentVariable("QUADVIEW_DESKTOP_LOG"));
    if (!log.open(QIODevice::ReadOnly))
        return QString("%1: no compositor's log").arg(name());
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    return QString("%1's log ends:\n%2").arg(name(), QString::fromLocal8Bit(lines.mid(qMax(0, int(lines.size()) - 20)).join('\n')));
}

bool Desk::setScale(qreal scale)
{
    return qFuzzyCompare(scale, sessionScale());
}

bool Desk::moveToOtherOutput(QWidget *, bool)
{
    return false;
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
    return Tools::monotonicNs();
}

qint64 Desk::paced(int steps, int hz, const std::function<qint64(int step)> &event)
{
    const qint64 start = monotonicNs(), period = 1000000000LL / hz;
    qint64 last = start;
    for (int step = 1; step <= steps; ++step) {
        Tools::handleEventsUntil(start + step * period);
        const qint64 at = event(step);
        if (at < 0)
            return -1;
        if (at > 0)
            last = at;
    }
    return last;
}

QRect Desk::rectFrom(const QString &answer)
{
    const QStringList at = answer.split(',');
    return at.size() == 4 ? QRect(at[0].toInt(), at[1].toInt(), at[2].toInt(), at[3].toInt()) : QRect();
}

