#include "glprobe.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(Viewport)

namespace {

const QRgb background = qRgb(128, 128, 128);
const QRgb gridColor = qRgb(64, 64, 64);

// Where a scene point lands in the widget, in logical pixels with y downwards.
QPointF project(const GlState &state, const QVector3D &point, QSizeF widgetSize)
{
    const QVector4D clip = state.projection * state.modelview * QVector4D(point, 1.0f);
    const QVector3D ndc = clip.toVector3DAffine();
    return QPointF((ndc.x() + 1) / 2 * widgetSize.width(), (1 - ndc.y()) / 2 * widgetSize.height());
}

} // namespace

class tst_GLWidget : public QObject
{
    Q_OBJECT

private slots:
    void projection_data();
    void projection();
    void cameraTransform_data();
    void cameraTransform();
    void centrePixels_data();
    void centrePixels();
    void zoomedOutGridExtent();
    void pictureFillsViewportAtAnyScale();
    void degenerateProjection_data();
    void degenerateProjection();
    void repaintIsStable();
};

void tst_GLWidget::projection_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector3D>("move");
    // Orthographic: the half-extents of the view box; perspective: unused.
    QTest::addColumn<QSizeF>("box");

    const QVector3D none;
    QTest::newRow("top 400x300") << VP_TOP << QSize(400, 300) << none << QSizeF(50, 37.5);
    QTest::newRow("top 300x400") << VP_TOP << QSize(300, 400) << none << QSizeF(37.5, 50);
    QTest::newRow("top square") << VP_TOP << QSize(300, 300) << none << QSizeF(50, 50);
    QTest::newRow("top camera at y -100") << VP_TOP << QSize(400, 300) << QVector3D(0, -200, 0) << QSizeF(50, 37.5);
    QTest::newRow("top zoomed in") << VP_TOP << QSize(400, 300) << QVector3D(0, -10, 0) << QSizeF(45, 33.75);
    QTest::newRow("left 400x300") << VP_LEFT << QSize(400, 300) << none << QSizeF(50, 37.5);
    QTest::newRow("left 300x400") << VP_LEFT << QSize(300, 400) << none << QSizeF(37.5, 50);
    QTest::newRow("front 400x300") << VP_FRONT << QSize(400, 300) << none << QSizeF(50, 37.5);
    QTest::newRow("front camera at z 300") << VP_FRONT << QSize(400, 400) << QVector3D(0, 0, 200) << QSizeF(150, 150);
    QTest::newRow("perspective 400x300") << VP_PERSPECTIVE << QSize(400, 300) << none << QSizeF();
    QTest::newRow("perspective 300x400") << VP_PERSPECTIVE << QSize(300, 400) << none << QSizeF();
    QTest::newRow("perspective square") << VP_PERSPECTIVE << QSize(300, 300) << none << QSizeF();
}

void tst_GLWidget::projection()
{
    QFETCH(Viewport, kind);
    QFETCH(QSize, size);
    QFETCH(QVector3D, move);
    QFETCH(QSizeF, box);

    ViewportFixture fixture(kind, size);
    QVERIFY(fixture.waitForSurface());
    QCOMPARE(fixture.widget->size(), size);
    fixture.camera->moveBy(move.x(), move.y(), move.z());
    fixture.widget->updateGL();

    const GlState state = readGlState(fixture.widget->getSurface());
    QCOMPARE(state.error, GLenum(GL_NO_ERROR));
    const qreal ratio = fixture.widget->getSurface()->devicePixelRatio();
    QCOMPARE(state.viewport, QRect(QPoint(0, 0), size * ratio));

    const double nearPlane = 0.1, farPlane = 1000.0;
    const QMatrix4x4 &p = state.projection;
    if (kind == VP_PERSPECTIVE) {
        const double f = 1.0 / std::tan(qDegreesToRadians(22.5));
        QVERIFY(qFuzzyCompare(p(0, 0), float(f * size.height() / size.width())));
        QVERIFY(qFuzzyCompare(p(1, 1), float(f)));
        QVERIFY(qFuzzyCompare(p(2, 2), float((farPlane + nearPlane) / (nearPlane - farPlane))));
        QVERIFY(qFuzzyCompare(p(2, 3), float(2 * farPlane * nearPlane / (nearPlane - farPlane))));
        QCOMPARE(p(3, 2), -1.0f);
        QCOMPARE(p(3, 3), 0.0f);
    } else {
        QVERIFY2(qFuzzyCompare(p(0, 0), float(1 / box.width())), qPrintable(QString::number(1 / p(0, 0))));
        QVERIFY2(qFuzzyCompare(p(1, 1), float(1 / box.height())), qPrintable(QString::number(1 / p(1, 1))));
        QVERIFY(qFuzzyCompare(p(2, 2), float(-2 / (farPlane - nearPlane))));
        QVERIFY(qFuzzyCompare(p(2, 3), float(-(farPlane + nearPlane) / (farPlane - nearPlane))));
        QCOMPARE(p(0, 3), 0.0f);
        QCOMPARE(p(1, 3), 0.0f);
        QCOMPARE(p(3, 3), 1.0f);
    }
}

