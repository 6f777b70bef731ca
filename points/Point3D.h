#ifndef POINT3D_H_
#define POINT3D_H_

#include "Point2D.h"

class Point3D : public Point2D
{
public:
    Point3D(float x, float y, float z);
    ~Point3D() override;

    void setPosition(float x, float y) override;
    float *getPosition() override;
    void output() override;

    virtual void setPosition(float x, float y, float z);

private:
    // Separate from the plane part's array, which a space point never touches.
    float *position;
};

#endif // POINT3D_H_
