#ifndef X11DESK_H
#define X11DESK_H

#include "pointerdesk.h"
#include "shellburst.h"

// X11 without a window manager (Xvfb): xdotool acts as one.
class X11Desk : public PointerDesk
{
public:
    QString name() const override;
    bool isWayland() const override;
    bool has(Device device) const override;
    QImage pixels(const QRect &area) override;
    bool setLayouts(const QString &names, int active, QString *why) override;
    bool hideWindow(QWindow *window) override;
    bool showWindow(QWindow *window) override;
    bool startResizeBurst(QWidget *window, int count, int milliseconds) override;
    qint64 endResizeBurst(QWidget *window) override;

protected:
    QString pointerKind() const override;
    QRect contentsArea(QWindow *window) override;

private:
    static QString id(QWidget *window);

    ShellBurst m_burst;
};

#endif // X11DESK_H
