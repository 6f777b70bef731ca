#ifndef SWAYDESK_H
#define SWAYDESK_H

#include "pointerdesk.h"
#include "shellburst.h"

#include <QJsonObject>

// sway, whose IPC takes the window manager's part; keys come from pointerdrive's
// virtual keyboard, with a keymap of its own, and pictures from grim. The window is the
// one tiled window of its workspace, at the output's top left corner.
class SwayDesk : public PointerDesk
{
public:
    QString name() const override;
    bool isWayland() const override;
    bool has(Device device) const override;
    qint64 wheel(int notches) override;
    qint64 scroll(int steps, double pixels, int hz) override;
    bool setLayouts(const QString &names, int active, QString *why) override;
    QString diagnosis() override;
    QImage pixels(const QRect &area) override;
    bool setScale(qreal scale) override;
    bool hideWindow(QWindow *window) override;
    bool showWindow(QWindow *window) override;
    bool moveToOtherOutput(QWidget *window, bool back) override;
    bool replaceOutput(qreal scale, QString *why) override;
    bool startResizeBurst(QWidget *window, int count, int milliseconds) override;
    qint64 endResizeBurst(QWidget *window) override;

protected:
    QString pointerKind() const override;
    QRect contentsArea(QWindow *window) override;

private:
    bool wake();
    static bool swaymsg(const QStringList &command);
    static QStringList outputNames();
    static QJsonObject newestOfOurs(const QJsonObject &node);
    static QString ours();

    qreal m_scale = sessionScale();
    ShellBurst m_burst;
};

#endif // SWAYDESK_H
