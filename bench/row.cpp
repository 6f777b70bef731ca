#include "row.h"

Row::Row(QString key, QString name, QString unit)
    : key(std::move(key))
    , name(std::move(name))
    , unit(std::move(unit))
{
}

Row &Row::measured(double median, double p90Value)
{
    value = median;
    p90 = p90Value;
    return *this;
}

Row &Row::measured(const Timing &timing)
{
    return measured(timing.median, timing.p90);
}

Row &Row::against(QString what, double median, double p90Value)
{
    floorName = std::move(what);
    floor = median;
    floorP90 = p90Value;
    return *this;
}

Row &Row::against(QString what, const Timing &timing)
{
    return against(std::move(what), timing.median, timing.p90);
}

Row &Row::target(QString text)
{
    targetText = std::move(text);
    return *this;
}

Row &Row::asDifference()
{
    difference = true;
    return *this;
}

Row &Row::of(Subject whose)
{
    subject = whose;
    return *this;
}

double Row::comparison() const
{
    return difference ? value - floor : value / floor;
}

QJsonObject Row::toJson() const
{
    static const char *const subjects[] = {"quadview", "floor", "peer"};
    QJsonObject row{{"key", key},
                    {"name", name},
                    {"unit", unit},
                    {"value", value},
                    {"compared_with", floorName},
                    {"floor", floor},
                    {difference ? "difference" : "ratio", comparison()},
                    {"target", targetText},
                    {"subject", subjects[int(subject)]}};
    if (p90 > 0)
        row.insert("p90", p90);
    if (floorP90 > 0)
        row.insert("floor_p90", floorP90);
    return row;
}
