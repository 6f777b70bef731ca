#include "Color.h"

#include <iostream>

Color::Color(int red, int green, int blue, int alpha)
    : rgba(new int[4]{red, green, blue, alpha})
{
}

Color::~Color()
{
    delete[] rgba;
}

int *Color::getColor()
{
    return rgba;
}

void Color::setColor(int red, int green, int blue, int alpha)
{
    const bool inRange = red >= 0 && red <= 255
            && green >= 0 && green <= 255
            && blue >= 0 && blue <= 255
            && alpha >= 0 && alpha <= 100;
    if (!inRange) {
        std::cout << "die Farbwerte liegen nicht im Bereich von 0 bis 255" << std::endl;
        red = green = blue = alpha = 0;
    }
    rgba[0] = red;
    rgba[1] = green;
    rgba[2] = blue;
    rgba[3] = alpha;
}
