#include "glprobe.h"

#include <QtTest>

Q_DECLARE_METATYPE(Viewport)

// Every key a viewport acts on, as Qt delivers it to the focused viewport; the Tab
// order among the views is tst_mainwindow's, the keys through each display server
// tst_endtoend's.
class tst_Keyboard : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void keyPress_data();
    void keyPress();
    void keysMatchPointer_data();
    void keysMatchPointer();
    void homeAfterEverything();
    void keyRelease_data();
    void keyRelease();

private:
    bool setUpViewport(Viewport kind);
    bool press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false);
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons);
    void wheel(int delta);

    std::unique_ptr<Scene> m_scene;
    std::unique_ptr<Camera> m_camera;
    std::unique_ptr<ViewportHost> m_host;
    GLWidget *m_widget = nullptr;
    std::unique_ptr<QSignalSpy> m_frames;
};

void tst_Keyboard::cleanup()
{
    m_frames.reset();
    m_host.reset();
    m_camera.reset();
    m_scene.reset();
}

bool tst_Keyboard::setUpViewport(Viewport kind)
{
    cleanup();
    m_scene.reset(new Scene);
    m_camera.reset(presetCamera(kind));
    m_host.reset(new ViewportHost);
    m_widget = new GLWidget(kind, m_scene.get(), m_camera.get());
    if (!m_host->host(m_widget))
        return false;
    m_widget->setFocus(Qt::TabFocusReason);
    m_frames.reset(new QSignalSpy(m_widget->getSurface(), &GLSurface::frameSwapped));
    return m_widget->hasFocus();
}

// Sends one key press to the viewport, as Qt sends it to the focus widget; returns
// whether the viewport kept it (true) or passed it on to its window.
bool tst_Keyboard::press(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat)
{
    const qsizetype passedOn = m_host->received.count();
    QKeyEvent event(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(m_widget, &event);
    return m_host->received.count() == passedOn;
}

void tst_Keyboard::mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, m_widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(m_widget, &event);
}

void tst_Keyboard::wheel(int delta)
{
    const QPointF pos(200, 150);
    QWheelEvent event(pos, m_widget->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_widget, &event);
}

