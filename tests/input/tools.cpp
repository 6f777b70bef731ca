#include "tools.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

#include <ctime>

namespace Tools {

QProcessEnvironment environment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LD_PRELOAD");
    return environment;
}

bool waitFor(const std::function<bool()> &condition, int milliseconds, int pollMs)
{
    const QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
    // Wakes the wait at the deadline, whatever else comes, and to look again.
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(milliseconds);
    QTimer poll;
    if (pollMs > 0)
        poll.start(pollMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void handleEventsFor(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
    waitFor([&] { return deadline.hasExpired(); }, milliseconds + 1);
}

void handleEventsUntil(qint64 ns)
{
    // Timers count whole milliseconds: woken at the one after, never before.
    const qint64 remaining = ns - monotonicNs();
    if (remaining > 0)
        waitFor([&] { return monotonicNs() >= ns; }, int((remaining + 999999) / 1000000), 1);
}

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QJsonArray json(const QList<QSize> &sizes, const QMargins &margins)
{
    QJsonArray array;
    for (const QSize &size : sizes)
        array.append(QJsonArray{size.width() + margins.left() + margins.right(),
                                size.height() + margins.top() + margins.bottom()});
    return array;
}

QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!waitFor([&] { return process.state() == QProcess::NotRunning; }, 20000)
        || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QByteArray();
    const QByteArray printed = process.readAllStandardOutput();
    return printed.isNull() ? QByteArray("") : printed;
}

bool run(const QString &program, const QStringList &arguments)
{
    return !output(program, arguments).isNull();
}

QString script(const QString &name, const QJsonObject &args, const QString &prelude)
{
    const auto read = [](const QString &file) {
        QFile source(":/desk/" + file);
        if (!source.open(QIODevice::ReadOnly))
            qFatal("the desk's script %s is not built in", qPrintable(file));
        return QString::fromUtf8(source.readAll());
    };
    return "const args = " + QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact)) + ";\n"
        + (prelude.isEmpty() ? QString() : read(prelude)) + read(name);
}

} // namespace Tools
