#include <QtTest>

// Runs the console programs as real processes and compares what they print with the
// expected files kept beside this test; and quadview where it has nothing to show on.
class tst_Programs : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void quadviewWithoutOpenGL_data();
    void quadviewWithoutOpenGL();
    void quadviewAnswersWithoutDisplay_data();
    void quadviewAnswersWithoutDisplay();
    void quadviewWithoutDisplay_data();
    void quadviewWithoutDisplay();
    void controlsListedAlike_data();
    void controlsListedAlike();

private:
    static QProcessEnvironment environmentWithout(const QStringList &names, const QStringList &settings = {});
};

// The test's environment, less the variables named, plus NAME=value settings.
QProcessEnvironment tst_Programs::environmentWithout(const QStringList &names, const QStringList &settings)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : names)
        env.remove(name);
    for (const QString &setting : settings)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return env;
}

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
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");

    // No display at all, as in a CI script: neither platform can make a context. The
    // platform comes once from the environment and once as Qt's own option.
    QTest::newRow("offscreen") << "offscreen" << QStringList() << QStringList{"QT_QPA_PLATFORM=offscreen"};
    QTest::newRow("-platform minimal") << "minimal" << QStringList{"-platform", "minimal"} << QStringList();
    // An X display whose Mesa driver cannot be loaded. Newer Mesa finds its software
    // renderer without the driver path, so it is named away too.
    QTest::newRow("xcb, driver missing")
        << "xcb" << QStringList()
        << QStringList{"QT_QPA_PLATFORM=xcb", "LIBGL_DRIVERS_PATH=/nonexistent",
                       "MESA_LOADER_DRIVER_OVERRIDE=nonexistent", "GALLIUM_DRIVER=nonexistent"};
}

void tst_Programs::quadviewWithoutOpenGL()
{
    QFETCH(QString, platform);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);

    QStringList unset{"QT_QPA_PLATFORM"};
    if (platform != "xcb")
        unset << "DISPLAY" << "WAYLAND_DISPLAY";
    else if (!qEnvironmentVariableIsSet("DISPLAY"))
        QSKIP("needs an X display");

    QProcess process;
    process.setProcessEnvironment(environmentWithout(unset, environment));
    process.start(QStringLiteral(QUADVIEW_PATH), arguments);
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

void tst_Programs::quadviewAnswersWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("--help") << QStringList{"--help"} << "Alt+W";
    QTest::newRow("--help gives the pinch") << QStringList{"--help"} << "pinch on a touchpad, or two fingers on a touchscreen";
    QTest::newRow("-h") << QStringList{"-h"} << "Usage: quadview";
    const QString version = QStringLiteral("quadview " QUADVIEW_VERSION "\n");
    QTest::newRow("--version") << QStringList{"--version"} << version;
    QTest::newRow("-v after Qt's options") << QStringList{"-platform", "xcb", "-v"} << version;
}

// The two options every command-line user tries first answer anywhere: no display,
// no window, no OpenGL.
void tst_Programs::quadviewAnswersWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);

    QProcess process;
    process.setProcessEnvironment(environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}));
    process.start(QStringLiteral(QUADVIEW_PATH), arguments);
    QVERIFY2(process.waitForFinished(5000), "quadview did not answer within 5 s");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardError(), QByteArray());
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(output.contains(expected), qPrintable(output));
    if (arguments.contains("--help")) {
        for (const char *fact : {"--version", "drag", "wheel", "-platform", "Exit status"})
            QVERIFY2(output.contains(QLatin1String(fact)), fact);
    }
}

void tst_Programs::quadviewWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("reason");

    QTest::newRow("nothing set") << QStringList() << "neither DISPLAY nor WAYLAND_DISPLAY is set";
    // Over ssh after the forwarded display has gone, or a stale variable.
    QTest::newRow("X display not answering") << QStringList{"DISPLAY=:4242"} << "\":4242\" does not answer";
    QTest::newRow("xcb named, only Wayland set")
        << QStringList{"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=quadview-none"} << "DISPLAY is not set";
    QTest::newRow("Wayland display not answering")
        << QStringList{"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=quadview-none", "XDG_RUNTIME_DIR=" + QDir::tempPath()} << "\"quadview-none\" does not answer";
}

// Where no display can be reached, one line says so and what to do: no abort, no
// advice to reinstall.
void tst_Programs::quadviewWithoutDisplay()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, reason);

    QProcess process;
    process.setProcessEnvironment(environmentWithout(
        {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE", "WAYLAND_SOCKET"}, environment));
    process.start(QStringLiteral(QUADVIEW_PATH));
    QVERIFY2(process.waitForFinished(15000), "quadview did not end by itself");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(error.count('\n'), 1);
    QVERIFY2(error.startsWith("quadview: no display") && error.contains(reason) && error.contains("xvfb-run"),
             qPrintable(error));
}

void tst_Programs::controlsListedAlike_data()
{
    QTest::addColumn<QString>("control");
    for (const char *control : {"drag", "wheel", "pinch", "Tab", "Shift+Tab", "arrow keys", "+ (or =)", "Home", "Alt+W"})
        QTest::newRow(control) << QString(control);
}

// --help, the README, the manual page and the AppStream description name the same
// controls: a user finds a key in whichever one they read.
void tst_Programs::controlsListedAlike()
{
    QFETCH(QString, control);

    QProcess help;
    help.start(QStringLiteral(QUADVIEW_PATH), {"--help"});
    QVERIFY(help.waitForFinished(15000));
    QVERIFY2(QString::fromUtf8(help.readAllStandardOutput()).contains(control, Qt::CaseInsensitive), "--help");
    for (const char *path : {"README.md", "viewer/quadview.1", "viewer/io.github.quadview.quadview.metainfo.xml"}) {
        QFile file(QStringLiteral(SOURCE_DIR "/") + path);
        QVERIFY2(file.open(QIODevice::ReadOnly), path);
        QVERIFY2(QString::fromUtf8(file.readAll()).contains(control, Qt::CaseInsensitive), path);
    }
}

QTEST_GUILESS_MAIN(tst_Programs)
#include "tst_programs.moc"
