// framewatch: starts a program and watches the X server, from outside the program,
// until every quadrant of the program's window shows a picture. It reports how long
// that took from the moment of launch and the program's peak resident memory, and
// can save what the screen showed.
//
//   framewatch [--out FILE.png] [--settle MS] [--timeout S] -- PROGRAM [ARGS...]
//
// Prints one line of JSON on success and exits 0; exits 1 on timeout or error, or with
// the program's own status when it fails before showing its window.

#include <QImage>

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

template<typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T>
XcbReply<T> reply(T *raw)
{
    return XcbReply<T>(raw, &std::free);
}

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    auto r = reply(xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The viewable top-level window that the process with this id put up, if any.
xcb_window_t findWindow(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t pidAtom, pid_t pid)
{
    auto tree = reply(xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        auto property = reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (!property || xcb_get_property_value_length(property.get()) != 4
            || *static_cast<uint32_t *>(xcb_get_property_value(property.get())) != uint32_t(pid))
            continue;
        auto attributes = reply(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, children[i]), nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            return children[i];
    }
    return XCB_WINDOW_NONE;
}

// What the screen shows where the window is, as 32-bit RGB.
QImage grabWindow(xcb_connection_t *connection, xcb_window_t root, xcb_window_t window)
{
    auto geometry = reply(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    auto position = reply(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr));
    if (!geometry || !position || geometry->width == 0 || geometry->height == 0)
        return QImage();
    auto image = reply(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, position->dst_x, position->dst_y,
                      geometry->width, geometry->height, ~0u),
        nullptr));
    if (!image || xcb_get_image_data_length(image.get()) < geometry->width * geometry->height * 4)
        return QImage();
    QImage result(xcb_get_image_data(image.get()), geometry->width, geometry->height, QImage::Format_RGB32);
    return result.copy();
}

// A picture shows in every quadrant: each holds pixels of a saturated colour, which
// neither the toolkit's grey nor the server's black-and-white background contains.
bool everyQuadrantDrawn(const QImage &image)
{
    if (image.isNull())
        return false;
    const int halfWidth = image.width() / 2, halfHeight = image.height() / 2;
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const int x0 = (quadrant % 2) * halfWidth, y0 = (quadrant / 2) * halfHeight;
        int saturated = 0, samples = 0;
        for (int y = y0; y < y0 + halfHeight; y += 4) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = x0; x < x0 + halfWidth; x += 4) {
                const QRgb p = line[x];
                const int r = qRed(p), g = qGreen(p), b = qBlue(p);
                const bool pure = (r == 0 || r == 255) && (g == 0 || g == 255) && (b == 0 || b == 255);
                saturated += pure && !(r == g && g == b);
                ++samples;
            }
        }
        if (saturated * 100 < samples)
            return false;
    }
    return true;
}

long peakResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

int usage()
{
    std::fprintf(stderr, "usage: framewatch [--out FILE.png] [--settle MS] [--timeout S] -- PROGRAM [ARGS...]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    const char *out = nullptr;
    int settleMs = 0;
    double timeoutS = 30;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--")
            break;
        if (i + 1 >= argc)
            return usage();
        if (option == "--out")
            out = argv[++i];
        else if (option == "--settle")
            settleMs = std::atoi(argv[++i]);
        else if (option == "--timeout")
            timeoutS = std::atof(argv[++i]);
        else
            return usage();
    }
    if (i + 1 >= argc)
        return usage();
    char **command = argv + i + 1;

    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "framewatch: cannot connect to the X server\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int s = 0; s < screenNumber; ++s)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t pidAtom = internAtom(connection, "_NET_WM_PID");

    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, command[0], nullptr, nullptr, command, environ) != 0) {
        std::fprintf(stderr, "framewatch: cannot start %s\n", command[0]);
        return 1;
    }

    int result = 1;
    xcb_window_t window = XCB_WINDOW_NONE;
    QImage image;
    double startupMs = -1;
    while (Clock::now() - start < std::chrono::duration<double>(timeoutS)) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "framewatch: %s exited before showing its window\n", command[0]);
            // Hand the program's own failure on, so that a caller sees why it stopped.
            if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
                result = WEXITSTATUS(status);
            pid = 0;
            break;
        }
        if (window == XCB_WINDOW_NONE)
            window = findWindow(connection, root, pidAtom, pid);
        if (window != XCB_WINDOW_NONE && everyQuadrantDrawn(image = grabWindow(connection, root, window))) {
            startupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    if (startupMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        if (settleMs > 0)
            image = grabWindow(connection, root, window);
        const long peakKiB = peakResidentKiB(pid);
        if (out && !image.save(out)) {
            std::fprintf(stderr, "framewatch: cannot write %s\n", out);
        } else {
            std::printf("{\"startup_ms\": %.1f, \"peak_rss_kib\": %ld, \"width\": %d, \"height\": %d}\n",
                        startupMs, peakKiB, image.width(), image.height());
            result = 0;
        }
    } else if (pid != 0) {
        std::fprintf(stderr, "framewatch: no complete picture from %s within %g s\n", command[0], timeoutS);
    }

    if (pid != 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    xcb_disconnect(connection);
    return result;
}
