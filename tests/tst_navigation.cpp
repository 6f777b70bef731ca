#include "glprobe.h"

#include <QtTest>

Q_DECLARE_METATYPE(Viewport)

class tst_Navigation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void drag_data();
    void drag();
    void otherButtons_data();
    void otherButtons();
    void doubleClickActsAsPress();
    void wheel_data();
    void wheel();
    void wheelSteps_data();
    void wheelSteps();
    void pinch_data();
    void pinch();
    void pinchIgnored_data();
    void pinchIgnored();
    void touchPan();
    void touchPinch_data();
    void touchPinch();

private:
    bool setUpViewport(Viewport kind);
    QPoint sendMouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons);
    bool sendGesture(Qt::NativeGestureType type, qreal value = 0);

    std::unique_ptr<Scene> m_scene;
    std::unique_ptr<Camera> m_camera;
    std::unique_ptr<ViewportHost> m_parent;
    GLWidget *m_widget = nullptr;
    std::unique_ptr<QSignalSpy> m_frames;
    const std::unique_ptr<QPointingDevice> m_touchpad{new QPointingDevice(
        "touchpad", 1001, QInputDevice::DeviceType::TouchPad, QPointingDevice::PointerType::Finger,
        QInputDevice::Capability::Position, 2, 0)};
    QPointingDevice *const m_touchScreen = QTest::createTouchDevice();
};

void tst_Navigation::init()
{
    m_scene.reset(new Scene);
}

void tst_Navigation::cleanup()
{
    m_frames.reset();
    m_parent.reset();
    m_camera.reset();
    m_scene.reset();
}

bool tst_Navigation::setUpViewport(Viewport kind)
{
    m_camera.reset(presetCamera(kind));
    m_parent.reset(new ViewportHost);
    m_widget = new GLWidget(kind, m_scene.get(), m_camera.get());
    if (!m_parent->host(m_widget))
        return false;
    m_frames.reset(new QSignalSpy(m_widget->getSurface(), &GLSurface::frameSwapped));
    return true;
}

// Sends one real mouse event and returns (number of frames presented while it was
// handled, 1 if it was passed on to the parent).
QPoint tst_Navigation::sendMouse(QEvent::Type type, QPoint pos, Qt::MouseButton button,
                                 Qt::MouseButtons buttons)
{
    const qsizetype framesBefore = m_frames->count();
    const qsizetype parentBefore = m_parent->received.count();
    QMouseEvent event(type, pos, m_widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(m_widget, &event);
    return QPoint(int(m_frames->count() - framesBefore), int(m_parent->received.count() - parentBefore));
}

// Sends one touchpad gesture event over the middle of the view, as Qt's platforms
// deliver them; returns whether the viewport accepted it.
bool tst_Navigation::sendGesture(Qt::NativeGestureType type, qreal value)
{
    const QPointF pos(m_widget->width() / 2.0, m_widget->height() / 2.0);
    QNativeGestureEvent event(type, m_touchpad.get(), 2, pos, pos, m_widget->mapToGlobal(pos), value, QPointF());
    QApplication::sendEvent(m_widget, &event);
    return event.isAccepted();
}

void tst_Navigation::drag_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<QList<QVector3D>>("cameraMoves");

    const float root2 = std::sqrt(2.0f);
    QTest::newRow("top") << VP_TOP << QPoint(50, 50) << QList<QPoint>{{40, 70}}
                         << QList<QVector3D>{{10, 0, -20}};
    QTest::newRow("left") << VP_LEFT << QPoint(0, 0) << QList<QPoint>{{5, 5}}
                          << QList<QVector3D>{{0, 5, -5}};
    QTest::newRow("front") << VP_FRONT << QPoint(100, 100) << QList<QPoint>{{110, 95}}
                           << QList<QVector3D>{{-10, -5, 0}};
    QTest::newRow("perspective, right then left") << VP_PERSPECTIVE << QPoint(10, 10)
                                                  << QList<QPoint>{{14, 19}, {5, 19}}
                                                  << QList<QVector3D>{{-2, 9, -2}, {3, 0, 3}};
    QTest::newRow("perspective, two pixels") << VP_PERSPECTIVE << QPoint(0, 0) << QList<QPoint>{{2, 0}}
                                             << QList<QVector3D>{{-root2, 0, -root2}};
    QTest::newRow("perspective, vertical only") << VP_PERSPECTIVE << QPoint(20, 20) << QList<QPoint>{{20, 10}}
                                                << QList<QVector3D>{{0, -10, 0}};
    QTest::newRow("top, back to the anchor") << VP_TOP << QPoint(30, 30)
                                             << QList<QPoint>{{35, 30}, {30, 30}, {30, 30}}
                                             << QList<QVector3D>{{-5, 0, 0}, {5, 0, 0}, {0, 0, 0}};
    QTest::newRow("front, leaving the widget") << VP_FRONT << QPoint(390, 290) << QList<QPoint>{{450, 350}}
                                               << QList<QVector3D>{{-60, 60, 0}};
}

