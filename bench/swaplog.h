#ifndef SWAPLOG_H
#define SWAPLOG_H

#include <QList>
#include <QObject>
#include <QSize>
#include <QVector3D>

#include <vector>

class GLWidget;
class MainWindow;

// Every frame every view of a window presents, with what it showed.
class SwapLog
{
public:
    explicit SwapLog(MainWindow &window);

    // Milliseconds from `since` until every visible view had presented a frame of what
    // it shows now (none needed where the last frame before already did, none since
    // showed anything else and the display server kept it), once no frame has come for
    // half a second; -1 where one never did.
    double catchUp(qint64 since, bool pictureKept);

private:
    struct State
    {
        QSize size;
        qreal ratio = 0;
        QVector3D camera;
        bool operator==(const State &other) const;
    };
    struct Swap
    {
        qint64 ns;
        GLWidget *view;
        State state;
    };

    static State stateOf(GLWidget *view);
    void waitForQuiet();

    QList<GLWidget *> m_views;
    std::vector<Swap> m_swaps;
    // The frames' connections go with the log: the window may present on as it closes.
    QObject m_connections;
};

#endif // SWAPLOG_H
