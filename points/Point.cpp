#include "Point.h"

#include "Color.h"

#include <iostream>

Point::Point()
    : pointColor(new Color(0, 0, 0, 0))
{
}

Point::~Point()
{
    delete pointColor;
}

Color *Point::getPointColor()
{
    return pointColor;
}

void Point::outputColor()
{
    const int *rgba = pointColor->getColor();
    std::cout << "RGBA Werte: rot = " << rgba[0]
              << ", gruen = " << rgba[1]
              << ", blau = " << rgba[2]
              << ", alpha = " << rgba[3] << std::endl;
}
