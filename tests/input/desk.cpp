#include "desk.h"

#include "pointerclient.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <ctime>

namespace {

// The tools are not ours: keep the sanitizer runtime of a sanitized run out of them.
QProcessEnvironment toolEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LD_PRELOAD");
    return environment;
}

// Runs a tool to its end while the caller's event loop keeps running.
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool waitForSize(QWidget *window, QSize size)
{
    return QTest::qWaitFor([&] { return window->size() == size; }, 10000);
}

// A desk whose pointer comes from pointerdrive (XTest, or the wlroots virtual pointer).
class PointerDesk : public Desk
{
public:
    bool start() override { return m_pointer.start(); }

    qint64 moveTo(QPoint global) override
    {
        return m_pointer.command(QString("move %1 %2").arg(global.x()).arg(global.y()));
    }
    qint64 button(bool pressed) override { return m_pointer.command(pressed ? "down" : "up"); }
    qint64 wheel(int notches) override { return m_pointer.command(QString("wheel %1").arg(notches)); }
    qint64 glide(QPoint global, int hz, int milliseconds) override
    {
        return m_pointer.command(QString("glide %1 %2 %3 %4").arg(global.x()).arg(global.y()).arg(hz).arg(milliseconds));
    }

    bool startResizeBurst(QWidget *window, int count, int milliseconds) override
    {
        m_firstSize = window->size();
        QStringList sizes;
        // Between a little over half the first size and the whole of it, never twice the same.
        for (int i = 0; i < count; ++i)
            sizes << QString("%1 %2").arg(m_firstSize.width() * (55 + (i * 37) % 45) / 100)
                                     .arg(m_firstSize.height() * (55 + (i * 53) % 45) / 100);
        const QString script = QString("%1\nfor size in '%2'; do set -- $size; %3; sleep %4; done\n")
                                   .arg(burstPrologue(window), sizes.join("' '"), resizeCommand(window))
                                   .arg(double(milliseconds) / count / 1000.0, 0, 'f', 4);
        m_burst.reset(new QProcess);
        m_burst->setProcessEnvironment(toolEnvironment());
        m_burst->start("sh", {"-c", script});
        return m_burst->waitForStarted();
    }

    qint64 endResizeBurst(QWidget *window) override
    {
        if (!m_burst || !QTest::qWaitFor([&] { return m_burst->state() == QProcess::NotRunning; }, 60000))
            return -1;
        const bool burstRan = m_burst->exitStatus() == QProcess::NormalExit && m_burst->exitCode() == 0;
        m_burst.reset();
        const qint64 sent = monotonicNs();
        return burstRan && restoreSize(window) && waitForSize(window, m_firstSize) ? sent : -1;
    }

protected:
    // Shell commands: the one before the burst, and one resize to the size in $1 $2.
    virtual QString burstPrologue(QWidget *window) = 0;
    virtual QString resizeCommand(QWidget *window) = 0;
    virtual bool restoreSize(QWidget *window) = 0;

    PointerClient m_pointer;
    QSize m_firstSize;
    std::unique_ptr<QProcess> m_burst;
};

// X11 without a window manager (Xvfb): xdotool acts as one.
class X11Desk : public PointerDesk
{
public:
    QString name() const override { return "x11"; }
    bool isWayland() const override { return false; }

    // `xdotool key alt+w` would let go of Alt first.
    bool chord() override { return run("xdotool", {"keydown", "alt", "keydown", "w", "keyup", "w", "keyup", "alt"}); }

    QImage pixels(const QRect &area) override
    {
        return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    }

    // Qt takes its scale on X11 once, at start.
    bool setScale(qreal scale) override { return qFuzzyCompare(scale, 1.0); }
    bool hideWindow(QWidget *window) override { return run("xdotool", {"windowunmap", "--sync", id(window)}); }
    bool showWindow(QWidget *window) override { return run("xdotool", {"windowmap", "--sync", id(window)}); }
    bool moveToOtherOutput(QWidget *, bool) override { return false; }

protected:
    QString burstPrologue(QWidget *) override { return ":"; }
    QString resizeCommand(QWidget *window) override { return "xdotool windowsize " + id(window) + " $1 $2"; }
    bool restoreSize(QWidget *window) override
    {
        return run("xdotool", {"windowsize", id(window), QString::number(m_firstSize.width()),
                               QString::number(m_firstSize.height())});
    }

private:
    static QString id(QWidget *window) { return QString::number(window->winId()); }
};

// sway, whose IPC takes the window manager's part; keys come from wtype and pictures
// from grim. The window is the one tiled window of its workspace.
class SwayDesk : public PointerDesk
{
public:
    QString name() const override { return "sway"; }
    bool isWayland() const override { return true; }

    // The leading sleep lets the viewer bind the virtual keyboard before the keys.
    bool chord() override { return run("wtype", {"-s", "800", "-M", "alt", "-k", "w", "-m", "alt"}); }

    QImage pixels(const QRect &area) override
    {
        QByteArray ppm;
        if (!run("grim", {"-t", "ppm", "-g",
                          QString("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height()), "-"},
                 &ppm))
            return QImage();
        return QImage::fromData(ppm, "PPM").convertToFormat(QImage::Format_RGB32);
    }

    bool setScale(qreal scale) override
    {
        if (qFuzzyCompare(scale, m_scale))
            return true;
        const QSize before = QGuiApplication::primaryScreen()->virtualSize();
        if (!swaymsg({"output", "*", "scale", QString::number(scale)}))
            return false;
        m_scale = scale;
        return QTest::qWaitFor([&] { return QGuiApplication::primaryScreen()->virtualSize() != before; }, 10000)
            && m_pointer.updateExtent();
    }
    bool hideWindow(QWidget *) override { return swaymsg({"workspace", "quadview-away"}); }
    bool showWindow(QWidget *) override { return swaymsg({"workspace", "back_and_forth"}); }
    bool moveToOtherOutput(QWidget *, bool back) override
    {
        return swaymsg({ours(), "move", "container", "to", "output", back ? "left" : "right"});
    }

protected:
    QString burstPrologue(QWidget *) override { return "swaymsg -q '" + ours() + "' floating enable"; }
    QString resizeCommand(QWidget *) override { return "swaymsg -q '" + ours() + "' resize set \"$1\"px \"$2\"px"; }
    bool restoreSize(QWidget *) override { return swaymsg({ours(), "floating", "disable"}); }

private:
    static bool swaymsg(const QStringList &command) { return run("swaymsg", QStringList{"-q"} + command); }
    // Commands for our window, wherever the focus is.
    static QString ours() { return QString("[pid=%1]").arg(QCoreApplication::applicationPid()); }

    qreal m_scale = 1; // as the session's configuration starts it
};

} // namespace

std::unique_ptr<Desk> Desk::create()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return std::make_unique<X11Desk>();
    return std::make_unique<SwayDesk>();
}

QImage Desk::pixelsOf(QWidget *widget)
{
    return pixels(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()));
}
