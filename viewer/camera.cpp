#include "camera.h"

Camera::Camera(float posX, float posY, float posZ, float angleX, float angleY, float angleZ)
    : m_posX(posX)
    , m_posY(posY)
    , m_posZ(posZ)
    , m_angleX(angleX)
    , m_angleY(angleY)
    , m_angleZ(angleZ)
{
}

Camera::~Camera() = default;

float Camera::getPositionX() const
{
    return m_posX;
}

float Camera::getPositionY() const
{
    return m_posY;
}

float Camera::getPositionZ() const
{
    return m_posZ;
}

float Camera::getAngleX() const
{
    return m_angleX;
}

float Camera::getAngleY() const
{
    return m_angleY;
}

float Camera::getAngleZ() const
{
    return m_angleZ;
}

void Camera::moveBy(float dx, float dy, float dz)
{
    m_posX += dx;
    m_posY += dy;
    m_posZ += dz;
}
