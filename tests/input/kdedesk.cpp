#include "kdedesk.h"

#include "tools.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QWidget>

#include <unistd.h>

namespace {

const char *const service = "io.github.quadview.Desk";

} // namespace

QString KdeDesk::name() const
{
    return "kde";
}

bool KdeDesk::isWayland() const
{
    return true;
}

bool KdeDesk::has(Device) const
{
    return true;
}

bool KdeDesk::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return PointerDesk::start() && bus.registerService(service)
        && bus.registerObject("/", &m_replies, QDBusConnection::ExportAllSlots);
}

// The session bus, and what this desk has on it, outlive KWin. A KWin just started may
// not offer its fake input yet: pointerdrive then ends at once.
bool KdeDesk::reconnect()
{
    return Tools::waitFor([this] { return PointerDesk::start() && m_pointer.command("extent 1 1") >= 0; }, 10000, 100);
}

// KWin reads its layouts from kxkbrc, again when told to, and offers them (Plasma's
// keyboard settings make one active) over D-Bus; KWin 5.27 only while it has more than
// one. A single layout is reached from a pair that holds it, and taken once the list
// shows it alone, or is gone.
bool KdeDesk::setLayouts(const QString &names, int active, QString *why)
{
    QDBusInterface layouts("org.kde.keyboard", "/Layouts", "org.kde.KeyboardLayouts");
    const bool single = !names.contains(',');
    const QString pair = names == "us" ? "us,fr" : names + ",us";
    if ((single && !loadLayouts(layouts, pair)) || !loadLayouts(layouts, names)) {
        *why = QString("KWin did not take the layouts %1").arg(names);
        return false;
    }
    if (single)
        return true;
    layouts.call("setLayout", uint(active));
    const QDBusReply<uint> now = layouts.call("getLayout");
    if (now.isValid() && now.value() == uint(active))
        return true;
    *why = QString("KWin did not make layout %1 of %2 active").arg(active).arg(names);
    return false;
}

// Writes the layouts to KWin's configuration and tells it to read them again; true once
// its D-Bus interface lists them (or, for one layout, offers no list).
bool KdeDesk::loadLayouts(QDBusInterface &layouts, const QString &names)
{
    QFile config(qEnvironmentVariable("XDG_CONFIG_HOME") + "/kxkbrc");
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || config.write(QString("[Layout]\nLayoutList=%1\nUse=true\n").arg(names).toUtf8()) < 0)
        return false;
    config.close();
    QDBusConnection::sessionBus().send(QDBusMessage::createSignal("/Layouts", "org.kde.keyboard", "reloadConfig"));
    return Tools::waitFor([&] {
        const QString listed = layoutNames(layouts.call("getLayoutsList"));
        return listed == names || (listed.isEmpty() && !names.contains(','));
    }, 10000, 50);
}

// The short names of getLayoutsList's (short name, variant, long name) entries.
QString KdeDesk::layoutNames(const QDBusMessage &reply)
{
    QStringList names;
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    if (list.currentType() != QDBusArgument::ArrayType)
        return QString();
    list.beginArray();
    while (!list.atEnd()) {
        QString name, variant, longName;
        list.beginStructure();
        list >> name >> variant >> longName;
        list.endStructure();
        names << name;
    }
    list.endArray();
    return names.join(',');
}

