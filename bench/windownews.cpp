#include "windownews.h"

#include "sampling.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

WindowNews::WindowNews(QWidget *window)
    : m_window(window->windowHandle())
{
    m_window->installEventFilter(this);
    connect(m_window, &QWindow::screenChanged, this, [this] {
        screenChanged = monotonicNs();
        trace("screen changed");
    });
}

void WindowNews::clear()
{
    exposed = screenChanged = -1;
    m_resizes.clear();
}

qint64 WindowNews::resizedTo(QSize size) const
{
    return m_resizes.value(size, -1);
}

bool WindowNews::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Expose && m_window->isExposed() && exposed < 0) {
        exposed = monotonicNs();
        trace("window exposed");
    } else if (watched == m_window && event->type() == QEvent::Resize) {
        m_resizes.insert(m_window->size(), monotonicNs());
        trace("window resized");
    }
    return false;
}
