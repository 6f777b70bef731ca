#include "inputtestdevice.h"

#include <xorg/xf86-input-inputtest-protocol.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

template<typename Event>
Event newEvent(xf86ITEventType type)
{
    Event event;
    std::memset(&event, 0, sizeof event);
    event.header.length = sizeof event;
    event.header.type = type;
    return event;
}

} // namespace

InputTestDevice::~InputTestDevice()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InputTestDevice::open(const QString &socketPath, QString *why)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    if (size_t(path.size()) >= sizeof address.sun_path) {
        *why = "the socket's path is too long: " + socketPath;
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        *why = QString("cannot connect to %1: %2").arg(socketPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    auto version = newEvent<xf86ITEventClientVersion>(XF86IT_EVENT_CLIENT_VERSION);
    version.major = XF86IT_PROTOCOL_VERSION_MAJOR;
    version.minor = XF86IT_PROTOCOL_VERSION_MINOR;
    xf86ITResponseServerVersion answer = {};
    if (!send(&version, sizeof version) || !receive(&answer, sizeof answer)
        || answer.header.type != XF86IT_RESPONSE_SERVER_VERSION || answer.major != XF86IT_PROTOCOL_VERSION_MAJOR) {
        *why = socketPath + ": the driver did not agree on the protocol (or has a client already)";
        return false;
    }
    return true;
}

bool InputTestDevice::motion(std::initializer_list<std::pair<int, double>> valuators)
{
    auto event = newEvent<xf86ITEventMotion>(XF86IT_EVENT_MOTION);
    for (const auto &[valuator, value] : valuators) {
        event.valuators.mask[valuator / 8] |= uint8_t(1 << (valuator % 8));
        event.valuators.valuators[valuator] = value;
    }
    return send(&event, sizeof event);
}

bool InputTestDevice::touch(int id, int type, double x, double y)
{
    auto event = newEvent<xf86ITEventTouch>(XF86IT_EVENT_TOUCH);
    event.touchid = uint32_t(id);
    event.touch_type = uint32_t(type);
    event.valuators.mask[0] = 0x3;
    event.valuators.valuators[0] = x;
    event.valuators.valuators[1] = y;
    return send(&event, sizeof event);
}

bool InputTestDevice::pinch(int type, double scale, double degrees)
{
    auto event = newEvent<xf86ITEventGesturePinch>(XF86IT_EVENT_GESTURE_PINCH);
    event.gesture_type = uint16_t(type);
    event.num_touches = 2;
    event.scale = scale;
    event.delta_angle = degrees;
    return send(&event, sizeof event);
}

bool InputTestDevice::sync()
{
    const auto event = newEvent<xf86ITEventWaitForSync>(XF86IT_EVENT_WAIT_FOR_SYNC);
    xf86ITResponseSyncFinished answer = {};
    return send(&event, sizeof event) && receive(&answer, sizeof answer)
        && answer.header.type == XF86IT_RESPONSE_SYNC_FINISHED;
}

bool InputTestDevice::send(const void *event, unsigned size)
{
    const char *bytes = static_cast<const char *>(event);
    while (m_fd >= 0 && size > 0) {
        const ssize_t written = ::write(m_fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= unsigned(written);
    }
    return m_fd >= 0;
}

// The server answers within milliseconds; ten seconds cover a loaded machine.
bool InputTestDevice::receive(void *response, unsigned size)
{
    char *bytes = static_cast<char *>(response);
    while (m_fd >= 0 && size > 0) {
        pollfd readable = {m_fd, POLLIN, 0};
        if (::poll(&readable, 1, 10000) <= 0)
            return false;
        const ssize_t got = ::read(m_fd, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= unsigned(got);
    }
    return m_fd >= 0;
}
