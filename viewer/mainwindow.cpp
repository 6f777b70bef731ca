#include "mainwindow.h"

#include "camera.h"
#include "scene.h"

#include <QBackingStore>
#include <QEvent>
#include <QGridLayout>
#include <QList>
#include <QPaintEngine>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <algorithm>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_scene(new Scene)
{
    m_centralWidget = new QWidget;
    m_layoutMode = LAYOUT_QUAD;
    m_layout = new QGridLayout;

    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            m_cameras[i][j].reset(createCamera(i, j));
            m_glWidgets[i][j] = new GLWidget(createViewport(i, j), m_scene.get(), m_cameras[i][j].get());
            m_layout->addWidget(m_glWidgets[i][j], j, i);
            connect(m_glWidgets[i][j], SIGNAL(switchView()), this, SLOT(switchGlWidget()));
            m_glWidgets[i][j]->installEventFilter(this);
        }
    }
    m_centralWidget->installEventFilter(this);

    m_centralWidget->setLayout(m_layout);
    setCentralWidget(m_centralWidget);

    // Tab goes through the views in reading order, as their cells lie; the order can be
    // set only once they are in this window.
    setTabOrder(m_glWidgets[0][0], m_glWidgets[1][0]);
    setTabOrder(m_glWidgets[1][0], m_glWidgets[0][1]);
    setTabOrder(m_glWidgets[0][1], m_glWidgets[1][1]);
    // The window keeps the focus until the user gives it to a view: activated with no
    // focus of its own, it would go to the first view that takes Tab.
    setFocus(Qt::OtherFocusReason);
    setWindowTitle(tr("Halvoro :: 3D"));
}

MainWindow::~MainWindow()
{
    // The viewports borrow the scene and the cameras, so they go first.
    delete m_centralWidget;
}

Viewport MainWindow::createViewport(int i, int j)
{
    if (i == 0 && j == 1)
        return VP_FRONT;
    if (i == 1 && j == 0)
        return VP_LEFT;
    if (i == 1 && j == 1)
        return VP_PERSPECTIVE;
    return VP_TOP;
}

Camera *MainWindow::createCamera(int i, int j)
{
    if (i == 0 && j == 0)
        return new Camera(0, 100, 0, -90, 0, 0);
    if (i == 0 && j == 1)
        return new Camera(0, 0, 100, 0, 0, 0);
    if (i == 1 && j == 0)
        return new Camera(-100, 0, 0, 0, -90, 0);
    if (i == 1 && j == 1)
        return new Camera(-100, 100, 100, -45, -45, 0);
    return nullptr;
}

void MainWindow::switchGlWidget()
{
    GLWidget *requester = qobject_cast<GLWidget *>(sender());
    GLWidget *const *first = &m_glWidgets[0][0];
    if (!requester || std::find(first, first + 4, requester) == first + 4)
        return;

    if (m_layoutMode == LAYOUT_QUAD) {
        m_layoutMode = LAYOUT_SINGLE;
        // The requester goes last: Qt hands the focus of a view that is disabled to the
        // next view that takes Tab, and a screen reader would announce each on the way.
        QList<GLWidget *> views(first, first + 4);
        views.move(views.indexOf(requester), views.size() - 1);
        for (GLWidget *widget : views) {
            m_layout->removeWidget(widget);
            widget->setEnabled(false);
            widget->hide();
        }
        requester->setEnabled(true);
        requester->show();
        requester->setFocus(Qt::MouseFocusReason);
        m_layout->addWidget(requester, 0, 0, 2, 2);
        m_layout->update();
    } else if (m_layoutMode == LAYOUT_SINGLE) {
        m_layoutMode = LAYOUT_QUAD;
        m_layout->removeWidget(requester);
        requester->setEnabled(false);
        requester->hide();
        restoreQuadLayout();
        requester->setFocus(Qt::MouseFocusReason);
        m_layout->update();
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_centralWidget && event->type() == QEvent::Paint) {
        QPainter painter(m_centralWidget);
        dropStaleBuffers(painter);
        paintFocusFrame(painter);
    } else if (watched != m_centralWidget) {
        switch (event->type()) {
        // The focus moved, or the focused viewport did: the frame follows.
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            m_centralWidget->update();
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The viewport that Alt+W acts on gets a frame in the highlight colour. It lies in the
// layout's spacing, outside the viewport, so no pixel of any picture changes; the
// palette dims it while the window is inactive.
void MainWindow::paintFocusFrame(QPainter &painter)
{
    auto *focused = qobject_cast<GLWidget *>(focusWidget());
    if (!focused || !focused->isVisible())
        return;
    const int width = 2;
    const QRect inner = focused->geometry();
    const QRegion frame = QRegion(inner.adjusted(-width, -width, width, width)) - inner;
    for (const QRect &rect : frame)
        painter.fillRect(rect, m_centralWidget->palette().color(QPalette::Highlight));
}

// Qt's Wayland backing store reuses any free buffer of the right size in pixels, even
// one made at an earlier scale: after the output's scale changes under a window that
// fills it (1280 x 800 at 1 is 853 x 533 at 1.5), the frame would be painted at the old
// scale, away from its viewport. A backing store asked for another size drops all its
// buffers, so it is sent through a paint at one pixel, and the next paint, finding it
// at the wrong size, repaints the whole window into new buffers.
void MainWindow::dropStaleBuffers(QPainter &painter)
{
    QWindow *window = windowHandle();
    // The engine's device is the one painted into: a buffer while the window paints,
    // a pixmap while it is grabbed.
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    if (!window || !device || qFuzzyCompare(device->devicePixelRatio(), window->devicePixelRatio())) {
        m_staleBufferRetries = 0;
        return;
    }
    // A buffer the compositor still holds survives a round; never loop for ever.
    if (++m_staleBufferRetries > 10)
        return;
    QTimer::singleShot(0, this, [this] {
        if (QBackingStore *store = backingStore()) {
            store->resize(QSize(1, 1));
            store->beginPaint(QRegion(0, 0, 1, 1));
            store->endPaint();
            update();
        }
    });
}

// Every viewport goes back to the cell it had at start-up.
void MainWindow::restoreQuadLayout()
{
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            m_layout->addWidget(m_glWidgets[i][j], j, i);
            m_glWidgets[i][j]->setEnabled(true);
            m_glWidgets[i][j]->show();
        }
    }
}
