#include "sampling.h"

#include "tools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <ctime>

Q_LOGGING_CATEGORY(lcBench, "quadview.bench", QtWarningMsg)

double percentile(Samples samples, double fraction)
{
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, size_t(fraction * double(samples.size() - 1) + 0.5));
    return samples[index];
}

Timing summarise(const Samples &samples)
{
    return {percentile(samples, 0.5), percentile(samples, 0.9)};
}

void append(Samples &to, const Samples &from)
{
    to.insert(to.end(), from.begin(), from.end());
}

Samples timeFrames(int frames, const std::function<void()> &frame)
{
    for (int i = 0; i < std::max(5, frames / 10); ++i) {
        frame();
        QCoreApplication::processEvents();
    }
    Samples samples;
    QElapsedTimer timer;
    for (int i = 0; i < frames; ++i) {
        QCoreApplication::processEvents();
        timer.start();
        frame();
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return samples;
}

qint64 monotonicNs()
{
    return Tools::monotonicNs();
}

qint64 processorNs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void trace(const char *step)
{
    traceAt(monotonicNs(), step);
}

void traceAt(qint64 ns, const char *step)
{
    qCDebug(lcBench, "%.3f bench %s", double(ns) / 1e6, step);
}
