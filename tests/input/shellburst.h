#ifndef SHELLBURST_H
#define SHELLBURST_H

#include <QList>
#include <QSize>
#include <QString>

#include <memory>

class QProcess;
class QWidget;

// A burst of resizes run by a shell loop, one command per resize, with the size in $1 $2.
class ShellBurst
{
public:
    ShellBurst();
    ~ShellBurst();

    // Runs `before`, then `resize` for each of `sizes`, spread over about `milliseconds`.
    bool start(QWidget *window, const QString &before, const QString &resize, const QList<QSize> &sizes,
               int milliseconds);
    // Waits for the loop to end; false where it failed or ran on for 30 s.
    bool wait();

    // The window's size when the burst started.
    QSize firstSize;

private:
    std::unique_ptr<QProcess> m_loop;
};

#endif // SHELLBURST_H
