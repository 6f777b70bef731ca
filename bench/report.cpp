#include "report.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

Report::Report(QString machine, bool quick, int frames, int launches)
    : m_machine(std::move(machine))
    , m_quick(quick)
    , m_frames(frames)
    , m_launches(launches)
{
}

void Report::add(const QList<Row> &rows)
{
    m_rows += rows;
}

void Report::print() const
{
    QTextStream out(stdout);
    out << "Machine: " << m_machine << "\n";
    out << (m_quick ? "Quick pass: figures are not meaningful.\n" : "") << "\n";
    out << "| figure | value | p90 | compared with | its value | ratio | target |\n";
    out << "|---|---|---|---|---|---|---|\n";
    for (const Row &row : m_rows) {
        const double comparison = row.comparison();
        const QString comparisonText = row.difference
            ? QString("%1%2 %3").arg(comparison >= 0 ? "+" : "").arg(comparison, 0, 'f', 1).arg(row.unit)
            : QString("%1x").arg(comparison, 0, 'f', 2);
        out << "| " << row.name << " | " << QString::number(row.value, 'f', 2) << " " << row.unit << " | "
            << (row.p90 > 0 ? QString::number(row.p90, 'f', 2) + " " + row.unit : QString("-")) << " | "
            << row.floorName
            << (row.floorP90 > 0 ? QString(" (p90 %1 %2)").arg(row.floorP90, 0, 'f', 2).arg(row.unit) : QString())
            << " | " << QString::number(row.floor, 'f', 2) << " " << row.unit << " | " << comparisonText << " | "
            << (row.targetText.isEmpty() ? QString("-") : row.targetText) << " |\n";
    }
}

bool Report::writeJson(const QString &path) const
{
    QJsonArray rows;
    for (const Row &row : m_rows)
        rows.append(row.toJson());
    const QJsonObject document{{"machine", m_machine}, {"quick", m_quick}, {"frames", m_frames},
                               {"launches", m_launches}, {"figures", rows}};
    const QString output = qEnvironmentVariable("QUADVIEW_TEST_OUTPUT");
    QFile file(QDir::isRelativePath(path) && !output.isEmpty() ? QDir(output).filePath(path) : path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(document).toJson()) < 0) {
        std::fprintf(stderr, "viewbench: cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}
