// quadview's benchmark: frame time, input cost, start-up and memory, each beside the
// floor it is judged against, measured in one run on the display it is given.
//
//   viewbench [--quick] [--parts LIST | --settle-only | --drags-only] [--json FILE]
//
// LIST names the parts, comma-separated: frames, launches, drags, floors (the drags
// over the floors a desktop is judged by) and catchups; without it all but floors.
// --settle-only is drags,catchups, the parts that also mean something under a Wayland
// compositor; --drags-only is drags,floors, for a run under each desktop and scale.
// --quick runs a short pass (a smoke test of the harness; its figures mean little).

#include "floorwindow.h"
#include "parts.h"
#include "report.h"
#include "tools.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QSet>
#include <QSysInfo>
#include <QThread>

#include <GL/gl.h>

#include <cstdio>

namespace {

QString machineDescription()
{
    QString cpu;
    QFile info("/proc/cpuinfo");
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
                break;
            }
        }
    }
    QString renderer;
    {
        FloorWindow probe(nullptr, nullptr, Qt::black);
        probe.resize(16, 16);
        probe.show();
        if (Tools::waitFor([&] { return probe.isExposed(); }, 10000)) {
            probe.renderNow();
            renderer = QString::fromLatin1(reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
        }
    }
    return QString("%1; %2 cores; %3; %4; Qt %5 (%6)")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(renderer)
        .arg(QSysInfo::prettyProductName())
        .arg(qVersion())
        .arg(QGuiApplication::platformName());
}

QString argumentAfter(const QStringList &arguments, const QString &option)
{
    const int index = int(arguments.indexOf(option));
    return index > 0 && index + 1 < arguments.size() ? arguments[index + 1] : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString jsonPath = argumentAfter(arguments, "--json");
    QSet<QString> parts{"frames", "launches", "drags", "catchups"};
    if (arguments.contains("--settle-only"))
        parts = {"drags", "catchups"};
    if (arguments.contains("--drags-only"))
        parts = {"drags", "floors"};
    if (arguments.contains("--parts")) {
        const QStringList named = argumentAfter(arguments, "--parts").split(',', Qt::SkipEmptyParts);
        parts = QSet<QString>(named.begin(), named.end());
        const QSet<QString> known{"frames", "launches", "drags", "floors", "catchups"};
        if (parts.isEmpty() || !known.contains(parts)) {
            std::fprintf(stderr, "viewbench: --parts takes frames, launches, drags, floors and catchups\n");
            return 2;
        }
    }

    Options options;
    options.quick = arguments.contains("--quick");
    if (options.quick) {
        options.rounds = 1;
        options.frames = 20;
        options.launches = 1;
        options.drags = 1;
        options.catchUps = 1;
    }
    const QString platform = QGuiApplication::platformName();
    // Where the desktop and its scale come from the session, the rows say so.
    options.where = platform;
    options.whereKey = platform;
    if (qEnvironmentVariableIsSet("QUADVIEW_DESKTOP")) {
        const QString desktop = qEnvironmentVariable("QUADVIEW_DESKTOP"), scale = qEnvironmentVariable("QUADVIEW_SCALE");
        options.where = QString("%1, %2, scale %3").arg(platform, desktop, scale);
        options.whereKey = QString("%1/%2/%3").arg(platform, desktop, scale);
    }

    const QSize available = app.primaryScreen()->availableSize();
    const QSize largest = options.quick ? QSize(640, 360) : QSize(3840, 2160);
    if (parts.contains("frames")
        && (available.width() < largest.width() + 40 || available.height() < largest.height() + 40)) {
        std::fprintf(stderr, "viewbench: the screen (%dx%d) cannot hold a %dx%d viewport; run it on a larger one\n",
                     available.width(), available.height(), largest.width(), largest.height());
        return 1;
    }

    Report report(machineDescription(), options.quick, options.frames * options.rounds, options.launches);
    if (parts.contains("frames")) {
        std::fprintf(stderr, "viewbench: frames...\n");
        report.add(measureFrames(options));
    }
    if (parts.contains("launches")) {
        std::fprintf(stderr, "viewbench: launches...\n");
        report.add(measureLaunches(options));
    }
    double settleBudget = 0;
    if (parts.contains("drags") || parts.contains("floors") || parts.contains("catchups")) {
        const QList<Row> frame = measureDraggedFrame(options, &settleBudget);
        if (parts.contains("drags") || parts.contains("floors"))
            report.add(frame);
    }
    if (parts.contains("drags") || parts.contains("floors")) {
        std::fprintf(stderr, "viewbench: drags...\n");
        report.add(measureDrags(options, settleBudget, parts.contains("floors")));
    }
    if (parts.contains("catchups")) {
        std::fprintf(stderr, "viewbench: catching up...\n");
        report.add(measureCatchUps(options, settleBudget));
    }
    report.print();
    return jsonPath.isEmpty() || report.writeJson(jsonPath) ? 0 : 1;
}
