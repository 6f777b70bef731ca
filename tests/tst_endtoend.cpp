#include "glprobe.h"
#include "mainwindow.h"

#include <QtTest>
#include <QGridLayout>
#include <QScreen>

// Drives the real X server with xdotool, so the input travels the whole way: through
// the server, Qt's xcb plugin and the transparent OpenGL surface to the viewport.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clickDragWheelAndMaximise();

private:
    static bool xdotool(const QStringList &arguments);
    static QImage screenPixels(QWidget *widget);
    void verifyPresentedFace(GLWidget *top);
};

bool tst_EndToEnd::xdotool(const QStringList &arguments)
{
    QProcess process;
    // xdotool is not ours: keep the sanitizer runtime of a sanitized run out of it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LD_PRELOAD");
    process.setProcessEnvironment(environment);
    process.start("xdotool", arguments);
    // Keep the event loop running while xdotool talks to the server.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// What the X server shows of a widget: the presented frame, not a fresh render.
QImage tst_EndToEnd::screenPixels(QWidget *widget)
{
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    return widget->screen()->grabWindow(0, origin.x(), origin.y(), widget->width(), widget->height()).toImage();
}

static QRectF yellowBounds(const QImage &image)
{
    return QRectF(boundsOf(image, qRgb(255, 255, 0)));
}

void tst_EndToEnd::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is not installed");
}

void tst_EndToEnd::clickDragWheelAndMaximise()
{
    MainWindow window;
    window.move(0, 0);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    GLWidget *top = nullptr;
    for (GLWidget *widget : window.findChildren<GLWidget *>())
        if (widget->getViewport() == VP_TOP)
            top = widget;
    QVERIFY(top);
    Camera *camera = top->getCamera();
    QTRY_VERIFY(top->getSurface()->isExposed());

    // The presented picture starts with the top face in the middle.
    QImage before;
    QTRY_VERIFY((before = screenPixels(top), !yellowBounds(before).isEmpty()));
    QVERIFY(qAbs(yellowBounds(before).center().x() - top->width() / 2.0) < 2);

    const QPoint centre = top->mapToGlobal(QPoint(top->width() / 2, top->height() / 2));
    const QString x = QString::number(centre.x()), y = QString::number(centre.y());

    QVERIFY(xdotool({"mousemove", "--sync", x, y, "click", "1"}));
    QTRY_VERIFY(top->hasFocus());

    QVERIFY(xdotool({"mousedown", "1", "mousemove", "--sync", QString::number(centre.x() + 30), y, "mouseup", "1"}));
    QTRY_COMPARE(camera->getPositionX(), -30.0f);
    QCOMPARE(camera->getPositionZ(), 0.0f);

    QVERIFY(xdotool({"click", "4"}));  // one notch away from the user: zoom in
    QTRY_COMPARE(camera->getPositionY(), 90.0f);

    // `xdotool key alt+w` would let go of Alt before W; the chord is W released under Alt.
    QVERIFY(xdotool({"keydown", "alt", "keydown", "w", "keyup", "w", "keyup", "alt"}));
    auto *layout = qobject_cast<QGridLayout *>(window.centralWidget()->layout());
    QTRY_COMPARE(layout->count(), 1);
    QCOMPARE(layout->itemAt(0)->widget(), top);
    for (GLWidget *widget : window.findChildren<GLWidget *>())
        QCOMPARE(widget->isVisible(), widget == top);
    QTRY_COMPARE(top->size(), window.centralWidget()->contentsRect()
                                  .marginsRemoved(layout->contentsMargins()).size());

    verifyPresentedFace(top);

    QVERIFY(xdotool({"keydown", "alt", "keydown", "w", "keyup", "w", "keyup", "alt"}));
    QTRY_COMPARE(layout->count(), 4);
    QTRY_VERIFY(top->width() < 500);
    verifyPresentedFace(top);

    // A shrinking window gets no expose from X; the views must still be redrawn at
    // their new size.
    const QSize shrunk = top->size() - QSize(60, 40);
    window.resize(window.size() - QSize(120, 80));
    QTRY_COMPARE(top->size(), shrunk);
    verifyPresentedFace(top);
}

// With the camera 30 units right of the origin and 90 above it, the top face's left
// edge (x = -25) lies 5 units right of the middle, and the view box is 90 units along
// the longer side.
void tst_EndToEnd::verifyPresentedFace(GLWidget *top)
{
    const double pixelsPerUnit = qMax(top->width(), top->height()) / 90.0;
    const double expectedLeft = top->width() / 2.0 + 5 * pixelsPerUnit;
    QRectF face;
    QTRY_VERIFY2((face = yellowBounds(screenPixels(top)),
                  qAbs(face.left() - expectedLeft) < 2 && qAbs(face.height() - 50 * pixelsPerUnit) < 3),
                 qPrintable(QString("face from x %1, height %2; expected %3, %4")
                                .arg(face.left()).arg(face.height()).arg(expectedLeft).arg(50 * pixelsPerUnit)));
    QVERIFY(qAbs(face.center().y() - top->height() / 2.0) < 2);
}


QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
