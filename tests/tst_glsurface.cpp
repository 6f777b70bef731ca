#include "glrenderer.h"
#include "glsurface.h"

#include <QOpenGLContext>
#include <QPainter>
#include <QRasterWindow>
#include <QtTest>

#include <GL/gl.h>

namespace {

// Writes down each hook the surface calls, with the size it was told, whether a paint
// came at the size it was last told, and whether the surface's own context was current;
// paints one flat colour.
class RecordingRenderer : public GLRenderer
{
public:
    QStringList calls;
    GLSurface *surface = nullptr;
    QColor colour = QColor(0, 128, 255);
    QSize told;

    void initializeGL() override { record("initializeGL"); }
    void resizeGL(int width, int height) override
    {
        told = QSize(width, height);
        record(QString("resizeGL %1x%2").arg(width).arg(height));
    }
    void paintGL() override
    {
        record(surface->size() == told ? "paintGL" : "paintGL at a size it was not told");
        glClearColor(GLclampf(colour.redF()), GLclampf(colour.greenF()), GLclampf(colour.blueF()), 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    int count(const QString &call) const { return int(calls.count(call)); }
    // The calls since the `from`th, with runs of paints written once: how many frames
    // an expose and an update request bring between them is the display server's.
    QStringList since(qsizetype from) const
    {
        QStringList shown;
        for (qsizetype i = from; i < calls.size(); ++i) {
            if (shown.isEmpty() || calls[i] != "paintGL" || shown.last() != "paintGL")
                shown << calls[i];
        }
        return shown;
    }

private:
    void record(const QString &call)
    {
        QOpenGLContext *current = QOpenGLContext::currentContext();
        calls << (current && current->surface() == surface ? call : call + " without the surface's context");
    }
};

// The window around the surface. A Wayland compositor shows a window once it has drawn.
class Host : public QRasterWindow
{
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(QRect(QPoint(), size()), Qt::white); }
};

} // namespace

// The surface driven with a renderer that only records: when it calls which hook, and
// that a frame owed is never lost.
class tst_GLSurface : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstFrame();
    void hooksFollowSize_data();
    void hooksFollowSize();
    void paintsPerOccasion_data();
    void paintsPerOccasion();
    void frameOwedWhileHiddenIsPainted();
    void newNativeSurfaceGetsNewContext();
    void grabFrame();
    void traceOnlyWhenAsked();

private:
    bool showAndWaitForFrame();
    bool settle();

    std::unique_ptr<RecordingRenderer> m_renderer;
    std::unique_ptr<QRasterWindow> m_window;
    std::unique_ptr<GLSurface> m_surface;
    std::unique_ptr<QSignalSpy> m_frames;
};

void tst_GLSurface::initTestCase()
{
    // Told that it runs under QTest, Qt's Wayland platform covers a window with a blank
    // buffer whenever an expose is not answered with a frame at once, which no user sees.
    qunsetenv("QT_QTESTLIB_RUNNING");
}

void tst_GLSurface::init()
{
    m_renderer = std::make_unique<RecordingRenderer>();
    // Embedded in a window, as a viewport's surface is (a subsurface on Wayland).
    m_window = std::make_unique<Host>();
    m_window->resize(300, 200);
    m_surface = std::make_unique<GLSurface>(m_renderer.get());
    m_surface->setParent(m_window.get());
    m_renderer->surface = m_surface.get();
    m_surface->setGeometry(10, 10, 160, 120);
    m_frames = std::make_unique<QSignalSpy>(m_surface.get(), &GLSurface::frameSwapped);
}

void tst_GLSurface::cleanup()
{
    m_frames.reset();
    m_surface.reset();
    m_window.reset();
    m_renderer.reset();
}

bool tst_GLSurface::showAndWaitForFrame()
{
    const qsizetype before = m_frames->size();
    m_surface->show();
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get()) && QTest::qWaitForWindowExposed(m_surface.get())
        && QTest::qWaitFor([&] { return m_frames->size() > before; });
}

// Set up once, told its size, then painted, each with the surface's context current.
void tst_GLSurface::firstFrame()
{
    QVERIFY(showAndWaitForFrame());
    QCOMPARE(m_renderer->since(0), QStringList({"initializeGL", "resizeGL 160x120", "paintGL"}));
}

