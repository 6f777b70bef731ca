#ifndef POINTERDESK_H
#define POINTERDESK_H

#include "desk.h"
#include "pointerclient.h"

// A desk whose pointer, keyboard and touch come from pointerdrive.
class PointerDesk : public Desk
{
public:
    bool start() override;

    qint64 moveTo(QPoint screen) override;
    qint64 button(bool pressed) override;
    qint64 wheel(int notches) override;
    qint64 glide(QPoint screen, int hz, int milliseconds) override;
    qint64 scroll(int steps, double pixels, int hz) override;
    bool press(int key, const QList<int> &held) override;
    qint64 touch(QPoint from, QPoint to, int steps) override;
    qint64 twoFingers(const QLineF &from, const QLineF &to, int steps) override;

protected:
    // pointerdrive's name for the way it reaches this desktop.
    virtual QString pointerKind() const = 0;

    // When the pointer last did anything, on the monotonic clock, and where it went.
    qint64 m_lastInputNs = 0;
    QPoint m_at;
    PointerClient m_pointer;

private:
    qint64 sent(qint64 at);
};

#endif // POINTERDESK_H
