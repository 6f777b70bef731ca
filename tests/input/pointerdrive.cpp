// pointerdrive: real pointer input through the display server, for the end-to-end
// tests and the benchmark: X11's XTest, the wlroots virtual pointer (sway) or KWin's
// fake input. It keeps one virtual device connected for its whole life (a Wayland
// seat forgets a device that comes and goes before a client has seen it) and takes
// commands on standard input, one a line:
//
//   move X Y            the pointer to (X, Y) on the screen, in logical pixels
//   down | up           the left button
//   wheel N             N notches away from the user (negative: towards)
//   glide X Y HZ MS     to (X, Y) in a straight line over MS milliseconds, one
//                       motion event every 1/HZ s (none where the pixel is the same)
//   extent W H          the layout of outputs now measures W x H logical pixels (after
//                       a change of scale; wlroots only, the others ignore it)
//   key KEY [HELD...]   the key with evdev code KEY (17 is where QWERTY has W) goes down
//                       and up while the keys HELD (56, left Alt; 42, left Shift) are held
//                       down in order, through the keyboard's layout
//   layouts NAMES N     the keyboard's layouts, xkb names such as us,ru, with the Nth
//                       (from 0) locked (wlroots only: its keyboard is pointerdrive's own)
//   scroll N PX HZ      N steps of a touchpad's two-finger scroll of PX pixels each (positive:
//                       as a wheel turned away from the user), one every 1/HZ s
//   touch down X Y [F] | touch move X Y [F] | touch up [F]
//                       finger F (default 0) on the touch screen (kde only)
//
// After each command it answers "ok T", T being the monotonic clock in nanoseconds
// when its last event was sent, or "error ..." and exits.
//
//   pointerdrive wlroots WIDTH HEIGHT     (the layout's size in logical pixels)
//   pointerdrive kde
//   pointerdrive x11

#include "fake-input-client.h"
#include "virtual-keyboard-client.h"
#include "virtual-pointer-client.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

int64_t nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

uint32_t nowMs()
{
    return uint32_t(nowNs() / 1000000);
}

// The keys `held` go down in order, then `key` goes down and up, then the keys held
// come up in the opposite order: send(code, down) for each.
template<typename Send>
void sendAround(uint32_t key, const std::vector<uint32_t> &held, Send send)
{
    for (uint32_t code : held)
        send(code, true);
    send(key, true);
    send(key, false);
    for (auto code = held.rbegin(); code != held.rend(); ++code)
        send(*code, false);
}