void tst_Navigation::drag()
{
    QFETCH(Viewport, kind);
    QFETCH(QPoint, press);
    QFETCH(QList<QPoint>, moves);
    QFETCH(QList<QVector3D>, cameraMoves);

    QVERIFY(setUpViewport(kind));
    QVERIFY(!m_widget->hasFocus());
    QCOMPARE(m_widget->focusPolicy(), Qt::TabFocus);

    QVector3D expected(m_camera->getPositionX(), m_camera->getPositionY(), m_camera->getPositionZ());
    QCOMPARE(sendMouse(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton), QPoint(0, 0));
    QTRY_VERIFY(m_widget->hasFocus());

    for (int i = 0; i < moves.size(); ++i) {
        // Exactly one frame presented before the handler returned, nothing passed on.
        QCOMPARE(sendMouse(QEvent::MouseMove, moves[i], Qt::NoButton, Qt::LeftButton), QPoint(1, 0));
        expected += cameraMoves[i];
        QCOMPARE(m_camera->getPositionX(), expected.x());
        QCOMPARE(m_camera->getPositionY(), expected.y());
        QCOMPARE(m_camera->getPositionZ(), expected.z());
    }

    // Releasing the left button moves nothing, paints nothing and is passed on.
    QCOMPARE(sendMouse(QEvent::MouseButtonRelease, moves.last(), Qt::LeftButton, Qt::NoButton), QPoint(0, 1));
    QCOMPARE(m_camera->getPositionX(), expected.x());
}

void tst_Navigation::otherButtons_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void tst_Navigation::otherButtons()
{
    QFETCH(Qt::MouseButton, button);

    QVERIFY(setUpViewport(VP_TOP));
    const float x = m_camera->getPositionX(), z = m_camera->getPositionZ();

    // A drag with only this button: every event goes on to the parent, nothing moves.
    QCOMPARE(sendMouse(QEvent::MouseButtonPress, QPoint(10, 10), button, button), QPoint(0, 1));
    QCOMPARE(sendMouse(QEvent::MouseMove, QPoint(60, 80), Qt::NoButton, button), QPoint(0, 1));
    QCOMPARE(sendMouse(QEvent::MouseButtonRelease, QPoint(60, 80), button, Qt::NoButton), QPoint(0, 1));
    QCOMPARE(m_camera->getPositionX(), x);
    QCOMPARE(m_camera->getPositionZ(), z);
    QVERIFY(!m_widget->hasFocus());

    // With the left button held as well it pans, and the press sets a new anchor.
    QCOMPARE(sendMouse(QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton), QPoint(0, 0));
    QCOMPARE(sendMouse(QEvent::MouseButtonPress, QPoint(20, 10), button, Qt::LeftButton | button), QPoint(0, 0));
    QCOMPARE(sendMouse(QEvent::MouseMove, QPoint(25, 10), Qt::NoButton, Qt::LeftButton | button), QPoint(1, 0));
    QCOMPARE(m_camera->getPositionX(), x - 5);
    // Releasing the other button while the left one stays held is not passed on.
    QCOMPARE(sendMouse(QEvent::MouseButtonRelease, QPoint(25, 10), button, Qt::LeftButton), QPoint(0, 0));
}

