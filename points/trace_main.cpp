#include "Color.h"
#include "Point2D.h"
#include "Point3D.h"

#include <iostream>

int main()
{
    std::cout << "Angang Main:" << std::endl;

    Point2D *p2D = new Point2D(4.6f, 2.4f);
    Point3D *p3D = new Point3D(4.6f, 2.4f, 1.0f);
    Point3D *p3Da = new Point3D(4.6f, 2.4f, -1.0f);
    std::cout << "Nach Erstellung der Punkte" << std::endl;

    Color *color = new Color(0, 0, 0, 0);
    std::cout << "Nach erstellung einer Farbe" << std::endl;

    color->setColor(1, 2, 3, 4);
    std::cout << "Nach setten einer Farbe" << std::endl;

    p2D->getPointColor()->setColor(255, 0, 0, 100);
    p3D->pointColor->setColor(0, 0, 255, 100);
    p3Da->pointColor->setColor(77, 88, 99, 100);

    p2D->output();
    p3D->output();
    p3Da->output();

    delete p2D;
    delete p3D;
    delete p3Da;
    delete color;
    std::cout << " Ende Main" << std::endl;
    return 0;
}
