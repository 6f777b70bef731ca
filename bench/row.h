#ifndef ROW_H
#define ROW_H

#include "sampling.h"

#include <QJsonObject>
#include <QString>

// One figure of the benchmark beside what it is judged against. Its key names it for
// good: the comparisons (scripts/benchjson.py) find a row by its key, whatever its words
// say.
class Row
{
public:
    // Whose figure the value is: quadview's, or that of a floor or a peer shown beside
    // it, which a change to quadview does not move.
    enum class Subject { Quadview, Floor, Peer };

    Row(QString key, QString name, QString unit);

    Row &measured(double median, double p90 = 0);
    Row &measured(const Timing &timing);
    Row &against(QString what, double median, double p90 = 0);
    Row &against(QString what, const Timing &timing);
    Row &target(QString text);
    // Compared as value - floor (memory), rather than value / floor.
    Row &asDifference();
    Row &of(Subject subject);

    QString key;
    QString name;
    QString unit;
    double value = 0;
    double p90 = 0;
    QString floorName;
    double floor = 0;
    double floorP90 = 0;
    QString targetText;
    bool difference = false;
    Subject subject = Subject::Quadview;

    double comparison() const;
    QJsonObject toJson() const;
};

#endif // ROW_H
