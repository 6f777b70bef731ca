#ifndef SCRIPTREPLIES_H
#define SCRIPTREPLIES_H

#include <QHash>
#include <QObject>
#include <QStringList>

// Answers from KWin scripts, which call back over D-Bus, each with its script's name.
class ScriptReplies : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quadview.Desk")

public:
    QHash<QString, QStringList> values;

public slots:
    void reply(const QString &script, const QString &value) { values[script] << value; }
};

#endif // SCRIPTREPLIES_H
