#include "pointerdesk.h"

bool PointerDesk::start()
{
    return m_pointer.start(pointerKind());
}

qint64 PointerDesk::moveTo(QPoint screen)
{
    m_at = screen;
    return sent(m_pointer.command(QString("move %1 %2").arg(screen.x()).arg(screen.y())));
}

qint64 PointerDesk::button(bool pressed)
{
    return sent(m_pointer.command(pressed ? "down" : "up"));
}

qint64 PointerDesk::wheel(int notches)
{
    return sent(m_pointer.command(QString("wheel %1").arg(notches)));
}

qint64 PointerDesk::glide(QPoint screen, int hz, int milliseconds)
{
    m_at = screen;
    return sent(m_pointer.command(QString("glide %1 %2 %3 %4").arg(screen.x()).arg(screen.y()).arg(hz).arg(milliseconds)));
}

qint64 PointerDesk::scroll(int steps, double pixels, int hz)
{
    return sent(m_pointer.command(QString("scroll %1 %2 %3").arg(steps).arg(pixels).arg(hz)));
}

bool PointerDesk::press(int key, const QList<int> &held)
{
    QString command = QString("key %1").arg(key);
    for (int down : held)
        command += QString(" %1").arg(down);
    return sent(m_pointer.command(command)) >= 0;
}

qint64 PointerDesk::touch(QPoint from, QPoint to, int steps)
{
    qint64 at = m_pointer.command(QString("touch down %1 %2").arg(from.x()).arg(from.y()));
    for (int step = 1; at >= 0 && step <= steps; ++step) {
        const QPoint next = from + (to - from) * step / steps;
        at = m_pointer.command(QString("touch move %1 %2").arg(next.x()).arg(next.y()));
    }
    return sent(at >= 0 ? m_pointer.command("touch up") : -1);
}

qint64 PointerDesk::twoFingers(const QLineF &from, const QLineF &to, int steps)
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

qint64 PointerDesk::sent(qint64 at)
{
    m_lastInputNs = monotonicNs();
    return at;
}
