#include <QtTest>

// Runs the benchmark's quick pass as a real process and checks that what it reports
// is complete and well-formed. Its timings are never judged here.
class tst_Bench : public QObject
{
    Q_OBJECT

private slots:
    void quickPass_data();
    void quickPass();
};

void tst_Bench::quickPass_data()
{
    QTest::addColumn<QStringList>("arguments");
    // The first part of each key the run must give, and no other.
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("every part") << QStringList()
                                << QStringList{"frame", "drag-step", "startup", "memory", "view-frame", "settle",
                                               "catch-up", "settle-after-hidden", "share-hidden"};
    QTest::newRow("the drags alone") << QStringList{"--parts", "drags"} << QStringList{"view-frame", "settle"};
}

void tst_Bench::quickPass()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, keys);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString jsonPath = dir.filePath("bench.json");

    QProcess bench;
    bench.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bench.start(QStringLiteral(VIEWBENCH_PATH), QStringList{"--quick", "--json", jsonPath} + arguments);
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

    QSet<QString> seen, kinds;
    for (const QJsonValue &value : figures) {
        const QJsonObject figure = value.toObject();
        const QString name = figure.value("name").toString(), key = figure.value("key").toString();
        QVERIFY2(table.contains(name), qPrintable(name));
        // The comparisons find a row by its key alone.
        QVERIFY2(!key.isEmpty() && !seen.contains(key), qPrintable(key));
        seen.insert(key);
        kinds.insert(key.section('/', 0, 0));
        QVERIFY2(figure.value("value").toDouble() > 0, qPrintable(key));
        QVERIFY2(figure.value("floor").toDouble() > 0, qPrintable(key));
        QVERIFY2(figure.contains("ratio") != figure.contains("difference"), qPrintable(key));
        QVERIFY2(QStringList({"ms", "MiB", "%"}).contains(figure.value("unit").toString()), qPrintable(key));
        QVERIFY2(QStringList({"quadview", "floor", "peer"}).contains(figure.value("subject").toString()), qPrintable(key));
    }
    QCOMPARE(kinds, QSet<QString>(keys.begin(), keys.end()));
}

QTEST_GUILESS_MAIN(tst_Bench)
#include "tst_bench.moc"
