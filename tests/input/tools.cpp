#include "tools.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

namespace Tools {

QProcessEnvironment environment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LD_PRELOAD");
    return environment;
}

bool waitFor(const std::function<bool()> &condition, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    // Wakes the wait at the deadline, whatever else comes.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
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
