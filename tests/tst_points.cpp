#include <QtTest>

#include "Color.h"
#include "Point2D.h"
#include "Point3D.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>

// Counts the heap blocks alive, so that a test can see that a point frees all it owns.
static long g_liveBlocks = 0;

void *operator new(std::size_t size)
{
    if (void *p = std::malloc(size ? size : 1)) {
        ++g_liveBlocks;
        return p;
    }
    throw std::bad_alloc();
}

void *operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void *p) noexcept
{
    if (p) {
        --g_liveBlocks;
        std::free(p);
    }
}

void operator delete[](void *p) noexcept
{
    operator delete(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    operator delete(p);
}

void operator delete[](void *p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

// Collects what the family writes to std::cout while it is alive.
class CoutCapture
{
public:
    CoutCapture() : m_saved(std::cout.rdbuf(m_buffer.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(m_saved); }
    QString text() const { return QString::fromStdString(m_buffer.str()); }

private:
    std::ostringstream m_buffer;
    std::streambuf *m_saved;
};

const char rangeMessage[] = "die Farbwerte liegen nicht im Bereich von 0 bis 255\n";

QList<int> components(Color &color)
{
    const int *rgba = color.getColor();
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

} // namespace

class tst_Points : public QObject
{
    Q_OBJECT

private slots:
    void setColor_data();
    void setColor();
    void invalidAfterValidLeavesZeros();
    void constructorStoresValuesUnchecked();
    void getColorIsTheStoredArray();
    void coordinateFormat_data();
    void coordinateFormat();
    void freshPointOutput();
    void point3DSetPosition_data();
    void point3DSetPosition();
    void outputThroughBasePointer_data();
    void outputThroughBasePointer();
    void deleteThroughBasePointerFreesEverything_data();
    void deleteThroughBasePointerFreesEverything();
};

void tst_Points::setColor_data()
{
    QTest::addColumn<QList<int>>("input");
    QTest::addColumn<bool>("rejected");

    QTest::newRow("all at upper bounds") << QList<int>{255, 255, 255, 100} << false;
    QTest::newRow("all at lower bounds") << QList<int>{0, 0, 0, 0} << false;
    QTest::newRow("in range") << QList<int>{1, 2, 3, 4} << false;
    QTest::newRow("red above") << QList<int>{256, 0, 0, 0} << true;
    QTest::newRow("red below") << QList<int>{-1, 0, 0, 0} << true;
    QTest::newRow("green above") << QList<int>{0, 256, 0, 0} << true;
    QTest::newRow("green below") << QList<int>{0, -1, 0, 0} << true;
    QTest::newRow("blue above") << QList<int>{0, 0, 256, 0} << true;
    QTest::newRow("blue below") << QList<int>{0, 0, -1, 0} << true;
    QTest::newRow("alpha just above 100") << QList<int>{0, 0, 0, 101} << true;
    QTest::newRow("alpha 255") << QList<int>{0, 0, 0, 255} << true;
    QTest::newRow("alpha below") << QList<int>{10, 20, 30, -1} << true;
    QTest::newRow("several out of range") << QList<int>{300, -1, 999, 500} << true;
    QTest::newRow("extreme ints") << QList<int>{INT_MIN, INT_MAX, 0, 0} << true;
}

void tst_Points::setColor()
{
    QFETCH(QList<int>, input);
    QFETCH(bool, rejected);

    Color color(9, 9, 9, 9);
    CoutCapture capture;
    color.setColor(input[0], input[1], input[2], input[3]);

    QCOMPARE(capture.text(), rejected ? QString(rangeMessage) : QString());
    QCOMPARE(components(color), rejected ? QList<int>({0, 0, 0, 0}) : input);
}

void tst_Points::invalidAfterValidLeavesZeros()
{
    Color color(0, 0, 0, 0);
    CoutCapture capture;
    color.setColor(10, 20, 30, 40);
    color.setColor(10, 20, 30, 140);
    QCOMPARE(components(color), (QList<int>{0, 0, 0, 0}));
    QCOMPARE(capture.text(), QString(rangeMessage));
}

void tst_Points::constructorStoresValuesUnchecked()
{
    CoutCapture capture;
    Color color(300, -5, 0, 1000);
    QCOMPARE(components(color), (QList<int>{300, -5, 0, 1000}));
    QCOMPARE(capture.text(), QString());
}

void tst_Points::getColorIsTheStoredArray()
{
    Color color(1, 2, 3, 4);
    color.getColor()[2] = 77;
    QCOMPARE(components(color), (QList<int>{1, 2, 77, 4}));
    QCOMPARE(color.getColor(), color.getColor());
}

void tst_Points::coordinateFormat_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("4.6") << 4.6f << "4.6";
    QTest::newRow("2.4") << 2.4f << "2.4";
    QTest::newRow("one") << 1.0f << "1";
    QTest::newRow("minus one") << -1.0f << "-1";
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative zero") << -0.0f << "-0";
    QTest::newRow("rounded to six digits") << 123.4567f << "123.457";
    QTest::newRow("ten million") << 10000000.0f << "1e+07";
    QTest::newRow("largest fixed") << 999999.0f << "999999";
    QTest::newRow("first exponent") << 1234567.0f << "1.23457e+06";
    QTest::newRow("smallest fixed") << 0.0001f << "0.0001";
    QTest::newRow("below fixed") << 0.00001f << "1e-05";
    QTest::newRow("no trailing zeros") << 2.5f << "2.5";
    QTest::newRow("negative fraction") << -0.125f << "-0.125";
}

void tst_Points::coordinateFormat()
{
    QFETCH(float, value);
    QFETCH(QString, text);

    Point2D point(value, -1.0f);
    CoutCapture capture;
    point.output();
    QCOMPARE(capture.text().section('\n', 0, 0),
             QString("Der Punkt liegt an der Position (%1,-1)").arg(text));
}

void tst_Points::freshPointOutput()
{
    Point2D point(0, 0);
    CoutCapture capture;
    point.output();
    QCOMPARE(capture.text(),
             QString("Der Punkt liegt an der Position (0,0)\n"
                     "RGBA Werte: rot = 0, gruen = 0, blau = 0, alpha = 0\n"));
}

void tst_Points::point3DSetPosition_data()
{
    QTest::addColumn<bool>("throughBase");
    QTest::newRow("called on Point3D") << false;
    QTest::newRow("dispatched through Point") << true;
}

void tst_Points::point3DSetPosition()
{
    QFETCH(bool, throughBase);

    Point3D point(1, 2, 3);
    if (throughBase)
        static_cast<Point &>(point).setPosition(4, 5);
    else
        point.setPosition(4, 5);

    const float *xyz = point.getPosition();
    QCOMPARE(xyz[0], 4.0f);
    QCOMPARE(xyz[1], 5.0f);
    QCOMPARE(xyz[2], 0.0f);

    CoutCapture capture;
    point.output();
    QCOMPARE(capture.text().section('\n', 0, 0), QString("Der Punkt liegt an der Position (4,5,0)"));
}

void tst_Points::outputThroughBasePointer_data()
{
    QTest::addColumn<bool>("space");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Point2D") << false
                             << "Der Punkt liegt an der Position (7,-8)\n"
                                "RGBA Werte: rot = 1, gruen = 22, blau = 255, alpha = 100\n";
    QTest::newRow("Point3D") << true
                             << "Der Punkt liegt an der Position (7,-8,0.5)\n"
                                "RGBA Werte: rot = 1, gruen = 22, blau = 255, alpha = 100\n";
}

void tst_Points::outputThroughBasePointer()
{
    QFETCH(bool, space);
    QFETCH(QString, expected);

    std::unique_ptr<Point> point(space ? static_cast<Point *>(new Point3D(7, -8, 0.5f))
                                       : new Point2D(7, -8));
    point->getPointColor()->setColor(1, 22, 255, 100);
    QCOMPARE(point->getPointColor(), point->pointColor);

    CoutCapture capture;
    point->output();
    QCOMPARE(capture.text(), expected);
}

void tst_Points::deleteThroughBasePointerFreesEverything_data()
{
    QTest::addColumn<bool>("space");
    QTest::addColumn<int>("blocks");

    // The object, its Color, the Color's array and one position array per level.
    QTest::newRow("Point2D") << false << 4;
    QTest::newRow("Point3D") << true << 5;
}

void tst_Points::deleteThroughBasePointerFreesEverything()
{
    QFETCH(bool, space);
    QFETCH(int, blocks);

    const long before = g_liveBlocks;
    Point *point = space ? static_cast<Point *>(new Point3D(1, 2, 3)) : new Point2D(1, 2);
    QCOMPARE(g_liveBlocks - before, long(blocks));
    delete point;
    QCOMPARE(g_liveBlocks, before);
}

QTEST_APPLESS_MAIN(tst_Points)
#include "tst_points.moc"