void tst_Navigation::doubleClickActsAsPress()
{
    QVERIFY(setUpViewport(VP_FRONT));
    const float x = m_camera->getPositionX();
    sendMouse(QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(sendMouse(QEvent::MouseButtonDblClick, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton), QPoint(0, 0));
    sendMouse(QEvent::MouseMove, QPoint(103, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(m_camera->getPositionX(), x - 3);
}

void tst_Navigation::wheel_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QPoint>("angleDelta");
    QTest::addColumn<QVector3D>("cameraMove");

    QTest::newRow("top, one notch in") << VP_TOP << QPoint(0, 120) << QVector3D(0, -10, 0);
    QTest::newRow("left, one notch out") << VP_LEFT << QPoint(0, -120) << QVector3D(-10, 0, 0);
    QTest::newRow("front, one notch in") << VP_FRONT << QPoint(0, 120) << QVector3D(0, 0, -10);
    QTest::newRow("perspective, one notch in") << VP_PERSPECTIVE << QPoint(0, 120) << QVector3D(10, -10, -10);
    QTest::newRow("11 is no shift") << VP_TOP << QPoint(0, 11) << QVector3D();
    QTest::newRow("-11 is no shift") << VP_TOP << QPoint(0, -11) << QVector3D();
    QTest::newRow("13 truncates to 1") << VP_TOP << QPoint(0, 13) << QVector3D(0, -1, 0);
    QTest::newRow("-13 truncates to -1") << VP_TOP << QPoint(0, -13) << QVector3D(0, 1, 0);
    QTest::newRow("250 gives 20") << VP_FRONT << QPoint(0, 250) << QVector3D(0, 0, -20);
    QTest::newRow("horizontal wheel zooms too") << VP_TOP << QPoint(240, 0) << QVector3D(0, -20, 0);
    QTest::newRow("vertical dominates") << VP_TOP << QPoint(30, -120) << QVector3D(0, 10, 0);
    QTest::newRow("horizontal dominates") << VP_LEFT << QPoint(-130, 120) << QVector3D(-10, 0, 0);
    QTest::newRow("a tie goes to vertical") << VP_TOP << QPoint(120, -120) << QVector3D(0, 10, 0);
    QTest::newRow("through the origin") << VP_TOP << QPoint(0, 2400) << QVector3D(0, -200, 0);
}

void tst_Navigation::wheel()
{
    QFETCH(Viewport, kind);
    QFETCH(QPoint, angleDelta);
    QFETCH(QVector3D, cameraMove);

    QVERIFY(setUpViewport(kind));
    const QVector3D expected = QVector3D(m_camera->getPositionX(), m_camera->getPositionY(),
                                         m_camera->getPositionZ()) + cameraMove;
    const QPoint pos(200, 150);
    QWheelEvent event(pos, m_widget->mapToGlobal(pos), QPoint(), angleDelta, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_widget, &event);

    // Always one synchronous repaint, even without a move; never passed on.
    QCOMPARE(m_frames->count(), 1);
    QVERIFY(m_parent->received.isEmpty());
    QCOMPARE(m_camera->getPositionX(), expected.x());
    QCOMPARE(m_camera->getPositionY(), expected.y());
    QCOMPARE(m_camera->getPositionZ(), expected.z());
}

void tst_Navigation::wheelSteps_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QList<QPoint>>("angleDeltas");
    QTest::addColumn<int>("shift");

    const auto times = [](int count, QPoint delta) { return QList<QPoint>(count, delta); };
    // A touchpad gives 12 units per pixel of finger travel; fine-step wheels 15 or 30.
    QTest::newRow("touchpad, 20 steps of 0.5 px") << VP_TOP << times(20, {0, 6}) << 10;
    QTest::newRow("touchpad, 40 steps of 1.5 px") << VP_FRONT << times(40, {0, 18}) << 60;
    QTest::newRow("touchpad, 120 steps of 0.5 px back") << VP_FRONT << times(120, {0, -6}) << -60;
    QTest::newRow("fine wheel, 8 steps of 15") << VP_LEFT << times(8, {0, 15}) << 10;
    QTest::newRow("fine wheel, 4 steps of 30") << VP_PERSPECTIVE << times(4, {0, 30}) << 10;
    QTest::newRow("fine wheel with Alt, 4 steps of 30") << VP_TOP << times(4, {30, 0}) << 10;
    QTest::newRow("-11 then 11") << VP_TOP << QList<QPoint>{{0, -11}, {0, 11}} << 0;
    QTest::newRow("a notch") << VP_TOP << QList<QPoint>{{0, 120}} << 10;
    // Turning back below a whole twelve takes back the step the first event made.
    QTest::newRow("13 then -2") << VP_TOP << QList<QPoint>{{0, 13}, {0, -2}} << 0;
    QTest::newRow("11 then -23") << VP_TOP << QList<QPoint>{{0, 11}, {0, -23}} << -1;
    QTest::newRow("Xwayland's rounding, 17 and 18 by turns")
        << VP_TOP << QList<QPoint>{{0, 17}, {0, 18}, {0, 17}, {0, 18}, {0, 18}} << 7;
    QTest::newRow("start and end of a gesture carry no delta")
        << VP_TOP << QList<QPoint>{{0, 0}, {0, 6}, {0, 0}} << 0;
}

// Many events of less than a notch move the camera as one event of their sum would.
void tst_Navigation::wheelSteps()
{
    QFETCH(Viewport, kind);
    QFETCH(QList<QPoint>, angleDeltas);
    QFETCH(int, shift);

    QVERIFY(setUpViewport(kind));
    const QVector3D expected = positionOf(m_camera.get()) + zoomAxis(kind) * float(shift);
    const QPoint pos(200, 150);
    for (qsizetype i = 0; i < angleDeltas.size(); ++i) {
        // A touchpad's gesture begins and ends with events that carry no delta.
        const QPoint angleDelta = angleDeltas[i];
        const Qt::ScrollPhase phase = !angleDelta.isNull() ? Qt::ScrollUpdate
                                    : i == 0              ? Qt::ScrollBegin
                                                          : Qt::ScrollEnd;
        QWheelEvent event(pos, m_widget->mapToGlobal(pos), angleDelta / 12, angleDelta, Qt::NoButton,
                          Qt::NoModifier, phase, false);
        QApplication::sendEvent(m_widget, &event);
    }

    QCOMPARE(m_frames->count(), angleDeltas.size());
    QCOMPARE(m_camera->getPositionX(), expected.x());
    QCOMPARE(m_camera->getPositionY(), expected.y());
    QCOMPARE(m_camera->getPositionZ(), expected.z());
}

void tst_Navigation::pinch_data()
{
    QTest::addColumn<Viewport>("kind");
    // The scale the fingers reach with each event of one pinch, from 1.
    QTest::addColumn<QList<qreal>>("scales");

    QList<qreal> tenSteps;
    for (int i = 1; i <= 10; ++i)
        tenSteps << 1 + i / 10.0;
    QTest::newRow("top, out to 2 in one event") << VP_TOP << QList<qreal>{2};
    QTest::newRow("top, out to 2 in ten events") << VP_TOP << tenSteps;
    QTest::newRow("left, in to 0.5") << VP_LEFT << QList<qreal>{0.8, 0.6, 0.5};
    QTest::newRow("front, out to 1.25") << VP_FRONT << QList<qreal>{1.05, 1.25};
    QTest::newRow("perspective, out to 2") << VP_PERSPECTIVE << QList<qreal>{1.5, 2};
    QTest::newRow("perspective, in to 0.4") << VP_PERSPECTIVE << QList<qreal>{0.7, 0.4};
    QTest::newRow("top, out and back") << VP_TOP << QList<qreal>{1.3, 1.9, 2.7, 1.6, 1};
    QTest::newRow("front, in and back") << VP_FRONT << QList<qreal>{0.9, 0.45, 0.33, 0.8, 1};
    QTest::newRow("perspective, out and back") << VP_PERSPECTIVE << QList<qreal>{1.1, 3, 1.7, 1};
}

// The scene grows by the fingers' scale, about the view's centre, however many events
// carry it; a pinch back to where it began leaves the camera where it was.
void tst_Navigation::pinch()
{
    QFETCH(Viewport, kind);
    QFETCH(QList<qreal>, scales);

    QVERIFY(setUpViewport(kind));
    const QVector3D start = positionOf(m_camera.get());
    const QRect faceBefore = boundsOf(m_widget->grabFramebuffer(), qRgb(255, 255, 0));
    m_frames->clear();

    QVERIFY(sendGesture(Qt::BeginNativeGesture));
    qreal previous = 1;
    for (qreal scale : scales) {
        // Each event carries the change of scale since the one before, as Qt's xcb and
        // Wayland platforms compute it from the display server's scale.
        QVERIFY(sendGesture(Qt::ZoomNativeGesture, scale - previous));
        previous = scale;
        COMPARE_CAMERA(positionOf(m_camera.get()), zoomed(kind, start, scale));
    }
    QVERIFY(sendGesture(Qt::EndNativeGesture));
    // Each zoom step presented one frame before it returned.
    QCOMPARE(m_frames->count(), scales.size());
    QVERIFY(m_parent->received.isEmpty());

    // The top face, seen straight on, is as many times as wide as the fingers spread.
    if (kind == VP_TOP) {
        const QRect faceAfter = boundsOf(m_widget->grabFramebuffer(), qRgb(255, 255, 0));
        QVERIFY2(qAbs(faceAfter.width() - faceBefore.width() * scales.last()) <= 2,
                 qPrintable(QString("the face is %1 pixels wide, was %2").arg(faceAfter.width()).arg(faceBefore.width())));
        QVERIFY(qAbs(faceAfter.center().x() - faceBefore.center().x()) <= 1);
    }
}

void tst_Navigation::pinchIgnored_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QList<qreal>>("values");
    QTest::addColumn<bool>("acceptedLast");

    const int begin = Qt::BeginNativeGesture, zoom = Qt::ZoomNativeGesture, end = Qt::EndNativeGesture;
    const qreal inf = std::numeric_limits<qreal>::infinity(), nan = std::numeric_limits<qreal>::quiet_NaN();
    QTest::newRow("zoom without a begin") << QList<int>{zoom} << QList<qreal>{1} << true;
    QTest::newRow("zoom after the end") << QList<int>{begin, end, zoom} << QList<qreal>{0, 0, 1} << true;
    QTest::newRow("to a scale of 0") << QList<int>{begin, zoom} << QList<qreal>{0, -1} << true;
    QTest::newRow("to a negative scale") << QList<int>{begin, zoom} << QList<qreal>{0, -1.5} << true;
    QTest::newRow("infinite") << QList<int>{begin, zoom} << QList<qreal>{0, inf} << true;
    QTest::newRow("minus infinite") << QList<int>{begin, zoom} << QList<qreal>{0, -inf} << true;
    QTest::newRow("not a number") << QList<int>{begin, zoom} << QList<qreal>{0, nan} << true;
    QTest::newRow("rotation") << QList<int>{begin, Qt::RotateNativeGesture} << QList<qreal>{0, 30} << false;
    QTest::newRow("swipe") << QList<int>{Qt::SwipeNativeGesture} << QList<qreal>{0} << false;
    QTest::newRow("two-finger pan") << QList<int>{Qt::PanNativeGesture} << QList<qreal>{0} << false;
}

