#ifndef REPORT_H
#define REPORT_H

#include "row.h"

#include <QList>
#include <QString>

// The rows of one run: a table on standard output, and JSON for the comparisons.
class Report
{
public:
    Report(QString machine, bool quick, int frames, int launches);

    void add(const QList<Row> &rows);
    void print() const;
    // Relative paths go where a test session keeps its output (QUADVIEW_TEST_OUTPUT).
    bool writeJson(const QString &path) const;

private:
    QString m_machine;
    bool m_quick;
    int m_frames;
    int m_launches;
    QList<Row> m_rows;
};

#endif // REPORT_H
