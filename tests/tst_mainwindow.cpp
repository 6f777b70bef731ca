#include "glprobe.h"
#include "mainwindow.h"

#include <QtTest>
#include <QGridLayout>
#include <QScreen>

Q_DECLARE_METATYPE(Viewport)

namespace {

struct Cell
{
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    bool operator==(const Cell &other) const
    {
        return row == other.row && column == other.column && rowSpan == other.rowSpan
            && columnSpan == other.columnSpan;
    }
};

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUp();
    void keysBeforeAnyFocusDoNothing();
    void maximiseRestoreMaximise_data();
    void maximiseRestoreMaximise();
    void camerasSurviveSwitching();
    void autoRepeatDoesNotToggle();
    void foreignSenderIsIgnored();
    void focusFrameFollowsFocus();
    void tabOrder_data();
    void tabOrder();
    void onlyTheLeftButtonGivesFocus_data();
    void onlyTheLeftButtonGivesFocus();

private:
    bool showWindow();
    GLWidget *viewport(Viewport kind) const;
    Cell cellOf(GLWidget *widget) const;
    void click(GLWidget *widget);
    void clickAndSwitch(GLWidget *widget);
    QString framedViewports() const;
    void verifyStartUpGrid() const;
    static void pressChord();

    std::unique_ptr<MainWindow> m_window;
    QGridLayout *m_layout = nullptr;
};

void tst_MainWindow::init()
{
    m_window.reset(new MainWindow);
    m_layout = qobject_cast<QGridLayout *>(m_window->centralWidget()->layout());
}

void tst_MainWindow::cleanup()
{
    m_window.reset();
}

bool tst_MainWindow::showWindow()
{
    m_window->show();
    m_window->activateWindow();
    return QTest::qWaitForWindowActive(m_window.get());
}

GLWidget *tst_MainWindow::viewport(Viewport kind) const
{
    return viewportOf(m_window.get(), kind);
}

Cell tst_MainWindow::cellOf(GLWidget *widget) const
{
    Cell cell;
    const int index = m_layout->indexOf(widget);
    if (index >= 0)
        m_layout->getItemPosition(index, &cell.row, &cell.column, &cell.rowSpan, &cell.columnSpan);
    return cell;
}

// Alt+W as the keyboard sends it: to whichever widget has the focus.
void tst_MainWindow::pressChord()
{
    QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key_W, Qt::AltModifier);
}

void tst_MainWindow::click(GLWidget *widget)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// A left click gives the viewport the focus; the chord then asks for the switch.
void tst_MainWindow::clickAndSwitch(GLWidget *widget)
{
    click(widget);
    pressChord();
}

// The viewports that the screen shows framed in the highlight colour, by kind, as
// "1" or "13"; a frame only partly there shows as "?".
QString tst_MainWindow::framedViewports() const
{
    QWidget *central = m_window->centralWidget();
    const QImage image = central->screen()->grabWindow(0, central->mapToGlobal(QPoint(0, 0)).x(),
                                                       central->mapToGlobal(QPoint(0, 0)).y(),
                                                       central->width(), central->height()).toImage();
    const QRgb highlight = central->palette().color(QPalette::Active, QPalette::Highlight).rgb();
    QString framed;
    for (Viewport kind : {VP_TOP, VP_LEFT, VP_FRONT, VP_PERSPECTIVE}) {
        GLWidget *widget = viewport(kind);
        if (!widget->isVisible())
            continue;
        const int found = frameAround(image, central->size(), widget->geometry(), highlight);
        if (found)
            framed += found > 0 ? QString::number(int(kind)) : QString("?");
    }
    return framed;
}

void tst_MainWindow::verifyStartUpGrid() const
{
    const struct { Viewport kind; int row, column; } expected[] = {
        {VP_TOP, 0, 0}, {VP_LEFT, 0, 1}, {VP_FRONT, 1, 0}, {VP_PERSPECTIVE, 1, 1},
    };
    QCOMPARE(m_layout->count(), 4);
    for (const auto &cell : expected) {
        GLWidget *widget = viewport(cell.kind);
        QVERIFY(widget);
        QCOMPARE(cellOf(widget), (Cell{cell.row, cell.column, 1, 1}));
        QVERIFY(widget->isVisible());
        QVERIFY(widget->isEnabled());
    }
}

void tst_MainWindow::startUp()
{
    QCOMPARE(m_window->windowTitle(), QString("Halvoro :: 3D"));
    QCOMPARE(m_window->findChildren<GLWidget *>().size(), 4);
    QVERIFY(showWindow());
    verifyStartUpGrid();
    for (GLWidget *widget : m_window->findChildren<GLWidget *>()) {
        QVERIFY(!widget->hasFocus());
        // The grid starts from the viewports' size hints.
        QVERIFY(widget->width() >= 400 && widget->height() >= 300);
    }
}

