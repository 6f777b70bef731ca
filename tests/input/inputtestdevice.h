#ifndef INPUTTESTDEVICE_H
#define INPUTTESTDEVICE_H

#include <QString>

#include <initializer_list>
#include <utility>

// One input device of a real Xorg server, driven through the socket of its inputtest
// driver (man 4 inputtest): real XInput 2 events of a touchpad or a touch screen,
// which XTest cannot send. The driver takes one client for the server's life, so a
// device is opened once and kept.
class InputTestDevice
{
public:
    InputTestDevice() = default;
    InputTestDevice(const InputTestDevice &) = delete;
    InputTestDevice &operator=(const InputTestDevice &) = delete;
    ~InputTestDevice();

    // Connects and agrees on the protocol; false with the reason in `why`.
    bool open(const QString &socketPath, QString *why);

    // Relative motion: valuators by number, as (valuator, value). Valuators 2 and 3 are
    // the smooth horizontal and vertical scroll, 120 to a notch.
    bool motion(std::initializer_list<std::pair<int, double>> valuators);
    // A touch point (XI_TouchBegin, XI_TouchUpdate or XI_TouchEnd) at a place given in
    // the device's units, 0 to 65535 across the screen.
    bool touch(int id, int type, double x, double y);
    // A pinch (XI_GesturePinchBegin, ...Update or ...End) of two fingers: `scale` is
    // the fingers' scale since the pinch began, `degrees` their turn since the last event.
    bool pinch(int type, double scale, double degrees);
    // Returns once the server has handled everything sent before.
    bool sync();

private:
    bool send(const void *event, unsigned size);
    bool receive(void *response, unsigned size);

    int m_fd = -1;
};

#endif // INPUTTESTDEVICE_H
