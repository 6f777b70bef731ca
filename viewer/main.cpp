#include "glsurface.h"
#include "mainwindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // Without a context of the kind the viewports draw with, Qt's OpenGL window would
    // crash on its first paint; say what is missing instead.
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
