#ifndef COLOR_H_
#define COLOR_H_

class Color
{
public:
    Color(int red, int green, int blue, int alpha);
    virtual ~Color();

    // Each colour owns its component array; a copy would free it twice.
    Color(const Color &) = delete;
    Color &operator=(const Color &) = delete;

    int *getColor();
    void setColor(int red, int green, int blue, int alpha);

private:
    int *rgba;
};

#endif // COLOR_H_