// Gestures that are no pinch, or whose scale has no picture to go to, leave the camera
// where it was and paint nothing.
void tst_Navigation::pinchIgnored()
{
    QFETCH(QList<int>, types);
    QFETCH(QList<qreal>, values);
    QFETCH(bool, acceptedLast);

    QVERIFY(setUpViewport(VP_TOP));
    const QVector3D start = positionOf(m_camera.get());
    bool accepted = false;
    for (qsizetype i = 0; i < types.size(); ++i)
        accepted = sendGesture(Qt::NativeGestureType(types[i]), values[i]);
    QCOMPARE(accepted, acceptedLast);
    QCOMPARE(positionOf(m_camera.get()), start);
    QCOMPARE(m_frames->count(), 0);

    // The view still zooms with the next proper pinch.
    QVERIFY(sendGesture(Qt::BeginNativeGesture));
    QVERIFY(sendGesture(Qt::ZoomNativeGesture, 1));
    QVERIFY(sendGesture(Qt::EndNativeGesture));
    COMPARE_CAMERA(positionOf(m_camera.get()), zoomed(VP_TOP, start, 2));
}

// One finger on a touchscreen pans as the left button does and gives the view the
// focus; a second finger that lands mid-drag turns it into a pinch without a jump, and
// the finger left after a pinch pans on from where it is.
void tst_Navigation::touchPan()
{
    QVERIFY(setUpViewport(VP_TOP));
    const QVector3D start = positionOf(m_camera.get());
    QVERIFY(!m_widget->hasFocus());

    QTest::touchEvent(m_widget, m_touchScreen).press(0, QPoint(100, 100));
    QTRY_VERIFY(m_widget->hasFocus());
    QCOMPARE(positionOf(m_camera.get()), start);
    QTest::touchEvent(m_widget, m_touchScreen).move(0, QPoint(110, 95));
    QCOMPARE(positionOf(m_camera.get()), start + QVector3D(-10, 0, 5));
    QCOMPARE(m_frames->count(), 1);

    // The second finger lands 50 pixels away: nothing moves yet. (Qt Test's stationary()
    // would send the first finger at (0, 0); a move to where it is says the same.)
    QTest::touchEvent(m_widget, m_touchScreen).move(0, QPoint(110, 95)).press(1, QPoint(160, 95));
    QCOMPARE(positionOf(m_camera.get()), start + QVector3D(-10, 0, 5));
    // Both move: the pinch, not the first finger's travel, decides; 50 to 100 apart.
    QTest::touchEvent(m_widget, m_touchScreen).move(0, QPoint(90, 95)).move(1, QPoint(190, 95));
    const QVector3D pinched = zoomed(VP_TOP, start + QVector3D(-10, 0, 5), 2);
    COMPARE_CAMERA(positionOf(m_camera.get()), pinched);

    // The first finger lifts; the second pans on from where it is.
    QTest::touchEvent(m_widget, m_touchScreen).release(0, QPoint(90, 95)).move(1, QPoint(190, 95));
    COMPARE_CAMERA(positionOf(m_camera.get()), pinched);
    QTest::touchEvent(m_widget, m_touchScreen).move(1, QPoint(197, 97));
    COMPARE_CAMERA(positionOf(m_camera.get()), pinched + QVector3D(-7, 0, -2));
    QTest::touchEvent(m_widget, m_touchScreen).release(1, QPoint(197, 97));
    COMPARE_CAMERA(positionOf(m_camera.get()), pinched + QVector3D(-7, 0, -2));
    // No mouse event was made of the fingers.
    QVERIFY(m_parent->received.isEmpty());
}

