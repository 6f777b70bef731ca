#include <QtTest>

// Runs the benchmark's quick pass as a real process and checks that what it reports
// is complete and well-formed. Its timings are never judged here.
class tst_Bench : public QObject
{
    Q_OBJECT

private slots:
    void quickPass();
};

void tst_Bench::quickPass()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString jsonPath = dir.filePath("bench.json");

    QProcess bench;
    bench.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bench.start(QStringLiteral(VIEWBENCH_PATH), {"--quick", "--json", jsonPath});
    QVERIFY(bench.waitForFinished(600000));
    QCOMPARE(bench.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bench.exitCode(), 0);

    QFile file(jsonPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(file.readAll(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!document.value("machine").toString().isEmpty());
    QCOMPARE(document.value("quick").toBool(), true);

    const QJsonArray figures = document.value("figures").toArray();
    const QString table = QString::fromUtf8(bench.readAllStandardOutput());
    QCOMPARE(table.count(QRegularExpression("^\\| (?!figure|---)", QRegularExpression::MultilineOption)),
             figures.size());

    QStringList names;
    for (const QJsonValue &value : figures) {
        const QJsonObject figure = value.toObject();
        const QString name = figure.value("name").toString();
        names.append(name);
        QVERIFY2(table.contains(name), qPrintable(name));
        QVERIFY2(figure.value("value").toDouble() > 0, qPrintable(name));
        QVERIFY2(figure.value("floor").toDouble() > 0, qPrintable(name));
        QVERIFY2(figure.contains("ratio") != figure.contains("difference"), qPrintable(name));
        QVERIFY2(QStringList({"ms", "MiB", "%"}).contains(figure.value("unit").toString()), qPrintable(name));
    }
    for (const char *expected : {"frame, maximised", "QOpenGLWidget", "drag step", "start-up", "peak resident memory",
                                 "drag settle"})
        QVERIFY2(names.filter(expected).size() > 0, expected);
}

QTEST_GUILESS_MAIN(tst_Bench)
#include "tst_bench.moc"
