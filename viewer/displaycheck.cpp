#include "displaycheck.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>

#include <xcb/xcb.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// The value of a Qt option such as -platform or -display (also spelt with two dashes).
QString qtOption(const QStringList &arguments, const QString &name)
{
    for (int i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "-" + name || arguments[i] == "--" + name)
            return arguments[i + 1];
    return QString();
}

// The platforms the user chose: the -platform option, else QT_QPA_PLATFORM (a list);
// none where Qt is left to choose.
QStringList chosenPlatforms(const QStringList &arguments)
{
    const QString option = qtOption(arguments, "platform");
    if (!option.isEmpty())
        return {option};
    return qEnvironmentVariable("QT_QPA_PLATFORM").split(';', Qt::SkipEmptyParts);
}

bool inWaylandSession()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qEnvironmentVariable("XDG_SESSION_TYPE") == "wayland";
}

// The platforms Qt will try, as it chooses them: the user's choice, else X11 and,
// where a Wayland session shows, Wayland.
QStringList platforms(const QStringList &arguments)
{
    const QStringList chosen = chosenPlatforms(arguments);
    if (!chosen.isEmpty())
        return chosen;
    QStringList result{"xcb"};
    if (inWaylandSession())
        result << "wayland";
    return result;
}

QString waylandDisplayProblem()
{
    // A socket handed over by the parent can be taken only once: leave it to Qt.
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return QString();
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    // Without WAYLAND_DISPLAY the client library, and so Qt, tries wayland-0, in the
    // runtime directory like any name that is not a path.
    if (!name.startsWith('/') && !qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return name.isEmpty() ? QStringLiteral("WAYLAND_DISPLAY is not set")
                              : QStringLiteral("XDG_RUNTIME_DIR, where the Wayland display \"%1\" would be, "
                                               "is not set").arg(name);
    // As the client library connects: to the socket, where a compositor listens; nothing
    // is said on it.
    const QString path = name.startsWith('/') ? name
                                              : qEnvironmentVariable("XDG_RUNTIME_DIR") + '/'
                                                    + (name.isEmpty() ? QStringLiteral("wayland-0") : name);
    const QByteArray file = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int fd = file.size() < qsizetype(sizeof address.sun_path) ? socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    bool answers = false;
    if (fd >= 0) {
        std::memcpy(address.sun_path, file.constData(), size_t(file.size()));
        answers = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
    }
    if (answers)
        return QString();
    return name.isEmpty() ? QStringLiteral("WAYLAND_DISPLAY is not set")
                          : QStringLiteral("the Wayland display \"%1\" does not answer").arg(name);
}

// Qt's platform plugins are not part of its libraries; Debian packages the Wayland one
// apart, and nothing that quadview links against depends on it.
const char waylandPackage[] = "qt6-wayland";

} // namespace

DisplayCheck::DisplayCheck(const QStringList &arguments)
{
    QStringList problems;
    for (const QString &platform : platforms(arguments)) {
        const QString problem = platform.startsWith("xcb")       ? xDisplayProblem(arguments)
                                : platform.startsWith("wayland") ? waylandDisplayProblem()
                                                                 : QString();
        if (problem.isEmpty() && platform.startsWith("wayland") && !hasPlatformPlugin(platform)) {
            m_missingPackage = QString::fromLatin1(waylandPackage);
            continue;
        }
        if (problem.isEmpty()) {
            m_missingPackage.clear();
            return;
        }
        if (!problems.contains(problem))
            problems << problem;
    }
    if (!m_missingPackage.isEmpty()) {
        m_problem = QStringLiteral("Qt's Wayland platform plugin is not installed");
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qtOption(arguments, "display").isEmpty())
        m_problem = QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    else
        m_problem = problems.join("; ");
}

DisplayCheck::~DisplayCheck()
{
    close();
}

QString DisplayCheck::problem() const
{
    return m_problem;
}

QString DisplayCheck::missingPackage() const
{
    return m_missingPackage;
}

// Where Qt looks for platform plugins: its own folder, QT_PLUGIN_PATH and
// QT_QPA_PLATFORM_PLUGIN_PATH. Asked before the application exists, so not through
// QCoreApplication::libraryPaths(), which would keep what it found then.
bool DisplayCheck::hasPlatformPlugin(const QString &platform)
{
    QStringList folders;
    for (const QString &path : qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        folders << path + "/platforms";
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
    const QString platformPath = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (!platformPath.isEmpty())
        folders << platformPath;
    // The plugin for wayland-egl is libqwayland-egl.so; for wayland, any of Qt's
    // Wayland plugins will do.
    const QString name = "libq" + platform.section(':', 0, 0) + "*.so";
    for (const QString &folder : folders)
        if (!QDir(folder).entryList({name}, QDir::Files).isEmpty())
            return true;
    return false;
}

QString DisplayCheck::xwaylandFallbackPackage(const QStringList &arguments)
{
    if (!inWaylandSession() || !chosenPlatforms(arguments).isEmpty() || QGuiApplication::platformName() != "xcb"
        || hasPlatformPlugin("wayland"))
        return QString();
    return QString::fromLatin1(waylandPackage);
}

void DisplayCheck::close()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
}

// The connection that answered stays open until Qt has made its own: closed just
// before, it made Xvfb (Debian testing) refuse Qt's connection about one time in ten
// on a loaded machine.
QString DisplayCheck::xDisplayProblem(const QStringList &arguments)
{
    QString name = qtOption(arguments, "display");
    if (name.isEmpty())
        name = qEnvironmentVariable("DISPLAY");
    if (name.isEmpty())
        return QStringLiteral("DISPLAY is not set");
    xcb_connection_t *connection = xcb_connect(name.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return QStringLiteral("the X display \"%1\" does not answer").arg(name);
    }
    close();
    m_connection = connection;
    return QString();
}
