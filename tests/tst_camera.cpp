#include "camera.h"
#include "mainwindow.h"

#include <QtTest>
#include <QVector3D>

#include <memory>

Q_DECLARE_METATYPE(Viewport)

class tst_Camera : public QObject
{
    Q_OBJECT

private slots:
    void moveBy_data();
    void moveBy();
    void presets_data();
    void presets();
};

void tst_Camera::moveBy_data()
{
    QTest::addColumn<QVector3D>("start");
    QTest::addColumn<QList<QVector3D>>("moves");
    QTest::addColumn<QVector3D>("end");

    QTest::newRow("no move") << QVector3D(1, 2, 3) << QList<QVector3D>{{0, 0, 0}} << QVector3D(1, 2, 3);
    QTest::newRow("moves accumulate") << QVector3D(-100, 0, 0) << QList<QVector3D>{{10, 0, 0}, {10, 0, 0}}
                                      << QVector3D(-80, 0, 0);
    QTest::newRow("through zero and beyond") << QVector3D(0, 100, 0) << QList<QVector3D>{{0, -150, 0}}
                                             << QVector3D(0, -50, 0);
    QTest::newRow("all axes at once") << QVector3D(-100, 100, 100) << QList<QVector3D>{{-2, 9, -2}, {3, 0, 3}}
                                      << QVector3D(-99, 109, 101);
    // Single precision: a small step is lost against a large position.
    QTest::newRow("single precision") << QVector3D(1e8f, 0, 0) << QList<QVector3D>{{1, 0, 0}}
                                      << QVector3D(1e8f, 0, 0);
}

void tst_Camera::moveBy()
{
    QFETCH(QVector3D, start);
    QFETCH(QList<QVector3D>, moves);
    QFETCH(QVector3D, end);

    Camera camera(start.x(), start.y(), start.z(), -45, 30, 7.5f);
    for (const QVector3D &move : moves)
        camera.moveBy(move.x(), move.y(), move.z());

    QCOMPARE(camera.getPositionX(), end.x());
    QCOMPARE(camera.getPositionY(), end.y());
    QCOMPARE(camera.getPositionZ(), end.z());
    // Moving never turns the camera.
    QCOMPARE(camera.getAngleX(), -45.0f);
    QCOMPARE(camera.getAngleY(), 30.0f);
    QCOMPARE(camera.getAngleZ(), 7.5f);
}

void tst_Camera::presets_data()
{
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("j");
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<bool>("hasCamera");
    QTest::addColumn<QVector3D>("position");
    QTest::addColumn<QVector3D>("angles");

    QTest::newRow("(0, 0) top") << 0 << 0 << VP_TOP << true << QVector3D(0, 100, 0) << QVector3D(-90, 0, 0);
    QTest::newRow("(0, 1) front") << 0 << 1 << VP_FRONT << true << QVector3D(0, 0, 100) << QVector3D(0, 0, 0);
    QTest::newRow("(1, 0) left") << 1 << 0 << VP_LEFT << true << QVector3D(-100, 0, 0) << QVector3D(0, -90, 0);
    QTest::newRow("(1, 1) perspective") << 1 << 1 << VP_PERSPECTIVE << true << QVector3D(-100, 100, 100)
                                        << QVector3D(-45, -45, 0);
    QTest::newRow("(2, 0) outside") << 2 << 0 << VP_TOP << false << QVector3D() << QVector3D();
    QTest::newRow("(0, 5) outside") << 0 << 5 << VP_TOP << false << QVector3D() << QVector3D();
    QTest::newRow("(-1, 1) outside") << -1 << 1 << VP_TOP << false << QVector3D() << QVector3D();
}

void tst_Camera::presets()
{
    QFETCH(int, i);
    QFETCH(int, j);
    QFETCH(Viewport, kind);
    QFETCH(bool, hasCamera);
    QFETCH(QVector3D, position);
    QFETCH(QVector3D, angles);

    QCOMPARE(MainWindow::createViewport(i, j), kind);
    std::unique_ptr<Camera> camera(MainWindow::createCamera(i, j));
    QCOMPARE(camera != nullptr, hasCamera);
    if (!camera)
        return;
    QCOMPARE(QVector3D(camera->getPositionX(), camera->getPositionY(), camera->getPositionZ()), position);
    QCOMPARE(QVector3D(camera->getAngleX(), camera->getAngleY(), camera->getAngleZ()), angles);
}

QTEST_APPLESS_MAIN(tst_Camera)
#include "tst_camera.moc"
