#ifndef TOOLS_H
#define TOOLS_H

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMargins>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// The desktops' own command-line tools and scripts, as the desks use them.
namespace Tools {

// The environment a tool runs in: the sanitizer runtime of a sanitized run stays out of
// tools that are not ours.
QProcessEnvironment environment();
// Waits up to `milliseconds` for the condition, handling each event the moment it comes
// (QTest::qWaitFor sleeps 10 ms at a time, which a measurement of latency would count).
// The condition is asked again after each event, and every `pollMs` where it looks at
// something that sends this process no event (a compositor's state, the clock).
bool waitFor(const std::function<bool()> &condition, int milliseconds, int pollMs = 0);
// Handles events for `milliseconds`.
void handleEventsFor(int milliseconds);
// Handles events until the monotonic clock reaches `ns`.
void handleEventsUntil(qint64 ns);
qint64 monotonicNs();
// Sizes as a compositor's script takes them: [[width, height], ...], each grown by
// `margins`.
QJsonArray json(const QList<QSize> &sizes, const QMargins &margins = QMargins());
// Runs a tool to its end while the caller's event loop keeps running; returns what it
// printed, or a null array where it failed.
QByteArray output(const QString &program, const QStringList &arguments);
bool run(const QString &program, const QStringList &arguments);
// A compositor's script from this folder (built in as a resource): the file `name`,
// after `prelude` where one is named, with `args` defined before both as a constant.
QString script(const QString &name, const QJsonObject &args, const QString &prelude = QString());

} // namespace Tools

#endif // TOOLS_H
