#ifndef CAMERA_H
#define CAMERA_H

class Camera
{
public:
    Camera(float posX, float posY, float posZ, float angleX, float angleY, float angleZ);
    ~Camera();

    float getPositionX() const;
    float getPositionY() const;
    float getPositionZ() const;
    float getAngleX() const;
    float getAngleY() const;
    float getAngleZ() const;

    void moveBy(float dx, float dy, float dz);

private:
    float m_posX;
    float m_posY;
    float m_posZ;
    float m_angleX;
    float m_angleY;
    float m_angleZ;
};

#endif // CAMERA_H
