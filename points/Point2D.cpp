#include "Point2D.h"

#include <iostream>

Point2D::Point2D(float x, float y)
    : position2D(new float[2]{x, y})
{
}

Point2D::~Point2D()
{
    delete[] position2D;
}

void Point2D::setPosition(float x, float y)
{
    position2D[0] = x;
    position2D[1] = y;
}

float *Point2D::getPosition()
{
    return position2D;
}

void Point2D::output()
{
    const float *xy = Point2D::getPosition();
    std::cout << "Der Punkt liegt an der Position (" << xy[0] << "," << xy[1] << ")" << std::endl;
    outputColor();
}
