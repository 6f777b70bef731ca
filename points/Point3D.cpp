#include "Point3D.h"

#include <iostream>

Point3D::Point3D(float x, float y, float z)
    : Point2D(x, y)
    , position(new float[3]{x, y, z})
{
}

Point3D::~Point3D()
{
    delete[] position;
}

void Point3D::setPosition(float x, float y, float z)
{
    position[0] = x;
    position[1] = y;
    position[2] = z;
}

void Point3D::setPosition(float x, float y)
{
    Point3D::setPosition(x, y, 0.0f);
}

float *Point3D::getPosition()
{
    return position;
}

void Point3D::output()
{
    const float *xyz = Point3D::getPosition();
    std::cout << "Der Punkt liegt an der Position ("
              << xyz[0] << "," << xyz[1] << "," << xyz[2] << ")" << std::endl;
    outputColor();
}