void tst_GLSurface::hooksFollowSize_data()
{
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::newRow("one resize") << QList<QSize>{QSize(200, 100)};
    QTest::newRow("smaller, then larger") << QList<QSize>{QSize(80, 60), QSize(300, 200)};
    QTest::newRow("there and back") << QList<QSize>{QSize(161, 120), QSize(160, 120)};
}

// Every new size reaches resizeGL before the first frame painted at it, and the camera
// moving paints without either: nothing is set up twice.
void tst_GLSurface::hooksFollowSize()
{
    QFETCH(QList<QSize>, sizes);
    QVERIFY(showAndWaitForFrame());
    for (const QSize &size : sizes) {
        const qsizetype from = m_renderer->calls.size();
        m_surface->resize(size);
        // A frame the display server asked for before the resize may still come first.
        const QString resized = QString("resizeGL %1x%2").arg(size.width()).arg(size.height());
        QTRY_COMPARE(m_renderer->since(qMax(from, m_renderer->calls.lastIndexOf(resized))),
                     QStringList({resized, "paintGL"}));
    }
    const qsizetype from = m_renderer->calls.size();
    m_surface->requestFrame();
    QTRY_COMPARE(m_renderer->since(from), QStringList({"paintGL"}));
    QCOMPARE(m_renderer->count("initializeGL"), 1);
    QCOMPARE(m_renderer->calls.filter(" a size it was not told").size() + m_renderer->calls.filter(" without").size(), 0);
}

// Handles events until whatever the surface had asked of the display server has come:
// an update request of its own, which Qt merges with one already pending, and a batch's
// end queued before it. True once two such rounds in a row brought no paint.
bool tst_GLSurface::settle()
{
    struct Requests : QObject
    {
        int seen = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            seen += event->type() == QEvent::UpdateRequest;
            return false;
        }
    } requests;
    m_surface->installEventFilter(&requests);
    for (int quiet = 0, round = 0; round < 20; ++round) {
        const int paints = m_renderer->count("paintGL"), before = requests.seen;
        m_surface->requestUpdate();
        if (!QTest::qWaitFor([&] { return requests.seen > before; }, 5000))
            return false;
        quiet = m_renderer->count("paintGL") == paints ? quiet + 1 : 0;
        if (quiet == 2)
            return true;
    }
    return false;
}

void tst_GLSurface::paintsPerOccasion_data()
{
    QTest::addColumn<QString>("occasion");
    QTest::addColumn<int>("times");
    // Paints before the event loop runs again, and in all; unpaced (X11), then paced by
    // a compositor (Wayland).
    QTest::addColumn<QList<int>>("paints");
    // Unpaced, each camera's frame is painted at once; paced, at the compositor's next
    // frame callback, with the newest camera.
    QTest::newRow("five camera moves before a frame callback") << "camera moved" << 5 << QList<int>{5, 5, 0, 1};
    QTest::newRow("an expose while the compositor keeps the frame") << "exposed" << 1 << QList<int>{0, 1, 0, 1};
    // What a resize brings on X11: Qt's own expose for a window that shrank, and the X
    // server's, in one batch of events.
    QTest::newRow("two exposes in one batch of events") << "exposed" << 2 << QList<int>{0, 1, 0, 1};
    QTest::newRow("a resize") << "resized" << 1 << QList<int>{0, 1, 0, 1};
}

// How many paints each occasion brings, and when, on the display server the test runs
// on: paced by a compositor (Wayland) or not (X11).
void tst_GLSurface::paintsPerOccasion()
{
    QFETCH(QString, occasion);
    QFETCH(int, times);
    QFETCH(QList<int>, paints);
    const qsizetype column = QGuiApplication::platformName().startsWith("wayland") ? 2 : 0;
    QVERIFY(showAndWaitForFrame());
    QVERIFY2(settle(), "the surface kept painting");
    // The surface's own account of each occasion, for a count that is off.
    static QStringList trace;
    trace.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &text) {
        if (QByteArray(context.category) == "quadview.frames")
            trace << text;
    });
    QLoggingCategory::setFilterRules("quadview.frames.debug=true");
    const auto restore = qScopeGuard([&] {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    });
    // Exposes and paints the display server sends meanwhile owe frames of their own.
    struct Asked : QObject
    {
        int times = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            times += event->spontaneous() && (event->type() == QEvent::Expose || event->type() == QEvent::Paint);
            return false;
        }
    } asked;
    m_surface->installEventFilter(&asked);
    const int before = m_renderer->count("paintGL");
    for (int i = 0; i < times; ++i) {
        if (occasion == "camera moved") {
            m_surface->requestFrame();
        } else if (occasion == "exposed") {
            QExposeEvent expose(QRegion(QRect(QPoint(), m_surface->size())));
            QCoreApplication::sendEvent(m_surface.get(), &expose);
        } else {
            m_surface->resize(m_surface->size() - QSize(10, 10));
        }
    }
    QVERIFY2(m_renderer->count("paintGL") - before == paints[column], qPrintable(trace.join('\n')));
    QVERIFY2(settle(), "the surface kept painting");
    const int painted = m_renderer->count("paintGL") - before;
    if (asked.times > 0)
        qInfo("the display server asked for the picture %d times meanwhile", asked.times);
    QVERIFY2(painted >= paints[column + 1] && painted <= paints[column + 1] + asked.times, qPrintable(trace.join('\n')));
    QCOMPARE(m_renderer->calls.filter(" a size it was not told").size(), 0);
}

