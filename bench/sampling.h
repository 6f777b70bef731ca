#ifndef SAMPLING_H
#define SAMPLING_H

#include <QtGlobal>

#include <functional>
#include <vector>

// Times in milliseconds (or shares, in per cent), one per measurement.
using Samples = std::vector<double>;

struct Timing
{
    double median = 0;
    double p90 = 0;
};

double percentile(Samples samples, double fraction);
Timing summarise(const Samples &samples);
void append(Samples &to, const Samples &from);

// `frames` timed calls of `frame`, after a few untimed ones; events are handled between
// frames, never inside the timed part.
Samples timeFrames(int frames, const std::function<void()> &frame);

// The monotonic clock, which the display servers' own timestamps on Linux use too, and
// the processor time this process has taken, in nanoseconds.
qint64 monotonicNs();
qint64 processorNs();

// One of the harness's own steps, in the frame trace's form
// (QT_LOGGING_RULES="quadview.*.debug=true").
void trace(const char *step);
// The same for a step that happened at `ns` (an event a tool sent).
void traceAt(qint64 ns, const char *step);

#endif // SAMPLING_H
