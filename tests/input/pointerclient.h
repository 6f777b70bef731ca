#ifndef POINTERCLIENT_H
#define POINTERCLIENT_H

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTimer>

// Real pointer input through the display server, from pointerdrive, which is built
// beside every program that uses this. While a command runs, the caller's event loop
// keeps running, so the program handles the events as they arrive.
class PointerClient
{
public:
    ~PointerClient()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(5000);
    }

    // kind: x11, wlroots or kde (pointerdrive's backends). One still running, whose
    // display server may have gone, is ended first.
    bool start(const QString &kind)
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
        // What an earlier one left unread is not this one's answer.
        if (m_process.isOpen())
            m_process.readAllStandardOutput();
        QStringList arguments{kind};
        if (kind == "wlroots") {
            const QSize layout = QGuiApplication::primaryScreen()->virtualSize();
            arguments << QString::number(layout.width()) << QString::number(layout.height());
        }
        // pointerdrive is not sanitized: keep a sanitizer runtime's preload out of it.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LD_PRELOAD");
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationDirPath() + "/pointerdrive", arguments);
        return m_process.waitForStarted();
    }

    // Runs one command; returns when its last event was sent (monotonic clock, in
    // nanoseconds), or -1 when pointerdrive failed or did not answer within 30 s.
    qint64 command(const QString &line)
    {
        m_process.write(line.toLatin1() + '\n');
        QEventLoop loop;
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, [&] {
            if (m_process.canReadLine())
                loop.quit();
        });
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        if (!m_process.canReadLine())
            loop.exec();
        const QByteArray answer = m_process.readLine().trimmed();
        return answer.startsWith("ok ") ? answer.mid(3).toLongLong() : -1;
    }

    bool moveTo(QPoint global) { return command(QString("move %1 %2").arg(global.x()).arg(global.y())) >= 0; }
    // After the outputs have changed scale or size.
    bool updateExtent()
    {
        const QSize layout = QGuiApplication::primaryScreen()->virtualSize();
        return command(QString("extent %1 %2").arg(layout.width()).arg(layout.height())) >= 0;
    }

private:
    QProcess m_process;
};

#endif // POINTERCLIENT_H