// Until a view has the focus, the window has it: no key moves a camera or switches.
void tst_MainWindow::keysBeforeAnyFocusDoNothing()
{
    QVERIFY(showWindow());
    QHash<GLWidget *, QVector3D> cameras;
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        cameras.insert(widget, positionOf(widget->getCamera()));
    pressChord();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Up, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Equal, Qt::Key_Home})
        QTest::keyClick(static_cast<QWidget *>(nullptr), key);
    verifyStartUpGrid();
    for (auto camera = cameras.cbegin(); camera != cameras.cend(); ++camera)
        QCOMPARE(positionOf(camera.key()->getCamera()), camera.value());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window.get()));
}

void tst_MainWindow::maximiseRestoreMaximise_data()
{
    QTest::addColumn<Viewport>("kind");
    QTest::newRow("top") << VP_TOP;
    QTest::newRow("left") << VP_LEFT;
    QTest::newRow("front") << VP_FRONT;
    QTest::newRow("perspective") << VP_PERSPECTIVE;
}

void tst_MainWindow::maximiseRestoreMaximise()
{
    QFETCH(Viewport, kind);
    QVERIFY(showWindow());
    GLWidget *chosen = viewport(kind);
    // Where the focus went on the way: a screen reader announces each view it lands on.
    QSignalSpy focusChanges(qApp, &QApplication::focusChanged);

    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            clickAndSwitch(chosen);
        else
            // It kept the focus, so the chord alone maximises it again.
            pressChord();

        QCOMPARE(m_layout->count(), 1);
        QCOMPARE(cellOf(chosen), (Cell{0, 0, 2, 2}));
        for (GLWidget *widget : m_window->findChildren<GLWidget *>()) {
            QCOMPARE(widget->isVisible(), widget == chosen);
            QCOMPARE(widget->isEnabled(), widget == chosen);
        }
        QTRY_VERIFY(chosen->hasFocus());
        QCOMPARE(QApplication::focusWidget(), chosen);

        // The maximised viewport fills the grid and its projection follows.
        QTRY_COMPARE(chosen->size(), m_window->centralWidget()->contentsRect()
                                         .marginsRemoved(m_layout->contentsMargins()).size());
        const QImage image = chosen->grabFramebuffer();
        QCOMPARE(image.size(), chosen->size() * chosen->getSurface()->devicePixelRatio());
        const GlState state = readGlState(chosen->getSurface());
        QCOMPARE(state.error, GLenum(GL_NO_ERROR));
        QCOMPARE(state.viewport.size(), image.size());

        pressChord();
        verifyStartUpGrid();
        QTRY_VERIFY(chosen->hasFocus());
    }
    for (const QList<QVariant> &change : std::as_const(focusChanges)) {
        auto *now = change.at(1).value<QWidget *>();
        if (now && now != chosen)
            QFAIL(qPrintable("on the way, the focus went to the " + now->accessibleName()));
    }
}

void tst_MainWindow::camerasSurviveSwitching()
{
    QVERIFY(showWindow());
    GLWidget *top = viewport(VP_TOP);
    GLWidget *front = viewport(VP_FRONT);
    front->getCamera()->moveBy(7, 0, 0);
    top->getCamera()->moveBy(3, 0, 0);

    clickAndSwitch(top);
    QCOMPARE(top->getCamera()->getPositionX(), 3.0f);
    // A pan while maximised.
    QMouseEvent move(QEvent::MouseMove, QPointF(15, 5), top->mapToGlobal(QPointF(15, 5)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(top, &move);
    QCOMPARE(top->getCamera()->getPositionX(), -7.0f);

    pressChord();
    QCOMPARE(top->getCamera()->getPositionX(), -7.0f);
    QCOMPARE(front->getCamera()->getPositionX(), 7.0f);
    QCOMPARE(top->getCamera()->getPositionY(), 100.0f);
}

void tst_MainWindow::autoRepeatDoesNotToggle()
{
    QVERIFY(showWindow());
    GLWidget *left = viewport(VP_LEFT);
    clickAndSwitch(left);
    QCOMPARE(m_layout->count(), 1);

    // Holding the chord: the auto-repeated releases leave the layout alone.
    for (int i = 0; i < 5; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_W, Qt::AltModifier, "w", true);
        QApplication::sendEvent(left, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_W, Qt::AltModifier, "w", true);
        QApplication::sendEvent(left, &release);
    }
    QCOMPARE(m_layout->count(), 1);
    QCOMPARE(cellOf(left), (Cell{0, 0, 2, 2}));
}

void tst_MainWindow::foreignSenderIsIgnored()
{
    QVERIFY(showWindow());
    Scene scene;
    Camera camera(0, 100, 0, -90, 0, 0);
    GLWidget stranger(VP_TOP, &scene, &camera);
    QVERIFY(connect(&stranger, SIGNAL(switchView()), m_window.get(), SLOT(switchGlWidget())));
    emit stranger.switchView();
    verifyStartUpGrid();

    // Called with no sender at all.
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "switchGlWidget"));
    verifyStartUpGrid();
}

