#include "floorframe.h"

#include "camera.h"
#include "scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

void drawFloorFrame(Scene *scene, const Camera *camera, QSize logicalSize, qreal ratio, QColor clearColor)
{
    glViewport(0, 0, qRound(logicalSize.width() * ratio), qRound(logicalSize.height() * ratio));
    glClearColor(GLclampf(clearColor.redF()), GLclampf(clearColor.greenF()), GLclampf(clearColor.blueF()), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!scene)
        return;

    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(float(logicalSize.width()) / float(logicalSize.height())), double(0.1f), 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotated(double(-camera->getAngleX()), 1.0, 0.0, 0.0);
    glRotated(double(-camera->getAngleY()), 0.0, 1.0, 0.0);
    glRotated(double(-camera->getAngleZ()), 0.0, 0.0, 1.0);
    glTranslated(double(-camera->getPositionX()), double(-camera->getPositionY()), double(-camera->getPositionZ()));
    scene->render();
}
