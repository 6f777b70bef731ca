#include "Color.h"
#include "Point2D.h"
#include "Point3D.h"

int main()
{
    Point *p2D = new Point2D(4.6f, 2.4f);
    Point *p3D = new Point3D(4.6f, 2.4f, 1.0f);
    Point *p3Da = new Point3D(4.6f, 2.4f, -1.0f);

    p2D->getPointColor()->setColor(255, 0, 0, 100);
    p2D->output();
    p3D->getPointColor()->setColor(0, 0, 255, 100);
    p3D->output();
    p3Da->getPointColor()->setColor(77, 88, 99, 100);
    p3Da->output();

    delete p2D;
    delete p3D;
    delete p3Da;
    return 0;
}