void tst_GLWidget::cameraTransform_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QVector3D>("move");
    QTest::addColumn<QVector3D>("scenePoint");
    QTest::addColumn<QPointF>("expected");

    // 400 x 300 viewports: the centre is (200, 150).
    const QVector3D none;
    QTest::newRow("top: origin at centre") << VP_TOP << none << QVector3D(0, 0, 0) << QPointF(200, 150);
    QTest::newRow("top: x to the right") << VP_TOP << none << QVector3D(50, 0, 0) << QPointF(400, 150);
    QTest::newRow("top: z downwards") << VP_TOP << none << QVector3D(0, 0, 37.5) << QPointF(200, 300);
    QTest::newRow("top: camera moved right") << VP_TOP << QVector3D(10, 0, 0) << QVector3D(0, 0, 0) << QPointF(160, 150);
    QTest::newRow("left: z to the right") << VP_LEFT << none << QVector3D(0, 0, 50) << QPointF(400, 150);
    QTest::newRow("left: y upwards") << VP_LEFT << none << QVector3D(0, 37.5, 0) << QPointF(200, 0);
    QTest::newRow("front: x to the right") << VP_FRONT << none << QVector3D(50, 0, 0) << QPointF(400, 150);
    QTest::newRow("front: y upwards") << VP_FRONT << none << QVector3D(0, 37.5, 0) << QPointF(200, 0);
    QTest::newRow("front: camera moved up") << VP_FRONT << QVector3D(0, 5, 0) << QVector3D(0, 0, 0) << QPointF(200, 170);
    // Rx(45) Ry(45) T(100, -100, -100) puts the origin on the vertical centre line,
    // at a height of tan(22.5 degrees) times the half field of view.
    QTest::newRow("perspective: origin above centre") << VP_PERSPECTIVE << none << QVector3D(0, 0, 0)
                                                      << QPointF(200, (1 - (std::sqrt(2.0) - 1)) / 2 * 300);
}

void tst_GLWidget::cameraTransform()
{
    QFETCH(Viewport, kind);
    QFETCH(QVector3D, move);
    QFETCH(QVector3D, scenePoint);
    QFETCH(QPointF, expected);

    ViewportFixture fixture(kind);
    QVERIFY(fixture.waitForSurface());
    fixture.camera->moveBy(move.x(), move.y(), move.z());
    fixture.widget->updateGL();

    const GlState state = readGlState(fixture.widget->getSurface());
    QCOMPARE(state.error, GLenum(GL_NO_ERROR));
    const QPointF actual = project(state, scenePoint, QSizeF(400, 300));
    QVERIFY2((actual - expected).manhattanLength() < 0.01,
             qPrintable(QString("(%1, %2)").arg(actual.x()).arg(actual.y())));
    // Every orthographic preset looks at the origin from 100 units away.
    if (kind != VP_PERSPECTIVE && move.isNull())
        QVERIFY(qFuzzyCompare((state.modelview * QVector4D(0, 0, 0, 1)).z(), -100.0f));
}

void tst_GLWidget::centrePixels_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QRgb>("centre");

    QTest::newRow("top sees yellow") << VP_TOP << qRgb(255, 255, 0);
    QTest::newRow("front sees red") << VP_FRONT << qRgb(255, 0, 0);
    QTest::newRow("left sees green") << VP_LEFT << qRgb(0, 255, 0);
}

void tst_GLWidget::centrePixels()
{
    QFETCH(Viewport, kind);
    QFETCH(QRgb, centre);

    ViewportFixture fixture(kind);
    QVERIFY(fixture.waitForSurface());
    const QImage image = fixture.widget->grabFramebuffer();
    QVERIFY(!image.isNull());
    const qreal ratio = image.devicePixelRatio();

    // Away from the centre line, so no edge-on grid line crosses the sample.
    QCOMPARE(QColor(image.pixel(QPointF(200, 120).toPoint() * ratio)), QColor(centre));
    // Between grid lines near the corner there is only the background.
    QCOMPARE(QColor(image.pixel(QPoint(10, 10) * ratio)), QColor(background));
    QCOMPARE(readGlState(fixture.widget->getSurface()).error, GLenum(GL_NO_ERROR));
}