void sleepUntil(int64_t deadlineNs)
{
    timespec ts{time_t(deadlineNs / 1000000000), long(deadlineNs % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

class Driver
{
public:
    virtual ~Driver() = default;
    virtual void move(int x, int y) = 0;
    virtual void button(bool pressed) = 0;
    virtual void wheel(int notches) = 0;
    virtual void setExtent(uint32_t, uint32_t) {}
    virtual bool keys(uint32_t key, const std::vector<uint32_t> &held) = 0;
    virtual bool setLayouts(const std::string &, uint32_t) { return false; }
    // One step of a two-finger scroll, and the lift of the fingers; false where this
    // display server offers no such device.
    virtual bool scroll(double) { return false; }
    virtual void scrollEnd() {}
    enum class Touch { Down, Move, Up };
    // `finger` tells the points of a multi-finger touch apart.
    virtual bool touch(Touch, int, int, int) { return false; }
    // Sends what is buffered; with wait, also waits until the server has taken it.
    virtual bool flush(bool wait) = 0;
};

// A Wayland client of its own: the connection, its registry and its teardown. A
// driver's own objects go first, in its destructor, then the connection.
class WaylandDriver : public Driver
{
public:
    ~WaylandDriver() override
    {
        if (m_display) {
            wl_display_roundtrip(m_display);
            wl_display_disconnect(m_display);
        }
    }

    bool flush(bool wait) override
    {
        return wait ? wl_display_roundtrip(m_display) >= 0 : wl_display_flush(m_display) >= 0;
    }

protected:
    // Connects and hands each global to the listener, with data.
    bool connectDisplay(const wl_registry_listener *listener, void *data)
    {
        m_display = wl_display_connect(nullptr);
        if (!m_display)
            return false;
        wl_registry_add_listener(wl_display_get_registry(m_display), listener, data);
        return wl_display_roundtrip(m_display) >= 0;
    }

    wl_display *m_display = nullptr;
};

class WlrootsDriver : public WaylandDriver
{
public:
    bool connect(uint32_t width, uint32_t height)
    {
        m_width = width;
        m_height = height;
        static const wl_registry_listener listener = {
            [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
                auto *self = static_cast<WlrootsDriver *>(data);
                if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
                    self->m_manager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
                else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
                    self->m_keyboards = static_cast<zwp_virtual_keyboard_manager_v1 *>(
                        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
                else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
                    self->m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            },
            [](void *, wl_registry *, uint32_t) {},
        };
        if (!connectDisplay(&listener, this) || !m_manager)
            return false;
        m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_manager, m_seat);
        // The keyboard is there from the start, as a real one is: one that appeared just
        // before its keys would lose them to a client that has not bound it yet.
        if (m_keyboards && m_seat) {
            m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_keyboards, m_seat);
            if (!setLayouts("us", 0))
                return false;
        }
        return wl_display_roundtrip(m_display) >= 0;
    }

    ~WlrootsDriver() override
    {
        if (m_keyboard)
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        if (m_pointer)
            zwlr_virtual_pointer_v1_destroy(m_pointer);
        xkb_keymap_unref(m_keymap);
    }

    void move(int x, int y) override
    {
        // A quarter pixel in: the compositor scales the point through a fraction of its
        // extent, and a whole pixel can come out a hair short (Xwayland, under sway 1.10
        // at scale 2, truncated 203 to 202); this lands in the same pixel whether a client
        // rounds or truncates.
        zwlr_virtual_pointer_v1_motion_absolute(m_pointer, nowMs(), uint32_t(4 * x + 1), uint32_t(4 * y + 1), 4 * m_width,
                                                4 * m_height);
        zwlr_virtual_pointer_v1_frame(m_pointer);
    }

    void button(bool pressed) override
    {
        const uint32_t leftButton = 0x110;
        zwlr_virtual_pointer_v1_button(m_pointer, nowMs(), leftButton, pressed ? 1 : 0);
        zwlr_virtual_pointer_v1_frame(m_pointer);
    }

    void wheel(int notches) override
    {
        // Positive axis values scroll down, towards the user; 15 per notch.
        const uint32_t wheelSource = 0, verticalAxis = 0;
        zwlr_virtual_pointer_v1_axis_source(m_pointer, wheelSource);
        zwlr_virtual_pointer_v1_axis_discrete(m_pointer, nowMs(), verticalAxis, wl_fixed_from_int(-15 * notches),
                                              -notches);
        zwlr_virtual_pointer_v1_frame(m_pointer);
    }

    // As a touchpad reports it: the finger source, then the travel in pixels.
    bool scroll(double pixels) override
    {
        const uint32_t fingerSource = 1, verticalAxis = 0;
        zwlr_virtual_pointer_v1_axis_source(m_pointer, fingerSource);
        zwlr_virtual_pointer_v1_axis(m_pointer, nowMs(), verticalAxis, wl_fixed_from_double(-pixels));
        zwlr_virtual_pointer_v1_frame(m_pointer);
        return true;
    }

    void scrollEnd() override
    {
        const uint32_t fingerSource = 1, verticalAxis = 0;
        zwlr_virtual_pointer_v1_axis_source(m_pointer, fingerSource);
        zwlr_virtual_pointer_v1_axis_stop(m_pointer, nowMs(), verticalAxis);
        zwlr_virtual_pointer_v1_frame(m_pointer);
    }

    // Absolute motion is spread over the whole layout of outputs.
    void setExtent(uint32_t width, uint32_t height) override
    {
        m_width = width;
        m_height = height;
    }

    // The compositor hands the keymap to the focused client as it is, and the group
    // locked with the modifiers picks the layout.
    bool setLayouts(const std::string &names, uint32_t active) override
    {
        if (!m_keyboard)
            return false;
        xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names rules{nullptr, nullptr, names.c_str(), nullptr, nullptr};
        xkb_keymap *keymap = context ? xkb_keymap_new_from_names(context, &rules, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
        xkb_context_unref(context);
        if (!keymap || active >= xkb_keymap_num_layouts(keymap)) {
            xkb_keymap_unref(keymap);
            return false;
        }
        char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const size_t size = std::strlen(text) + 1;
        const int fd = memfd_create("pointerdrive-keymap", MFD_CLOEXEC);
        const bool written = fd >= 0 && write(fd, text, size) == ssize_t(size);
        std::free(text);
        if (written)
            zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
        if (fd >= 0)
            close(fd);
        xkb_keymap_unref(m_keymap);
        m_keymap = keymap;
        m_group = active;
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, m_group);
        return written;
    }

    // A virtual keyboard sends its modifiers itself, as a real one's driver does: each key
    // goes through an xkb state of the keymap, which tells what they are after it.
    bool keys(uint32_t key, const std::vector<uint32_t> &held) override
    {
        xkb_state *state = m_keyboard ? xkb_state_new(m_keymap) : nullptr;
        if (!state)
            return false;
        const auto send = [&](uint32_t code, bool down) {
            zwp_virtual_keyboard_v1_key(m_keyboard, nowMs(), code, down ? 1 : 0);
            // X keycodes are evdev codes plus 8.
            xkb_state_update_key(state, code + 8, down ? XKB_KEY_DOWN : XKB_KEY_UP);
            zwp_virtual_keyboard_v1_modifiers(m_keyboard, xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
                                              0, 0, m_group);
        };
        sendAround(key, held, send);
        xkb_state_unref(state);
        return true;
    }

private:
    wl_seat *m_seat = nullptr;
    zwlr_virtual_pointer_manager_v1 *m_manager = nullptr;
    zwlr_virtual_pointer_v1 *m_pointer = nullptr;
    zwp_virtual_keyboard_manager_v1 *m_keyboards = nullptr;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
    xkb_keymap *m_keymap = nullptr;
    uint32_t m_group = 0;
    uint32_t m_width = 0, m_height = 0;
};

// KWin's fake input, open to any client where KWIN_WAYLAND_NO_PERMISSION_CHECKS is set.
// Coordinates are global, in logical pixels; keys are evdev codes.
class KdeDriver : public WaylandDriver
{
public:
    bool connect()
    {
        static const wl_registry_listener listener = {
            [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
                auto *self = static_cast<KdeDriver *>(data);
                // Absolute motion came with version 3, keys with 4.
                if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
                    self->m_input = static_cast<org_kde_kwin_fake_input *>(
                        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
            },
            [](void *, wl_registry *, uint32_t) {},
        };
        if (!connectDisplay(&listener, this) || !m_input)
            return false;
        org_kde_kwin_fake_input_authenticate(m_input, "quadview tests", "input for quadview's end-to-end tests");
        return wl_display_roundtrip(m_display) >= 0;
    }

    ~KdeDriver() override
    {
        if (m_input)
            org_kde_kwin_fake_input_destroy(m_input);
    }

    void move(int x, int y) override
    {
        org_kde_kwin_fake_input_pointer_motion_absolute(m_input, wl_fixed_from_int(x), wl_fixed_from_int(y));
    }

    void button(bool pressed) override
    {
        const uint32_t leftButton = 0x110;
        org_kde_kwin_fake_input_button(m_input, leftButton, pressed ? 1 : 0);
    }

    void wheel(int notches) override
    {
        // As wl_pointer: positive values scroll down, towards the user. KWin passes the
        // value on without notches, and Qt makes 12 degrees of a unit: 10 is a notch.
        const uint32_t verticalAxis = 0;
        org_kde_kwin_fake_input_axis(m_input, verticalAxis, wl_fixed_from_int(-10 * notches));
    }

    // The fake input has no scroll source: the steps arrive as a wheel's would.
    bool scroll(double pixels) override
    {
        const uint32_t verticalAxis = 0;
        org_kde_kwin_fake_input_axis(m_input, verticalAxis, wl_fixed_from_double(-pixels));
        return true;
    }

    // Each change of a touch point needs its frame.
    bool touch(Touch what, int x, int y, int id) override
    {
        const uint32_t finger = uint32_t(id);
        if (what == Touch::Down)
            org_kde_kwin_fake_input_touch_down(m_input, finger, wl_fixed_from_int(x), wl_fixed_from_int(y));
        else if (what == Touch::Move)
            org_kde_kwin_fake_input_touch_motion(m_input, finger, wl_fixed_from_int(x), wl_fixed_from_int(y));
        else
            org_kde_kwin_fake_input_touch_up(m_input, finger);
        org_kde_kwin_fake_input_touch_frame(m_input);
        return true;
    }

    // Through the layout KWin has active.
    bool keys(uint32_t key, const std::vector<uint32_t> &held) override
    {
        sendAround(key, held, [this](uint32_t code, bool down) {
            org_kde_kwin_fake_input_keyboard_key(m_input, code, down ? 1 : 0);
        });
        return true;
    }

private:
    org_kde_kwin_fake_input *m_input = nullptr;
};

class X11Driver : public Driver
{
public:
    bool connect()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        return true;
    }

    ~X11Driver() override
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }

    void move(int x, int y) override
    {
        xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(x), int16_t(y), 0);
    }

    void button(bool pressed) override
    {
        xcb_test_fake_input(m_connection, pressed ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
    }

    void wheel(int notches) override
    {
        // Buttons 4 and 5 are the wheel turned away from and towards the user.
        const uint8_t button = notches > 0 ? 4 : 5;
        for (int i = 0; i < std::abs(notches); ++i) {
            xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
    }

    // X keycodes are evdev codes plus 8.
    bool keys(uint32_t key, const std::vector<uint32_t> &held) override
    {
        sendAround(key, held, [this](uint32_t code, bool down) {
            xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, uint8_t(code + 8),
                                XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        });
        return true;
    }

    bool flush(bool wait) override
    {
        if (!wait)
            return xcb_flush(m_connection) > 0;
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        return !xcb_connection_has_error(m_connection);
    }

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
};

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<Driver> driver;
    const std::string kind = argc > 1 ? argv[1] : "";
    if (kind == "wlroots" && argc == 4) {
        auto wlroots = std::make_unique<WlrootsDriver>();
        if (!wlroots->connect(uint32_t(std::atoi(argv[2])), uint32_t(std::atoi(argv[3])))) {
            std::fprintf(stderr, "pointerdrive: no Wayland compositor with a virtual pointer here\n");
            return 1;
        }
        driver = std::move(wlroots);
    } else if (kind == "kde" && argc == 2) {
        auto kde = std::make_unique<KdeDriver>();
        if (!kde->connect()) {
            std::fprintf(stderr, "pointerdrive: no KWin with fake input here\n");
            return 1;
        }
        driver = std::move(kde);
    } else if (kind == "x11" && argc == 2) {
        auto x11 = std::make_unique<X11Driver>();
        if (!x11->connect()) {
            std::fprintf(stderr, "pointerdrive: cannot connect to the X server\n");
            return 1;
        }
        driver = std::move(x11);
    } else {
        std::fprintf(stderr, "usage: pointerdrive wlroots WIDTH HEIGHT | pointerdrive kde | pointerdrive x11\n");
        return 2;
    }

    int x = 0, y = 0;
    double pixels = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        int64_t lastEvent = nowNs();
        if (command == "move" && words >> x >> y) {
            driver->move(x, y);
        } else if (int width = 0, height = 0; command == "extent" && words >> width >> height && width > 0 && height > 0) {
            driver->setExtent(uint32_t(width), uint32_t(height));
        } else if (uint32_t key = 0; command == "key" && words >> key) {
            std::vector<uint32_t> held;
            for (uint32_t down = 0; words >> down;)
                held.push_back(down);
            if (!driver->keys(key, held)) {
                std::printf("error: no keyboard here\n");
                return 1;
            }
        } else if (command == "layouts") {
            std::string names;
            uint32_t active = 0;
            if (!(words >> names >> active) || !driver->setLayouts(names, active)) {
                std::printf("error: cannot give the keyboard the layouts %s\n", names.c_str());
                return 1;
            }
        } else if (std::string what; command == "touch" && words >> what && (what == "up" || words >> x >> y)) {
            const Driver::Touch touch = what == "down" ? Driver::Touch::Down
                                      : what == "move" ? Driver::Touch::Move
                                                       : Driver::Touch::Up;
            int finger = 0;
            words >> finger;
            if (!driver->touch(touch, x, y, finger)) {
                std::printf("error: no touch screen here\n");
                return 1;
            }
        } else if (int steps = 0, hz = 0; command == "scroll" && words >> steps >> pixels >> hz && steps > 0 && hz > 0) {
            const int64_t start = nowNs(), period = 1000000000LL / hz;
            for (int step = 1; step <= steps; ++step) {
                sleepUntil(start + step * period);
                if (!driver->scroll(pixels)) {
                    std::printf("error: no touchpad here\n");
                    return 1;
                }
                lastEvent = nowNs();
                driver->flush(false);
            }
            driver->scrollEnd();
        } else if (command == "down" || command == "up") {
            driver->button(command == "down");
        } else if (int notches = 0; command == "wheel" && words >> notches) {
            driver->wheel(notches);
        } else if (int toX = 0, toY = 0, hz = 0, ms = 0; command == "glide" && words >> toX >> toY >> hz >> ms
                                                         && hz > 0 && ms > 0) {
            const int steps = std::max(1, int(std::lround(double(ms) * hz / 1000.0)));
            const int64_t start = nowNs(), period = 1000000000LL / hz;
            int atX = x, atY = y;
            for (int step = 1; step <= steps; ++step) {
                sleepUntil(start + step * period);
                const double t = double(step) / steps;
                const int nextX = int(std::lround(x + (toX - x) * t)), nextY = int(std::lround(y + (toY - y) * t));
                // A mouse reports only when it moves; so does a glide too slow for its rate.
                if (nextX == atX && nextY == atY)
                    continue;
                driver->move(atX = nextX, atY = nextY);
                lastEvent = nowNs();
                driver->flush(false);
            }
            x = toX;
            y = toY;
        } else {
            std::printf("error: cannot read \"%s\"\n", line.c_str());
            return 1;
        }
        if (command != "glide" && command != "scroll")
            lastEvent = nowNs();
        if (!driver->flush(true)) {
            std::printf("error: the display server went away\n");
            return 1;
        }
        std::printf("ok %lld\n", static_cast<long long>(lastEvent));
        std::fflush(stdout);
    }
    return 0;
}
