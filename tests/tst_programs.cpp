#include <QtTest>

// Runs the console programs as real processes and compares what they print with the
// expected files kept beside this test, and quadview where it cannot have OpenGL.
class tst_Programs : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void quadviewWithoutOpenGL_data();
    void quadviewWithoutOpenGL();
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

void tst_Programs::quadviewWithoutOpenGL_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QStringList>("environment");

    // No display at all, as in a CI script: neither platform can make a context.
    QTest::newRow("offscreen") << "offscreen" << QStringList();
    QTest::newRow("minimal") << "minimal" << QStringList();
    // An X display whose Mesa driver cannot be loaded. Newer Mesa finds its software
    // renderer without the driver path, so it is named away too.
    QTest::newRow("xcb, driver missing")
        << "xcb" << QStringList{"LIBGL_DRIVERS_PATH=/nonexistent", "MESA_LOADER_DRIVER_OVERRIDE=nonexistent",
                                "GALLIUM_DRIVER=nonexistent"};
}

void tst_Programs::quadviewWithoutOpenGL()
{
    QFETCH(QString, platform);
    QFETCH(QStringList, environment);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", platform);
    if (platform != "xcb") {
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
    } else if (!env.contains("DISPLAY")) {
        QSKIP("needs an X display");
    }
    for (const QString &variable : environment)
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));

    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUADVIEW_PATH));
    QVERIFY2(process.waitForFinished(15000), "quadview did not end by itself");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());

    const QStringList ours = QString::fromLocal8Bit(process.readAllStandardError())
                                 .split('\n').filter(QRegularExpression("^quadview: "));
    QCOMPARE(ours.size(), 1);
    const QString message = ours.first();
    for (const QString &part : {QString("\"%1\"").arg(platform), QString("no OpenGL context can be created"),
                                QString("desktop OpenGL"), QString("software renderer"), QString("libgl1-mesa-dri")})
        QVERIFY2(message.contains(part), qPrintable(message));
}

QTEST_GUILESS_MAIN(tst_Programs)
#include "tst_programs.moc"
