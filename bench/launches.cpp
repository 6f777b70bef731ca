// The start-up time and peak memory of the real quadview binary, observed from outside
// by framewatch, against a bare window with four native OpenGL surfaces (drawing the
// scene, and clearing only).
#include "parts.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

struct Launch
{
    double startupMs = 0;
    double peakMiB = 0;
};

// Medians over several launches.
Launch measureLaunch(const QStringList &command, int launches)
{
    const QString dir = QCoreApplication::applicationDirPath();
    Samples startup, memory;
    for (int i = 0; i < launches; ++i) {
        QProcess watcher;
        watcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        watcher.start(dir + "/framewatch", QStringList{"--settle", "200", "--"} + command);
        if (!watcher.waitForFinished(60000) || watcher.exitCode() != 0)
            qFatal("framewatch failed for %s", qPrintable(command.join(' ')));
        const QJsonObject result = QJsonDocument::fromJson(watcher.readAllStandardOutput()).object();
        startup.push_back(result.value("startup_ms").toDouble());
        memory.push_back(result.value("peak_rss_kib").toDouble() / 1024.0);
    }
    return {percentile(startup, 0.5), percentile(memory, 0.5)};
}

} // namespace

QList<Row> measureLaunches(const Options &options)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const Launch quadview = measureLaunch({dir + "/quadview"}, options.launches);
    const Launch clearing = measureLaunch({dir + "/barequad"}, options.launches);
    const Launch scene = measureLaunch({dir + "/barequad", "--scene"}, options.launches);
    // A floor that only clears never makes the software renderer compile drawing code;
    // it stays for information. The floor drawing the same scene is the measure.
    const QString sceneFloor = "bare window, four surfaces drawing the scene";
    const QString clearingFloor = "bare window, four clearing surfaces";
    return {
        Row("startup/floor-scene", "start-up to four pictures", "ms")
            .measured(quadview.startupMs)
            .against(sceneFloor, scene.startupMs)
            .target("<= 1.00"),
        Row("startup/floor-clearing", "start-up to four pictures", "ms")
            .measured(quadview.startupMs)
            .against(clearingFloor, clearing.startupMs),
        Row("memory/floor-scene", "peak resident memory", "MiB")
            .measured(quadview.peakMiB)
            .against(sceneFloor, scene.peakMiB)
            .target("<= +5")
            .asDifference(),
        Row("memory/floor-clearing", "peak resident memory", "MiB")
            .measured(quadview.peakMiB)
            .against(clearingFloor, clearing.peakMiB)
            .asDifference(),
    };
}
