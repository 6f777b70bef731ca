#ifndef POINT_H_
#define POINT_H_

class Color;

class Point
{
public:
    Point();
    virtual ~Point();

    Point(const Point &) = delete;
    Point &operator=(const Point &) = delete;

    virtual void setPosition(float x, float y) = 0;
    virtual float *getPosition() = 0;
    virtual void output() = 0;

    Color *getPointColor();
    void outputColor();

    Color *pointColor;
};

#endif // POINT_H_