// The camera moves while the surface is hidden: nothing is painted for nobody, and the
// frame is painted when the surface shows again.
void tst_GLSurface::frameOwedWhileHiddenIsPainted()
{
    QVERIFY(showAndWaitForFrame());
    m_surface->hide();
    QTRY_VERIFY(!m_surface->isExposed());
    const int paints = m_renderer->count("paintGL");
    m_surface->requestFrame();
    m_surface->requestFrame();
    QTest::qWait(100);
    QCOMPARE(m_renderer->count("paintGL"), paints);
    QVERIFY(showAndWaitForFrame());
    QVERIFY(m_renderer->count("paintGL") > paints);
}

// What a compositor's restart or a GPU reset does: the native surface goes, and with it
// the context. The next one gets a context of its own, set up and sized afresh.
void tst_GLSurface::newNativeSurfaceGetsNewContext()
{
    QVERIFY(showAndWaitForFrame());
    QVERIFY(QOpenGLContext::currentContext());
    m_surface->destroy();
    // Left current, it would hold on to the surface that went.
    QCOMPARE(QOpenGLContext::currentContext(), nullptr);
    const qsizetype from = m_renderer->calls.size();
    QVERIFY(showAndWaitForFrame());
    QCOMPARE(m_renderer->since(from), QStringList({"initializeGL", "resizeGL 160x120", "paintGL"}));
}

// The picture the renderer paints, at the surface's size in device pixels.
void tst_GLSurface::grabFrame()
{
    QVERIFY(showAndWaitForFrame());
    m_renderer->colour = QColor(255, 200, 0);
    const QImage image = m_surface->grabFrame();
    QCOMPARE(image.size(), m_surface->size() * m_surface->devicePixelRatio());
    QCOMPARE(image.pixel(0, 0), qRgb(255, 200, 0));
    QCOMPARE(image.pixel(image.width() - 1, image.height() - 1), qRgb(255, 200, 0));
}

// The frame trace says nothing by default; asked for, it gives each step of a frame in
// order, on one clock.
void tst_GLSurface::traceOnlyWhenAsked()
{
    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &text) {
        if (QByteArray(context.category) == "quadview.frames")
            lines << text;
    });
    const auto restore = qScopeGuard([&] {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    });
    m_surface->setObjectName("view");
    QVERIFY(showAndWaitForFrame());
    qsizetype before = m_frames->size();
    m_surface->requestFrame();
    QTRY_VERIFY(m_frames->size() > before);
    QCOMPARE(lines, QStringList());

    QLoggingCategory::setFilterRules("quadview.frames.debug=true");
    before = m_frames->size();
    m_surface->requestFrame();
    QTRY_VERIFY(m_frames->size() > before);
    QStringList steps;
    double last = 0;
    for (const QString &line : std::as_const(lines)) {
        const double time = line.section(' ', 0, 0).toDouble();
        QVERIFY2(time >= last, qPrintable(line));
        last = time;
        steps << line.section(" ", 2).section(QRegularExpression(" \\d+x\\d+@"), 0, 0);
    }
    // Between the request and its paint, a paced display server adds its own steps.
    const QStringList frame = steps.filter(QRegularExpression("^(camera moved|current|painted|swapped)$"));
    QCOMPARE(frame.mid(frame.indexOf("camera moved"), 4), QStringList({"camera moved", "current", "painted", "swapped"}));
}

QTEST_MAIN(tst_GLSurface)
#include "tst_glsurface.moc"
