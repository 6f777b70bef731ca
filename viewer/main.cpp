#include "displaycheck.h"
#include "glsurface.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

const char usage[] =
    "Usage: quadview [options] [Qt options]\n"
    "Shows a cube on a ground grid in four OpenGL views at once: top, left and front\n"
    "(orthographic) and perspective, each with a camera of its own.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "Every other option goes to Qt, for example -platform wayland.\n"
    "\n"
    "Controls: the pointer acts on the view under it, the keys on the view with the\n"
    "keyboard focus.\n"
    "  drag with the left button, or one finger on a touchscreen\n"
    "      pans. The top, left and front views move the camera one scene unit per\n"
    "      pixel, so the scene moves the way you drag, by as many screen pixels as\n"
    "      one unit covers at the current zoom. The perspective view slides its\n"
    "      camera sideways (by the square root of the pixels) and lowers or raises\n"
    "      it by one unit per pixel dragged up or down.\n"
    "  wheel, or two fingers scrolling on a touchpad\n"
    "      zooms: each notch away from you moves the camera 10 units towards the\n"
    "      scene (the perspective view's along (1, -1, -1)), a notch towards you\n"
    "      moves it back. Small steps add up: a slow scroll zooms as far as a\n"
    "      quick one over the same travel.\n"
    "  pinch on a touchpad, or two fingers on a touchscreen\n"
    "      zooms the view about its middle by the fingers' scale: spread to twice\n"
    "      the distance, the scene is twice as large. Turning them does nothing.\n"
    "  Tab, Shift+Tab\n"
    "      give the keyboard focus to the next or the previous view in reading\n"
    "      order (top, left, front, perspective), round again after the last; a\n"
    "      view that fills the window keeps it. A left click or a tap gives a view\n"
    "      the focus too; a frame in the highlight colour marks it. No view has it\n"
    "      at start-up.\n"
    "  arrow keys\n"
    "      pan as a drag of 10 pixels the other way would: the scene slides\n"
    "      against the arrow, as a scrolled page does. Holding one pans on.\n"
    "  + (or =) and -, the keypad's too, with or without Ctrl\n"
    "      zoom in and out as one notch of the wheel away and towards does, on\n"
    "      whichever keys type them on your layout.\n"
    "  Home\n"
    "      brings the view's camera back to where it started, with its zoom.\n"
    "  Alt+W (W released while Alt is held), on any keyboard layout\n"
    "      gives the view with the keyboard focus the whole window; again, brings\n"
    "      back the four views. Until one has the focus, Alt+W does nothing;\n"
    "      holding it does not repeat it.\n"
    "  other buttons and keys\n"
    "      do nothing.\n"
    "\n"
    "Environment: QT_QPA_PLATFORM (xcb for X11, wayland), QT_SCALE_FACTOR.\n"
    "Exit status: 0 when the window is closed; 1 when quadview cannot start or go\n"
    "on, with a line saying why. The manual page (man quadview) lists each case.\n";

QtMessageHandler qtMessageHandler = nullptr;

// Qt's Wayland platform does not tell an embedded window when a fractional output
// scale arrives after the window was made (Qt 6.8 with sway; a bare QOpenGLWindow in
// a window container does the same). Qt notices at the window's next update, corrects
// the value itself and asks for a bug report; nothing is wrong by then, so the user is
// spared the notice.
void quietenStaleRatioNotice(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("The cached device pixel ratio value was stale")))
        return;
    qtMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // Read before Qt's application object exists, which needs a display: the two
    // options answer anywhere. Every other argument is left to Qt, as it always was.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(arguments);
    if (parser.isSet(help)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("quadview %s\n", QUADVIEW_VERSION);
        return 0;
    }

    // Qt would abort here and advise reinstalling, which would not help.
    DisplayCheck display(arguments);
    const QString noDisplay = display.problem();
    if (!display.missingPackage().isEmpty()) {
        std::fprintf(stderr,
                     "quadview: the only display here is a Wayland one, and %s; install the package %s "
                     "(sudo apt install %s)\n",
                     qPrintable(noDisplay), qPrintable(display.missingPackage()), qPrintable(display.missingPackage()));
        return 1;
    }
    if (!noDisplay.isEmpty()) {
        std::fprintf(stderr,
                     "quadview: no display to open the window on: %s. Start it in a desktop session, over ssh "
                     "with X forwarding (ssh -X), or on a virtual X screen (xvfb-run quadview).\n",
                     qPrintable(noDisplay));
        return 1;
    }

    qtMessageHandler = qInstallMessageHandler(quietenStaleRatioNotice);
    QApplication app(argc, argv);
    display.close();

    const QString fallback = DisplayCheck::xwaylandFallbackPackage(arguments);
    if (!fallback.isEmpty())
        std::fprintf(stderr,
                     "quadview: running as an X11 client of Xwayland in this Wayland session, since Qt's Wayland "
                     "platform plugin is not installed; for a native Wayland window install the package %s "
                     "(sudo apt install %s)\n",
                     qPrintable(fallback), qPrintable(fallback));

    // Without a context of the kind the viewports draw with, say before any window shows
    // what is missing and what to try.
    const QString missing = GLSurface::missingOpenGL();
    if (!missing.isEmpty()) {
        std::fprintf(stderr,
                     "quadview: cannot draw on the Qt platform \"%s\": %s. quadview needs desktop OpenGL with "
                     "the fixed-function pipeline (a compatibility profile, not OpenGL ES); without a GPU, "
                     "Mesa's software renderer provides it (Debian package libgl1-mesa-dri) on an X11 or "
                     "Wayland display (QT_QPA_PLATFORM=xcb or wayland).\n",
                     qPrintable(QGuiApplication::platformName()), qPrintable(missing));
        return 1;
    }

    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
