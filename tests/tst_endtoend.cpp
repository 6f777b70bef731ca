#include "glprobe.h"
#include "input/pointerclient.h"
#include "mainwindow.h"

#include <QtTest>
#include <QGridLayout>
#include <QScreen>

namespace {

// Real input through the display server, and what the screen shows, on X11 or on
// Wayland. The pointer comes from pointerdrive (XTest, or a Wayland virtual pointer
// that stays connected); keys from xdotool or wtype; pixels from the X server or grim.
class Desk
{
public:
    bool start()
    {
        m_wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
        return m_pointer.start();
    }

    bool isWayland() const { return m_wayland; }

    // One pointerdrive command; the time its last event was sent, or -1.
    qint64 pointer(const QString &command) { return m_pointer.command(command); }
    bool moveTo(QPoint global) { return m_pointer.moveTo(global); }

    // W released while Alt is held: `xdotool key alt+w` would let go of Alt first.
    bool chord()
    {
        if (m_wayland)
            // The leading sleep lets the viewer bind the virtual keyboard before the keys.
            return run("wtype", {"-s", "800", "-M", "alt", "-k", "w", "-m", "alt"});
        return run("xdotool", {"keydown", "alt", "keydown", "w", "keyup", "w", "keyup", "alt"});
    }

    // What the screen shows of a widget: the presented frame, not a fresh render.
    QImage pixels(QWidget *widget) { return pixels(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size())); }

    // What the screen shows of an area given in logical pixels; the image holds device pixels.
    QImage pixels(const QRect &area)
    {
        if (!m_wayland)
            return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        QProcess grim;
        grim.setProcessEnvironment(toolEnvironment());
        grim.start("grim", {"-t", "ppm", "-g",
                            QString("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height()),
                            "-"});
        if (!QTest::qWaitFor([&] { return grim.state() == QProcess::NotRunning; }, 10000))
            return QImage();
        return QImage::fromData(grim.readAllStandardOutput(), "PPM").convertToFormat(QImage::Format_RGB32);
    }

private:
    // The tools are not ours: keep the sanitizer runtime of a sanitized run out of them.
    static QProcessEnvironment toolEnvironment()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LD_PRELOAD");
        return environment;
    }

    static bool run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(toolEnvironment());
        process.start(program, arguments);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000))
            return false;
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    bool m_wayland = false;
    PointerClient m_pointer;
};

QRectF yellowBounds(const QImage &image)
{
    return QRectF(boundsOf(image, qRgb(255, 255, 0)));
}

} // namespace

// Drives the real display server, so the input travels the whole way: through the
// server, Qt's platform plugin and the OpenGL surface to the viewport.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void clickDragWheelAndMaximise();
    void fastDragComesBack_data();
    void fastDragComesBack();

private:
    GLWidget *viewport(Viewport kind) const;
    void verifyPresentedFace(GLWidget *top);
    void verifyFocusFrame(GLWidget *focused);
    void verifyCellCentres();

    Desk m_desk;
    std::unique_ptr<MainWindow> m_window;
};

void tst_EndToEnd::initTestCase()
{
    QVERIFY2(m_desk.start(), "pointerdrive did not start");
}

void tst_EndToEnd::init()
{
    m_window.reset(new MainWindow);
    m_window->move(0, 0);
    m_window->show();
    m_window->activateWindow();
    // A Wayland client cannot activate itself; the compositor gives the only window the focus.
    if (m_desk.isWayland())
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    else
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        QTRY_VERIFY(widget->getSurface()->isExposed());
}

void tst_EndToEnd::cleanup()
{
    m_window.reset();
}

GLWidget *tst_EndToEnd::viewport(Viewport kind) const
{
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        if (widget->getViewport() == kind)
            return widget;
    return nullptr;
}

void tst_EndToEnd::clickDragWheelAndMaximise()
{
    GLWidget *top = viewport(VP_TOP);
    QVERIFY(top);
    Camera *camera = top->getCamera();

    // The presented picture starts with the top face in the middle.
    QImage before;
    QTRY_VERIFY((before = m_desk.pixels(top), !yellowBounds(before).isEmpty()));
    QVERIFY(qAbs(yellowBounds(before).center().x() - top->width() / 2.0) < 2);

    const QPoint centre = top->mapToGlobal(QPoint(top->width() / 2, top->height() / 2));
    QVERIFY(m_desk.moveTo(centre));
    QVERIFY(m_desk.pointer("down") >= 0 && m_desk.pointer("up") >= 0);
    QTRY_VERIFY(top->hasFocus());
    verifyFocusFrame(top);

    QVERIFY(m_desk.pointer("down") >= 0);
    QVERIFY(m_desk.moveTo(centre + QPoint(30, 0)));
    QVERIFY(m_desk.pointer("up") >= 0);
    QTRY_COMPARE(camera->getPositionX(), -30.0f);
    QCOMPARE(camera->getPositionZ(), 0.0f);

    QVERIFY(m_desk.pointer("wheel 1") >= 0);  // one notch away from the user: zoom in
    QTRY_COMPARE(camera->getPositionY(), 90.0f);

    QVERIFY(m_desk.chord());
    auto *layout = qobject_cast<QGridLayout *>(m_window->centralWidget()->layout());
    QTRY_COMPARE(layout->count(), 1);
    QCOMPARE(layout->itemAt(0)->widget(), top);
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        QCOMPARE(widget->isVisible(), widget == top);
    QTRY_COMPARE(top->size(), m_window->centralWidget()->contentsRect()
                                  .marginsRemoved(layout->contentsMargins()).size());
    verifyPresentedFace(top);
    verifyFocusFrame(top);

    QVERIFY(m_desk.chord());
    QTRY_COMPARE(layout->count(), 4);
    QTRY_VERIFY(top->width() < m_window->width() / 2);
    verifyPresentedFace(top);
    verifyCellCentres();
    verifyFocusFrame(top);

    // A shrinking window gets no expose from X; the views must still be redrawn at
    // their new size. A Wayland compositor sizes the window itself.
    if (!m_desk.isWayland()) {
        const QSize shrunk = top->size() - QSize(60, 40);
        m_window->resize(m_window->size() - QSize(120, 80));
        QTRY_COMPARE(top->size(), shrunk);
        verifyPresentedFace(top);
    }
}