void tst_GLWidget::zoomedOutGridExtent()
{
    // 400 x 400 with the camera at y = 400: a box of +-200, one pixel per scene unit.
    ViewportFixture fixture(VP_TOP, QSize(400, 400));
    QVERIFY(fixture.waitForSurface());
    fixture.camera->moveBy(0, 300, 0);
    const QImage image = fixture.widget->grabFramebuffer();
    const qreal ratio = image.devicePixelRatio();

    // Row at z = 165, between the last two horizontal lines.
    const int row = qRound(365 * ratio);
    auto gridAt = [&](int logicalX) {
        for (int x = qFloor((logicalX - 1) * ratio); x <= qCeil((logicalX + 1) * ratio); ++x)
            if (sameColor(image.pixel(x, row), gridColor))
                return true;
        return false;
    };
    QVERIFY(gridAt(30));   // x = -170
    QVERIFY(gridAt(370));  // x = +170
    QVERIFY(gridAt(50));   // x = -150, the next line in
    for (int x = 0; x < qFloor(28 * ratio); ++x)
        QVERIFY2(sameColor(image.pixel(x, row), background), qPrintable(QString::number(x)));
    for (int x = qCeil(372 * ratio); x < image.width(); ++x)
        QVERIFY2(sameColor(image.pixel(x, row), background), qPrintable(QString::number(x)));
}

void tst_GLWidget::pictureFillsViewportAtAnyScale()
{
    // Run once as is and once with QT_SCALE_FACTOR set: the yellow top face covers the
    // middle half of the width and two thirds of the height, centred, at any ratio.
    ViewportFixture fixture(VP_TOP);
    QVERIFY(fixture.waitForSurface());
    const QImage image = fixture.widget->grabFramebuffer();
    const qreal ratio = fixture.widget->getSurface()->devicePixelRatio();
    QCOMPARE(image.size(), QSize(400, 300) * ratio);

    const QRect face = boundsOf(image, qRgb(255, 255, 0));
    const double tolerance = 2 * ratio;
    QVERIFY2(std::abs(face.center().x() + 0.5 - image.width() / 2.0) <= tolerance, qPrintable(QString::number(face.center().x())));
    QVERIFY(std::abs(face.center().y() + 0.5 - image.height() / 2.0) <= tolerance);
    QVERIFY2(std::abs(face.width() - image.width() / 2.0) <= tolerance, qPrintable(QString::number(face.width())));
    QVERIFY(std::abs(face.height() - image.height() * 2.0 / 3.0) <= tolerance);
}

void tst_GLWidget::degenerateProjection_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QVector3D>("move");
    QTest::addColumn<QSize>("glSize");

    const QSize windowSize(400, 300);
    QTest::newRow("top camera at y 0") << VP_TOP << QVector3D(0, -100, 0) << windowSize;
    QTest::newRow("left camera at x 0") << VP_LEFT << QVector3D(100, 0, 0) << windowSize;
    QTest::newRow("front camera at z 0") << VP_FRONT << QVector3D(0, 0, -100) << windowSize;
    QTest::newRow("top zero height") << VP_TOP << QVector3D() << QSize(400, 0);
    QTest::newRow("top zero width") << VP_TOP << QVector3D() << QSize(0, 300);
    QTest::newRow("top zero size") << VP_TOP << QVector3D() << QSize(0, 0);
    QTest::newRow("perspective zero height") << VP_PERSPECTIVE << QVector3D() << QSize(400, 0);
    QTest::newRow("perspective zero width") << VP_PERSPECTIVE << QVector3D() << QSize(0, 300);
}

void tst_GLWidget::degenerateProjection()
{
    QFETCH(Viewport, kind);
    QFETCH(QVector3D, move);
    QFETCH(QSize, glSize);

    ViewportFixture fixture(kind);
    QVERIFY(fixture.waitForSurface());
    fixture.camera->moveBy(move.x(), move.y(), move.z());

    GLSurface *surface = fixture.widget->getSurface();
    if (glSize == QSize(400, 300)) {
        const QImage image = fixture.widget->grabFramebuffer();
        QCOMPARE(boundsOf(image, background), image.rect());
    } else {
        // No window can be this small; hand the size to the hooks as the surface would.
        surface->makeCurrent();
        fixture.widget->resizeGL(glSize.width(), glSize.height());
        fixture.widget->paintGL();
        surface->doneCurrent();
    }

    const GlState state = readGlState(surface);
    QCOMPARE(state.error, GLenum(GL_NO_ERROR));
    QVERIFY(state.projection.isIdentity());

    // Once the camera moves on, the picture comes back.
    if (glSize == QSize(400, 300)) {
        fixture.camera->moveBy(-move.x() / 2, -move.y() / 2, -move.z() / 2);
        const QImage image = fixture.widget->grabFramebuffer();
        QVERIFY(boundsOf(image, background) != image.rect());
    }
}

void tst_GLWidget::repaintIsStable()
{
    ViewportFixture fixture(VP_PERSPECTIVE);
    QVERIFY(fixture.waitForSurface());
    const QImage first = fixture.widget->grabFramebuffer();
    fixture.widget->updateGL();
    fixture.widget->updateGL();
    QCOMPARE(fixture.widget->grabFramebuffer(), first);
}

QTEST_MAIN(tst_GLWidget)
#include "tst_glwidget.moc"