void tst_Keyboard::keyPress_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("autoRepeat");
    // Where the camera goes from preset + `away` (below), or null for a key that does
    // nothing.
    QTest::addColumn<QVector3D>("cameraMove");

    const Qt::KeyboardModifiers none, shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier), alt(Qt::AltModifier),
        keypad(Qt::KeypadModifier), meta(Qt::MetaModifier);
    const float r10 = std::sqrt(10.0f);
    const QVector3D nothing;

    // An arrow moves the camera as a 10-pixel drag the other way.
    QTest::newRow("top, Right") << VP_TOP << int(Qt::Key_Right) << none << false << QVector3D(10, 0, 0);
    QTest::newRow("top, Left") << VP_TOP << int(Qt::Key_Left) << none << false << QVector3D(-10, 0, 0);
    QTest::newRow("top, Up") << VP_TOP << int(Qt::Key_Up) << none << false << QVector3D(0, 0, -10);
    QTest::newRow("top, Down") << VP_TOP << int(Qt::Key_Down) << none << false << QVector3D(0, 0, 10);
    QTest::newRow("left, Right") << VP_LEFT << int(Qt::Key_Right) << none << false << QVector3D(0, 0, 10);
    QTest::newRow("left, Up") << VP_LEFT << int(Qt::Key_Up) << none << false << QVector3D(0, 10, 0);
    QTest::newRow("front, Left") << VP_FRONT << int(Qt::Key_Left) << none << false << QVector3D(-10, 0, 0);
    QTest::newRow("front, Down") << VP_FRONT << int(Qt::Key_Down) << none << false << QVector3D(0, -10, 0);
    QTest::newRow("perspective, Right") << VP_PERSPECTIVE << int(Qt::Key_Right) << none << false
                                        << QVector3D(r10, 0, r10);
    QTest::newRow("perspective, Left") << VP_PERSPECTIVE << int(Qt::Key_Left) << none << false
                                       << QVector3D(-r10, 0, -r10);
    QTest::newRow("perspective, Up") << VP_PERSPECTIVE << int(Qt::Key_Up) << none << false << QVector3D(0, 10, 0);
    QTest::newRow("keypad Right") << VP_TOP << int(Qt::Key_Right) << keypad << false << QVector3D(10, 0, 0);
    QTest::newRow("auto-repeated Down") << VP_TOP << int(Qt::Key_Down) << none << true << QVector3D(0, 0, 10);
    QTest::newRow("Shift+Right") << VP_TOP << int(Qt::Key_Right) << shift << false << nothing;
    QTest::newRow("Ctrl+Left") << VP_TOP << int(Qt::Key_Left) << ctrl << false << nothing;
    QTest::newRow("Alt+Up") << VP_TOP << int(Qt::Key_Up) << alt << false << nothing;

    // + and - zoom as a notch of the wheel away and towards.
    QTest::newRow("top, + (Shift on US)") << VP_TOP << int(Qt::Key_Plus) << shift << false << QVector3D(0, -10, 0);
    QTest::newRow("top, + (German, no Shift)") << VP_TOP << int(Qt::Key_Plus) << none << false << QVector3D(0, -10, 0);
    QTest::newRow("top, = on +'s key") << VP_TOP << int(Qt::Key_Equal) << none << false << QVector3D(0, -10, 0);
    QTest::newRow("left, keypad +") << VP_LEFT << int(Qt::Key_Plus) << keypad << false << QVector3D(10, 0, 0);
    QTest::newRow("front, Ctrl+=") << VP_FRONT << int(Qt::Key_Equal) << ctrl << false << QVector3D(0, 0, -10);
    QTest::newRow("front, Ctrl+Shift++") << VP_FRONT << int(Qt::Key_Plus) << (ctrl | shift) << false
                                         << QVector3D(0, 0, -10);
    QTest::newRow("perspective, +") << VP_PERSPECTIVE << int(Qt::Key_Plus) << none << false << QVector3D(10, -10, -10);
    QTest::newRow("auto-repeated +") << VP_TOP << int(Qt::Key_Plus) << none << true << QVector3D(0, -10, 0);
    QTest::newRow("top, -") << VP_TOP << int(Qt::Key_Minus) << none << false << QVector3D(0, 10, 0);
    QTest::newRow("left, Ctrl+-") << VP_LEFT << int(Qt::Key_Minus) << ctrl << false << QVector3D(-10, 0, 0);
    QTest::newRow("perspective, keypad -") << VP_PERSPECTIVE << int(Qt::Key_Minus) << keypad << false
                                           << QVector3D(-10, 10, 10);
    QTest::newRow("auto-repeated -") << VP_FRONT << int(Qt::Key_Minus) << none << true << QVector3D(0, 0, 10);
    QTest::newRow("Alt++") << VP_TOP << int(Qt::Key_Plus) << alt << false << nothing;
    QTest::newRow("Alt+-") << VP_TOP << int(Qt::Key_Minus) << alt << false << nothing;
    QTest::newRow("Meta+=") << VP_TOP << int(Qt::Key_Equal) << meta << false << nothing;
    QTest::newRow("_ (Shift+- on US)") << VP_TOP << int(Qt::Key_Underscore) << shift << false << nothing;
    QTest::newRow("* (Shift++ on German)") << VP_TOP << int(Qt::Key_Asterisk) << shift << false << nothing;

    // Home: the preset camera (the row starts away from it).
    QTest::newRow("top, Home") << VP_TOP << int(Qt::Key_Home) << none << false << QVector3D(-3, 4, -5);
    QTest::newRow("perspective, Home") << VP_PERSPECTIVE << int(Qt::Key_Home) << none << false << QVector3D(-3, 4, -5);
    QTest::newRow("keypad Home") << VP_LEFT << int(Qt::Key_Home) << keypad << false << QVector3D(-3, 4, -5);
    QTest::newRow("auto-repeated Home") << VP_FRONT << int(Qt::Key_Home) << none << true << QVector3D(-3, 4, -5);
    QTest::newRow("Ctrl+Home") << VP_TOP << int(Qt::Key_Home) << ctrl << false << nothing;
    QTest::newRow("Shift+Home") << VP_TOP << int(Qt::Key_Home) << shift << false << nothing;

    // Other keys.
    QTest::newRow("End") << VP_TOP << int(Qt::Key_End) << none << false << nothing;
    QTest::newRow("Page Up") << VP_TOP << int(Qt::Key_PageUp) << none << false << nothing;
    QTest::newRow("Space") << VP_TOP << int(Qt::Key_Space) << none << false << nothing;
    QTest::newRow("A") << VP_TOP << int(Qt::Key_A) << none << false << nothing;
    QTest::newRow("Alt+Q") << VP_TOP << int(Qt::Key_Q) << alt << false << nothing;
}

// A key the viewport acts on moves its camera, paints one frame before it returns and
// stays with the viewport; any other goes on to the window, moving and painting nothing.
void tst_Keyboard::keyPress()
{
    QFETCH(Viewport, kind);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, autoRepeat);
    QFETCH(QVector3D, cameraMove);

    QVERIFY(setUpViewport(kind));
    const QVector3D away(3, -4, 5);
    m_camera->moveBy(away.x(), away.y(), away.z());
    const QVector3D start = positionOf(m_camera.get());
    QSignalSpy switches(m_widget, &GLWidget::switchView);

    const bool acts = !cameraMove.isNull();
    QCOMPARE(press(key, modifiers, autoRepeat), acts);
    COMPARE_CAMERA(positionOf(m_camera.get()), start + cameraMove);
    QCOMPARE(m_frames->count(), acts ? 1 : 0);
    QCOMPARE(switches.count(), 0);
}