void tst_Navigation::touchPinch_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QLineF>("from");
    QTest::addColumn<QLineF>("to");
    QTest::addColumn<int>("steps");

    QTest::newRow("top, spread to twice, in one step") << VP_TOP << QLineF(150, 150, 250, 150)
                                                       << QLineF(100, 150, 300, 150) << 1;
    QTest::newRow("left, spread to twice, in 20 steps") << VP_LEFT << QLineF(150, 150, 250, 150)
                                                        << QLineF(100, 150, 300, 150) << 20;
    QTest::newRow("front, closing to a third, diagonally") << VP_FRONT << QLineF(50, 30, 350, 270)
                                                           << QLineF(150, 110, 250, 190) << 7;
    QTest::newRow("perspective, spread and turned") << VP_PERSPECTIVE << QLineF(200, 100, 200, 200)
                                                    << QLineF(120, 150, 270, 150) << 5;
    QTest::newRow("top, both fingers on one spot first") << VP_TOP << QLineF(200, 150, 200, 150)
                                                         << QLineF(150, 150, 250, 150) << 4;
}

// Two fingers zoom the view by the ratio of their distances, about its centre, wherever
// in the view they are.
void tst_Navigation::touchPinch()
{
    QFETCH(Viewport, kind);
    QFETCH(QLineF, from);
    QFETCH(QLineF, to);
    QFETCH(int, steps);

    QVERIFY(setUpViewport(kind));
    const QVector3D start = positionOf(m_camera.get());
    QTest::touchEvent(m_widget, m_touchScreen).press(0, from.p1().toPoint()).press(1, from.p2().toPoint());
    // Fingers that land on one spot have no distance to start from: the first step
    // that parts them sets it.
    qreal base = from.length();
    for (int step = 1; step <= steps; ++step) {
        const QPointF a = from.p1() + (to.p1() - from.p1()) * step / steps;
        const QPointF b = from.p2() + (to.p2() - from.p2()) * step / steps;
        QTest::touchEvent(m_widget, m_touchScreen).move(0, a.toPoint()).move(1, b.toPoint());
        if (base == 0)
            base = QLineF(a.toPoint(), b.toPoint()).length();
    }
    QTest::touchEvent(m_widget, m_touchScreen).release(0, to.p1().toPoint()).release(1, to.p2().toPoint());
    COMPARE_CAMERA(positionOf(m_camera.get()), zoomed(kind, start, to.length() / base));
    QVERIFY(m_parent->received.isEmpty());
}

QTEST_MAIN(tst_Navigation)
#include "tst_navigation.moc"
