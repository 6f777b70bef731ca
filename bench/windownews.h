#ifndef WINDOWNEWS_H
#define WINDOWNEWS_H

#include <QHash>
#include <QObject>
#include <QSize>

class QWidget;
class QWindow;

// The moment the display server's news of the window reaches the program: the window
// shown again, its last configure at a size, its arrival on another screen. What a
// user sees starts there; the time a tool takes to ask for it is the harness's.
class WindowNews : public QObject
{
    Q_OBJECT

public:
    explicit WindowNews(QWidget *window);

    // From now on, only what comes after counts.
    void clear();
    // The last time the window took the size, or -1.
    qint64 resizedTo(QSize size) const;

    qint64 exposed = -1;
    qint64 screenChanged = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWindow *m_window;
    QHash<QSize, qint64> m_resizes;
};

#endif // WINDOWNEWS_H