void tst_Keyboard::keysMatchPointer_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::addColumn<QList<int>>("keys");
    // The same as the pointer: mouse moves with the left button held, from (200, 150),
    // then wheel turns.
    QTest::addColumn<QList<QPoint>>("drag");
    QTest::addColumn<QList<int>>("turns");

    const QList<int> none;
    QTest::newRow("top, Right three times, Up twice") << VP_TOP
        << QList<int>{Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Up, Qt::Key_Up}
        << QList<QPoint>{{190, 150}, {180, 150}, {170, 150}, {170, 160}, {170, 170}} << none;
    QTest::newRow("perspective, Left twice, Down") << VP_PERSPECTIVE
        << QList<int>{Qt::Key_Left, Qt::Key_Left, Qt::Key_Down}
        << QList<QPoint>{{210, 150}, {220, 150}, {220, 140}} << none;
    QTest::newRow("left, Right and back") << VP_LEFT << QList<int>{Qt::Key_Right, Qt::Key_Left}
                                          << QList<QPoint>{{190, 150}, {200, 150}} << none;
    QTest::newRow("top, + as a notch away") << VP_TOP << QList<int>{Qt::Key_Plus} << QList<QPoint>() << QList<int>{120};
    QTest::newRow("front, - twice as two notches towards") << VP_FRONT << QList<int>{Qt::Key_Minus, Qt::Key_Minus}
                                                           << QList<QPoint>() << QList<int>{-120, -120};
    QTest::newRow("perspective, pan and zoom") << VP_PERSPECTIVE << QList<int>{Qt::Key_Plus, Qt::Key_Right, Qt::Key_Plus}
                                               << QList<QPoint>{{190, 150}} << QList<int>{240};
}

// Keys and the pointer they stand for give the same camera and the same picture.
void tst_Keyboard::keysMatchPointer()
{
    QFETCH(Viewport, kind);
    QFETCH(QList<int>, keys);
    QFETCH(QList<QPoint>, drag);
    QFETCH(QList<int>, turns);

    QVERIFY(setUpViewport(kind));
    for (int key : keys)
        QVERIFY(press(key));
    QCOMPARE(m_frames->count(), keys.size());
    const QVector3D byKeys = positionOf(m_camera.get());
    const QImage keysPicture = m_widget->grabFramebuffer();

    QVERIFY(setUpViewport(kind));
    mouse(QEvent::MouseButtonPress, QPoint(200, 150), Qt::LeftButton, Qt::LeftButton);
    for (const QPoint &pos : drag)
        mouse(QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, drag.isEmpty() ? QPoint(200, 150) : drag.last(), Qt::LeftButton, Qt::NoButton);
    for (int delta : turns)
        wheel(delta);

    QCOMPARE(positionOf(m_camera.get()), byKeys);
    QCOMPARE(m_widget->grabFramebuffer(), keysPicture);
}

// Home brings back the preset camera and the picture of the start whatever moved the
// view, and the wheel starts afresh from it: half a notch left over before does not
// count after.
void tst_Keyboard::homeAfterEverything()
{
    QVERIFY(setUpViewport(VP_TOP));
    const QVector3D preset = positionOf(m_camera.get());
    const QImage startPicture = m_widget->grabFramebuffer();

    mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, QPoint(137, 81), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(137, 81), Qt::LeftButton, Qt::NoButton);
    for (int delta : {120, 120, 6})
        wheel(delta);
    QVERIFY(press(Qt::Key_Left));
    QVERIFY(press(Qt::Key_Minus));
    QVERIFY(positionOf(m_camera.get()) != preset);

    m_frames->clear();
    QVERIFY(press(Qt::Key_Home));
    QCOMPARE(m_frames->count(), 1);
    QCOMPARE(positionOf(m_camera.get()), preset);
    QCOMPARE(m_widget->grabFramebuffer(), startPicture);

    for (int expectedShift : {0, 1}) {
        wheel(6);
        QCOMPARE(m_camera->getPositionY(), preset.y() - float(expectedShift));
    }
}

void tst_Keyboard::keyRelease_data()
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
    QTest::newRow("+ released") << int(Qt::Key_Plus) << Qt::KeyboardModifiers() << false << false;
    QTest::newRow("Home released") << int(Qt::Key_Home) << Qt::KeyboardModifiers() << false << false;
}

// Only the release of W with Alt held asks for the switch; no release moves the camera.
void tst_Keyboard::keyRelease()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, autoRepeat);
    QFETCH(bool, emits);

    QVERIFY(setUpViewport(VP_TOP));
    const QVector3D start = positionOf(m_camera.get());
    QSignalSpy switches(m_widget, &GLWidget::switchView);
    QKeyEvent event(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(m_widget, &event);

    QCOMPARE(switches.count(), emits ? 1 : 0);
    // Every key release stays with the viewport.
    QVERIFY(m_host->received.isEmpty());
    QCOMPARE(m_frames->count(), 0);
    QCOMPARE(positionOf(m_camera.get()), start);
}

QTEST_MAIN(tst_Keyboard)
#include "tst_keyboard.moc"
