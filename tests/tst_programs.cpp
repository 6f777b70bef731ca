#include <QtTest>

// Runs the console programs as real processes and compares what they print with the
// expected files kept beside this test.
class tst_Programs : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void tst_Programs::run_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expectedFile");

    const QString demo = QStringLiteral(POINTDEMO_PATH);
    const QString trace = QStringLiteral(POINTTRACE_PATH);
    const QString expected = QStringLiteral(EXPECTED_DIR);
    const QStringList someArguments{"--help", "-x", "input.txt", ""};

    QTest::newRow("pointdemo") << demo << QStringList() << expected + "/pointdemo.txt";
    QTest::newRow("pointdemo with arguments") << demo << someArguments << expected + "/pointdemo.txt";
    QTest::newRow("pointtrace") << trace << QStringList() << expected + "/pointtrace.txt";
    QTest::newRow("pointtrace with arguments") << trace << someArguments << expected + "/pointtrace.txt";
}

void tst_Programs::run()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expectedFile);

    QFile file(expectedFile);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(expectedFile));
    const QByteArray expected = file.readAll();

    // Two runs: the output must not vary from one run to the next.
    for (int runIndex = 0; runIndex < 2; ++runIndex) {
        QProcess process;
        process.start(program, arguments);
        QVERIFY2(process.waitForFinished(30000), qPrintable(process.errorString()));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardOutput(), expected);
        QCOMPARE(process.readAllStandardError(), QByteArray());
    }
}

QTEST_GUILESS_MAIN(tst_Programs)
#include "tst_programs.moc"
