#include "glprobe.h"

#include <QtTest>
#include <QVBoxLayout>

Q_DECLARE_METATYPE(Viewport)

namespace {

// The viewport's parent: records which input events were passed on to it.
class Recorder : public QWidget
{
public:
    QList<QEvent::Type> received;

protected:
    bool event(QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyRelease:
            received.append(event->type());
            break;
        default:
            break;
        }
        return QWidget::event(event);
    }
};

} // namespace

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
    void keyRelease_data();
    void keyRelease();
    void keyPressDoesNothing();

private:
    bool setUpViewport(Viewport kind);
    QPoint sendMouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons);

    std::unique_ptr<Scene> m_scene;
    std::unique_ptr<Camera> m_camera;
    std::unique_ptr<Recorder> m_parent;
    GLWidget *m_widget = nullptr;
    std::unique_ptr<QSignalSpy> m_frames;
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
    m_parent.reset(new Recorder);
    m_widget = new GLWidget(kind, m_scene.get(), m_camera.get());
    auto *layout = new QVBoxLayout(m_parent.get());
    layout->addWidget(m_widget);
    m_parent->resize(400, 300);
    m_parent->show();
    // Focus only shows in the active window.
    m_parent->activateWindow();
    if (!QTest::qWaitForWindowActive(m_parent.get())
        || !QTest::qWaitFor([this] { return m_widget->getSurface()->isExposed(); }))
        return false;
    QCoreApplication::processEvents();
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
    QCOMPARE(m_widget->focusPolicy(), Qt::NoFocus);

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
    const QVector3D perShift = kind == VP_TOP     ? QVector3D(0, -1, 0)
                             : kind == VP_LEFT    ? QVector3D(1, 0, 0)
                             : kind == VP_FRONT   ? QVector3D(0, 0, -1)
                                                  : QVector3D(1, -1, -1);
    const QVector3D expected = QVector3D(m_camera->getPositionX(), m_camera->getPositionY(),
                                         m_camera->getPositionZ()) + perShift * float(shift);
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

void tst_Navigation::keyRelease_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<bool>("emits");

    QTest::newRow("Alt+W") << int(Qt::Key_W) << Qt::KeyboardModifiers(Qt::AltModifier) << false << true;
    QTest::newRow("Alt+Shift+W") << int(Qt::Key_W) << (Qt::AltModifier | Qt::ShiftModifier) << false << true;
    QTest::newRow("W alone") << int(Qt::Key_W) << Qt::KeyboardModifiers() << false << false;
    QTest::newRow("Ctrl+W") << int(Qt::Key_W) << Qt::KeyboardModifiers(Qt::ControlModifier) << false << false;
    QTest::newRow("Alt+Q") << int(Qt::Key_Q) << Qt::KeyboardModifiers(Qt::AltModifier) << false << false;
    QTest::newRow("Alt released") << int(Qt::Key_Alt) << Qt::KeyboardModifiers() << false << false;
    QTest::newRow("auto-repeated Alt+W") << int(Qt::Key_W) << Qt::KeyboardModifiers(Qt::AltModifier) << true << false;
}

void tst_Navigation::keyRelease()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, autoRepeat);
    QFETCH(bool, emits);

    QVERIFY(setUpViewport(VP_TOP));
    QSignalSpy switches(m_widget, &GLWidget::switchView);
    QKeyEvent event(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(m_widget, &event);

    QCOMPARE(switches.count(), emits ? 1 : 0);
    // Every key release stays with the viewport.
    QVERIFY(m_parent->received.isEmpty());
    QCOMPARE(m_frames->count(), 0);
}

void tst_Navigation::keyPressDoesNothing()
{
    QVERIFY(setUpViewport(VP_TOP));
    QSignalSpy switches(m_widget, &GLWidget::switchView);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_W, Qt::AltModifier);
    QApplication::sendEvent(m_widget, &press);
    QCOMPARE(switches.count(), 0);
}

QTEST_MAIN(tst_Navigation)
#include "tst_navigation.moc"
