#ifndef XORGDESK_H
#define XORGDESK_H

#include "inputtestdevice.h"
#include "x11desk.h"

// A real Xorg with a screen of the dummy video driver, whose touchpad and touch screen
// are inputtest devices (tests/input/xorg-session.sh starts it and says where their
// sockets are): the XInput 2 smooth scrolling, pinches and touches that XTest cannot
// send. Absolute moves, the buttons and the keys still go through XTest.
class XorgDesk : public X11Desk
{
public:
    QString name() const override;
    bool has(Device device) const override;
    bool setLayouts(const QString &names, int active, QString *why) override;
    bool start() override;
    qint64 scroll(int steps, double pixels, int hz) override;
    qint64 touch(QPoint from, QPoint to, int steps) override;
    qint64 twoFingers(const QLineF &from, const QLineF &to, int steps) override;
    bool pinch(QWidget *widget, const QList<qreal> &scales, qreal degrees) override;

private:
    bool finger(int id, int type, QPointF screen);

    InputTestDevice m_touchpad;
    InputTestDevice m_touchScreen;
    bool m_devicesOpen = false;
};

#endif // XORGDESK_H