void tst_EndToEnd::fastDragComesBack_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("125 Hz for 2 s each way") << 125 << 2000;
    QTest::newRow("1000 Hz for 0.6 s each way") << 1000 << 600;
}

// Out and back at the pointer's full rate: no motion may be lost, so camera and
// picture come back exactly. How long that takes is the benchmark's business.
void tst_EndToEnd::fastDragComesBack()
{
    QFETCH(int, hz);
    QFETCH(int, milliseconds);
    GLWidget *front = viewport(VP_FRONT);
    Camera *camera = front->getCamera();
    const QVector3D start(camera->getPositionX(), camera->getPositionY(), camera->getPositionZ());

    const QPoint anchor = front->mapToGlobal(QPoint(front->width() / 2, front->height() / 2));
    // At least a pixel per event, so that no event of the drag is a move to where it already is.
    const QPoint away = anchor + QPoint(qMax(front->width() / 3, hz * milliseconds / 1000), -front->height() / 3);
    QVERIFY(m_desk.moveTo(anchor));
    QImage before;
    QTRY_VERIFY((before = m_desk.pixels(front), !before.isNull() && before == m_desk.pixels(front)));

    QVERIFY(m_desk.pointer("down") >= 0);
    QVERIFY(m_desk.pointer(QString("glide %1 %2 %3 %4").arg(away.x()).arg(away.y()).arg(hz).arg(milliseconds)) >= 0);
    QVERIFY(m_desk.pointer(QString("glide %1 %2 %3 %4").arg(anchor.x()).arg(anchor.y()).arg(hz).arg(milliseconds)) >= 0);
    QVERIFY(m_desk.pointer("up") >= 0);

    QTRY_COMPARE_WITH_TIMEOUT(camera->getPositionX(), start.x(), 60000);
    QTRY_COMPARE(camera->getPositionY(), start.y());
    QCOMPARE(camera->getPositionZ(), start.z());
    QTRY_VERIFY_WITH_TIMEOUT(m_desk.pixels(front) == before, 60000);
}

// With the camera 30 units right of the origin and 90 above it, the top face's left
// edge (x = -25) lies 5 units right of the middle, and the view box is 90 units along
// the longer side.
void tst_EndToEnd::verifyPresentedFace(GLWidget *top)
{
    const double pixelsPerUnit = qMax(top->width(), top->height()) / 90.0;
    const double expectedLeft = top->width() / 2.0 + 5 * pixelsPerUnit;
    QRectF face;
    QTRY_VERIFY2((face = yellowBounds(m_desk.pixels(top)),
                  qAbs(face.left() - expectedLeft) < 2 && qAbs(face.height() - 50 * pixelsPerUnit) < 3),
                 qPrintable(QString("face from x %1, height %2; expected %3, %4")
                                .arg(face.left()).arg(face.height()).arg(expectedLeft).arg(50 * pixelsPerUnit)));
    QVERIFY(qAbs(face.center().y() - top->height() / 2.0) < 2);
}

// The screen marks the focused view, and only that one, with a frame around it.
void tst_EndToEnd::verifyFocusFrame(GLWidget *focused)
{
    QWidget *central = m_window->centralWidget();
    const QRgb highlight = central->palette().color(QPalette::Active, QPalette::Highlight).rgb();
    const auto framed = [&](GLWidget *widget) {
        return frameAround(m_desk.pixels(QRect(central->mapToGlobal(QPoint(0, 0)), central->size())),
                           central->size(), widget->geometry(), highlight);
    };
    QTRY_COMPARE(framed(focused), 1);
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        if (widget != focused && widget->isVisible())
            QCOMPARE(framed(widget), 0);
}

// Each orthographic view shows its own face in its own cell: nothing of a maximised
// frame is left behind on screen. The grid, seen edge on, runs through the middle.
void tst_EndToEnd::verifyCellCentres()
{
    const struct { Viewport kind; QRgb face; } expected[] = {
        {VP_LEFT, qRgb(0, 255, 0)}, {VP_FRONT, qRgb(255, 0, 0)},
    };
    for (const auto &cell : expected) {
        GLWidget *widget = viewport(cell.kind);
        QImage image;
        const QPoint probe(widget->width() / 2, widget->height() * 5 / 8);
        QTRY_VERIFY2((image = m_desk.pixels(widget), !image.isNull() && sameColor(image.pixel(probe), cell.face)),
                     qPrintable(QString("view %1 shows %2 below its middle").arg(int(cell.kind))
                                    .arg(image.isNull() ? 0u : image.pixel(probe), 0, 16)));
    }
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