// The focused viewport is framed on screen, in the layout's spacing: the frame moves
// with the focus and with the layout, and leaves every picture as it was.
void tst_MainWindow::focusFrameFollowsFocus()
{
    QVERIFY(showWindow());
    QHash<GLWidget *, QImage> pictures;
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        pictures.insert(widget, widget->grabFramebuffer());
    QCOMPARE(framedViewports(), QString());

    GLWidget *front = viewport(VP_FRONT);
    click(front);
    QTRY_COMPARE(framedViewports(), QString::number(VP_FRONT));
    for (GLWidget *widget : m_window->findChildren<GLWidget *>()) {
        QCOMPARE(widget->grabFramebuffer(), pictures.value(widget));
        QCOMPARE(widget->getSurface()->size(), widget->size());
    }

    GLWidget *left = viewport(VP_LEFT);
    click(left);
    QTRY_COMPARE(framedViewports(), QString::number(VP_LEFT));
    pressChord();
    QCOMPARE(m_layout->count(), 1);
    QTRY_COMPARE(framedViewports(), QString::number(VP_LEFT));
    pressChord();
    QCOMPARE(m_layout->count(), 4);
    QTRY_COMPARE(framedViewports(), QString::number(VP_LEFT));
    QCOMPARE(left->grabFramebuffer(), pictures.value(left));
}

void tst_MainWindow::tabOrder_data()
{
    QTest::addColumn<int>("clicked");
    QTest::addColumn<bool>("maximised");
    // Tab or Backtab (Shift+Tab), and the view by kind that has the focus after each.
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("focused");

    const int tab = Qt::Key_Tab, backtab = Qt::Key_Backtab;
    QTest::newRow("Tab from none: reading order, round again") << 0 << false << QList<int>(5, tab) << "12341";
    QTest::newRow("Shift+Tab from none: backwards") << 0 << false << QList<int>{backtab, backtab} << "43";
    QTest::newRow("Tab after a click on the front view") << int(VP_FRONT) << false << QList<int>{tab, tab} << "41";
    QTest::newRow("Shift+Tab after a click on the top view") << int(VP_TOP) << false << QList<int>{backtab} << "4";
    QTest::newRow("Tab and Shift+Tab back and forth") << 0 << false << QList<int>{tab, tab, backtab, tab} << "1212";
    QTest::newRow("Tab while the left view is maximised") << int(VP_LEFT) << true << QList<int>{tab, backtab, tab}
                                                          << "222";
}

// Tab and Shift+Tab go round the visible views in reading order (top, left, front,
// perspective), from none or from the one focused, and the frame follows.
void tst_MainWindow::tabOrder()
{
    QFETCH(int, clicked);
    QFETCH(bool, maximised);
    QFETCH(QList<int>, keys);
    QFETCH(QString, focused);

    QVERIFY(showWindow());
    if (clicked)
        click(viewport(Viewport(clicked)));
    if (maximised)
        pressChord();
    for (qsizetype i = 0; i < keys.size(); ++i) {
        QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key(keys[i]),
                        keys[i] == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        auto *now = qobject_cast<GLWidget *>(QApplication::focusWidget());
        QVERIFY2(now, qPrintable(QString("no view has the focus after key %1").arg(i + 1)));
        QCOMPARE(QString::number(int(now->getViewport())), focused.mid(i, 1));
    }
    QCOMPARE(m_layout->count(), maximised ? 1 : 4);
    QTRY_COMPARE(framedViewports(), focused.right(1));
}

void tst_MainWindow::onlyTheLeftButtonGivesFocus_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("focuses");
    QTest::newRow("left") << Qt::LeftButton << true;
    QTest::newRow("right") << Qt::RightButton << false;
    QTest::newRow("middle") << Qt::MiddleButton << false;
}

// A click into the window, as the display server delivers one, where Qt gives the focus
// to a widget whose policy takes clicks before any handler of the view runs.
void tst_MainWindow::onlyTheLeftButtonGivesFocus()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, focuses);

    QVERIFY(showWindow());
    GLWidget *front = viewport(VP_FRONT);
    QTest::mouseClick(m_window->windowHandle(), button, Qt::NoModifier, front->mapTo(m_window.get(), QPoint(20, 20)));
    QCoreApplication::processEvents();
    QCOMPARE(front->hasFocus(), focuses);
    for (GLWidget *widget : m_window->findChildren<GLWidget *>())
        if (widget != front)
            QVERIFY(!widget->hasFocus());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
