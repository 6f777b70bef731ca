#ifndef GNOMEDESK_H
#define GNOMEDESK_H

#include "desk.h"

#include <QDBusPendingCall>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QDBusInterface;

// GNOME: mutter's RemoteDesktop session for the pointer, the Shell's Screenshot
// interface for pictures and its Eval (open in --unsafe-mode) for keys and the window
// manager's part, with the scripts in gnome/. The pointer moves to absolute places on
// a screen cast of the monitor (where PipeWire runs, as it does in a GNOME session);
// without one, RemoteDesktop moves it only relative to where it is: it is pushed into
// the top left corner, which the session keeps from opening the overview, and followed
// from there.
class GnomeDesk : public Desk
{
public:
    GnomeDesk();
    ~GnomeDesk() override;

    QString name() const override;
    bool isWayland() const override;
    bool start() override;
    qint64 moveTo(QPoint screen) override;
    qint64 button(bool pressed) override;
    qint64 wheel(int notches) override;
    qint64 glide(QPoint screen, int hz, int milliseconds) override;
    bool has(Device device) const override;
    qint64 scroll(int steps, double pixels, int hz) override;
    qint64 touch(QPoint from, QPoint to, int steps) override;
    bool press(int key, const QList<int> &held) override;
    QString diagnosis() override;
    QImage pixels(const QRect &area) override;
    bool hideWindow(QWindow *window) override;
    bool showWindow(QWindow *window) override;
    bool startResizeBurst(QWidget *window, int count, int milliseconds) override;
    qint64 endResizeBurst(QWidget *window) override;

protected:
    QRect contentsArea(QWindow *window) override;

private:
    // Where the program last saw the pointer move: the top-level window, and the point
    // in it. A surface that still has the pointer's focus after the pointer left it gets
    // motions outside itself: those do not count.
    class PointerSeen : public QObject
    {
    public:
        PointerSeen();

        QPointer<QWindow> window;
        QPoint at;

    protected:
        bool eventFilter(QObject *object, QEvent *event) override;
    };

    void recordMonitor();
    QPointF streamPoint(QPoint screen) const;
    qint64 step(QPoint screen, bool awaitReply = true);
    template<typename... Arguments>
    bool call(const QString &method, Arguments... arguments);
    bool repliesWithoutError();
    static QString eval(const QString &file, QJsonObject args = QJsonObject());
    static bool activateWorkspace(int index);
    QWindow *ourWindowAt(QPoint screen, QRect *area);

    std::unique_ptr<QDBusInterface> m_session;
    // The calls of a glide, sent without waiting for mutter's replies.
    QList<QDBusPendingCall> m_unanswered;
    PointerSeen m_seen;
    QString m_stream;
    QPoint m_at;
    bool m_pressed = false;
    const qreal m_scale = sessionScale();
    QSize m_firstSize;
};

#endif // GNOMEDESK_H
