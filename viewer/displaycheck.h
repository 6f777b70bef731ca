#ifndef DISPLAYCHECK_H
#define DISPLAYCHECK_H

#include <QString>
#include <QStringList>

struct xcb_connection_t;

// Asks whether one of the displays that Qt's platform would open answers, before Qt
// itself would abort, with advice that does not fit.
class DisplayCheck
{
public:
    explicit DisplayCheck(const QStringList &arguments);
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck &) = delete;
    DisplayCheck &operator=(const DisplayCheck &) = delete;

    // Why none of those displays answers, or an empty string when one does, or when
    // the platform named needs no display (offscreen, minimal).
    QString problem() const;
    // Where the only display that answers is one whose Qt platform plugin is missing:
    // the package that brings the plugin (qt6-wayland); else an empty string.
    QString missingPackage() const;
    // Whether Qt has a plugin for the platform (xcb, wayland, wayland-egl...).
    static bool hasPlatformPlugin(const QString &platform);
    // Qt chose X11 in a Wayland session, the user having named no platform, because it
    // has no Wayland plugin: the package that brings it; else an empty string.
    static QString xwaylandFallbackPackage(const QStringList &arguments);
    // Lets go of the X connection that answered; call it once Qt has its own.
    void close();

private:
    QString xDisplayProblem(const QStringList &arguments);

    QString m_problem;
    QString m_missingPackage;
    xcb_connection_t *m_connection = nullptr;
};

#endif // DISPLAYCHECK_H
