#ifndef POINT2D_H_
#define POINT2D_H_

#include "Point.h"

class Point2D : public Point
{
public:
    Point2D(float x, float y);
    ~Point2D() override;

    void setPosition(float x, float y) override;
    float *getPosition() override;
    void output() override;

private:
    float *position2D;
};

#endif // POINT2D_H_