QImage KdeDesk::pixels(const QRect &area)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return QImage();
    QDBusInterface screenshots("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2");
    const QDBusReply<QVariantMap> reply = screenshots.call(
        "CaptureArea", area.x(), area.y(), uint(area.width()), uint(area.height()),
        QVariantMap{{"native-resolution", true}}, QVariant::fromValue(QDBusUnixFileDescriptor(pipe[1])));
    ::close(pipe[1]);
    QByteArray data;
    char buffer[65536];
    for (ssize_t n; reply.isValid() && (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        data.append(buffer, n);
    ::close(pipe[0]);
    if (!reply.isValid())
        return QImage();
    const QVariantMap info = reply.value();
    const QImage image(reinterpret_cast<const uchar *>(data.constData()), info.value("width").toInt(),
                       info.value("height").toInt(), info.value("stride").toInt(),
                       QImage::Format(info.value("format").toInt()));
    return data.size() < qsizetype(image.sizeInBytes()) ? QImage() : image.convertToFormat(QImage::Format_RGB32);
}

bool KdeDesk::hideWindow(QWindow *)
{
    return setDesktop(2);
}

bool KdeDesk::showWindow(QWindow *)
{
    return setDesktop(1);
}

bool KdeDesk::startResizeBurst(QWidget *window, int count, int milliseconds)
{
    m_firstSize = window->size();
    m_burst = load("kwin/resize-burst.js", {{"sizes", Tools::json(burstSizes(m_firstSize, count))},
                                            {"interval", qMax(1, milliseconds / count)}});
    return !m_burst.isEmpty();
}

qint64 KdeDesk::endResizeBurst(QWidget *window)
{
    const bool ran = !m_burst.isEmpty() && awaitReply(m_burst, 30000) == "done";
    unload(m_burst);
    m_burst.clear();
    if (!ran)
        return -1;
    const qint64 sent = monotonicNs();
    return script("kwin/resize.js", {{"width", m_firstSize.width()}, {"height", m_firstSize.height()}}) == "ok"
            && waitForSize(window, m_firstSize)
        ? sent
        : -1;
}

QString KdeDesk::pointerKind() const
{
    return "kde";
}

QRect KdeDesk::contentsArea(QWindow *)
{
    return rectFrom(script("kwin/contents-area.js"));
}

bool KdeDesk::setDesktop(int desktop)
{
    QDBusInterface kwin("org.kde.KWin", "/KWin", "org.kde.KWin");
    const QDBusReply<bool> reply = kwin.call("setCurrentDesktop", desktop);
    return reply.isValid() && reply.value();
}

// Loads and starts one of the scripts in kwin/, after kwin/prelude.js; returns the name
// it runs under, or an empty string. A script that fails replies with the error.
QString KdeDesk::load(const QString &file, QJsonObject args)
{
    const QString name = QString("quadview-%1").arg(++m_scripts);
    const QString path = QString("%1/%2.js").arg(qEnvironmentVariable("XDG_RUNTIME_DIR"), name);
    args.insert("pid", QCoreApplication::applicationPid());
    args.insert("service", service);
    args.insert("script", name);
    QFile written(path);
    if (!written.open(QIODevice::WriteOnly) || written.write(Tools::script(file, args, "kwin/prelude.js").toUtf8()) < 0)
        return QString();
    written.close();
    QDBusInterface scripting("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting");
    const QDBusReply<int> id = scripting.call("loadScript", path, name);
    if (!id.isValid() || id.value() < 0)
        return QString();
    scripting.call("start");
    return name;
}

void KdeDesk::unload(const QString &name)
{
    if (!name.isEmpty())
        QDBusInterface("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting").call("unloadScript", name);
    m_replies.values.remove(name);
}

// The script's first answer, or an empty string when none came in time.
QString KdeDesk::awaitReply(const QString &name, int milliseconds)
{
    if (!Tools::waitFor([&] { return !m_replies.values.value(name).isEmpty(); }, milliseconds)) {
        qWarning("KdeDesk: KWin script %s did not answer within %d ms", qPrintable(name), milliseconds);
        return QString();
    }
    const QString answer = m_replies.values[name].takeFirst();
    if (answer.startsWith("error: "))
        qWarning("KdeDesk: KWin script %s: %s", qPrintable(name), qPrintable(answer));
    return answer;
}

// Runs a script that replies once, and returns its answer.
QString KdeDesk::script(const QString &file, const QJsonObject &args)
{
    const QString name = load(file, args);
    const QString answer = name.isEmpty() ? QString() : awaitReply(name, 5000);
    unload(name);
    return answer;
}
