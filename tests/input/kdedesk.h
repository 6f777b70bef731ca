#ifndef KDEDESK_H
#define KDEDESK_H

#include "pointerdesk.h"
#include "scriptreplies.h"

#include <QJsonObject>

class QDBusInterface;
class QDBusMessage;

// KDE Plasma's KWin: pointer and keys from pointerdrive through KWin's fake input,
// pictures from its ScreenShot2 interface, the window manager's part from KWin scripts
// (in kwin/). The session gives KWin two virtual desktops.
class KdeDesk : public PointerDesk
{
public:
    QString name() const override;
    bool isWayland() const override;
    bool has(Device device) const override;
    bool start() override;
    bool reconnect() override;
    bool setLayouts(const QString &names, int active, QString *why) override;
    QImage pixels(const QRect &area) override;
    bool hideWindow(QWindow *window) override;
    bool showWindow(QWindow *window) override;
    bool startResizeBurst(QWidget *window, int count, int milliseconds) override;
    qint64 endResizeBurst(QWidget *window) override;

protected:
    QString pointerKind() const override;
    QRect contentsArea(QWindow *window) override;

private:
    static bool loadLayouts(QDBusInterface &layouts, const QString &names);
    static QString layoutNames(const QDBusMessage &reply);
    static bool setDesktop(int desktop);
    QString load(const QString &file, QJsonObject args);
    void unload(const QString &name);
    QString awaitReply(const QString &name, int milliseconds);
    QString script(const QString &file, const QJsonObject &args = QJsonObject());

    ScriptReplies m_replies;
    int m_scripts = 0;
    QString m_burst;
    QSize m_firstSize;
};

#endif // KDEDESK_H
