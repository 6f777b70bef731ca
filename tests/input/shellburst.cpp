#include "shellburst.h"

#include "tools.h"

#include <QProcess>
#include <QWidget>

ShellBurst::ShellBurst() = default;

ShellBurst::~ShellBurst() = default;

bool ShellBurst::start(QWidget *window, const QString &before, const QString &resize, const QList<QSize> &sizes,
                       int milliseconds)
{
    firstSize = window->size();
    QStringList words;
    for (const QSize &size : sizes)
        words << QString("'%1 %2'").arg(size.width()).arg(size.height());
    const QString script = QString("%1\nfor size in %2; do set -- $size; %3; sleep %4; done\n")
                               .arg(before, words.join(' '), resize)
                               .arg(double(milliseconds) / qMax<qsizetype>(1, sizes.size()) / 1000.0, 0, 'f', 4);
    m_loop = std::make_unique<QProcess>();
    m_loop->setProcessEnvironment(Tools::environment());
    m_loop->start("sh", {"-c", script});
    return m_loop->waitForStarted();
}

bool ShellBurst::wait()
{
    if (!m_loop || !Tools::waitFor([&] { return m_loop->state() == QProcess::NotRunning; }, 30000))
        return false;
    const bool ran = m_loop->exitStatus() == QProcess::NormalExit && m_loop->exitCode() == 0;
    m_loop.reset();
    return ran;
}
